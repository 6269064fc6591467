// vesk-host: keeps one product up to date against a version center, the way
// any host of the library does it. See --help.
#include "CHost.h"

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace
{

const char kUsage[] =
    "Usage: vesk-host [--state FILE] COMMAND [ARGUMENTS]\n"
    "\n"
    "Keeps one product up to date against a version center. The state (product,\n"
    "version center, installed version, installed and downloaded patches) lives in\n"
    "the state file, which is replaced atomically after every change; a state file\n"
    "that cannot be read is reported and never overwritten.\n"
    "\n"
    "Commands:\n"
    "  init PRODUCT ADDRESS [--installed VERSION] [--force]\n"
    "                        first run: the product and the version center's base\n"
    "                        address (a '/' is added when missing); VERSION is the\n"
    "                        version installed now (default 0.0.0.0). Asks the\n"
    "                        version center once before writing the state file;\n"
    "                        --force replaces an existing state file\n"
    "  check                 the version center's situation (last, must, max, will),\n"
    "                        the status of the installed version, the patch chain to\n"
    "                        the newest version and the patches for the installed one\n"
    "  versions              every version the version center offers\n"
    "  patches [VERSION]     the patches that apply to VERSION (default: installed)\n"
    "  evolution FROM TO     the versions after FROM up to TO, and the patch chain\n"
    "  package PATCH         the update package of a patch (by its patch number)\n"
    "  version-package VERSION\n"
    "                        the update package of a version\n"
    "  filecheck VERSION     the file-check definition of a version\n"
    "  downloaded PATCH      record a patch as downloaded\n"
    "  installed PATCH       record a patch as installed: a patch that leads to a\n"
    "                        newer version moves the installed version up to it; one\n"
    "                        that leads to the installed version is added to the\n"
    "                        installed patches; one for an older version changes\n"
    "                        nothing\n"
    "  state [--raw]         the recorded state; --raw adds the state file's text\n"
    "  apply PATCH DIR [--executor FILE]\n"
    "                        puts the files of the patch's package into DIR (made\n"
    "                        if missing) with the update executor plug-in that\n"
    "                        serves the package's type; records nothing\n"
    "  apply-version VERSION DIR [--executor FILE]\n"
    "                        the same with the package of a version\n"
    "  verify VERSION DIR [--checker FILE]\n"
    "                        checks the files in DIR against the package of the\n"
    "                        version, with the file checker plug-in that serves the\n"
    "                        type of the version's file-check definition\n"
    "\n"
    "Options:\n"
    "  --state FILE          the state file (default: $VESK_HOST_STATE, else\n"
    "                        vesk-host.state in the current directory)\n"
    "  --executor FILE       the update executor plug-in library (default:\n"
    "                        $VESK_HOST_EXECUTOR, else the sample plug-in built\n"
    "                        with this program)\n"
    "  --checker FILE        the file checker plug-in library (default:\n"
    "                        $VESK_HOST_CHECKER, else the sample plug-in)\n"
    "  -h, --help            this text\n"
    "\n"
    "Exit status: 0 done; 1 the version center is unreachable, does not know the\n"
    "product, version or patch, or the state file cannot be read or written;\n"
    "2 bad arguments. Every error is one line on standard error.\n";

struct CArguments
{
    std::string state;
    std::string installed;
    std::string executor;
    std::string checker;
    bool force = false;
    bool raw = false;
    bool help = false;
    std::vector<std::string> words; // the command and its positional arguments
    std::vector<std::string> options; // the options given, for the per-command check
};

// Options may stand anywhere on the line; "--" ends them.
bool Parse(int argc, char** argv, CArguments& args, std::string& error)
{
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i)
    {
        std::string word = argv[i];
        if (optionsEnded || word.size() < 2 || word[0] != '-')
        {
            args.words.push_back(word);
            continue;
        }
        if (word == "--")
        {
            optionsEnded = true;
            continue;
        }
        std::string name = word;
        std::string value;
        bool hasValue = false;
        std::string::size_type equals = word.find('=');
        if (word.compare(0, 2, "--") == 0 && equals != std::string::npos)
        {
            name = word.substr(0, equals);
            value = word.substr(equals + 1);
            hasValue = true;
        }
        if (name == "--state" || name == "--installed" || name == "--executor" || name == "--checker")
        {
            if (!hasValue)
            {
                if (i + 1 >= argc)
                {
                    error = "option " + name + " needs a value";
                    return false;
                }
                value = argv[++i];
            }
            if (value.empty())
            {
                error = "option " + name + " needs a non-empty value";
                return false;
            }
            if (name == "--state")
                args.state = value;
            else if (name == "--installed")
                args.installed = value;
            else if (name == "--executor")
                args.executor = value;
            else
                args.checker = value;
        }
        else if (hasValue)
        {
            error = "option " + name + " takes no value";
            return false;
        }
        else if (name == "--force")
            args.force = true;
        else if (name == "--raw")
            args.raw = true;
        else if (name == "-h" || name == "--help")
            args.help = true;
        else
        {
            error = "unknown option " + word;
            return false;
        }
        if (name != "--state" && name != "-h" && name != "--help")
            args.options.push_back(name);
    }
    return true;
}

