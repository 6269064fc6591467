// Fetching a signed file: NAME and NAME.minisig over http or https only,
// the signature checked with the trusted keys before the text is given out.
#ifndef VESKTRUST_SIGNEDFETCH_H
#define VESKTRUST_SIGNEDFETCH_H

#include "Minisign.h"

#include <string>
#include <vector>

namespace vesktrust
{

/// Fetches `url` and `url` + ".minisig" and verifies the one with the other.
/// Only http and https are fetched; a redirect is followed (at most 5) only
/// to http or https, and from https only to https. A body over `maxBytes`
/// (the signature: over 16 KiB), an answer other than 200, or a signature
/// that does not verify with one of `trusted` is refused. True with the text
/// and who signed it; false with a one-line `error` naming the URL.
bool FetchSigned(const std::string& url, const std::vector<CPublicKey>& trusted, long long maxBytes, std::string& text,
                 CVerified& verified, std::string& error);

/// Fetches one file under the same rules, unverified: true with its body.
bool FetchBounded(const std::string& url, long long maxBytes, std::string& body, std::string& error);

/// `path` ('/' between names, as ManifestPath gives) with every byte other
/// than letters, digits, '/', '-', '.', '_' and '~' percent-encoded, to be
/// appended to a base URL.
std::string EscapeUrlPath(const std::string& path);

} // namespace vesktrust

#endif // VESKTRUST_SIGNEDFETCH_H
