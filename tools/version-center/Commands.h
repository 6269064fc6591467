// The commands of the version-center program: serve a catalog (the
// default), publish release folders into a catalog, export a catalog as
// static files for nginx, make a signing key pair. They follow the project's command-line convention
// (tools/cli): --opt=VALUE or --opt VALUE, -- ends the options, --help,
// --version, `version-center: error: ...`.
#ifndef VERSIONCENTER_COMMANDS_H
#define VERSIONCENTER_COMMANDS_H

#include <CommandLine.h>

#include <initializer_list>
#include <string>

namespace versionCenter
{

/// The exit status beyond the shared ones (0 done, 1 cannot listen or
/// cannot write, 2 usage error): the catalog, the download tree or the
/// release folders cannot be used; nothing was written.
constexpr int ExitBadInput = 3;

/// The exit statuses as every command's --help and the README state them.
constexpr const char* kExitStatusHelp = "Exit status: 0 done (for the server: stopped by SIGINT or SIGTERM); 1 cannot\n"
                                        "listen or cannot write; 2 the command line cannot be carried out as given;\n"
                                        "3 the catalog, the download tree or the release folders cannot be used\n"
                                        "(nothing was written). Every error is one line on standard error, followed\n"
                                        "by a usage line when the command line is wrong.\n";

/// Splits "HOST:PORT" ("[::1]:80" for IPv6); false when it is not one.
bool ParseListen(const std::string& text, std::string& host, int& port);

/// "/" followed by `path` unless it begins with one, ending with '/'.
std::string NormalBasePath(const std::string& path);

/// The command line of a command that takes options only (publish, keygen):
/// no word that is not an option, and every option of `required` given.
/// False, with the usage error reported and its exit status in `status`,
/// when the line breaks either rule.
bool TakesOptionsOnly(const cli::CCommandLine& line, const char* command, std::initializer_list<const char*> required,
                      int& status);

class CCatalog;

/// Whether the download tree `files` (none when empty) can be served beside
/// `catalog` under `basePath`: it is a folder, and no product of the catalog
/// takes the path the tree is served at. False with `error` saying why.
bool CanServeDownloadTree(const CCatalog& catalog, const std::string& files, const std::string& basePath,
                          std::string& error);

/// Each takes the words after the program's name: the command's own first.
int ServeCommand(int argc, const char* const* argv);
int PublishCommand(int argc, const char* const* argv);
int ExportCommand(int argc, const char* const* argv);
int KeygenCommand(int argc, const char* const* argv);

} // namespace versionCenter

#endif // VERSIONCENTER_COMMANDS_H
