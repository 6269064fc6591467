// An ordered list of file definitions, held by value.
#ifndef VESKUPDATE_CFILEDEFLIST_H
#define VESKUPDATE_CFILEDEFLIST_H

#include <VeskUpdate.h>

#include "json/jsonIO.h"
#include "model/CFileDef.h"
#include "model/TRecordList.h"

namespace kvrUpdate
{

class CFileDefList final : public TRecordList<CFileDefList, IFileDefList, CFileDef, IFileDef>
{
public:
    CFileDefList() = default;
    /// Element-by-element copy.
    CFileDefList(const CFileDefList& other) = default;
    CFileDefList& operator=(const CFileDefList& other) = default;
    ~CFileDefList() = default;

private:
    friend bool jsonIO::ReadJson(Json::Value& value, CFileDefList& record);
    friend void jsonIO::WriteJson(Json::Value& value, const CFileDefList& record);
};

} // namespace kvrUpdate

#endif // VESKUPDATE_CFILEDEFLIST_H
