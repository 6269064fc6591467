// Code-page conversion through the Win32 conversion services: the system's
// ANSI code page is CP_ACP, and what it cannot hold is replaced as
// WideCharToMultiByte replaces it (one '?' per UTF-16 unit).
#include "platform/Platform.h"

#include "platform/win32/Win32Api.h"

#include <climits>
#include <cstring>
#include <vector>

namespace platform
{

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Win32 wide characters are UTF-16 units");

std::u16string MultiByteToWide(unsigned int codePage, const char* text)
{
    if (text == nullptr)
        return std::u16string();

    // The length is given, not -1: with -1 the system may take the
    // terminating NUL into a cut sequence before it (wine does), and then the
    // last unit converted is no terminator to drop.
    const std::size_t bytes = std::strlen(text);
    if (bytes == 0 || bytes > static_cast<std::size_t>(INT_MAX))
        return std::u16string();
    const int length = static_cast<int>(bytes);

    const int units = MultiByteToWideChar(codePage, 0, text, length, nullptr, 0);
    if (units <= 0)
        return std::u16string();
    std::vector<wchar_t> buffer(static_cast<std::size_t>(units), L'\0');
    const int converted = MultiByteToWideChar(codePage, 0, text, length, buffer.data(), units);
    if (converted <= 0)
        return std::u16string();
    return std::u16string(buffer.begin(), buffer.begin() + converted);
}

bool AnsiCodePageIsUtf8()
{
    return GetACP() == CP_UTF8;
}

std::string WideToAnsi(const std::u16string& text)
{
    if (text.empty() || text.size() > static_cast<std::size_t>(INT_MAX))
        return std::string();

    // No best fit: a character the code page cannot hold becomes '?' rather
    // than a look-alike ("\uFF3C", a full-width backslash, would otherwise
    // become a real '\\' in a file name). UTF-8 as ANSI code page takes no
    // such flag and holds every character anyway.
    const DWORD flags = GetACP() == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const std::vector<wchar_t> wide(text.begin(), text.end());
    const int length = static_cast<int>(wide.size());
    const int bytes = WideCharToMultiByte(CP_ACP, flags, wide.data(), length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return std::string();
    std::string out(static_cast<std::size_t>(bytes), '\0');
    const int converted = WideCharToMultiByte(CP_ACP, flags, wide.data(), length, out.data(), bytes, nullptr, nullptr);
    if (converted <= 0)
        return std::string();
    out.resize(static_cast<std::size_t>(converted));
    return out;
}

} // namespace platform
