#include "model/CFileCheckerDef.h"

#include "boundary/NewOrNull.h"

namespace kvrUpdate
{

void CFileCheckerDef::Release()
{
    delete this;
}

IFileCheckerDef* CFileCheckerDef::Clone() const
{
    return NewOrNull<CFileCheckerDef>(*this);
}

const char* CFileCheckerDef::GetUrl() const
{
    return m_url.c_str();
}

const char* CFileCheckerDef::GetType() const
{
    return m_type.c_str();
}

bool ReadJson(const Json::Value& value, CFileCheckerDef& record)
{
    return binding::ReadRecord(value, record);
}

void WriteJson(Json::Value& value, const CFileCheckerDef& record)
{
    binding::WriteRecord(value, record);
}

} // namespace kvrUpdate
