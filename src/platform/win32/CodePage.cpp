// Code-page conversion through the Win32 conversion services: the system's
// ANSI code page is CP_ACP, and what it cannot hold is replaced as
// WideCharToMultiByte replaces it.
#include "platform/Platform.h"

#include "platform/win32/Win32Api.h"

#include <climits>
#include <vector>

namespace platform
{

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Win32 wide characters are UTF-16 units");

std::u16string MultiByteToWide(unsigned int codePage, const char* text)
{
    if (text == nullptr)
        return std::u16string();

    // First the length including the terminator, then the conversion itself.
    const int units = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
    if (units <= 0)
        return std::u16string();
    std::vector<wchar_t> buffer(static_cast<std::size_t>(units), L'\0');
    const int converted = MultiByteToWideChar(codePage, 0, text, -1, buffer.data(), units);
    if (converted <= 0)
        return std::u16string();

    std::u16string out;
    out.reserve(static_cast<std::size_t>(converted - 1));
    for (int index = 0; index < converted - 1; ++index)
        out.push_back(static_cast<char16_t>(buffer[static_cast<std::size_t>(index)]));
    return out;
}

std::string WideToAnsi(const std::u16string& text)
{
    if (text.empty() || text.size() > static_cast<std::size_t>(INT_MAX))
        return std::string();

    const std::vector<wchar_t> wide(text.begin(), text.end());
    const int length = static_cast<int>(wide.size());
    const int bytes = WideCharToMultiByte(CP_ACP, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return std::string();
    // One byte more than needed, terminated.
    std::vector<char> buffer(static_cast<std::size_t>(bytes) + 1, '\0');
    const int converted =
        WideCharToMultiByte(CP_ACP, 0, wide.data(), length, buffer.data(), bytes, nullptr, nullptr);
    if (converted <= 0)
        return std::string();
    buffer[static_cast<std::size_t>(converted)] = '\0';
    return std::string(buffer.data(), static_cast<std::size_t>(converted));
}

} // namespace platform
