// Whole files in and out, byte for byte.
#ifndef VESKUPDATE_TESTS_SUPPORT_FILES_H
#define VESKUPDATE_TESTS_SUPPORT_FILES_H

#include <filesystem>
#include <string>

namespace testsupport
{

/// The file's bytes; empty when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);

/// Makes `bytes` the file's whole content, creating its directory when
/// missing. Throws std::runtime_error when it cannot.
void WriteFile(const std::filesystem::path& path, const std::string& bytes);

/// Whether symbolic links can be made in the folder `scratch` (created when
/// missing): not under wine, for one.
bool CanLink(const std::filesystem::path& scratch);

} // namespace testsupport

#endif // VESKUPDATE_TESTS_SUPPORT_FILES_H
