// Binary deltas between two versions of a file.
//
// A delta says how to build the new file from the old one: runs of bytes
// added to a stretch of the old file (the approximate matches a suffix array
// of the old file finds, extended forwards and backwards), runs of bytes
// taken as they are, and moves through the old file between them. Its three
// streams (moves and lengths, the differences, the new bytes) are compressed
// with zstd. The container is described in DeltaFormat.h.
//
// A delta comes from the network: applying one checks every length and
// position against the two files' lengths, refuses anything that does not
// add up, and holds a bounded amount of memory whatever the delta says (the
// old file is read where needed, the streams are decompressed as they are
// used, the new file is written as it grows). The caller still checks the
// result against the hash it expects.
#ifndef VESKUPDATE_TOOLS_DELTA_DELTA_H
#define VESKUPDATE_TOOLS_DELTA_DELTA_H

#include <cstdio>
#include <filesystem>
#include <string>

namespace veskdelta
{

/// How a delta is made.
struct CMakeOptions
{
    /// zstd's compression level for the streams (1 to 22).
    int level = 19;
};

/// The delta that turns `oldData` into `newData`, in `delta`. False, with
/// `error` set, when the old data is too large to index.
bool MakeDelta(const std::string& oldData, const std::string& newData, std::string& delta, std::string& error,
               const CMakeOptions& options = {});

/// The delta between two files, written to `deltaOut` (replaced if present).
/// Both files are read into memory.
bool MakeDelta(const std::filesystem::path& oldFile, const std::filesystem::path& newFile,
               const std::filesystem::path& deltaOut, std::string& error, const CMakeOptions& options = {});

/// What applying a delta used.
struct CApplyStats
{
    long long newLength = 0;
    /// The most memory the decompressors held at once, in bytes (the
    /// applier's own buffers are fixed: kApplyBufferBytes each).
    long long decoderBytes = 0;
};

/// Builds the new file from `oldFile` (read with seeks, positioned anywhere)
/// and `delta` (read with seeks), writing it to `newOut` from its current
/// position on. Refuses a delta for an old file of another length, one whose
/// new file would be longer than `maxNewLength`, and any delta that is not
/// exactly as this library writes them. On a refusal some bytes may already
/// be written to `newOut`.
bool ApplyDelta(std::FILE* oldFile, std::FILE* delta, std::FILE* newOut, long long maxNewLength, std::string& error,
                CApplyStats* stats = nullptr);

/// The same with paths: `newOut` is created (replaced if present) and removed
/// again when the delta is refused.
bool ApplyDelta(const std::filesystem::path& oldFile, const std::filesystem::path& delta,
                const std::filesystem::path& newOut, long long maxNewLength, std::string& error,
                CApplyStats* stats = nullptr);

} // namespace veskdelta

#endif // VESKUPDATE_TOOLS_DELTA_DELTA_H
