#include "model/CFileDef.h"

#include "boundary/NewOrNull.h"

namespace kvrUpdate
{

void CFileDef::Release()
{
    delete this;
}

IFileDef* CFileDef::Clone() const
{
    return NewOrNull<CFileDef>(*this);
}

const char* CFileDef::GetUrl() const
{
    return m_url.c_str();
}

const char* CFileDef::GetMd5() const
{
    return m_md5.c_str();
}

long long CFileDef::GetLength() const
{
    return m_length;
}

const char* CFileDef::GetName() const
{
    // The texts hold no NUL byte (a text read from JSON ends at its first),
    // so the string's own searches see what a caller sees.
    if (!m_path.empty())
        return m_path.c_str();
    if (m_url.find("://") == std::string::npos)
        return m_url.c_str();
    // The url holds "://", so a slash is always found.
    return m_url.c_str() + m_url.find_last_of("/\\") + 1;
}

bool ReadJson(const Json::Value& value, CFileDef& record)
{
    return binding::ReadRecord(value, record);
}

void WriteJson(Json::Value& value, const CFileDef& record)
{
    binding::WriteRecord(value, record);
}

} // namespace kvrUpdate
