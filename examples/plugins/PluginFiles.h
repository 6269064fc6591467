// What the sample plug-ins share: the export of their entry, where a file of
// a definition lives under the host's directory, and whether a file on disk
// is the one a definition describes.
#ifndef VESKPLUGINS_PLUGINFILES_H
#define VESKPLUGINS_PLUGINFILES_H

#include <VeskUpdate.h>

#include <filesystem>
#include <string>

#if defined(_WIN32)
#  define VESK_PLUGIN_ENTRY extern "C" __declspec(dllexport)
#else
#  define VESK_PLUGIN_ENTRY extern "C" __attribute__((visibility("default")))
#endif

/// The place of the file `name` under `directory`, in `path`. False when the
/// directory is empty, or when the name is empty, names a directory, is
/// absolute, or climbs out with "..": a name comes from the version center
/// and must never reach outside the host's directory. Backslashes count as
/// separators. False as well, on every platform, when a component is one
/// Windows treats specially: a device name ("CON", "nul.txt", "COM1"), a ':'
/// (a data stream or a drive), or a trailing dot or space.
bool InstallPath(const char* directory, const char* name, std::filesystem::path& path);

/// Whether `digest` (lower-case hex) equals the expected MD5 text, whose hex
/// digits may be of either case. An empty expectation never matches.
bool Md5Matches(const std::string& digest, const char* expected);

/// Whether the regular file at `path` has the definition's length and MD5.
bool FileMatches(const std::filesystem::path& path, const kvrUpdate::IFileDef& file);

#endif // VESKPLUGINS_PLUGINFILES_H
