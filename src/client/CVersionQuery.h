// The library's client of the version center: turns each question into a
// URL, fetches the JSON answer and keeps it in a record member that the
// caller borrows. Only the version situation is cached.
#ifndef VESKUPDATE_CVERSIONQUERY_H
#define VESKUPDATE_CVERSIONQUERY_H

#include <VeskUpdate.h>

#include "model/CFileCheckerDef.h"
#include "model/CPatchList.h"
#include "model/CUpdatePackage.h"
#include "model/CVersion.h"
#include "model/CVersionList.h"
#include "model/CVersionSituation.h"

#include <string>

namespace kvrUpdate
{

/// Not final: the updater embeds it with a Release that does nothing.
/// One thread at a time; no lock.
class CVersionQuery : public IVersionQuery
{
public:
    CVersionQuery();
    virtual ~CVersionQuery();
    CVersionQuery(const CVersionQuery&) = delete;
    CVersionQuery& operator=(const CVersionQuery&) = delete;

    // IStringInitial: {"product": ..., "version_center": ...}
    /// The settings' document; the empty text when memory runs out.
    const char* ToString() override;
    /// Takes "product" and "version_center" (absent ones become empty). False,
    /// changing nothing, for text that is not JSON, whose root is neither an
    /// object nor null, or when memory runs out. Leaves the cached situation
    /// as it is.
    bool FromString(const char* text) override;

    // IReleaseable
    void Release() override;

    // IVersionQuery
    void SetProduct(const char* product) override;
    const char* GetProduct() const override;
    void SetVersionCenter(const char* address) override;
    const IVersion* GetLastVersion() override;
    const IVersion* GetMustVersion() override;
    const IVersion* GetMaxVersion() override;
    const IVersion* GetWillVersion() override;
    const IVersionList* GetVersions() override;
    const IVersionList* GetVersionEvolution(const char* from, const char* to) override;
    const IPatchList* GetPatchs(const char* version) override;
    const IPatchList* GetPatchEvolution(const char* from, const char* to) override;
    const IUpdatePackage* GetPatchPackage(const char* patch) override;
    const IUpdatePackage* GetVersionPackage(const char* version) override;
    const IFileCheckerDef* GetFileCheckDef(const char* version) override;

    // Not part of IVersionQuery: how the updater keeps its settings here,
    // their one home.

    /// The stored base address.
    const std::string& GetVersionCenterText() const { return m_versionCenter; }
    /// Takes both settings (swapped in; the old ones are left in the
    /// arguments), marking the situation stale when either differs.
    /// Allocates nothing, so an updater can commit them after preparing.
    void TakeSettings(std::string& product, std::string& address) noexcept;

private:
    /// Stores `text` (null: empty) in `setting`, marking the situation stale
    /// when it differs from what was stored.
    void ChangeSetting(std::string& setting, const char* text);
    /// Fetches address + product name + makePath() (nothing in between)
    /// into `record`: the record when it read a good answer, null when any
    /// step failed, running out of memory included. The path is built inside
    /// the guard, so its allocations are covered too.
    template <class T, class MakePath>
    T* Fetch(T& record, MakePath makePath) const;
    /// One of the situation's versions, fetching the situation when stale.
    const IVersion* SituationVersion(const CVersion& (CVersionSituation::*which)() const);

    std::string m_versionCenter;
    std::string m_product;
    bool m_situationStale;
    CVersionSituation m_situation;
    std::string m_text;
    CVersionList m_versions;
    CVersionList m_evolutionVersions;
    CPatchList m_patchs;
    CPatchList m_evolutionPatchs;
    CUpdatePackage m_patchPackage;
    CUpdatePackage m_versionPackage;
    CFileCheckerDef m_fileCheckDef;
};

} // namespace kvrUpdate

#endif // VESKUPDATE_CVERSIONQUERY_H
