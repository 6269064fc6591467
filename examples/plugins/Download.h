// The download plug-in's transfers: where a file of a package is fetched
// from, which urls are fetched at all, and one file fetched with libcurl and
// checked against what it must be.
#ifndef VESKPLUGINS_DOWNLOAD_H
#define VESKPLUGINS_DOWNLOAD_H

#include <cstdio>
#include <string>

/// The url of a file: its own when it is absolute, otherwise joined to the
/// package's base url with exactly one slash. Empty when there is none.
std::string ResolveUrl(const char* base, const char* url);

/// The scheme of `url` in lower case: "http" or "https"; empty, with `error`
/// set, for any other. Files come over the network only: a file:// url in a
/// package would copy a local file of the host's choosing into the install.
std::string FetchedScheme(const std::string& url, std::string& error);

/// What a downloaded file must be: its length, and either the MD5 the
/// package answer gives or, when `sha256` is not empty, the SHA-256 of a
/// signed manifest (then the MD5 is not looked at). `source` names where
/// the figures come from, for messages.
struct CExpectedFile
{
    long long length = 0;
    std::string md5;
    std::string sha256;
    std::string source = "the package";
};

/// Downloads `url` into `out`; true when exactly the expected length arrived
/// with the expected digest, otherwise `error` says what went wrong. A
/// redirect may go to http or https, but never from https to http: bytes
/// asked for over TLS are not taken from a plain connection. `out` stays
/// open.
bool Download(const std::string& url, const std::string& scheme, std::FILE* out, const CExpectedFile& expected,
              std::string& error);

#endif // VESKPLUGINS_DOWNLOAD_H
