#include "catalog/CRecordForm.h"

#include <json/json.h>

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace versionCenter
{
namespace
{

const Json::CommentPlacement kPlacements[] = {Json::commentBefore, Json::commentAfterOnSameLine, Json::commentAfter};

// Whether `place` is one of the `records` patterns, whose components are
// separated by '/' and where "*" stands for any one component.
bool IsRecord(const std::vector<std::string>& place, std::initializer_list<const char*> records)
{
    return std::any_of(records.begin(), records.end(), [&](const char* pattern) {
        std::size_t i = 0;
        const std::string text = pattern;
        std::string::size_type start = 0;
        for (;;)
        {
            const std::string::size_type slash = text.find('/', start);
            const std::string part = text.substr(start, slash == std::string::npos ? slash : slash - start);
            if (i >= place.size() || (part != "*" && part != place[i]))
                return false;
            ++i;
            if (slash == std::string::npos)
                return i == place.size();
            start = slash + 1;
        }
    });
}

bool Empty(const Json::Value& value)
{
    return (value.isString() && value.asString().empty()) || ((value.isArray() || value.isObject()) && value.empty());
}

} // namespace

void CRecordForm::Read(const Json::Value& object, std::initializer_list<const char*> records)
{
    m_details.reset();
    if (!object.isObject())
        return;
    for (const std::string& member : object.getMemberNames())
    {
        if (Empty(object[member]))
            Name(member);
    }
    ReadComments(object, records);
}

void CRecordForm::ReadComments(const Json::Value& object, std::initializer_list<const char*> records)
{
    // Depth first, without recursion: a value and its place, still to visit.
    std::vector<std::pair<const Json::Value*, std::vector<std::string>>> pending{{&object, {}}};
    while (!pending.empty())
    {
        const Json::Value& value = *pending.back().first;
        const std::vector<std::string> place = std::move(pending.back().second);
        pending.pop_back();
        for (const Json::CommentPlacement placement : kPlacements)
        {
            if (value.hasComment(placement))
                Details().comments.push_back(CComment{place, placement, value.getComment(placement)});
        }
        std::vector<std::string> inner = place;
        inner.emplace_back();
        if (value.isObject())
        {
            for (const std::string& member : value.getMemberNames())
            {
                inner.back() = member;
                if (!IsRecord(inner, records))
                    pending.emplace_back(&value[member], inner);
            }
        }
        else if (value.isArray())
        {
            for (Json::ArrayIndex i = 0; i < value.size(); ++i)
            {
                inner.back() = std::to_string(i);
                if (!IsRecord(inner, records))
                    pending.emplace_back(&value[i], inner);
            }
        }
    }
}

void CRecordForm::Name(const std::string& member)
{
    if (!Named(member))
        Details().named.push_back(member);
}

bool CRecordForm::Named(const std::string& member) const
{
    return m_details && std::find(m_details->named.begin(), m_details->named.end(), member) != m_details->named.end();
}

void CRecordForm::PutComments(Json::Value& object) const
{
    if (!m_details)
        return;
    for (const CComment& comment : m_details->comments)
    {
        Json::Value* value = &object;
        for (auto part = comment.place.begin(); value && part != comment.place.end(); ++part)
        {
            // An array's elements are placed by their index, in decimal.
            const unsigned long index = std::strtoul(part->c_str(), nullptr, 10);
            if (value->isObject() && value->isMember(*part))
                value = &(*value)[*part];
            else if (value->isArray() && index < value->size())
                value = &(*value)[static_cast<Json::ArrayIndex>(index)];
            else
                value = nullptr;
        }
        if (value)
            value->setComment(comment.text, static_cast<Json::CommentPlacement>(comment.placement));
    }
}

CRecordForm::CDetails& CRecordForm::Details()
{
    // Copies share their details until one of them changes.
    if (!m_details)
        m_details = std::make_shared<CDetails>();
    else if (m_details.use_count() > 1)
        m_details = std::make_shared<CDetails>(*m_details);
    return *m_details;
}

} // namespace versionCenter
