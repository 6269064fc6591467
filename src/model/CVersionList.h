// An ordered list of versions, held by value.
#ifndef VESKUPDATE_CVERSIONLIST_H
#define VESKUPDATE_CVERSIONLIST_H

#include <VeskUpdate.h>

#include "model/CVersion.h"
#include "model/RecordBinding.h"
#include "model/TRecordList.h"

namespace kvrUpdate
{

class CVersionList final : public TRecordList<CVersionList, IVersionList, CVersion, IVersion>
{
public:
    CVersionList() = default;
    /// Element-by-element copy.
    CVersionList(const CVersionList& other) = default;
    CVersionList(CVersionList&& other) noexcept = default;
    CVersionList& operator=(const CVersionList& other) = default;
    CVersionList& operator=(CVersionList&& other) noexcept = default;
    ~CVersionList() = default;

    /// Replaces the contents with copies of the source's versions, read only
    /// through its interface, so any IVersionList implementation will do.
    void CopyFrom(const IVersionList* source);
    /// Appends a copy of the version.
    void Append(const IVersion& version);

private:
    friend binding::TFieldsOf<CVersionList>;
};

/// The JSON form: an object whose member "versions" is an array of version
/// objects.
bool ReadJson(const Json::Value& value, CVersionList& record);
void WriteJson(Json::Value& value, const CVersionList& record);

template <>
struct binding::TFieldsOf<CVersionList>
{
    static constexpr TField<CVersionList> List[] = {
        binding::List<&CVersionList::m_items, CVersionList>("versions"),
    };
};

} // namespace kvrUpdate

namespace jsonIO
{
using kvrUpdate::ReadJson;
using kvrUpdate::WriteJson;
} // namespace jsonIO

#endif // VESKUPDATE_CVERSIONLIST_H
