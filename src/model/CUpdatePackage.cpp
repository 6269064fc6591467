#include "model/CUpdatePackage.h"

#include "model/RecordJson.h"

namespace kvrUpdate
{

void CUpdatePackage::Release()
{
    delete this;
}

IUpdatePackage* CUpdatePackage::Clone() const
{
    try
    {
        return new CUpdatePackage(*this);
    }
    catch (...)
    {
        return nullptr;
    }
}

const char* CUpdatePackage::GetBaseUrl() const
{
    return m_baseUrl.c_str();
}

const IFileDef* CUpdatePackage::GetDirectFile() const
{
    return &m_directFile;
}

const char* CUpdatePackage::GetDirectType() const
{
    return m_directType.c_str();
}

const IFileDefList* CUpdatePackage::GetResource() const
{
    return &m_resource;
}

} // namespace kvrUpdate

namespace jsonIO
{

bool ReadJson(Json::Value& value, kvrUpdate::CUpdatePackage& record)
{
    // Every member is assigned, so a package never keeps files of the
    // previous answer; a value that is no object reads like an empty one.
    Json::Value absent;
    const bool usable = IsRecordValue(value);
    Json::Value& source = usable ? value : absent;

    // A failed direct file or resource list does not stop the other members.
    ReadRecordMember(source["direct_file"], record.m_directFile);
    record.m_directType = GetString(source["direct_type"], "");
    record.m_baseUrl = GetString(source["base_url"], "");
    ReadRecordMember(source["resource"], record.m_resource);
    return usable;
}

void WriteJson(Json::Value& value, const kvrUpdate::CUpdatePackage& record)
{
    WriteJson(value["direct_file"], record.m_directFile);
    SetAsText(value["direct_type"], record.m_directType);
    SetString(value["base_url"], record.m_baseUrl.c_str());
    WriteJson(value["resource"], record.m_resource);
}

} // namespace jsonIO
