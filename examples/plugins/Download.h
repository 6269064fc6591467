// Where the download plug-in fetches a file of a package from, and which
// urls it fetches at all (the transfers themselves: PackageDownload.h).
#ifndef VESKPLUGINS_DOWNLOAD_H
#define VESKPLUGINS_DOWNLOAD_H

#include <string>

/// The url of a file: its own when it is absolute, otherwise joined to the
/// package's base url with exactly one slash. Empty when there is none.
std::string ResolveUrl(const char* base, const char* url);

/// The scheme of `url` in lower case: "http" or "https"; empty, with `error`
/// set, for any other. Files come over the network only: a file:// url in a
/// package would copy a local file of the host's choosing into the install.
std::string FetchedScheme(const std::string& url, std::string& error);

#endif // VESKPLUGINS_DOWNLOAD_H
