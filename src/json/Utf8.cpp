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

namespace
{

// What a lead byte of 0x80 and above starts: how many continuation bytes
// follow, and the range the first of them must lie in, narrower for the
// leads that could otherwise spell an overlong form (E0, F0), a surrogate
// (ED) or a value beyond U+10FFFF (F4). No continuation bytes for a byte
// that cannot lead.
struct CLead
{
    std::ptrdiff_t follow;
    unsigned char low;
    unsigned char high;
};

CLead LeadOf(unsigned char lead)
{
    if (lead >= 0xC2 && lead <= 0xDF)
        return {1, 0x80, 0xBF};
    if (lead >= 0xE0 && lead <= 0xEF)
        return {2, static_cast<unsigned char>(lead == 0xE0 ? 0xA0 : 0x80),
                static_cast<unsigned char>(lead == 0xED ? 0x9F : 0xBF)};
    if (lead >= 0xF0 && lead <= 0xF4)
        return {3, static_cast<unsigned char>(lead == 0xF0 ? 0x90 : 0x80),
                static_cast<unsigned char>(lead == 0xF4 ? 0x8F : 0xBF)};
    return {0, 0, 0};
}

} // namespace

bool IsWellFormedUtf8(const char* begin, const char* end)
{
    const unsigned char* cursor = reinterpret_cast<const unsigned char*>(begin);
    const unsigned char* const stop = reinterpret_cast<const unsigned char*>(end);
    while (cursor != stop)
    {
        const unsigned char lead = *cursor++;
        if (lead < 0x80)
            continue;
        const CLead sequence = LeadOf(lead);
        if (sequence.follow == 0 || stop - cursor < sequence.follow || *cursor < sequence.low ||
            *cursor > sequence.high)
            return false;
        for (std::ptrdiff_t index = 1; index < sequence.follow; ++index)
        {
            if ((cursor[index] & 0xC0) != 0x80)
                return false;
        }
        cursor += sequence.follow;
    }
    return true;
}

std::string Utf8ToAnsi(const std::string& text)
{
    return platform::WideToAnsi(platform::MultiByteToWide(platform::kCodePageUtf8, text.c_str()));
}

} // namespace jsonIO
