// An ordered list of patches, held by value.
#ifndef VESKUPDATE_CPATCHLIST_H
#define VESKUPDATE_CPATCHLIST_H

#include <VeskUpdate.h>

#include "json/jsonIO.h"
#include "model/CPatch.h"
#include "model/TRecordList.h"

namespace kvrUpdate
{

class CPatchList final : public TRecordList<CPatchList, IPatchList, CPatch, IPatch>
{
public:
    CPatchList() = default;
    /// Element-by-element copy (each patch through CopyFrom).
    CPatchList(const CPatchList& other) = default;
    CPatchList& operator=(const CPatchList& other) = default;
    ~CPatchList() = default;

    /// Appends a copy of the patch, made through its getters.
    void Append(const IPatch& patch);

private:
    friend bool jsonIO::ReadJson(Json::Value& value, CPatchList& record);
    friend void jsonIO::WriteJson(Json::Value& value, const CPatchList& record);
};

} // namespace kvrUpdate

#endif // VESKUPDATE_CPATCHLIST_H
