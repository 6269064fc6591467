#include "model/CVersionSituation.h"

namespace kvrUpdate
{

bool ReadJson(const Json::Value& value, CVersionSituation& record)
{
    return binding::ReadRecord(value, record);
}

void WriteJson(Json::Value& value, const CVersionSituation& record)
{
    binding::WriteRecord(value, record);
}

} // namespace kvrUpdate
