// What the sample plug-ins share: the export of their entry, their answers
// about their type, which names of a definition may live under the host's
// directory, and whether a file on disk is the one a definition describes.
#ifndef VESKPLUGINS_PLUGINFILES_H
#define VESKPLUGINS_PLUGINFILES_H

#include "CInstallDir.h"

#include <VeskUpdate.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#if defined(_WIN32)
#  define VESK_PLUGIN_ENTRY extern "C" __declspec(dllexport)
#else
#  define VESK_PLUGIN_ENTRY extern "C" __attribute__((visibility("default")))
#endif

/// A plug-in object's answer to IsType, for an object of the one type `own`.
/// One that reads the host's context (`contextAware`) also answers yes to
/// kContextAware, which the host asks before it converts the object.
bool IsPluginType(const char* type, const char* own, bool contextAware);

/// A plug-in object's answer to EnumTypes: its one type `own`.
void EnumPluginType(IEnumable<const char*>::IEnum* callback, const char* own);

/// The components of the file name `name`, relative to the host's
/// directory, in `parts` ("." and empty components left out). False when the
/// name is empty, names a directory, is absolute, or climbs out with "..": a
/// name comes from the version center and must never reach outside the
/// host's directory. Backslashes count as separators. False as well, on every
/// platform, when a component is one Windows treats specially: a device name
/// ("CON", "nul.txt", "COM1"), a ':' (a data stream or a drive), or a
/// trailing dot or space.
bool SplitInstallName(const char* name, std::vector<std::string>& parts);

/// Reads the file `name` in `directory`, reached without following a link,
/// through `update` in blocks; its length in `length`. False when it cannot
/// be opened or read, or when it is longer than `limit` bytes: reading stops
/// soon after the limit, so a file grown huge costs no more than the file
/// expected.
bool StreamFile(const CInstallDir& directory, const std::string& name, long long limit,
                const std::function<void(const char* data, std::size_t size)>& update, long long& length);

/// Whether `digest` (lower-case hex) equals the expected MD5 text, whose hex
/// digits may be of either case. An empty expectation never matches.
bool Md5Matches(const std::string& digest, const char* expected);

/// Whether the file `name` in `directory` is a regular file, reached without
/// following a link, with the definition's length and MD5.
bool FileMatches(const CInstallDir& directory, const std::string& name, const kvrUpdate::IFileDef& file);

#endif // VESKPLUGINS_PLUGINFILES_H
