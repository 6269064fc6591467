#include "Commands.h"

#include <cstdio>

namespace versionCenter
{

bool ReadWords(int argc, char** argv, int first, const std::set<std::string>& valued,
               const std::set<std::string>& flags, CWords& words, std::string& error)
{
    bool options = true;
    for (int i = first; i < argc; ++i)
    {
        const std::string word = argv[i];
        if (!options || word.size() < 2 || word[0] != '-')
        {
            words.arguments.push_back(word);
            continue;
        }
        if (word == "--")
        {
            options = false;
            continue;
        }
        const std::string::size_type equals = word.find('=');
        const std::string name = word.substr(0, equals);
        if (flags.count(name) != 0 && equals == std::string::npos)
        {
            words.flags.insert(name);
            continue;
        }
        if (valued.count(name) == 0)
        {
            error = "unknown option '" + word + "'";
            return false;
        }
        if (equals == std::string::npos && i + 1 >= argc)
        {
            error = "the option " + name + " needs a value";
            return false;
        }
        words.values[name] = equals == std::string::npos ? argv[++i] : word.substr(equals + 1);
    }
    return true;
}

int UsageError(const std::string& message, const char* usage)
{
    std::fprintf(stderr, "version-center: error: %s\n%s", message.c_str(), usage);
    return ExitUsage;
}

int Fail(const std::string& message, int status)
{
    std::fprintf(stderr, "version-center: error: %s\n", message.c_str());
    return status;
}

bool ParseListen(const std::string& text, std::string& host, int& port)
{
    const std::string::size_type colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size())
        return false;
    std::string name = text.substr(0, colon);
    if (name.size() > 2 && name.front() == '[' && name.back() == ']')
        name = name.substr(1, name.size() - 2);
    const std::string digits = text.substr(colon + 1);
    if (digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const int number = std::stoi(digits);
    if (number > 65535)
        return false;
    host = name;
    port = number;
    return true;
}

} // namespace versionCenter
