// Serves a download tree over HTTP: the files under one folder, with their
// lengths, content types and byte ranges, and nothing outside that folder.
#ifndef VERSIONCENTER_CDOWNLOADTREE_H
#define VERSIONCENTER_CDOWNLOADTREE_H

#include "serving/HttplibDeclarations.h"

#include <filesystem>
#include <string>
#include <vector>

namespace versionCenter
{

struct CContentType
{
    const char* extension; // ".zip"
    const char* type;      // "application/zip"
};

/// The content types downloads are sent with, by the extension of their
/// name; anything else is application/octet-stream.
const std::vector<CContentType>& DownloadContentTypes();

/// The content type of the file `name`.
const char* DownloadContentType(const std::string& name);

class CDownloadTree
{
public:
    /// `root` is the folder served; it must exist.
    explicit CDownloadTree(const std::filesystem::path& root);

    /// The file a request for `relative` (decoded, '/' between names)
    /// names, in `file`; false when there is none: no regular file there, or
    /// the name climbs out of the tree ("..", or a link leading outside).
    bool Resolve(const std::string& relative, std::filesystem::path& file) const;

    /// Answers a request for `relative` (decoded) with the file, or 404. The
    /// file is read while the answer is sent, not through this object.
    void Serve(const std::string& relative, const httplib::Request& request, httplib::Response& response) const;

    /// The route pattern of the requests for files under `prefix`; the path
    /// in the tree is its first match.
    static std::string Route(const std::string& prefix);

    /// Answers GET and HEAD of `prefix` (begins and ends with '/') followed
    /// by a path in the tree. Mount before any handler that takes every path.
    void Mount(httplib::Server& server, const std::string& prefix) const;

private:
    std::filesystem::path m_root; // canonical
};

} // namespace versionCenter

#endif // VERSIONCENTER_CDOWNLOADTREE_H
