// An ordered list of file definitions, held by value.
#ifndef VESKUPDATE_CFILEDEFLIST_H
#define VESKUPDATE_CFILEDEFLIST_H

#include <VeskUpdate.h>

#include "json/jsonIO.h"
#include "model/CFileDef.h"

#include <vector>

namespace kvrUpdate
{

class CFileDefList final : public IFileDefList
{
public:
    CFileDefList() = default;
    /// Element-by-element copy.
    CFileDefList(const CFileDefList& other) = default;
    CFileDefList& operator=(const CFileDefList& other) = default;
    ~CFileDefList() = default;

    // ICloneable<IFileDefList>
    void Release() override;
    /// A deep copy owned by the caller; null if it cannot be allocated.
    IFileDefList* Clone() const override;

    // IVectable<const IFileDef*>
    const IFileDef* GetAt(int index) const override;
    int GetCount() const override;

private:
    friend bool jsonIO::ReadJson(Json::Value& value, CFileDefList& record);
    friend void jsonIO::WriteJson(Json::Value& value, const CFileDefList& record);

    std::vector<CFileDef> m_files;
};

} // namespace kvrUpdate

#endif // VESKUPDATE_CFILEDEFLIST_H
