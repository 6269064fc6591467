#include "model/CUpdatePackage.h"

#include "boundary/NewOrNull.h"

namespace kvrUpdate
{

void CUpdatePackage::Release()
{
    delete this;
}

IUpdatePackage* CUpdatePackage::Clone() const
{
    return NewOrNull<CUpdatePackage>(*this);
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

bool ReadJson(const Json::Value& value, CUpdatePackage& record)
{
    return binding::ReadRecord(value, record);
}

void WriteJson(Json::Value& value, const CUpdatePackage& record)
{
    binding::WriteRecord(value, record);
}

} // namespace kvrUpdate
