#include "Printable.h"

#include <cstdint>

namespace
{

const char kHex[] = "0123456789abcdef";

void AppendByte(std::string& out, unsigned char byte)
{
    out += "\\x";
    out += kHex[byte >> 4];
    out += kHex[byte & 0xF];
}

void AppendCodePoint(std::string& out, std::uint32_t code)
{
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4)
        out += kHex[(code >> shift) & 0xF];
}

// The length of the well-formed UTF-8 sequence at `text` (1 to 4) and its
// code point; 0 when the bytes there are not one (a stray continuation
// byte, an overlong form, a surrogate, beyond U+10FFFF, or cut short).
std::size_t Decode(const std::string& text, std::size_t at, std::uint32_t& code)
{
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = 0;
    std::uint32_t least = 0;
    if (lead < 0x80)
    {
        code = lead;
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF)
    {
        length = 2;
        code = lead & 0x1Fu;
        least = 0x80;
    }
    else if (lead >= 0xE0 && lead <= 0xEF)
    {
        length = 3;
        code = lead & 0x0Fu;
        least = 0x800;
    }
    else if (lead >= 0xF0 && lead <= 0xF4)
    {
        length = 4;
        code = lead & 0x07u;
        least = 0x10000;
    }
    else
        return 0;
    if (text.size() - at < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i)
    {
        const auto next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (next & 0x3Fu);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

// Whether a terminal reads the code point as a control, or would show the
// text around it in another order than it is stored.
bool Controls(std::uint32_t code)
{
    return code < 0x20 || (code >= 0x7F && code <= 0x9F) || code == 0x061C || code == 0x200E || code == 0x200F ||
           (code >= 0x202A && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069);
}

void AppendEscape(std::string& out, std::uint32_t code)
{
    switch (code)
    {
    case 0x1B:
        out += "\\e";
        break;
    case '\a':
        out += "\\a";
        break;
    case '\r':
        out += "\\r";
        break;
    case '\n':
        out += "\\n";
        break;
    case '\t':
        out += "\\t";
        break;
    default:
        if (code <= 0x7F)
            AppendByte(out, static_cast<unsigned char>(code));
        else
            AppendCodePoint(out, code);
    }
}

std::string Escaped(const std::string& text, bool keepLines)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();)
    {
        std::uint32_t code = 0;
        const std::size_t length = Decode(text, at, code);
        if (length == 0)
        {
            AppendByte(out, static_cast<unsigned char>(text[at]));
            ++at;
            continue;
        }
        if (Controls(code) && !(keepLines && code == '\n'))
            AppendEscape(out, code);
        else
            out.append(text, at, length);
        at += length;
    }
    return out;
}

} // namespace

std::string Printable(const char* text)
{
    return text != nullptr ? Escaped(text, false) : std::string();
}

std::string Printable(const std::string& text)
{
    return Escaped(text, false);
}

std::string PrintableLines(const std::string& text)
{
    return Escaped(text, true);
}
