#include "Commands.h"

#include "catalog/CCatalog.h"
#include "catalog/DownloadUrl.h"

#include <filesystem>
#include <string>
#include <system_error>

namespace versionCenter
{

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

bool TakesOptionsOnly(const cli::CCommandLine& line, const char* command, std::initializer_list<const char*> required,
                      int& status)
{
    if (!line.GetArguments().empty())
    {
        status = line.UsageError(std::string(command) + " takes options only, not '" + line.GetArguments().front() +
                                 "'");
        return false;
    }
    for (const char* option : required)
    {
        if (!line.Has(option))
        {
            status = line.UsageError(std::string(command) + " needs --" + option);
            return false;
        }
    }
    return true;
}

std::string NormalBasePath(const std::string& path)
{
    return WithSlash(path.empty() || path.front() != '/' ? '/' + path : path);
}

bool CanServeDownloadTree(const CCatalog& catalog, const std::string& files, const std::string& basePath,
                          std::string& error)
{
    if (files.empty())
        return true;
    std::error_code failure;
    if (!std::filesystem::is_directory(files, failure))
    {
        error = "the download tree " + files + " is not a folder";
        return false;
    }
    if (catalog.FindProduct("files"))
    {
        error = "the product 'files' would hide the download tree at " + basePath + "files/";
        return false;
    }
    return true;
}

} // namespace versionCenter
