// An ordered list of patches, held by value.
#ifndef VESKUPDATE_CPATCHLIST_H
#define VESKUPDATE_CPATCHLIST_H

#include <VeskUpdate.h>

#include "model/CPatch.h"
#include "model/RecordBinding.h"
#include "model/TRecordList.h"

namespace kvrUpdate
{

class CPatchList final : public TRecordList<CPatchList, IPatchList, CPatch, IPatch>
{
public:
    CPatchList() = default;
    /// Element-by-element copy (each patch through CopyFrom).
    CPatchList(const CPatchList& other) = default;
    CPatchList(CPatchList&& other) noexcept = default;
    CPatchList& operator=(const CPatchList& other) = default;
    CPatchList& operator=(CPatchList&& other) noexcept = default;
    ~CPatchList() = default;

    /// Appends a copy of the patch, made through its getters.
    void Append(const IPatch& patch);

private:
    friend binding::TFieldsOf<CPatchList>;
};

/// The JSON form: an object whose member "patchs" is an array of patch
/// objects.
bool ReadJson(const Json::Value& value, CPatchList& record);
void WriteJson(Json::Value& value, const CPatchList& record);

template <>
struct binding::TFieldsOf<CPatchList>
{
    static constexpr TField<CPatchList> List[] = {
        binding::List<&CPatchList::m_items, CPatchList>("patchs"),
    };
};

} // namespace kvrUpdate

namespace jsonIO
{
using kvrUpdate::ReadJson;
using kvrUpdate::WriteJson;
} // namespace jsonIO

#endif // VESKUPDATE_CPATCHLIST_H
