#include "model/CFileCheckerDef.h"

#include "model/RecordJson.h"

namespace kvrUpdate
{

void CFileCheckerDef::Release()
{
    delete this;
}

IFileCheckerDef* CFileCheckerDef::Clone() const
{
    try
    {
        return new CFileCheckerDef(*this);
    }
    catch (...)
    {
        return nullptr;
    }
}

const char* CFileCheckerDef::GetUrl() const
{
    return m_url.c_str();
}

const char* CFileCheckerDef::GetType() const
{
    return m_type.c_str();
}

} // namespace kvrUpdate

namespace jsonIO
{

bool ReadJson(Json::Value& value, kvrUpdate::CFileCheckerDef& record)
{
    // A value that is no object reads like an empty one.
    Json::Value absent;
    const bool usable = IsRecordValue(value);
    Json::Value& source = usable ? value : absent;

    record.m_url = GetString(source["url"], "");
    record.m_type = GetString(source["type"], "");
    return usable;
}

void WriteJson(Json::Value& value, const kvrUpdate::CFileCheckerDef& record)
{
    SetString(value["url"], record.m_url.c_str());
    SetString(value["type"], record.m_type.c_str());
}

} // namespace jsonIO
