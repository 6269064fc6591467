// Which vesk-host and which executor plug-in a test of the host drives: this
// build's, or those the environment names. A cross build for Windows runs its
// own host through wine from a native test program, since the reference
// version center is a Linux program: VESK_COURSE_HOST then names a script
// that runs the Windows host, and VESK_COURSE_EXECUTOR the Windows build's
// download plug-in, which that host loads.
#ifndef VESKUPDATE_TESTS_SUPPORT_HOSTUNDERTEST_H
#define VESKUPDATE_TESTS_SUPPORT_HOSTUNDERTEST_H

#include <cstdlib>
#include <string>

namespace testsupport
{

/// The value of the environment variable `name`, else `builtIn`.
inline std::string FromEnvironment(const char* name, const std::string& builtIn)
{
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : builtIn;
}

/// The host program: VESK_COURSE_HOST, else this build's `builtIn`.
inline std::string HostProgram(const std::string& builtIn)
{
    return FromEnvironment("VESK_COURSE_HOST", builtIn);
}

/// The download plug-in for that host: VESK_COURSE_EXECUTOR, else this
/// build's `builtIn`.
inline std::string HostExecutor(const std::string& builtIn)
{
    return FromEnvironment("VESK_COURSE_EXECUTOR", builtIn);
}

} // namespace testsupport

#endif // VESKUPDATE_TESTS_SUPPORT_HOSTUNDERTEST_H