struct CCommand
{
    const char* name;
    size_t minArgs;
    size_t maxArgs;
    const char* options; // the command-specific options it accepts, space separated
};

const CCommand kCommands[] = {
    {"init", 2, 2, "--installed --force"},
    {"check", 0, 0, ""},
    {"versions", 0, 0, ""},
    {"patches", 0, 1, ""},
    {"evolution", 2, 2, ""},
    {"package", 1, 1, ""},
    {"version-package", 1, 1, ""},
    {"filecheck", 1, 1, ""},
    {"downloaded", 1, 1, ""},
    {"installed", 1, 1, ""},
    {"state", 0, 0, "--raw"},
    {"apply", 2, 2, "--executor"},
    {"apply-version", 2, 2, "--executor"},
    {"verify", 2, 2, "--checker"},
};

// The given value, else the environment's, else the one built in.
std::string Choose(const std::string& given, const char* variable, const char* builtIn)
{
    if (!given.empty())
        return given;
    const char* fromEnvironment = std::getenv(variable);
    if (fromEnvironment != nullptr && *fromEnvironment)
        return fromEnvironment;
    return builtIn;
}

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

const CCommand* FindCommand(const std::string& name)
{
    for (const CCommand& command : kCommands)
        if (name == command.name)
            return &command;
    return nullptr;
}

int BadArguments(const std::string& message)
{
    std::fprintf(stderr, "vesk-host: error: %s (see vesk-host --help)\n", message.c_str());
    return CHost::BadArguments;
}

} // namespace

int main(int argc, char** argv)
{
    // Text crosses the library in the character set of the user's locale.
    std::setlocale(LC_ALL, "");

    CArguments args;
    std::string error;
    if (!Parse(argc, argv, args, error))
        return BadArguments(error);
    if (args.help)
    {
        std::fputs(kUsage, stdout);
        return CHost::Ok;
    }
    if (args.words.empty())
        return BadArguments("no command given");

    const std::string& name = args.words[0];
    const CCommand* command = FindCommand(name);
    if (command == nullptr)
        return BadArguments("unknown command '" + name + "'");
    const size_t count = args.words.size() - 1;
    if (count < command->minArgs || count > command->maxArgs)
        return BadArguments("wrong number of arguments for '" + name + "'");
    const std::string allowed = std::string(" ") + command->options + " ";
    for (const std::string& option : args.options)
        if (allowed.find(" " + option + " ") == std::string::npos)
            return BadArguments("option " + option + " does not apply to '" + name + "'");

    const std::string statePath = Choose(args.state, "VESK_HOST_STATE", "vesk-host.state");

    CHost host(statePath, stdout, stderr);
    const std::vector<std::string>& w = args.words;
    const std::string first = count >= 1 ? w[1] : std::string();
    const std::string second = count >= 2 ? w[2] : std::string();
    if (name == "init")
        return host.Init(first, second, args.installed, args.force);
    if (name == "check")
        return host.Check();
    if (name == "versions")
        return host.Versions();
    if (name == "patches")
        return host.Patches(first);
    if (name == "evolution")
        return host.Evolution(first, second);
    if (name == "package")
        return host.PatchPackage(first);
    if (name == "version-package")
        return host.VersionPackage(first);
    if (name == "filecheck")
        return host.FileCheck(first);
    if (name == "downloaded")
        return host.RecordDownloaded(first);
    if (name == "installed")
        return host.RecordInstalled(first);
    if (name == "apply")
        return host.ApplyPatch(first, second, Choose(args.executor, "VESK_HOST_EXECUTOR", kExecutorPlugin));
    if (name == "apply-version")
        return host.ApplyVersion(first, second, Choose(args.executor, "VESK_HOST_EXECUTOR", kExecutorPlugin));
    if (name == "verify")
        return host.Verify(first, second, Choose(args.checker, "VESK_HOST_CHECKER", kCheckerPlugin));
    return host.ShowState(args.raw);
}
