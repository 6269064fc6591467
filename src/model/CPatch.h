// One update step as the version center describes it.
#ifndef VESKUPDATE_CPATCH_H
#define VESKUPDATE_CPATCH_H

#include <VeskUpdate.h>

#include "json/jsonIO.h"
#include "model/CNameTable.h"
#include "model/CVersion.h"
#include "model/CVersionList.h"

#include <string>

namespace kvrUpdate
{

class CPatch final : public IPatch
{
public:
    /// Empty texts and versions, type "version", force "common".
    CPatch();
    /// Default-construct, then CopyFrom: any IPatch implementation will do.
    CPatch(const IPatch& other);
    CPatch(const CPatch& other);
    CPatch& operator=(const IPatch& other);
    CPatch& operator=(const CPatch& other);
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
    friend bool jsonIO::ReadJson(Json::Value& value, CPatch& record);
    friend void jsonIO::WriteJson(Json::Value& value, const CPatch& record);

    std::string m_title;
    std::string m_comment;
    std::string m_patchNumber;
    CVersionList m_applyVersions;
    CVersion m_resultVersion;
    std::string m_dependOn;
    int m_patchType;
    int m_patchForce;
};

} // namespace kvrUpdate

#endif // VESKUPDATE_CPATCH_H
