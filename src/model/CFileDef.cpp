#include "model/CFileDef.h"

#include <cstring>

namespace kvrUpdate
{

void CFileDef::Release()
{
    delete this;
}

IFileDef* CFileDef::Clone() const
{
    try
    {
        return new CFileDef(*this);
    }
    catch (...)
    {
        return nullptr;
    }
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
    // As C strings: what a caller sees ends at the first NUL byte.
    if (m_path.c_str()[0] != '\0')
        return m_path.c_str();
    const char* url = m_url.c_str();
    if (std::strstr(url, "://") == nullptr)
        return url;
    // The url holds "://", so a slash is always found.
    const char* name = url;
    for (const char* cursor = url; *cursor != '\0'; ++cursor)
    {
        if (*cursor == '/' || *cursor == '\\')
            name = cursor + 1;
    }
    return name;
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
