#include "model/CVersionList.h"

#include "model/RecordJson.h"

#include <memory>

namespace kvrUpdate
{

void CVersionList::CopyFrom(const IVersionList* source)
{
    if (source == this)
        return;
    m_versions.clear();
    if (source == nullptr)
        return;
    const int count = source->GetCount();
    m_versions.reserve(count > 0 ? static_cast<std::size_t>(count) : 0);
    for (int index = 0; index < count; ++index)
    {
        const IVersion* version = source->GetAt(index);
        // A foreign list that answers null for an element keeps its position.
        if (version != nullptr)
            m_versions.emplace_back(*version);
        else
            m_versions.emplace_back();
    }
}

void CVersionList::Append(const IVersion& version)
{
    m_versions.emplace_back(version);
}

void CVersionList::Clear()
{
    m_versions.clear();
}

void CVersionList::Release()
{
    delete this;
}

IVersionList* CVersionList::Clone() const
{
    try
    {
        std::unique_ptr<CVersionList> copy(new CVersionList);
        copy->CopyFrom(this);
        return copy.release();
    }
    catch (...)
    {
        return nullptr;
    }
}

const IVersion* CVersionList::GetAt(int index) const
{
    if (index < 0 || index >= GetCount())
        return nullptr;
    return &m_versions[static_cast<std::size_t>(index)];
}

int CVersionList::GetCount() const
{
    return static_cast<int>(m_versions.size());
}

} // namespace kvrUpdate

namespace jsonIO
{

bool ReadJson(Json::Value& value, kvrUpdate::CVersionList& record)
{
    if (!IsRecordValue(value))
    {
        record.m_versions.clear();
        return false;
    }
    return ReadRecordArray(value["versions"], record.m_versions);
}

void WriteJson(Json::Value& value, const kvrUpdate::CVersionList& record)
{
    WriteJson(value[Json::StaticString("versions")], record.m_versions);
}

} // namespace jsonIO
