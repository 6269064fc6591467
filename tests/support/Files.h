// Whole files in and out, byte for byte, and random bytes to fill them with.
#ifndef VESKUPDATE_TESTS_SUPPORT_FILES_H
#define VESKUPDATE_TESTS_SUPPORT_FILES_H

#include <cstddef>
#include <filesystem>
#include <string>

namespace testsupport
{

/// The file's bytes; empty when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);

/// Makes `bytes` the file's whole content, creating its directory when
/// missing. Throws std::runtime_error when it cannot.
void WriteFile(const std::filesystem::path& path, const std::string& bytes);

/// `length` bytes from a Mersenne twister seeded with `seed`: the same for
/// the same seed on every platform, and nothing a compressor or a delta can
/// shorten.
std::string RandomBytes(std::size_t length, unsigned seed);

/// Whether symbolic links can be made in the folder `scratch` (created when
/// missing): not under wine, for one.
bool CanLink(const std::filesystem::path& scratch);

} // namespace testsupport

#endif // VESKUPDATE_TESTS_SUPPORT_FILES_H
