#include "model/CVersionSituation.h"

#include "model/RecordJson.h"

namespace jsonIO
{

bool ReadJson(Json::Value& value, kvrUpdate::CVersionSituation& record)
{
    // Every version is assigned by every read, so one answer never mixes with
    // the previous one; a value that is no object reads like an empty one.
    Json::Value absent;
    const bool usable = IsRecordValue(value);
    Json::Value& source = usable ? value : absent;
    // Each member is read on its own: a member that fails (one of the wrong
    // type reads as 0.0.0.0) does not stop the others.
    ReadRecordMember(source["last"], record.m_last);
    ReadRecordMember(source["must"], record.m_must);
    ReadRecordMember(source["will"], record.m_will);
    ReadRecordMember(source["max"], record.m_max);
    return usable;
}

void WriteJson(Json::Value& value, const kvrUpdate::CVersionSituation& record)
{
    WriteJson(value["last"], record.m_last);
    WriteJson(value["must"], record.m_must);
    WriteJson(value["will"], record.m_will);
    WriteJson(value["max"], record.m_max);
}

} // namespace jsonIO
