// The commands of the version-center program: serve a catalog (the
// default), publish release folders into a catalog, export a catalog as
// static files for nginx.
#ifndef VERSIONCENTER_COMMANDS_H
#define VERSIONCENTER_COMMANDS_H

#include <map>
#include <set>
#include <string>
#include <vector>

namespace versionCenter
{

/// Exit statuses of the program.
enum ExitStatus
{
    ExitOk = 0,
    ExitFailed = 1,    // cannot listen, cannot write
    ExitUsage = 2,     // bad command line
    ExitBadInput = 3   // the catalog or the release folders are not right; nothing was written
};

struct CWords
{
    std::map<std::string, std::string> values; // option name ("--listen") -> value
    std::set<std::string> flags;               // options without value that were given
    std::vector<std::string> arguments;
};

/// Reads argv[first..argc-1]: options with a value (`--name VALUE` or
/// `--name=VALUE`), flags, and arguments; `--` ends the options. False, with
/// `error`, for an unknown option or a missing value.
bool ReadWords(int argc, char** argv, int first, const std::set<std::string>& valued,
               const std::set<std::string>& flags, CWords& words, std::string& error);

/// Prints "version-center: error: MESSAGE" and `usage` on standard error;
/// returns ExitUsage.
int UsageError(const std::string& message, const char* usage);

/// Prints "version-center: error: MESSAGE" on standard error; returns
/// `status`.
int Fail(const std::string& message, int status);

/// Splits "HOST:PORT" ("[::1]:80" for IPv6); false when it is not one.
bool ParseListen(const std::string& text, std::string& host, int& port);

int ServeCommand(int argc, char** argv);
int PublishCommand(int argc, char** argv);
int ExportCommand(int argc, char** argv);

} // namespace versionCenter

#endif // VERSIONCENTER_COMMANDS_H
