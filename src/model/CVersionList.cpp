#include "model/CVersionList.h"

#include "model/RecordJson.h"

namespace kvrUpdate
{

void CVersionList::CopyFrom(const IVersionList* source)
{
    if (source == this)
        return;
    m_items.clear();
    if (source == nullptr)
        return;
    const int count = source->GetCount();
    m_items.reserve(count > 0 ? static_cast<std::size_t>(count) : 0);
    for (int index = 0; index < count; ++index)
    {
        const IVersion* version = source->GetAt(index);
        // A foreign list that answers null for an element keeps its position.
        if (version != nullptr)
            m_items.emplace_back(*version);
        else
            m_items.emplace_back();
    }
}

void CVersionList::Append(const IVersion& version)
{
    m_items.emplace_back(version);
}

} // namespace kvrUpdate

namespace jsonIO
{

bool ReadJson(Json::Value& value, kvrUpdate::CVersionList& record)
{
    if (!IsRecordValue(value))
    {
        record.m_items.clear();
        return false;
    }
    return ReadRecordArray(value["versions"], record.m_items);
}

void WriteJson(Json::Value& value, const kvrUpdate::CVersionList& record)
{
    WriteJson(value[Json::StaticString("versions")], record.m_items);
}

} // namespace jsonIO
