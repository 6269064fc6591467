// A package's signed manifest: what the package is for (a version, or a
// patch with the versions it applies to and its result) and every file with
// its name, length, SHA-256 and address. Written canonically, read strictly.
//
//   { "format": "vesk-manifest-1", "product": "Editor",
//     "kind": "version", "version": "1.1.0.0",
//     (or "kind": "patch", "patch": "P-1001", "apply": ["1.0.0.0"],
//      "result": "1.1.0.0", "removed": ["old/file"])
//     "files": [ { "name": "bin/editor", "length": 123, "sha256": "...",
//                  "url": "...", "deltas": [ { "from": "<sha256>",
//                  "url": "...", "length": 45, "sha256": "..." } ] } ] }
#ifndef VESKTRUST_MANIFEST_H
#define VESKTRUST_MANIFEST_H

#include <string>
#include <vector>

namespace vesktrust
{

constexpr const char* kManifestFormat = "vesk-manifest-1";

struct CManifestDelta
{
    std::string from; // SHA-256 of the installed file the delta applies to
    std::string url;
    std::string sha256; // of the delta file
    long long length = 0;
};

struct CManifestFile
{
    std::string name; // relative, '/' between names
    std::string sha256;
    std::string url; // as in the package answer
    long long length = 0;
    std::vector<CManifestDelta> deltas; // optional
};

struct CManifest
{
    std::string product;
    std::string kind;                 // "version" or "patch"
    std::string version;              // kind version: canonical a.b.c.d
    std::string patch;                // kind patch: the patch number
    std::string result;               // kind patch: canonical version
    std::vector<std::string> apply;   // kind patch: canonical versions
    std::vector<std::string> removed; // kind patch: names the result no longer has
    std::vector<CManifestFile> files;
};

/// The manifest's text. Files and removed names are written sorted by name,
/// so the same manifest always gives the same bytes.
std::string WriteManifest(const CManifest& manifest);

/// Reads a manifest. Refused, with a one-line `error`: anything but a JSON
/// object of this format, an unknown or missing member, a wrong type, a
/// version that is not canonical, a name that is not a safe relative path
/// (see CheckFileName), a file named twice, a digest that is not 64
/// lower-case hex digits, a negative length.
bool ReadManifest(const std::string& text, CManifest& manifest, std::string& error);

/// The manifest's place in the download tree, '/' between names:
/// "<product>/signed/<kind>-<id>.json". The id's bytes other than letters,
/// digits, '.' and '-' are written as "_XX" (hex), so any id gives one file
/// name of its own that needs no escaping in a URL: "version-1.1.0.0.json",
/// "patch-P-1001.json".
std::string ManifestPath(const std::string& product, const std::string& kind, const std::string& id);

/// Whether `name` is a file name a package may use under an install
/// directory: not empty, relative, '/' between non-empty names, no "." or
/// "..", no backslash, ':' or control character, no Windows device name
/// ("CON", "nul.txt", "COM1"), no name ending in a dot or space. False with
/// `error` saying why.
bool CheckFileName(const std::string& name, std::string& error);

/// Whether `text` is a canonical version: four dot-separated decimal
/// numbers below 2^32 without leading zeros ("1.1.0.0").
bool IsCanonicalVersion(const std::string& text);

/// Whether `text` is 64 lower-case hex digits.
bool IsSha256Hex(const std::string& text);

} // namespace vesktrust

#endif // VESKTRUST_MANIFEST_H
