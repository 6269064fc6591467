#include "CommandLine.h"

#include <cstdio>

namespace cli
{
namespace
{

// Known to every program.
const COption kCommon[] = {
    {"help", nullptr, 'h'},
    {"version", nullptr, 0},
};

} // namespace

CCommandLine::CCommandLine(std::string tool, std::string usage) : m_tool(std::move(tool)), m_usage(std::move(usage)) {}

const COption* CCommandLine::Find(const std::string& word, const std::vector<COption>& options) const
{
    auto matches = [&word](const COption& option) {
        if (word.size() == 2 && word[1] == option.letter && option.letter != 0)
            return true;
        return word.compare(0, 2, "--") == 0 && word.compare(2, std::string::npos, option.name) == 0;
    };
    for (const COption& option : options)
        if (matches(option))
            return &option;
    for (const COption& option : kCommon)
        if (matches(option))
            return &option;
    return nullptr;
}

// One option word; `next` is the word after it (null at the end), used as the
// value of `--name VALUE`.
bool CCommandLine::TakeOption(const std::string& word, const char* next, bool& usedNext,
                              const std::vector<COption>& options)
{
    usedNext = false;
    const std::string::size_type equals = word.compare(0, 2, "--") == 0 ? word.find('=') : std::string::npos;
    const std::string name = word.substr(0, equals);
    const COption* option = Find(name, options);
    if (option == nullptr)
    {
        m_error = "unknown option " + name;
        return false;
    }
    std::string value;
    if (option->valueName == nullptr)
    {
        if (equals != std::string::npos)
        {
            m_error = "option " + name + " takes no value";
            return false;
        }
    }
    else if (equals != std::string::npos)
    {
        value = word.substr(equals + 1);
    }
    else if (next != nullptr)
    {
        value = next;
        usedNext = true;
    }
    if (option->valueName != nullptr && value.empty())
    {
        m_error = "option " + name + " needs a value (" + option->valueName + ")";
        return false;
    }
    m_given.emplace_back(option->name);
    if (option->valueName != nullptr)
        m_values.emplace_back(option->name, value);
    return true;
}

bool CCommandLine::Parse(int argc, const char* const* argv, const std::vector<COption>& options)
{
    m_given.clear();
    m_values.clear();
    m_arguments.clear();
    m_error.clear();
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i)
    {
        const std::string word = argv[i];
        if (optionsEnded || word.size() < 2 || word[0] != '-')
        {
            m_arguments.push_back(word);
            continue;
        }
        if (word == "--")
        {
            optionsEnded = true;
            continue;
        }
        bool usedNext = false;
        if (!TakeOption(word, i + 1 < argc ? argv[i + 1] : nullptr, usedNext, options))
            return false;
        if (usedNext)
            ++i;
    }
    return true;
}

bool CCommandLine::Start(int argc, const char* const* argv, const std::vector<COption>& options, const char* help,
                         int& status)
{
    status = ExitOk;
    if (!Parse(argc, argv, options))
    {
        status = UsageError(m_error);
        return false;
    }
    if (Has("help"))
    {
        std::fputs(help, stdout);
        return false;
    }
    if (Has("version"))
    {
        std::printf("%s (VeskUpdate) %s\n", m_tool.c_str(), ProjectVersion());
        return false;
    }
    return true;
}

bool CCommandLine::Has(const std::string& name) const
{
    for (const std::string& given : m_given)
        if (given == name)
            return true;
    return false;
}

std::string CCommandLine::Value(const std::string& name) const
{
    for (auto it = m_values.rbegin(); it != m_values.rend(); ++it)
        if (it->first == name)
            return it->second;
    return std::string();
}

std::vector<std::string> CCommandLine::Values(const std::string& name) const
{
    std::vector<std::string> values;
    for (const auto& value : m_values)
        if (value.first == name)
            values.push_back(value.second);
    return values;
}

int CCommandLine::UsageError(const std::string& message, const std::string& usage) const
{
    std::fprintf(stderr, "%s: error: %s\nusage: %s\n", m_tool.c_str(), message.c_str(),
                 (usage.empty() ? m_usage : usage).c_str());
    return ExitUsage;
}

int CCommandLine::Fail(const std::string& message, int status) const
{
    std::fprintf(stderr, "%s: error: %s\n", m_tool.c_str(), message.c_str());
    return status;
}

const char* ProjectVersion()
{
    return VESK_PROJECT_VERSION;
}

} // namespace cli
