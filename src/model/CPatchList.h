// An ordered list of patches, held by value.
#ifndef VESKUPDATE_CPATCHLIST_H
#define VESKUPDATE_CPATCHLIST_H

#include <VeskUpdate.h>

#include "json/jsonIO.h"
#include "model/CPatch.h"

#include <vector>

namespace kvrUpdate
{

class CPatchList final : public IPatchList
{
public:
    CPatchList() = default;
    /// Element-by-element copy (each patch through CopyFrom).
    CPatchList(const CPatchList& other) = default;
    CPatchList& operator=(const CPatchList& other) = default;
    ~CPatchList() = default;

    /// Appends a copy of the patch, made through its getters.
    void Append(const IPatch& patch);
    void Clear();

    // ICloneable<IPatchList>
    void Release() override;
    /// A deep copy owned by the caller; null if it cannot be allocated.
    IPatchList* Clone() const override;

    // IVectable<const IPatch*>
    const IPatch* GetAt(int index) const override;
    int GetCount() const override;

private:
    friend bool jsonIO::ReadJson(Json::Value& value, CPatchList& record);
    friend void jsonIO::WriteJson(Json::Value& value, const CPatchList& record);

    std::vector<CPatch> m_patches;
};

} // namespace kvrUpdate

#endif // VESKUPDATE_CPATCHLIST_H
