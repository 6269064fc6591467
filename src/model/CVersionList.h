// An ordered list of versions, held by value.
#ifndef VESKUPDATE_CVERSIONLIST_H
#define VESKUPDATE_CVERSIONLIST_H

#include <VeskUpdate.h>

#include "json/jsonIO.h"
#include "model/CVersion.h"
#include "model/TRecordList.h"

namespace kvrUpdate
{

class CVersionList final : public TRecordList<CVersionList, IVersionList, CVersion, IVersion>
{
public:
    CVersionList() = default;
    /// Element-by-element copy.
    CVersionList(const CVersionList& other) = default;
    CVersionList& operator=(const CVersionList& other) = default;
    ~CVersionList() = default;

    /// Replaces the contents with copies of the source's versions, read only
    /// through its interface, so any IVersionList implementation will do.
    void CopyFrom(const IVersionList* source);
    /// Appends a copy of the version.
    void Append(const IVersion& version);

private:
    friend bool jsonIO::ReadJson(Json::Value& value, CVersionList& record);
    friend void jsonIO::WriteJson(Json::Value& value, const CVersionList& record);
};

} // namespace kvrUpdate

#endif // VESKUPDATE_CVERSIONLIST_H
