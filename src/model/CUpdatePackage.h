// What to download for a patch or a version: one direct file with its type,
// a list of resource files and a base url.
#ifndef VESKUPDATE_CUPDATEPACKAGE_H
#define VESKUPDATE_CUPDATEPACKAGE_H

#include <VeskUpdate.h>

#include "json/jsonIO.h"
#include "model/CFileDef.h"
#include "model/CFileDefList.h"

#include <string>

namespace kvrUpdate
{

class CUpdatePackage final : public IUpdatePackage
{
public:
    /// Empty texts, an empty direct file and an empty resource list.
    CUpdatePackage() = default;
    /// Member-by-member copy.
    CUpdatePackage(const CUpdatePackage& other) = default;
    CUpdatePackage& operator=(const CUpdatePackage& other) = default;
    ~CUpdatePackage() = default;

    // ICloneable<IUpdatePackage>
    void Release() override;
    /// A deep copy owned by the caller; null if it cannot be allocated.
    IUpdatePackage* Clone() const override;

    // IUpdatePackage
    const char* GetBaseUrl() const override;
    const IFileDef* GetDirectFile() const override;
    const char* GetDirectType() const override;
    const IFileDefList* GetResource() const override;

private:
    friend bool jsonIO::ReadJson(Json::Value& value, CUpdatePackage& record);
    friend void jsonIO::WriteJson(Json::Value& value, const CUpdatePackage& record);

    CFileDef m_directFile;
    std::string m_directType;
    CFileDefList m_resource;
    std::string m_baseUrl;
};

} // namespace kvrUpdate

#endif // VESKUPDATE_CUPDATEPACKAGE_H
