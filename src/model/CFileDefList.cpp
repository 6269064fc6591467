#include "model/CFileDefList.h"

namespace kvrUpdate
{

bool ReadJson(const Json::Value& value, CFileDefList& record)
{
    return binding::ReadRecord(value, record);
}

void WriteJson(Json::Value& value, const CFileDefList& record)
{
    binding::WriteRecord(value, record);
}

} // namespace kvrUpdate
