#include "model/CFileDefList.h"

#include "model/RecordJson.h"

namespace kvrUpdate
{

void CFileDefList::Release()
{
    delete this;
}

IFileDefList* CFileDefList::Clone() const
{
    try
    {
        return new CFileDefList(*this);
    }
    catch (...)
    {
        return nullptr;
    }
}

const IFileDef* CFileDefList::GetAt(int index) const
{
    if (index < 0 || index >= GetCount())
        return nullptr;
    return &m_files[static_cast<std::size_t>(index)];
}

int CFileDefList::GetCount() const
{
    return static_cast<int>(m_files.size());
}

} // namespace kvrUpdate

namespace jsonIO
{

bool ReadJson(Json::Value& value, kvrUpdate::CFileDefList& record)
{
    if (!IsRecordValue(value))
    {
        record.m_files.clear();
        return false;
    }
    return ReadRecordArray(value["files"], record.m_files);
}

void WriteJson(Json::Value& value, const kvrUpdate::CFileDefList& record)
{
    WriteJson(value["files"], record.m_files);
}

} // namespace jsonIO
