// Addresses of the files in a download tree. A catalog may give them
// relative to the tree ("Editor/1.1.0.0/bin/editor.bin"); whoever serves the
// catalog completes them with the address the tree is served at.
#ifndef VERSIONCENTER_DOWNLOADURL_H
#define VERSIONCENTER_DOWNLOADURL_H

#include <string>

namespace versionCenter
{

/// `path` ('/' between names) with every byte other than letters, digits,
/// "-._~" and '/' percent-encoded, so that it stands in a URL as it is.
std::string EncodeUrlPath(const std::string& path);

/// Whether `url` is relative to the download tree: not empty, and without a
/// scheme ("://").
bool IsTreeRelative(const std::string& url);

/// `url` completed with `downloadUrl` (which ends with '/') when it is
/// relative to the tree and `downloadUrl` is not empty; otherwise `url`.
std::string CompleteUrl(const std::string& url, const std::string& downloadUrl);

/// `address` with a '/' at its end.
std::string WithSlash(std::string address);

} // namespace versionCenter

#endif // VERSIONCENTER_DOWNLOADURL_H
