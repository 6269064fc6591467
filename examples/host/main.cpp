// vesk-host: keeps one product up to date against a version center, the way
// any host of the library does it. See --help.
//
// One table of commands drives everything: the help text, the checking of a
// command's arguments and options, and the dispatch to its handler.
#include "CHost.h"

#include <CommandLine.h>

#include <clocale>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace
{

const char kTool[] = "vesk-host";
const char kSynopsis[] = "vesk-host [--state FILE] COMMAND [ARGUMENTS]";

// Options of every command; the command table says which of the others each
// command takes.
const char* const kGlobalOptions[] = {"state", "help", "version", "trust", "downloads"};

const std::vector<cli::COption> kOptions = {
    {"state", "FILE", 0},   {"installed", "VERSION", 0}, {"force", nullptr, 0},
    {"raw", nullptr, 0},    {"executor", "FILE", 0},     {"checker", "FILE", 0},
    {"trust", "PUBLIC", 0}, {"downloads", "URL", 0},     {"allow-downgrade", nullptr, 0},
    {"jobs", "N", 0},
};

#if defined(VESK_HOST_EXECUTOR_PLUGIN)
const char kExecutorPlugin[] = VESK_HOST_EXECUTOR_PLUGIN;
#else
const char kExecutorPlugin[] = "";
#endif
#if defined(VESK_HOST_CHECKER_PLUGIN)
const char kCheckerPlugin[] = VESK_HOST_CHECKER_PLUGIN;
#else
const char kCheckerPlugin[] = "";
#endif
#if defined(VESK_HOST_SIGNED_CHECKER_PLUGIN)
const char kSignedCheckerPlugin[] = VESK_HOST_SIGNED_CHECKER_PLUGIN;
#else
const char kSignedCheckerPlugin[] = "";
#endif

// A setting with a default: the option's value, else the environment
// variable's, else the one built in.
struct CSetting
{
    const char* option;
    const char* variable;
    const char* builtIn;
};

const CSetting kStateFile = {"state", "VESK_HOST_STATE", "vesk-host.state"};
const CSetting kExecutor = {"executor", "VESK_HOST_EXECUTOR", kExecutorPlugin};
const CSetting kChecker = {"checker", "VESK_HOST_CHECKER", kCheckerPlugin};
// With trusted keys, the checker that checks against signed manifests.
const CSetting kSignedChecker = {"checker", "VESK_HOST_CHECKER", kSignedCheckerPlugin};

std::string Choose(const cli::CCommandLine& line, const CSetting& setting)
{
    std::string given = line.Value(setting.option);
    if (!given.empty())
        return given;
    const char* fromEnvironment = std::getenv(setting.variable);
    if (fromEnvironment != nullptr && *fromEnvironment)
        return fromEnvironment;
    return setting.builtIn;
}

// What a command's handler works with.
struct CCall
{
    CHost& host;
    const std::vector<std::string>& arguments; // after the command's name
    const cli::CCommandLine& line;

    std::string Arg(size_t index) const { return index < arguments.size() ? arguments[index] : std::string(); }
    std::string Executor() const { return Choose(line, kExecutor); }
    std::string Checker() const { return Choose(line, line.Has("trust") ? kSignedChecker : kChecker); }
};

struct CCommand
{
    const char* name;
    const char* arguments;   // "FROM TO"; an argument in brackets may be left out
    const char* options;     // the options of its own, space separated
    const char* description; // lines for --help
    int (*run)(const CCall& call);
};

const CCommand kCommands[] = {
    {"init", "PRODUCT ADDRESS", "installed force",
     "first run: the product and the version center's base\n"
     "address (a '/' is added when missing); VERSION is the\n"
     "version installed now (default 0.0.0.0). Asks the\n"
     "version center once before writing the state file;\n"
     "--force replaces an existing state file",
     [](const CCall& c) { return c.host.Init(c.Arg(0), c.Arg(1), c.line.Value("installed"), c.line.Has("force")); }},
    {"check", "", "",
     "the version center's situation (last, must, max, will),\n"
     "the status of the installed version, the patch chain to\n"
     "the newest version and the patches for the installed one",
     [](const CCall& c) { return c.host.Check(); }},
    {"versions", "", "", "every version the version center offers", [](const CCall& c) { return c.host.Versions(); }},
    {"patches", "[VERSION]", "", "the patches that apply to VERSION (default: installed)",
     [](const CCall& c) { return c.host.Patches(c.Arg(0)); }},
    {"evolution", "FROM TO", "", "the versions after FROM up to TO, and the patch chain",
     [](const CCall& c) { return c.host.Evolution(c.Arg(0), c.Arg(1)); }},
    {"package", "PATCH", "", "the update package of a patch (by its patch number)",
     [](const CCall& c) { return c.host.PatchPackage(c.Arg(0)); }},
    {"version-package", "VERSION", "", "the update package of a version",
     [](const CCall& c) { return c.host.VersionPackage(c.Arg(0)); }},
    {"filecheck", "VERSION", "", "the file-check definition of a version",
     [](const CCall& c) { return c.host.FileCheck(c.Arg(0)); }},
    {"downloaded", "PATCH", "", "record a patch as downloaded",
     [](const CCall& c) { return c.host.RecordDownloaded(c.Arg(0)); }},
    {"installed", "PATCH", "allow-downgrade",
     "record a patch as installed: a patch that leads to a\n"
     "newer version moves the installed version up to it; one\n"
     "that leads to the installed version is added to the\n"
     "installed patches; one for an older version changes\n"
     "nothing (with --trust it is refused, and with\n"
     "--allow-downgrade recorded as the installed version)",
     [](const CCall& c) { return c.host.RecordInstalled(c.Arg(0)); }},
    {"state", "", "raw", "the recorded state; --raw adds the state file's text",
     [](const CCall& c) { return c.host.ShowState(c.line.Has("raw")); }},
    {"apply", "PATCH DIR", "executor allow-downgrade jobs",
     "puts the files of the patch's package into DIR (made\n"
     "if missing) with the update executor plug-in that\n"
     "serves the package's type; records nothing",
     [](const CCall& c) { return c.host.ApplyPatch(c.Arg(0), c.Arg(1), c.Executor()); }},
    {"apply-version", "VERSION DIR", "executor allow-downgrade jobs", "the same with the package of a version",
     [](const CCall& c) { return c.host.ApplyVersion(c.Arg(0), c.Arg(1), c.Executor()); }},
    {"verify", "VERSION DIR", "checker executor",
     "checks the files in DIR against the package of the\n"
     "version, with the file checker plug-in that serves the\n"
     "type of the version's file-check definition",
     [](const CCall& c) { return c.host.Verify(c.Arg(0), c.Arg(1), c.Checker(), c.Executor()); }},
};

const char kHelpHead[] = "usage: vesk-host [--state FILE] COMMAND [ARGUMENTS]\n"
                         "\n"
                         "Keeps one product up to date against a version center. The state (product,\n"
                         "version center, installed version, installed and downloaded patches) lives in\n"
                         "the state file, which is replaced atomically after every change; a state file\n"
                         "that cannot be read, or whose content the library would not take in whole, is\n"
                         "reported and never overwritten.\n"
                         "\n"
                         "Commands:\n";

const char kHelpTail[] = "\n"
                         "Options (anywhere on the line; --opt=VALUE or --opt VALUE; -- ends them):\n"
                         "  --state FILE          the state file (default: $VESK_HOST_STATE, else\n"
                         "                        vesk-host.state in the current directory)\n"
                         "  --executor FILE       the update executor plug-in library (default:\n"
                         "                        $VESK_HOST_EXECUTOR, else the sample plug-in built\n"
                         "                        with this program)\n"
                         "  --checker FILE        the file checker plug-in library (default:\n"
                         "                        $VESK_HOST_CHECKER, else the sample plug-in: with\n"
                         "                        --trust the one of type sha256)\n"
                         "  --trust PUBLIC        a trusted public key: a minisign .pub file or its\n"
                         "                        base64 line; repeat it to trust several keys. With\n"
                         "                        it every package is verified against its signed\n"
                         "                        manifest before anything is put in place or\n"
                         "                        recorded, and init and check verify the product's\n"
                         "                        signed snapshot (its newest sequence is kept in\n"
                         "                        STATE.sequence; an older one is a replay)\n"
                         "  --downloads URL       the download tree's root, where the signed files are\n"
                         "                        (default: the version center's address + files/)\n"
                         "  --allow-downgrade     with --trust: accept a package that leads to a\n"
                         "                        version older than the installed one\n"
                         "  --jobs N              files the executor fetches at once, 1 to 64 (the\n"
                         "                        sample plug-in's default: 8)\n"
                         "  -h, --help            this text\n"
                         "  --version             the program's name and version\n"
                         "\n"
                         "apply, apply-version and verify first finish an update a crash cut short in\n"
                         "DIR, through the executor plug-in's entry FinishInterruptedUpdate when it has\n"
                         "one; when that fails, they do nothing else.\n"
                         "\n"
                         "Exit status: 0 done; 1 the version center is unreachable, does not know the\n"
                         "product, version or patch, a package or snapshot does not verify, an update\n"
                         "a crash cut short cannot be finished, or the state file cannot be read or\n"
                         "written;\n"
                         "2 the command line cannot be carried out as given. Every error is one line\n"
                         "on standard error, followed by a usage line when the command line is wrong.\n";

std::vector<std::string> Words(const char* text)
{
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

const cli::COption* FindOption(const std::string& name)
{
    for (const cli::COption& option : kOptions)
        if (name == option.name)
            return &option;
    return nullptr;
}

// "apply PATCH DIR [--executor FILE]"
std::string Synopsis(const CCommand& command)
{
    std::string text = command.name;
    if (*command.arguments)
        text += std::string(" ") + command.arguments;
    for (const std::string& name : Words(command.options))
    {
        const cli::COption* option = FindOption(name);
        text += " [--" + name;
        if (option != nullptr && option->valueName != nullptr)
            text += std::string(" ") + option->valueName;
        text += "]";
    }
    return text;
}

std::string HelpText()
{
    // Descriptions start in this column; a synopsis that reaches it gets a
    // line of its own.
    const std::string indent(24, ' ');
    std::string text = kHelpHead;
    for (const CCommand& command : kCommands)
    {
        std::string entry = "  " + Synopsis(command);
        if (entry.size() + 2 <= indent.size())
            entry.append(indent.size() - entry.size(), ' ');
        else
            entry += "\n" + indent;
        for (const char* c = command.description; *c; ++c)
            entry += *c == '\n' ? "\n" + indent : std::string(1, *c);
        text += entry + "\n";
    }
    return text + kHelpTail;
}

const CCommand* FindCommand(const std::string& name)
{
    for (const CCommand& command : kCommands)
        if (name == command.name)
            return &command;
    return nullptr;
}

bool IsGlobal(const std::string& option)
{
    for (const char* global : kGlobalOptions)
        if (option == global)
            return true;
    return false;
}

// What is wrong with calling `command` with `count` arguments and the options
// given; empty when nothing is.
std::string CheckCall(const CCommand& command, size_t count, const cli::CCommandLine& line)
{
    const std::vector<std::string> wanted = Words(command.arguments);
    size_t required = 0;
    for (const std::string& argument : wanted)
        required += argument[0] == '[' ? 0 : 1;
    if (count < required || count > wanted.size())
        return std::string("wrong number of arguments for '") + command.name + "'";
    const std::vector<std::string> own = Words(command.options);
    for (const std::string& option : line.GetGiven())
    {
        bool allowed = IsGlobal(option);
        for (const std::string& name : own)
            allowed = allowed || name == option;
        if (!allowed)
            return "option --" + option + " does not apply to '" + command.name + "'";
    }
    return std::string();
}

} // namespace

int main(int argc, char** argv)
{
    // Text crosses the library in the character set of the user's locale.
    std::setlocale(LC_ALL, "");

    cli::CCommandLine line(kTool, kSynopsis);
    int status = cli::ExitOk;
    if (!line.Start(argc, argv, kOptions, HelpText().c_str(), status))
        return status;

    const std::vector<std::string>& words = line.GetArguments();
    if (words.empty())
        return line.UsageError("no command given");
    const CCommand* command = FindCommand(words[0]);
    if (command == nullptr)
        return line.UsageError("unknown command '" + words[0] + "'");
    const std::string problem = CheckCall(*command, words.size() - 1, line);
    if (!problem.empty())
        return line.UsageError(problem, "vesk-host [--state FILE] " + Synopsis(*command));

    const std::string jobs = line.Value("jobs");
    if (line.Has("jobs") &&
        (jobs.empty() || jobs.size() > 2 || jobs.find_first_not_of("0123456789") != std::string::npos ||
         std::stoi(jobs) < 1 || std::stoi(jobs) > 64))
        return line.UsageError("--jobs takes a number from 1 to 64, not '" + jobs + "'",
                               "vesk-host [--state FILE] " + Synopsis(*command));

    CHost host(Choose(line, kStateFile));
    host.SetJobs(jobs);
    CHost::CTrustOptions trust;
    trust.keys = line.Values("trust");
    trust.downloads = line.Value("downloads");
    trust.allowDowngrade = line.Has("allow-downgrade");
    const int trusted = host.SetTrust(trust);
    if (trusted != CHost::Ok)
        return trusted;
    const std::vector<std::string> arguments(words.begin() + 1, words.end());
    return command->run(CCall{host, arguments, line});
}
