#include "PluginFiles.h"

#include "CMd5.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

namespace
{

// Whether Windows takes the path component `part` for a device rather than a
// file: CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0-COM9 and LPT0-LPT9 in any
// case, whatever follows the first dot ("nul.txt", "aux.tar.gz") and with
// trailing spaces before it ("con .log"). Windows reads the superscripts 1-3
// as digits too; they are matched as Windows-1252 bytes and as UTF-8.
bool IsDeviceName(const std::string& part)
{
    std::string stem = part.substr(0, part.find('.'));
    while (!stem.empty() && stem.back() == ' ')
        stem.pop_back();
    for (char& c : stem)
    {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
    {
        if (stem == device)
            return true;
    }
    if (stem.size() < 4 || (stem.compare(0, 3, "COM") != 0 && stem.compare(0, 3, "LPT") != 0))
        return false;
    const std::string number = stem.substr(3);
    if (number.size() == 1 && number[0] >= '0' && number[0] <= '9')
        return true;
    for (const char* superscript : {"\xB9", "\xB2", "\xB3", "\xC2\xB9", "\xC2\xB2", "\xC2\xB3"})
    {
        if (number == superscript)
            return true;
    }
    return false;
}

// Whether Windows would put something other than the plain file the
// non-empty component `part` names in place: a device, an alternate data
// stream or a drive (any ':'), or a name it trims (a trailing dot or space,
// so "a." and "a " are both "a" and two names of a package would land on one
// file).
bool WindowsTreatsSpecially(const std::string& part)
{
    return part.find(':') != std::string::npos || part.back() == '.' || part.back() == ' ' || IsDeviceName(part);
}

} // namespace

bool InstallPath(const char* directory, const char* name, fs::path& path)
{
    if (directory == nullptr || *directory == '\0' || name == nullptr || *name == '\0')
        return false;
    std::string relative(name);
    std::replace(relative.begin(), relative.end(), '\\', '/');
    const fs::path inside(relative);
    if (inside.has_root_name() || inside.has_root_directory())
        return false;
    // The components are split from the text as it came, before any change of
    // its encoding. None may climb out, nor be a name Windows treats
    // specially. That holds on every platform, not only on Windows: a version
    // center serves one catalog to hosts of every kind, so a name that cannot
    // be put in place on Windows is a fault of the package wherever it
    // arrives, and one rule behaves the same in every test and every host.
    for (std::size_t start = 0; start <= relative.size();)
    {
        std::size_t end = relative.find('/', start);
        if (end == std::string::npos)
            end = relative.size();
        const std::string part = relative.substr(start, end - start);
        if (part == ".." || (!part.empty() && part != "." && WindowsTreatsSpecially(part)))
            return false;
        start = end + 1;
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
