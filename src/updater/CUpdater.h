// The updater: one product, its version center, an embedded version query and
// an embedded local installation state.
#ifndef VESKUPDATE_CUPDATER_H
#define VESKUPDATE_CUPDATER_H

#include <VeskUpdate.h>

#include "client/CVersionQuery.h"
#include "updater/CLocalQuery.h"

#include <string>

namespace kvrUpdate
{

/// Configuration document: {"porduct_name": text, "version_center": text,
/// "local": the local state's document}. The key "porduct_name" is spelt so
/// on purpose; stored documents use it.
///
/// No lock of its own: one updater is used by one thread at a time. The local
/// state's own operations lock themselves; it also decides, under its lock,
/// what an installed patch does to the installed version.
class CUpdater final : public IUpdater
{
public:
    /// A T embedded in the updater. Everything is T's, except that Release
    /// does nothing: the host reaches the object through the updater, may call
    /// Release on it harmlessly, and the object ends with the updater.
    template <class T>
    class CLocalized : public T
    {
    public:
        CLocalized() = default;
        void Release() override {}
    };

    /// Empty product name and version center, those of the embedded query.
    CUpdater();
    ~CUpdater();
    CUpdater(const CUpdater&) = delete;
    CUpdater& operator=(const CUpdater&) = delete;

    // IStringInitial
    /// The configuration document as tab-indented JSON text, held until the
    /// next ToString or the updater's end. The empty text if the document
    /// could not be built (memory exhausted): never half a document.
    const char* ToString() override;
    /// Loads the configuration document. False, and nothing changes, when the
    /// text is not JSON, its root is not an object, or memory runs out.
    /// Otherwise: the product name ("porduct_name"; a number, array or object
    /// gives "product") and the version center ("version_center"; a number,
    /// array or object gives the empty text, no address) go to the query,
    /// the local state is read from "local" and takes the updater's product
    /// name; true. Everything is read first and then taken in one step. A
    /// "local" member that is neither an object nor null leaves the local
    /// state as it was (apart from the product name).
    bool FromString(const char* text) override;

    // IReleaseable
    void Release() override;

    // IUpdater
    void SetProductName(const char* name) override;
    const char* GetProductName() const override;
    void SetVersionCenter(const char* address) override;
    IVersionQuery* GetVersionQuery() override;
    ILocalQuery* GetLocalQuery() override;
    void SetPatchDownloaded(const IPatch* patch) override;
    void SetPatchInstalled(const IPatch* patch) override;

private:
    // The product name and the version center live in the query; the local
    // state keeps its own copy of the name, under its own lock.
    std::string m_text;
    CLocalized<CVersionQuery> m_versionQuery;
    CLocalized<CLocalQuery> m_localQuery;
};

} // namespace kvrUpdate

#endif // VESKUPDATE_CUPDATER_H
