#include "support/CScratchDir.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>
#include <stdexcept>
#include <system_error>

namespace fs = std::filesystem;

namespace testsupport
{

namespace
{

// Creating a directory either makes a new one or reports that the name is
// taken, atomically, so a random name retried on a clash is as safe as
// mkdtemp and needs nothing of the platform.
std::uint64_t RandomNumber()
{
    thread_local std::mt19937_64 generator(
        (static_cast<std::uint64_t>(std::random_device{}()) << 32) ^
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    return generator();
}

} // namespace

CScratchDir::CScratchDir(const std::string& prefix)
{
    const fs::path parent = fs::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt)
    {
        char suffix[17];
        std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(RandomNumber()));
        const fs::path candidate = parent / (prefix + "-" + suffix);
        std::error_code error;
        if (fs::create_directory(candidate, error))
        {
            m_path = candidate;
            return;
        }
        if (error && error != std::errc::file_exists)
            throw std::runtime_error("cannot create a directory in " + parent.string() + ": " + error.message());
    }
    throw std::runtime_error("cannot find a free directory name in " + parent.string());
}

CScratchDir::~CScratchDir()
{
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
}

} // namespace testsupport
