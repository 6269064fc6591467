#include "PluginFiles.h"

#include "CMd5.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

bool InstallPath(const char* directory, const char* name, fs::path& path)
{
    if (directory == nullptr || *directory == '\0' || name == nullptr || *name == '\0')
        return false;
    std::string relative(name);
    std::replace(relative.begin(), relative.end(), '\\', '/');
    const fs::path inside(relative);
    if (inside.has_root_name() || inside.has_root_directory())
        return false;
    for (const fs::path& part : inside)
    {
        if (part == "..")
            return false;
    }
    const fs::path last = inside.filename();
    if (last.empty() || last == ".")
        return false;
    path = fs::path(directory) / inside;
    return true;
}

bool Md5Matches(const std::string& digest, const char* expected)
{
    if (expected == nullptr || std::strlen(expected) != digest.size() || digest.empty())
        return false;
    for (std::size_t i = 0; i < digest.size(); ++i)
    {
        if (std::tolower(static_cast<unsigned char>(expected[i])) != digest[i])
            return false;
    }
    return true;
}

bool FileMatches(const fs::path& path, const kvrUpdate::IFileDef& file)
{
    std::error_code error;
    if (!fs::is_regular_file(path, error))
        return false;
    const std::uintmax_t size = fs::file_size(path, error);
    if (error || file.GetLength() < 0 || size != static_cast<std::uintmax_t>(file.GetLength()))
        return false;

    std::ifstream stream(path, std::ios::binary);
    if (!stream)
        return false;
    CMd5 md5;
    char buffer[65536];
    std::uintmax_t read = 0;
    while (stream)
    {
        stream.read(buffer, sizeof buffer);
        const std::streamsize got = stream.gcount();
        md5.Update(buffer, static_cast<std::size_t>(got));
        read += static_cast<std::uintmax_t>(got);
    }
    // The length is checked again on what was read, in case the file changed.
    return !stream.bad() && read == size && Md5Matches(md5.HexDigest(), file.GetMd5());
}
