#include "model/CFileDefList.h"

#include "model/RecordJson.h"

namespace jsonIO
{

bool ReadJson(Json::Value& value, kvrUpdate::CFileDefList& record)
{
    if (!IsRecordValue(value))
    {
        record.m_items.clear();
        return false;
    }
    return ReadRecordArray(value["files"], record.m_items);
}

void WriteJson(Json::Value& value, const kvrUpdate::CFileDefList& record)
{
    WriteJson(value[Json::StaticString("files")], record.m_items);
}

} // namespace jsonIO
