#include "serving/CReloadingCenter.h"

#include "Commands.h"

#include <httplib.h>

#include <cstdio>
#include <utility>

namespace versionCenter
{

CReloadingCenter::CSnapshot::CSnapshot(CCatalog catalog, const CServeSource& source)
    : center(std::move(catalog), source.basePath, source.downloadUrl), tree(source.files)
{
}

CReloadingCenter::CReloadingCenter(CServeSource source) : m_source(std::move(source)) {}

bool CReloadingCenter::Read(CCatalog& catalog, std::string& error) const
{
    return catalog.LoadFile(m_source.catalog, error) &&
           CanServeDownloadTree(catalog, m_source.files, m_source.basePath, error);
}

void CReloadingCenter::Install(CCatalog catalog)
{
    // Built outside the lock: rendering a large catalog takes a while, and
    // requests keep being answered from the previous snapshot meanwhile.
    auto snapshot = std::make_shared<const CSnapshot>(std::move(catalog), m_source);
    std::shared_ptr<const CSnapshot> previous;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        previous = std::move(m_current);
        m_current = std::move(snapshot);
    }
    // `previous` ends here, or with the last request still answering from it.
}

bool CReloadingCenter::Reload()
{
    CCatalog catalog;
    std::string error;
    if (!Read(catalog, error))
    {
        std::fprintf(stderr, "version-center: reload refused, still serving the previous catalog: %s\n", error.c_str());
        return false;
    }
    const std::size_t products = catalog.Products().size();
    Install(std::move(catalog));
    std::fprintf(stderr, "version-center: reloaded %zu product%s from %s\n", products, products == 1 ? "" : "s",
                 m_source.catalog.c_str());
    return true;
}

std::shared_ptr<const CReloadingCenter::CSnapshot> CReloadingCenter::Current() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_current;
}

void CReloadingCenter::Mount(httplib::Server& server) const
{
    if (!m_source.files.empty())
        server.Get(CDownloadTree::Route(m_source.basePath + "files/"),
                   [this](const httplib::Request& request, httplib::Response& response) {
                       Current()->tree.Serve(request.matches[1].str(), request, response);
                   });
    server.Get(R"(/.*)", [this](const httplib::Request& request, httplib::Response& response) {
        Current()->center.Respond(request, response);
    });
    CVersionCenter::MountErrorBodies(server);
}

} // namespace versionCenter
