// Files by FILE*, with 64-bit positions on every platform.
#ifndef VESKUPDATE_TOOLS_DELTA_FILEACCESS_H
#define VESKUPDATE_TOOLS_DELTA_FILEACCESS_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

namespace veskdelta
{

struct CFileCloser
{
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, CFileCloser>;

/// fopen with a path (wide on Windows); null when it cannot.
FilePtr OpenFile(const std::filesystem::path& path, const char* mode);

/// The file's length, found by seeking to its end; false when it cannot.
bool FileLength(std::FILE* file, std::uint64_t& length);

/// Reads exactly `count` bytes at `offset`; false when it cannot.
bool ReadAt(std::FILE* file, std::uint64_t offset, void* buffer, std::size_t count);

/// The whole file in `bytes`; false, with `error` set, when it cannot.
bool ReadWholeFile(const std::filesystem::path& path, std::string& bytes, std::string& error);

} // namespace veskdelta

#endif // VESKUPDATE_TOOLS_DELTA_FILEACCESS_H
