// Code-page conversion on POSIX systems. The "ANSI code page" is the
// character set of the calling thread's LC_CTYPE locale; the plain C locale
// (7-bit ASCII) is taken as UTF-8, so text passes through it unchanged.
#include "platform/Platform.h"

#include <cerrno>
#include <cstddef>
#include <cstdint>

#include <iconv.h>
#include <langinfo.h>

namespace platform
{

namespace
{

constexpr char16_t kReplacementCharacter = 0xFFFD;

bool IsHighSurrogate(char16_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(char16_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// The code set's name folded for comparison: lower case, without '-' and '_'.
std::string FoldCodesetName(const char* name)
{
    std::string folded;
    for (; name != nullptr && *name != '\0'; ++name)
    {
        const char c = *name;
        if (c == '-' || c == '_')
            continue;
        folded.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
    }
    return folded;
}

// UTF-8 itself, or the 7-bit ASCII of the C/POSIX locale, which passes UTF-8.
bool WritesUtf8(const char* codeset)
{
    const std::string folded = FoldCodesetName(codeset);
    return folded.empty() || folded == "utf8" || folded == "ansix3.41968" || folded == "ascii" || folded == "usascii" ||
           folded == "646";
}

void AppendUtf8(std::string& out, std::uint32_t codePoint)
{
    if (codePoint < 0x80)
    {
        out.push_back(static_cast<char>(codePoint));
    }
    else if (codePoint < 0x800)
    {
        out.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
    else if (codePoint < 0x10000)
    {
        out.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
    else
    {
        out.push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
}

// UTF-16 to UTF-8; an unpaired surrogate is no character and becomes '?'.
std::string WideToUtf8(const std::u16string& text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t index = 0; index < text.size(); ++index)
    {
        const char16_t unit = text[index];
        if (IsHighSurrogate(unit) && index + 1 < text.size() && IsLowSurrogate(text[index + 1]))
        {
            const std::uint32_t codePoint = 0x10000 + ((static_cast<std::uint32_t>(unit) - 0xD800) << 10) +
                                            (text[index + 1] - 0xDC00u);
            AppendUtf8(out, codePoint);
            ++index;
        }
        else if (IsHighSurrogate(unit) || IsLowSurrogate(unit))
        {
            out.push_back('?');
        }
        else
        {
            AppendUtf8(out, unit);
        }
    }
    return out;
}

// The UTF-16 units one character occupies at `index` (2 for a surrogate pair).
std::size_t CharacterUnits(const std::u16string& text, std::size_t index)
{
    return IsHighSurrogate(text[index]) && index + 1 < text.size() && IsLowSurrogate(text[index + 1]) ? 2 : 1;
}

// Without a converter for the code set only ASCII can be trusted.
std::string WideToAsciiOnly(const std::u16string& text)
{
    std::string out;
    for (std::size_t index = 0; index < text.size(); index += CharacterUnits(text, index))
        out.push_back(text[index] < 0x80 ? static_cast<char>(text[index]) : '?');
    return out;
}

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
constexpr const char* kNativeUtf16 = "UTF-16BE";
#else
constexpr const char* kNativeUtf16 = "UTF-16LE";
#endif

class CIconv
{
public:
    explicit CIconv(const char* codeset) : m_handle(iconv_open(codeset, kNativeUtf16)) {}
    ~CIconv()
    {
        if (IsOpen())
            iconv_close(m_handle);
    }
    CIconv(const CIconv&) = delete;
    CIconv& operator=(const CIconv&) = delete;

    // NOLINTNEXTLINE(performance-no-int-to-ptr): iconv_open's failure value is (iconv_t)-1
    bool IsOpen() const { return m_handle != reinterpret_cast<iconv_t>(-1); }
    iconv_t Handle() const { return m_handle; }

private:
    iconv_t m_handle;
};

// Makes room for at least `needed` more bytes after `written`.
void Reserve(std::string& out, std::size_t written, std::size_t needed)
{
    if (out.size() - written < needed)
        out.resize(out.size() * 2 + needed);
}

// Writes the shift sequence that returns a stateful code set to its initial
// state (nothing for the usual stateless ones).
void ResetShiftState(iconv_t handle, std::string& out, std::size_t& written)
{
    for (int attempt = 0; attempt < 4; ++attempt)
    {
        Reserve(out, written, 16);
        char* output = &out[written];
        std::size_t outputLeft = out.size() - written;
        const std::size_t result = iconv(handle, nullptr, nullptr, &output, &outputLeft);
        const int error = errno;
        written = static_cast<std::size_t>(output - out.data());
        if (result != static_cast<std::size_t>(-1) || error != E2BIG)
            return;
        out.resize(out.size() * 2);
    }
}

// Converts through iconv without transliteration: a character the code set
// cannot hold (or an unpaired surrogate) becomes '?' and the walk goes on
// after it.
std::string WideToCodeset(const std::u16string& text, const char* codeset)
{
    CIconv converter(codeset);
    if (!converter.IsOpen())
        return WideToAsciiOnly(text);

    std::string out(text.size() * 2 + 16, '\0');
    std::size_t written = 0;
    std::size_t unitsDone = 0;
    while (unitsDone < text.size())
    {
        char* input = reinterpret_cast<char*>(const_cast<char16_t*>(text.data() + unitsDone));
        std::size_t inputLeft = (text.size() - unitsDone) * sizeof(char16_t);
        char* output = &out[written];
        std::size_t outputLeft = out.size() - written;
        const std::size_t result = iconv(converter.Handle(), &input, &inputLeft, &output, &outputLeft);
        const int error = errno;
        written = static_cast<std::size_t>(output - out.data());
        unitsDone = text.size() - inputLeft / sizeof(char16_t);

        if (result != static_cast<std::size_t>(-1))
            break;
        if (error == E2BIG)
        {
            out.resize(out.size() * 2);
            continue;
        }
        if (error != EILSEQ && error != EINVAL)
            break; // not documented for this call; keep what was converted

        ResetShiftState(converter.Handle(), out, written);
        Reserve(out, written, 1);
        out[written++] = '?';
        unitsDone += CharacterUnits(text, unitsDone);
    }
    ResetShiftState(converter.Handle(), out, written);
    out.resize(written);
    return out;
}

// What the lead byte of a multi-byte UTF-8 sequence says: how many bytes
// follow, the bits it carries, and the range the next byte must lie in. The
// first follower's range shuts out overlong forms, surrogates and values
// above U+10FFFF; every later one is 0x80-0xBF.
struct CUtf8Lead
{
    int follow = 0;
    std::uint32_t bits = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
};

// False for a byte that starts no well-formed sequence.
bool ReadLead(unsigned char lead, CUtf8Lead& sequence)
{
    if (lead >= 0xC2 && lead <= 0xDF)
    {
        sequence.follow = 1;
        sequence.bits = lead & 0x1Fu;
        return true;
    }
    if (lead >= 0xE0 && lead <= 0xEF)
    {
        sequence.follow = 2;
        sequence.bits = lead & 0x0Fu;
        if (lead == 0xE0)
            sequence.low = 0xA0;
        else if (lead == 0xED)
            sequence.high = 0x9F;
        return true;
    }
    if (lead >= 0xF0 && lead <= 0xF4)
    {
        sequence.follow = 3;
        sequence.bits = lead & 0x07u;
        if (lead == 0xF0)
            sequence.low = 0x90;
        else if (lead == 0xF4)
            sequence.high = 0x8F;
        return true;
    }
    return false;
}

// Reads the bytes after a lead byte into `codePoint`. False when the
// sequence is cut short; `cursor` is then on the first byte that does not
// belong to it.
bool ReadFollowers(const unsigned char*& cursor, CUtf8Lead sequence, std::uint32_t& codePoint)
{
    codePoint = sequence.bits;
    for (int index = 0; index < sequence.follow; ++index)
    {
        // The terminating NUL is below every allowed range, so the walk
        // never passes it.
        const unsigned char next = *cursor;
        if (next < sequence.low || next > sequence.high)
            return false;
        codePoint = (codePoint << 6) | (next & 0x3Fu);
        ++cursor;
        sequence.low = 0x80;
        sequence.high = 0xBF;
    }
    return true;
}

void AppendUtf16(std::u16string& out, std::uint32_t codePoint)
{
    if (codePoint >= 0x10000)
    {
        codePoint -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (codePoint >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF)));
    }
    else
    {
        out.push_back(static_cast<char16_t>(codePoint));
    }
}

} // namespace

std::u16string MultiByteToWide(unsigned int codePage, const char* text)
{
    // Only UTF-8 is needed by the library; other code pages give empty text.
    std::u16string out;
    if (text == nullptr || codePage != kCodePageUtf8)
        return out;

    // Decoding replaces every maximal ill-formed subsequence with one U+FFFD
    // (overlong forms, surrogates, values above U+10FFFF, cut sequences).
    const unsigned char* cursor = reinterpret_cast<const unsigned char*>(text);
    while (*cursor != 0)
    {
        const unsigned char lead = *cursor++;
        CUtf8Lead sequence;
        std::uint32_t codePoint = 0;
        if (lead < 0x80)
            out.push_back(lead);
        else if (ReadLead(lead, sequence) && ReadFollowers(cursor, sequence, codePoint))
            AppendUtf16(out, codePoint);
        else
            out.push_back(kReplacementCharacter);
    }
    return out;
}

bool AnsiCodePageIsUtf8()
{
    return WritesUtf8(nl_langinfo(CODESET));
}

std::string WideToAnsi(const std::u16string& text)
{
    // 7-bit text is the same in every code set the locales use.
    bool sevenBit = true;
    for (const char16_t unit : text)
    {
        if (unit >= 0x80)
        {
            sevenBit = false;
            break;
        }
    }
    if (sevenBit)
        return std::string(text.begin(), text.end());

    const char* codeset = nl_langinfo(CODESET);
    if (WritesUtf8(codeset))
        return WideToUtf8(text);
    return WideToCodeset(text, codeset);
}

} // namespace platform
