#include "model/CFileDef.h"

#include "model/RecordJson.h"

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

} // namespace kvrUpdate

namespace jsonIO
{

bool ReadJson(Json::Value& value, kvrUpdate::CFileDef& record)
{
    // Every member is assigned; a value that is no object reads like an empty
    // one.
    Json::Value absent;
    const bool usable = IsRecordValue(value);
    Json::Value& source = usable ? value : absent;

    record.m_url = GetString(source["url"], "");
    record.m_md5 = GetString(source["md5"], "");
    record.m_path = GetString(source["path"], "");
    // Read at 64 bits so that files of 2 GiB and more keep their length.
    record.m_length = ReadInt64OrText(source["length"], 0);
    return usable;
}

void WriteJson(Json::Value& value, const kvrUpdate::CFileDef& record)
{
    SetString(value["url"], record.m_url.c_str());
    SetString(value["md5"], record.m_md5.c_str());
    SetString(value["path"], record.m_path.c_str());
    SetAsText(value["length"], record.m_length);
}

} // namespace jsonIO
