// An ordered list of versions, held by value.
#ifndef VESKUPDATE_CVERSIONLIST_H
#define VESKUPDATE_CVERSIONLIST_H

#include <VeskUpdate.h>

#include "json/jsonIO.h"
#include "model/CVersion.h"

#include <vector>

namespace kvrUpdate
{

class CVersionList final : public IVersionList
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
    void Clear();

    // ICloneable<IVersionList>
    void Release() override;
    /// A deep copy owned by the caller; null if it cannot be allocated.
    IVersionList* Clone() const override;

    // IVectable<const IVersion*>
    const IVersion* GetAt(int index) const override;
    int GetCount() const override;

private:
    friend bool jsonIO::ReadJson(Json::Value& value, CVersionList& record);
    friend void jsonIO::WriteJson(Json::Value& value, const CVersionList& record);

    std::vector<CVersion> m_versions;
};

} // namespace kvrUpdate

#endif // VESKUPDATE_CVERSIONLIST_H
