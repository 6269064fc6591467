// The command-line convention shared by the project's programs, so that they
// behave alike:
//
// - options may stand anywhere on the line, in the long form `--name`, with a
//   value as `--name=VALUE` or `--name VALUE`; some also have a one-letter
//   form (`-h`); a value may not be empty; given twice, the last one counts (Values
//   gives all of them, for an option that may be repeated);
// - `--` ends the options: every later word is an argument, even one that
//   starts with a dash; a lone `-` is an argument as well;
// - `--help` (`-h`) and `--version` are known to every program;
// - errors are one line on standard error, `TOOL: error: MESSAGE`; a usage
//   error adds one `usage: ...` line (the full text is for `--help` only);
// - exit statuses: 0 done, 1 failed, 2 usage error (see ExitStatus).
//
// A program lists its options, calls Start and, when that says go on, reads
// the options and arguments from the CCommandLine.
#ifndef VESK_CLI_COMMANDLINE_H
#define VESK_CLI_COMMANDLINE_H

#include <string>
#include <utility>
#include <vector>

namespace cli
{

/// The exit statuses every program uses. A program may add its own above 2
/// and documents them in its --help text.
enum ExitStatus
{
    ExitOk = 0,     // done
    ExitFailed = 1, // the work could not be done
    ExitUsage = 2   // the command line cannot be carried out as given
};

/// One option a program accepts.
struct COption
{
    const char* name;      // long name without the dashes: "state"
    const char* valueName; // the value's name in usage texts ("FILE"); null for an option without value
    char letter;           // one-letter form ('h' for -h), or 0 for none
};

class CCommandLine
{
public:
    /// `tool` names the program in every message; `usage` is its synopsis,
    /// e.g. "vesk-host [--state FILE] COMMAND [ARGUMENTS]".
    CCommandLine(std::string tool, std::string usage);

    /// Parses argv[1..argc-1] against `options` (--help, -h and --version are
    /// added). False on a usage error, which GetError then describes.
    bool Parse(int argc, const char* const* argv, const std::vector<COption>& options);

    /// Parse, then the conventions every program shares: a usage error is
    /// reported, --help prints `help`, --version prints the program name and
    /// the project version. True when the program should go on; otherwise
    /// `status` is the exit status to end with.
    bool Start(int argc, const char* const* argv, const std::vector<COption>& options, const char* help, int& status);

    /// Whether the option was given.
    bool Has(const std::string& name) const;
    /// The value given last for the option; empty when it was not given.
    std::string Value(const std::string& name) const;
    /// Every value given for the option, in the order given: for an option
    /// that may be repeated.
    std::vector<std::string> Values(const std::string& name) const;
    /// The options given, by long name, in the order given (repeats
    /// included).
    const std::vector<std::string>& GetGiven() const { return m_given; }
    /// The words that are not options, in order.
    const std::vector<std::string>& GetArguments() const { return m_arguments; }
    /// What the last Parse found wrong.
    const std::string& GetError() const { return m_error; }
    const std::string& GetTool() const { return m_tool; }

    /// Prints "TOOL: error: MESSAGE" and a usage line (`usage`, or the
    /// program's synopsis when empty) on standard error; returns ExitUsage.
    int UsageError(const std::string& message, const std::string& usage = std::string()) const;
    /// Prints "TOOL: error: MESSAGE" on standard error; returns `status`.
    int Fail(const std::string& message, int status = ExitFailed) const;

private:
    const COption* Find(const std::string& word, const std::vector<COption>& options) const;
    bool TakeOption(const std::string& word, const char* next, bool& usedNext, const std::vector<COption>& options);

    std::string m_tool;
    std::string m_usage;
    std::vector<std::string> m_given;
    std::vector<std::pair<std::string, std::string>> m_values;
    std::vector<std::string> m_arguments;
    std::string m_error;
};

/// The project's version, "MAJOR.MINOR.PATCH".
const char* ProjectVersion();

} // namespace cli

#endif // VESK_CLI_COMMANDLINE_H
