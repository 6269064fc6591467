// What to download for a patch or a version: one direct file with its type,
// a list of resource files and a base url.
#ifndef VESKUPDATE_CUPDATEPACKAGE_H
#define VESKUPDATE_CUPDATEPACKAGE_H

#include <VeskUpdate.h>

#include "model/CFileDef.h"
#include "model/CFileDefList.h"
#include "model/RecordBinding.h"

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
    CUpdatePackage(CUpdatePackage&& other) noexcept = default;
    CUpdatePackage& operator=(const CUpdatePackage& other) = default;
    CUpdatePackage& operator=(CUpdatePackage&& other) noexcept = default;
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
    friend binding::TFieldsOf<CUpdatePackage>;

    CFileDef m_directFile;
    std::string m_directType;
    CFileDefList m_resource;
    std::string m_baseUrl;
};

/// The JSON form: an object with the file definition object "direct_file",
/// the texts "direct_type" and "base_url", and the file definition list
/// object "resource" (so the files sit in "resource" / "files").
bool ReadJson(const Json::Value& value, CUpdatePackage& record);
void WriteJson(Json::Value& value, const CUpdatePackage& record);

template <>
struct binding::TFieldsOf<CUpdatePackage>
{
    static constexpr TField<CUpdatePackage> List[] = {
        binding::Text<&CUpdatePackage::m_baseUrl>("base_url"),
        binding::Nested<&CUpdatePackage::m_directFile>("direct_file"),
        binding::Text<&CUpdatePackage::m_directType>("direct_type"),
        binding::Nested<&CUpdatePackage::m_resource>("resource"),
    };
};

} // namespace kvrUpdate

namespace jsonIO
{
using kvrUpdate::ReadJson;
using kvrUpdate::WriteJson;
} // namespace jsonIO

#endif // VESKUPDATE_CUPDATEPACKAGE_H
