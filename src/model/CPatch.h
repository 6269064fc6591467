// One update step as the version center describes it.
#ifndef VESKUPDATE_CPATCH_H
#define VESKUPDATE_CPATCH_H

#include <VeskUpdate.h>

#include "model/CNameTable.h"
#include "model/CVersion.h"
#include "model/CVersionList.h"
#include "model/RecordBinding.h"

#include <string>

namespace kvrUpdate
{

class CPatch final : public IPatch
{
public:
    /// Empty texts and versions, type "version", force "common".
    CPatch();
    /// Default-construct, then CopyFrom: any IPatch implementation will do.
    explicit CPatch(const IPatch& other);
    CPatch(const CPatch& other);
    CPatch(CPatch&& other) noexcept = default;
    CPatch& operator=(const IPatch& other);
    CPatch& operator=(const CPatch& other);
    CPatch& operator=(CPatch&& other) noexcept = default;
    ~CPatch() = default;

    /// Copies every field through the source's getters.
    void CopyFrom(const IPatch* source);

    // ICloneable<IPatch>
    void Release() override;
    /// A deep copy owned by the caller; null if it cannot be allocated.
    IPatch* Clone() const override;

    // IPatch
    const char* GetTitle() const override;
    const char* GetComment() const override;
    const char* GetPatchNumber() const override;
    const IVersionList* GetApplyVersions() const override;
    const IVersion* GetResultVersion() const override;
    const char* GetDependOn() const override;
    int GetPatchType() const override;
    int GetPatchForce() const override;

private:
    friend binding::TFieldsOf<CPatch>;

    std::string m_title;
    std::string m_comment;
    std::string m_patchNumber;
    CVersionList m_applyVersions;
    CVersion m_resultVersion;
    std::string m_dependOn;
    int m_patchType;
    int m_patchForce;
};

/// The JSON form: an object with the texts "title", "comment",
/// "patch_number" and "dependon", the version list object "apply_version",
/// the version object "result_version", and "patch_type" and "patch_force"
/// by the names of their tables.
bool ReadJson(const Json::Value& value, CPatch& record);
void WriteJson(Json::Value& value, const CPatch& record);

template <>
struct binding::TFieldsOf<CPatch>
{
    static constexpr TField<CPatch> List[] = {
        binding::Nested<&CPatch::m_applyVersions>("apply_version"),
        binding::Text<&CPatch::m_comment>("comment"),
        binding::Text<&CPatch::m_dependOn>("dependon"),
        binding::Name<&CPatch::m_patchForce, PatchForce>("patch_force"),
        binding::Text<&CPatch::m_patchNumber>("patch_number"),
        binding::Name<&CPatch::m_patchType, PatchType>("patch_type"),
        binding::Nested<&CPatch::m_resultVersion>("result_version"),
        binding::Text<&CPatch::m_title>("title"),
    };
};

} // namespace kvrUpdate

namespace jsonIO
{
using kvrUpdate::ReadJson;
using kvrUpdate::WriteJson;
} // namespace jsonIO

#endif // VESKUPDATE_CPATCH_H
