// Answers the version center's requests from a catalog. The answers that do
// not depend on the query are rendered once, when the center is built.
//
// Requests, after the base path: <product> followed by one of the paths of
// the protocol table (Protocol.h).
#ifndef VERSIONCENTER_CVERSIONCENTER_H
#define VERSIONCENTER_CVERSIONCENTER_H

#include "catalog/CCatalog.h"
#include "serving/HttplibDeclarations.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace versionCenter
{

struct CAnswer
{
    int status = 200;
    std::string body;
};

class CVersionCenter
{
public:
    /// `basePath` is what every request path starts with; it begins and ends
    /// with '/' ("/" or "/vc/"). Download addresses of the catalog that are
    /// relative to the download tree are completed with `downloadUrl`, the
    /// address the tree is served at; when it is empty they are sent as they
    /// are.
    explicit CVersionCenter(CCatalog catalog, std::string basePath = "/", const std::string& downloadUrl = "");

    /// The answer to a GET of the (URL-decoded) path with the decoded query
    /// parameters.
    CAnswer Answer(const std::string& path, const std::multimap<std::string, std::string>& query) const;

    const CCatalog& Catalog() const { return m_catalog; }
    /// Begins and ends with '/'.
    const std::string& BasePath() const { return m_basePath; }

    /// Answers the GET `request` into `response`.
    void Respond(const httplib::Request& request, httplib::Response& response) const;

    /// Routes every GET of `server` to Answer, and gives the statuses the
    /// server refuses requests with a JSON body (MountErrorBodies).
    void Mount(httplib::Server& server) const;
    static void MountErrorBodies(httplib::Server& server);

private:
    struct CRendered
    {
        std::string situation;
        std::string versions;
        std::map<CVersionNumber, std::string> patchsFor;
        std::map<CVersionNumber, std::string> versionPackage;
        std::map<CVersionNumber, std::string> fileCheck;
        std::map<std::string, std::string> patchPackage;
        /// Per version, the patches that apply to it, in catalog order.
        std::map<CVersionNumber, std::vector<const CPatchEntry*>> applying;
        /// Each patch's JSON object, rendered once.
        std::map<const CPatchEntry*, std::string> patch;
    };

    /// The answers of one product that do not depend on the query.
    static CRendered RenderProduct(const CProductEntry& product, const std::string& downloadUrl);

    /// `rest` is the path after the product name.
    static CAnswer ProductAnswer(const CProductEntry& product, const CRendered& rendered, const std::string& rest,
                                 const std::multimap<std::string, std::string>& query);
    static CAnswer PatchsFor(const CProductEntry& product, const CRendered& rendered, const std::string& version);
    static CAnswer PatchPackage(const CProductEntry& product, const CRendered& rendered, const std::string& number);
    static CAnswer VersionResource(const CProductEntry& product, const std::map<CVersionNumber, std::string>& answers,
                                   const std::string& text, const char* what);
    /// The evolutions between two versions of the product (found by the caller).
    static CAnswer VersionEvolution(const CProductEntry& product, const CVersionNumber& from, const CVersionNumber& to);
    static CAnswer PatchEvolution(const CRendered& rendered, const CVersionNumber& from, const CVersionNumber& to);

    CCatalog m_catalog;
    std::string m_basePath;
    std::map<std::string, CRendered> m_rendered;
};

} // namespace versionCenter

#endif // VERSIONCENTER_CVERSIONCENTER_H
