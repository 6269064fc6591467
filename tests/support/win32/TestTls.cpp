// TLS for tests on Windows: none. The Windows build's cpp-httplib has no
// OpenSSL, so its test server cannot serve https; the tests that need it
// skip, saying so.
#include "support/TestTls.h"

namespace testsupport
{

bool MakeTestCertificates(const std::filesystem::path& /*dir*/, CTestCertificates& /*made*/, std::string& error)
{
    error = "the Windows build's test server serves no https";
    return false;
}

bool TrustOnlyAuthority(const std::filesystem::path& /*authority*/, std::string& why)
{
    why = "the Windows build's test server serves no https";
    return false;
}

} // namespace testsupport
