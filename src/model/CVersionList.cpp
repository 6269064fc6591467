#include "model/CVersionList.h"

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

bool ReadJson(const Json::Value& value, CVersionList& record)
{
    return binding::ReadRecord(value, record);
}

void WriteJson(Json::Value& value, const CVersionList& record)
{
    binding::WriteRecord(value, record);
}

} // namespace kvrUpdate
