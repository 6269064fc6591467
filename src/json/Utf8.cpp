#include "json/jsonIO.h"

#include "platform/Platform.h"

#include <cstddef>

namespace jsonIO
{

bool IsUtf8(const char* bytes, int length)
{
    // A negative length reads as an empty text.
    if (bytes == nullptr || length <= 0)
        return true;

    const unsigned char* text = reinterpret_cast<const unsigned char*>(bytes);
    const std::size_t size = static_cast<std::size_t>(length);
    std::size_t position = 0;
    while (position < size)
    {
        const unsigned char lead = text[position];
        std::size_t sequence = 0;
        if ((lead & 0x80) == 0x00)
            sequence = 1;
        else if ((lead & 0xE0) == 0xC0)
            sequence = 2;
        else if ((lead & 0xF0) == 0xE0)
            sequence = 3;
        else if ((lead & 0xF8) == 0xF0)
            sequence = 4;
        else
            return false; // a continuation byte in lead position, or 0xF8..0xFF

        // The whole sequence must lie inside the text.
        if (sequence > size - position)
            return false;
        for (std::size_t follow = 1; follow < sequence; ++follow)
        {
            if ((text[position + follow] & 0xC0) != 0x80)
                return false;
        }
        position += sequence;
    }
    return true;
}

std::string Utf8ToAnsi(const std::string& text)
{
    return platform::WideToAnsi(platform::MultiByteToWide(platform::kCodePageUtf8, text.c_str()));
}

} // namespace jsonIO
