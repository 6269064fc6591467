// The catalog and download tree the server answers from, reread on demand
// (SIGHUP) without stopping: each request takes the snapshot current when it
// starts and finishes on it, so a reload drops no request in flight and new
// requests see the new catalog. A catalog that does not load is refused and
// the previous one keeps serving.
#ifndef VERSIONCENTER_CRELOADINGCENTER_H
#define VERSIONCENTER_CRELOADINGCENTER_H

#include "catalog/CCatalog.h"
#include "serving/CDownloadTree.h"
#include "serving/CVersionCenter.h"

#include <memory>
#include <mutex>
#include <string>

namespace versionCenter
{

struct CServeSource
{
    std::string catalog;     // the catalog file
    std::string files;       // the download tree, or empty
    std::string basePath;    // begins and ends with '/'
    std::string downloadUrl; // completes tree-relative addresses, or empty
};

class CReloadingCenter
{
public:
    explicit CReloadingCenter(CServeSource source);

    /// Reads and checks the catalog and the download tree; false with
    /// `error` saying why. Nothing is served from it until Install.
    bool Read(CCatalog& catalog, std::string& error) const;

    /// Serves `catalog` from now on.
    void Install(CCatalog catalog);

    /// Reads the catalog and the download tree again and serves them, or
    /// keeps serving the previous ones when they cannot be used. Logs one
    /// line on standard error either way; true when the new one serves.
    bool Reload();

    /// Routes the download tree (when there is one) and every other GET of
    /// `server` to the snapshot current when each request starts.
    void Mount(httplib::Server& server) const;

private:
    struct CSnapshot
    {
        CSnapshot(CCatalog catalog, const CServeSource& source);
        CVersionCenter center;
        CDownloadTree tree;
    };

    std::shared_ptr<const CSnapshot> Current() const;

    CServeSource m_source;
    mutable std::mutex m_lock; // guards m_current, not what it points to
    std::shared_ptr<const CSnapshot> m_current;
};

} // namespace versionCenter

#endif // VERSIONCENTER_CRELOADINGCENTER_H
