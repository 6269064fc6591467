#include "model/CPatchList.h"

#include "model/RecordJson.h"

namespace kvrUpdate
{

void CPatchList::Append(const IPatch& patch)
{
    m_patches.emplace_back(patch);
}

void CPatchList::Clear()
{
    m_patches.clear();
}

void CPatchList::Release()
{
    delete this;
}

IPatchList* CPatchList::Clone() const
{
    try
    {
        return new CPatchList(*this);
    }
    catch (...)
    {
        return nullptr;
    }
}

const IPatch* CPatchList::GetAt(int index) const
{
    if (index < 0 || index >= GetCount())
        return nullptr;
    return &m_patches[static_cast<std::size_t>(index)];
}

int CPatchList::GetCount() const
{
    return static_cast<int>(m_patches.size());
}

} // namespace kvrUpdate

namespace jsonIO
{

bool ReadJson(Json::Value& value, kvrUpdate::CPatchList& record)
{
    if (!IsRecordValue(value))
    {
        record.m_patches.clear();
        return false;
    }
    return ReadRecordArray(value["patchs"], record.m_patches);
}

void WriteJson(Json::Value& value, const kvrUpdate::CPatchList& record)
{
    WriteJson(value[Json::StaticString("patchs")], record.m_patches);
}

} // namespace jsonIO
