#include "support/TestTls.h"

#include "support/ChildProcess.h"

#include <curl/curl.h>

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <vector>

namespace fs = std::filesystem;

namespace testsupport
{

namespace
{

std::string FindOpenssl()
{
    for (const char* place : {"/usr/bin/openssl", "/usr/local/bin/openssl", "/bin/openssl"})
    {
        if (::access(place, X_OK) == 0)
            return place;
    }
    return std::string();
}

// Runs openssl with `args`; false with its output in `error` when it fails.
bool Openssl(const std::string& program, const std::vector<std::string>& args, std::string& error)
{
    const CRunResult result = RunProgram(program, args);
    if (result.status == 0)
        return true;
    error = "openssl " + args.front() + " failed: " + result.output;
    return false;
}

// A new P-256 key and a request for `name` in `dir`/`stem`.key and .csr.
bool KeyAndRequest(const std::string& program, const fs::path& dir, const std::string& stem, const std::string& name,
                   std::string& error)
{
    return Openssl(program,
                   {"req", "-new", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-keyout",
                    (dir / (stem + ".key")).string(), "-out", (dir / (stem + ".csr")).string(), "-subj", "/CN=" + name},
                   error);
}

// Signs `stem`.csr with the authority, valid for `days` from now (negative:
// it ended that long ago), for the names of `altNames`.
bool Sign(const std::string& program, const fs::path& dir, const std::string& stem, const std::string& altNames,
          int days, CTestCertificate& made, std::string& error)
{
    const fs::path extensions = dir / (stem + ".ext");
    std::ofstream(extensions) << "subjectAltName=" << altNames << "\nbasicConstraints=CA:FALSE\n";
    made.certificate = dir / (stem + ".pem");
    made.key = dir / (stem + ".key");
    return Openssl(program,
                   {"x509", "-req", "-in", (dir / (stem + ".csr")).string(), "-CA", (dir / "authority.pem").string(),
                    "-CAkey", (dir / "authority.key").string(), "-CAcreateserial", "-days", std::to_string(days),
                    "-extfile", extensions.string(), "-out", made.certificate.string()},
                   error);
}

} // namespace

bool MakeTestCertificates(const fs::path& dir, CTestCertificates& made, std::string& error)
{
    const std::string program = FindOpenssl();
    if (program.empty())
    {
        error = "the openssl program is not installed";
        return false;
    }
    fs::create_directories(dir);
    const std::string local = "DNS:localhost,IP:127.0.0.1";
    made.authority = dir / "authority.pem";
    made.selfSigned = {dir / "self-signed.pem", dir / "self-signed.key"};
    return Openssl(program,
                   {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-keyout",
                    (dir / "authority.key").string(), "-out", made.authority.string(), "-days", "2", "-subj",
                    "/CN=Throwaway test authority"},
                   error) &&
           KeyAndRequest(program, dir, "good", "localhost", error) &&
           Sign(program, dir, "good", local, 2, made.good, error) &&
           KeyAndRequest(program, dir, "wrong-name", "other.invalid", error) &&
           Sign(program, dir, "wrong-name", "DNS:other.invalid", 2, made.wrongName, error) &&
           KeyAndRequest(program, dir, "expired", "localhost", error) &&
           Sign(program, dir, "expired", local, -1, made.expired, error) &&
           Openssl(program,
                   {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-keyout",
                    made.selfSigned.key.string(), "-out", made.selfSigned.certificate.string(), "-days", "2", "-subj",
                    "/CN=localhost", "-addext", "subjectAltName=" + local},
                   error);
}

bool TrustOnlyAuthority(const fs::path& authority, std::string& why)
{
    // The bundle libcurl reads when a program sets none of its own.
    std::string bundle = "/etc/ssl/certs/ca-certificates.crt";
    if (CURL* curl = curl_easy_init())
    {
        char* place = nullptr;
        if (curl_easy_getinfo(curl, CURLINFO_CAINFO, &place) == CURLE_OK && place != nullptr)
            bundle = place;
        curl_easy_cleanup(curl);
    }
    if (!fs::exists(bundle))
    {
        why = "libcurl's default bundle " + bundle + " does not exist to be covered";
        return false;
    }
    // Private first, so that the mount below is seen by no one outside.
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
    {
        why = std::string("no private mount namespace: ") + std::strerror(errno);
        return false;
    }
    if (::mount(authority.c_str(), bundle.c_str(), nullptr, MS_BIND, nullptr) != 0)
    {
        why = "cannot mount the authority over " + bundle + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

} // namespace testsupport
