#include "PluginFiles.h"

#include "CMd5.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

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

bool IsPluginType(const char* type, const char* own, bool contextAware)
{
    return type != nullptr &&
           (std::strcmp(type, own) == 0 || (contextAware && std::strcmp(type, kvrUpdate::kContextAware) == 0));
}

void EnumPluginType(IEnumable<const char*>::IEnum* callback, const char* own)
{
    if (callback != nullptr)
        callback->OnItem(own);
}

bool SplitInstallName(const char* name, std::vector<std::string>& parts)
{
    parts.clear();
    if (name == nullptr || *name == '\0')
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
        std::string part = relative.substr(start, end - start);
        if (part == ".." || (!part.empty() && part != "." && WindowsTreatsSpecially(part)))
            return false;
        if (!part.empty() && part != ".")
            parts.push_back(std::move(part));
        start = end + 1;
    }
    // The last component names the file: "dir/" and "dir/." name a folder.
    const fs::path last = inside.filename();
    return !parts.empty() && !last.empty() && last != ".";
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

bool StreamFile(const CInstallDir& directory, const std::string& name, long long limit,
                const std::function<void(const char* data, std::size_t size)>& update, long long& length)
{
    length = 0;
    std::string ignored;
    std::FILE* stream = directory.OpenRead(name, ignored);
    if (stream == nullptr)
        return false;
    std::vector<char> buffer(65536);
    bool ok = true;
    while (ok)
    {
        const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), stream);
        update(buffer.data(), got);
        length += static_cast<long long>(got);
        // Reading stops as soon as the file is longer than expected.
        ok = length <= limit;
        if (got < buffer.size())
            break;
    }
    ok = ok && std::ferror(stream) == 0;
    std::fclose(stream);
    return ok;
}

bool FileMatches(const CInstallDir& directory, const std::string& name, const kvrUpdate::IFileDef& file)
{
    if (file.GetLength() < 0)
        return false;
    CMd5 md5;
    const auto hash = [&md5](const char* data, std::size_t size) { md5.Update(data, size); };
    long long length = 0;
    return StreamFile(directory, name, file.GetLength(), hash, length) && length == file.GetLength() &&
           Md5Matches(md5.HexDigest(), file.GetMd5());
}
