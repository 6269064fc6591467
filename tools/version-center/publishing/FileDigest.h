// Lengths and MD5 sums of files, and copies that check what they copy.
#ifndef VERSIONCENTER_FILEDIGEST_H
#define VERSIONCENTER_FILEDIGEST_H

#include <cstdint>
#include <filesystem>
#include <string>

namespace versionCenter
{

struct CFileDigest
{
    std::int64_t length = 0;
    std::string md5; // 32 lower-case hex digits
};

/// Reads the file at `path` to its end. False, with `error` saying why, when
/// it cannot be opened or read.
bool DigestFile(const std::filesystem::path& path, CFileDigest& digest, std::string& error);

/// Copies `source` to `target` through a new file beside the target that
/// takes the target's place only when it is complete and has `expected`'s
/// length and MD5 (the source may have changed since it was read). False,
/// with `error` saying why, when anything fails; the target is then as it
/// was.
bool CopyFileChecked(const std::filesystem::path& source, const std::filesystem::path& target,
                     const CFileDigest& expected, std::string& error);

/// Replaces the file at `target` with `text` the same way: a new file beside
/// it, flushed to disk and renamed over it.
bool WriteFileAtomically(const std::filesystem::path& target, const std::string& text, std::string& error);

} // namespace versionCenter

#endif // VERSIONCENTER_FILEDIGEST_H
