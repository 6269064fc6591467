// TLS for tests, on Linux: a throwaway certificate authority and server
// certificates made with the openssl program in a scratch folder, and a way
// to make this process (and the programs it starts) trust that authority by
// default without touching the machine's own trust store. On Windows both
// functions only say why there is no https for tests there.
#ifndef VESKUPDATE_TESTS_SUPPORT_TESTTLS_H
#define VESKUPDATE_TESTS_SUPPORT_TESTTLS_H

#include <filesystem>
#include <string>

namespace testsupport
{

/// A certificate and its key, both PEM files.
struct CTestCertificate
{
    std::filesystem::path certificate;
    std::filesystem::path key;
};

/// What MakeTestCertificates makes. Every server certificate but `wrongName`
/// names "localhost" and 127.0.0.1.
struct CTestCertificates
{
    std::filesystem::path authority; // the authority's certificate
    CTestCertificate good;           // signed by the authority, valid for two days
    CTestCertificate wrongName;      // signed by it, for "other.invalid" only
    CTestCertificate expired;        // signed by it, expired a day ago
    CTestCertificate selfSigned;     // signed by its own key
};

/// Makes the authority and the certificates in `dir`. False, with `error`,
/// when the openssl program is missing or fails.
bool MakeTestCertificates(const std::filesystem::path& dir, CTestCertificates& made, std::string& error);

/// Makes `authority` the one authority whose certificates this process and
/// its children trust through libcurl's default bundle: the process moves to
/// a private mount namespace in which that file is mounted over the bundle.
/// Nothing changes outside the process. The namespace is the calling
/// thread's and passes to the threads and programs it starts afterwards, so
/// call it on the thread that makes the requests, before it makes them.
/// False, with `why`, where this is not permitted (no mount namespaces, or
/// not allowed to make one).
bool TrustOnlyAuthority(const std::filesystem::path& authority, std::string& why);

} // namespace testsupport

#endif // VESKUPDATE_TESTS_SUPPORT_TESTTLS_H
