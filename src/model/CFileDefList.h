// An ordered list of file definitions, held by value.
#ifndef VESKUPDATE_CFILEDEFLIST_H
#define VESKUPDATE_CFILEDEFLIST_H

#include <VeskUpdate.h>

#include "model/CFileDef.h"
#include "model/RecordBinding.h"
#include "model/TRecordList.h"

namespace kvrUpdate
{

class CFileDefList final : public TRecordList<CFileDefList, IFileDefList, CFileDef, IFileDef>
{
public:
    CFileDefList() = default;
    /// Element-by-element copy.
    CFileDefList(const CFileDefList& other) = default;
    CFileDefList(CFileDefList&& other) noexcept = default;
    CFileDefList& operator=(const CFileDefList& other) = default;
    CFileDefList& operator=(CFileDefList&& other) noexcept = default;
    ~CFileDefList() = default;

private:
    friend binding::TFieldsOf<CFileDefList>;
};

/// The JSON form: an object whose member "files" is an array of file
/// definition objects.
bool ReadJson(const Json::Value& value, CFileDefList& record);
void WriteJson(Json::Value& value, const CFileDefList& record);

template <>
struct binding::TFieldsOf<CFileDefList>
{
    static constexpr TField<CFileDefList> List[] = {
        binding::List<&CFileDefList::m_items, CFileDefList>("files"),
    };
};

} // namespace kvrUpdate

namespace jsonIO
{
using kvrUpdate::ReadJson;
using kvrUpdate::WriteJson;
} // namespace jsonIO

#endif // VESKUPDATE_CFILEDEFLIST_H
