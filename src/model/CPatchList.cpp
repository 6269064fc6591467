#include "model/CPatchList.h"

#include "model/RecordJson.h"

namespace kvrUpdate
{

void CPatchList::Append(const IPatch& patch)
{
    m_items.emplace_back(patch);
}

} // namespace kvrUpdate

namespace jsonIO
{

bool ReadJson(Json::Value& value, kvrUpdate::CPatchList& record)
{
    if (!IsRecordValue(value))
    {
        record.m_items.clear();
        return false;
    }
    return ReadRecordArray(value["patchs"], record.m_items);
}

void WriteJson(Json::Value& value, const kvrUpdate::CPatchList& record)
{
    WriteJson(value[Json::StaticString("patchs")], record.m_items);
}

} // namespace jsonIO
