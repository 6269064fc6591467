// A product's signed snapshot: the situation, every version and patch the
// catalog serves, a sequence number that only grows and an expiry. A host
// that keeps the highest sequence it has seen tells a replayed snapshot, and
// the expiry ends a frozen one.
//
//   { "format": "vesk-snapshot-1", "product": "Editor", "sequence": 7,
//     "expires": 1797000000,
//     "situation": { "last": "2.0.0.0", "must": "1.1.0.0", "max": "2.0.0.0", "will": "2.1.0.0" },
//     "versions": ["1.0.0.0", ...],
//     "patches": [ { "number": "P-1001", "apply": ["1.0.0.0"], "result": "1.1.0.0" } ] }
#ifndef VESKTRUST_SNAPSHOT_H
#define VESKTRUST_SNAPSHOT_H

#include <string>
#include <vector>

namespace vesktrust
{

constexpr const char* kSnapshotFormat = "vesk-snapshot-1";

struct CSnapshotPatch
{
    std::string number;
    std::string result;
    std::vector<std::string> apply;
};

struct CSnapshot
{
    std::string product;
    // The situation; each a canonical version, or empty when the catalog
    // names none.
    std::string last, must, max, will;
    unsigned long long sequence = 0;
    long long expires = 0; // Unix seconds, UTC
    std::vector<std::string> versions;
    std::vector<CSnapshotPatch> patches;
};

/// The snapshot's text; versions and patches in the order given.
std::string WriteSnapshot(const CSnapshot& snapshot);

/// Reads a snapshot strictly, like ReadManifest: a missing or unknown
/// member, a wrong type, a version that is not canonical, a version or
/// patch number listed twice, a sequence below 1 are refused.
bool ReadSnapshot(const std::string& text, CSnapshot& snapshot, std::string& error);

/// "<product>/signed/snapshot.json".
std::string SnapshotPath(const std::string& product);

} // namespace vesktrust

#endif // VESKTRUST_SNAPSHOT_H
