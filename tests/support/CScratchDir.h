// A scratch directory for one test: new and empty, under the system's
// temporary directory, and removed with everything in it when it ends.
#ifndef VESKUPDATE_TESTS_SUPPORT_CSCRATCHDIR_H
#define VESKUPDATE_TESTS_SUPPORT_CSCRATCHDIR_H

#include <filesystem>
#include <string>

namespace testsupport
{

class CScratchDir
{
public:
    /// Creates "<temporary directory>/<prefix>-<random>". Throws
    /// std::runtime_error when it cannot.
    explicit CScratchDir(const std::string& prefix = "vesk-test");
    ~CScratchDir();
    CScratchDir(const CScratchDir&) = delete;
    CScratchDir& operator=(const CScratchDir&) = delete;
    CScratchDir(CScratchDir&&) = delete;
    CScratchDir& operator=(CScratchDir&&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    /// Path() / name.
    std::filesystem::path operator/(const std::filesystem::path& name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

} // namespace testsupport

#endif // VESKUPDATE_TESTS_SUPPORT_CSCRATCHDIR_H
