#include "json/jsonIO.h"

#include "platform/Platform.h"

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <ostream>
#include <streambuf>

namespace jsonIO
{

namespace
{

std::string FallbackText(const char* fallback) noexcept
{
    try
    {
        return fallback != nullptr ? std::string(fallback) : std::string();
    }
    catch (...)
    {
        return std::string();
    }
}

// Where the plain 7-bit prefix of [begin, end) stops: at the first byte
// that is NUL or of 0x80 and above, or at `end`. Eight bytes are tested at a
// time while they are all plain: member texts are read by the thousand.
const char* PlainPrefixEnd(const char* begin, const char* end)
{
    constexpr std::uint64_t kHighBits = 0x8080808080808080ull;
    constexpr std::uint64_t kLowBits = 0x0101010101010101ull;
    const char* cursor = begin;
    while (end - cursor >= 8)
    {
        std::uint64_t word;
        std::memcpy(&word, cursor, sizeof word);
        // A high byte, or a zero byte (the classic has-zero test).
        if ((word & kHighBits) != 0 || ((word - kLowBits) & ~word & kHighBits) != 0)
            break;
        cursor += 8;
    }
    while (cursor != end && static_cast<unsigned char>(*cursor) - 1u < 0x7Fu)
        ++cursor;
    return cursor;
}

constexpr long long Int64Max = std::numeric_limits<long long>::max();
// 2^63 as a double: the first real beyond the signed 64-bit range.
constexpr double Int64Bound = 9223372036854775808.0;

// atoi's reading (C-locale white space, optional sign, decimal digits up to
// the first other byte) of [begin, end), saturating at the 64-bit limits
// instead of overflowing, for digit strings of any length.
long long SaturatingAtoi64(const char* begin, const char* end)
{
    const char* cursor = begin;
    while (cursor != end && (*cursor == ' ' || (*cursor >= '\t' && *cursor <= '\r')))
        ++cursor;

    bool negative = false;
    if (cursor != end && (*cursor == '+' || *cursor == '-'))
        negative = *cursor++ == '-';

    // Magnitude up to 2^63, the magnitude of the smallest value.
    const std::uint64_t limit = static_cast<std::uint64_t>(Int64Max) + 1;
    std::uint64_t magnitude = 0;
    for (; cursor != end && *cursor >= '0' && *cursor <= '9'; ++cursor)
    {
        const unsigned digit = static_cast<unsigned>(*cursor - '0');
        magnitude = (magnitude > (limit - digit) / 10) ? limit : magnitude * 10 + digit;
    }
    if (negative)
        return magnitude == limit ? std::numeric_limits<long long>::min() : -static_cast<long long>(magnitude);
    return magnitude >= limit ? Int64Max : static_cast<long long>(magnitude);
}

// The text a number is read from, where it lies: a string's bytes up to its
// first NUL, as GetString would give them (digits, signs and white space are
// 7-bit, so the code-page conversion changes nothing atoi reads), and
// nothing for any other member. Nothing is copied, so a number never turns
// into the fallback for want of memory. False when there is no text.
bool NumberText(const Json::Value& member, const char*& begin, const char*& end)
{
    if (!member.getString(&begin, &end) || begin == end)
        return false;
    if (const void* nul = std::memchr(begin, '\0', static_cast<std::size_t>(end - begin)))
        end = static_cast<const char*>(nul);
    return begin != end;
}

// The builder writes "\u00xx" with lower-case hex digits; the stored form has
// upper-case ones. Only real escapes are touched: a backslash always starts a
// two-byte escape, so "\\u0001" (an escaped backslash, then text) is skipped
// as "\\" followed by ordinary bytes.
void UpperCaseUnicodeEscapes(std::string& text)
{
    const std::size_t size = text.size();
    std::size_t position = 0;
    while (position < size)
    {
        // Jump to the next backslash: documents are megabytes of plain text.
        const void* found = std::memchr(text.data() + position, '\\', size - position);
        if (found == nullptr)
            break;
        position = static_cast<std::size_t>(static_cast<const char*>(found) - text.data());
        if (position + 1 < size && text[position + 1] == 'u')
        {
            for (std::size_t digit = position + 2; digit < position + 6 && digit < size; ++digit)
            {
                if (text[digit] >= 'a' && text[digit] <= 'f')
                    text[digit] = static_cast<char>(text[digit] - 'a' + 'A');
            }
            position += 6;
        }
        else
        {
            position += 2;
        }
    }
}

// A stream buffer that writes into a caller's string through a small put
// area. The writer's output lands in the string once, in storage the string
// keeps from one call to the next, instead of growing a string stream's own
// buffer and copying it out at the end: for a document of megabytes that
// growth and copy cost as much as a third of the writing.
class CStringSink final : public std::streambuf
{
public:
    explicit CStringSink(std::string& text) : m_text(text) { setp(m_area, m_area + sizeof m_area); }

    /// Moves what the put area holds to the string.
    void Flush()
    {
        m_text.append(pbase(), static_cast<std::size_t>(pptr() - pbase()));
        setp(m_area, m_area + sizeof m_area);
    }

protected:
    int_type overflow(int_type byte) override
    {
        Flush();
        if (!traits_type::eq_int_type(byte, traits_type::eof()))
        {
            *pptr() = traits_type::to_char_type(byte);
            pbump(1);
        }
        return traits_type::not_eof(byte);
    }

    std::streamsize xsputn(const char* bytes, std::streamsize count) override
    {
        if (count <= epptr() - pptr())
        {
            std::memcpy(pptr(), bytes, static_cast<std::size_t>(count));
            pbump(static_cast<int>(count));
            return count;
        }
        Flush();
        m_text.append(bytes, static_cast<std::size_t>(count));
        return count;
    }

    int sync() override
    {
        Flush();
        return 0;
    }

private:
    std::string& m_text;
    char m_area[4096];
};

} // namespace

bool CAnsiTarget::IsUtf8()
{
    if (m_kind == Unknown)
        m_kind = platform::AnsiCodePageIsUtf8() ? Utf8 : Other;
    return m_kind == Utf8;
}

bool ReadString(const Json::Value& member, std::string& text, CAnsiTarget& target)
{
    const char* begin = nullptr;
    const char* end = nullptr;
    if (!member.getString(&begin, &end))
    {
        switch (member.type())
        {
        case Json::nullValue:
        case Json::stringValue: // a string without storage
            text.clear();
            return true;
        case Json::booleanValue:
            text = member.asBool() ? "true" : "false";
            return true; // 7-bit, so it converts to itself
        default:
            return false;
        }
    }
    // A text ends at its first NUL byte, in every step below: the UTF-8
    // test, the conversion, and every later use of the text as a C string.
    // 7-bit text converts to itself.
    const char* stop = PlainPrefixEnd(begin, end);
    if (stop == end || *stop == '\0')
    {
        text.assign(begin, stop);
        return true;
    }
    if (const void* nul = std::memchr(stop, '\0', static_cast<std::size_t>(end - stop)))
        end = static_cast<const char*>(nul);
    // The 7-bit prefix passes both tests; only the rest needs looking at.
    // The code page is asked first: where it is not UTF-8, the text is
    // scanned once, by the test below, not twice.
    if (target.IsUtf8() && IsWellFormedUtf8(stop, end))
    {
        text.assign(begin, end);
        return true;
    }
    // A text longer than IsUtf8 can measure is kept as stored.
    const bool utf8 = end - stop <= static_cast<std::ptrdiff_t>(INT_MAX) && IsUtf8(stop, static_cast<int>(end - stop));
    text.assign(begin, end);
    if (utf8)
        text = Utf8ToAnsi(text);
    return true;
}

bool PlainString(const Json::Value& member, const char*& begin, const char*& end)
{
    if (!member.getString(&begin, &end))
        return false;
    const char* stop = PlainPrefixEnd(begin, end);
    if (stop != end && *stop != '\0')
        return false;
    end = stop;
    return true;
}

std::string GetString(const Json::Value& member, const char* fallback)
{
    try
    {
        std::string text;
        CAnsiTarget target;
        if (ReadString(member, text, target))
            return text;
    }
    catch (...)
    {
    }
    return FallbackText(fallback);
}

std::string TakeString(const Json::Value& member, const char* fallback)
{
    std::string text;
    CAnsiTarget target;
    if (!ReadString(member, text, target))
        text = fallback != nullptr ? fallback : "";
    return text;
}

int ReadIntOrText(const Json::Value& member, int fallback)
{
    try
    {
        switch (member.type())
        {
        case Json::nullValue:
            return 0;
        case Json::intValue:
        {
            const Json::LargestInt number = member.asLargestInt();
            if (number >= INT_MIN && number <= INT_MAX)
                return static_cast<int>(number);
            break;
        }
        case Json::uintValue:
        {
            const Json::LargestUInt number = member.asLargestUInt();
            if (number <= static_cast<Json::LargestUInt>(INT_MAX))
                return static_cast<int>(number);
            break;
        }
        case Json::realValue:
        {
            // NaN fails both comparisons and goes on like any other number
            // out of range.
            const double number = member.asDouble();
            if (number >= -2147483648.0 && number <= 2147483647.0)
                return static_cast<int>(number);
            break;
        }
        case Json::booleanValue:
            return member.asBool() ? 1 : 0;
        default:
            break;
        }

        const char* begin = nullptr;
        const char* end = nullptr;
        if (!NumberText(member, begin, end))
            return fallback;
        const long long value = SaturatingAtoi64(begin, end);
        return value < INT_MIN ? INT_MIN : value > INT_MAX ? INT_MAX : static_cast<int>(value);
    }
    catch (...)
    {
        return fallback;
    }
}

void SetString(Json::Value& member, const char* text)
{
    if (text == nullptr)
        text = "";
    member = Json::Value(text, text + std::strlen(text));
}

bool ParseJson(Json::Value& root, const char* text)
{
    try
    {
        if (text == nullptr)
            return false;
        // Default features: comments allowed and kept, any value as root.
        // Nesting beyond the reader's depth limit raises an exception.
        Json::Reader reader;
        return reader.parse(text, text + std::strlen(text), root);
    }
    catch (...)
    {
        return false;
    }
}

bool FormatJson(const Json::Value& root, std::string& text)
{
    // This configuration writes the tab-indented styled layout byte for byte
    // (sorted members, " : " separators, short scalar arrays on one line), but
    // passes bytes of 0x80 and above through unchanged instead of reading them
    // as UTF-8, which corrupts ANSI text and can swallow the bytes after it.
    // The text is written in place: it ends up holding exactly what was
    // written, also when the writer raised an exception.
    bool written = true;
    try
    {
        text.clear();
        CStringSink sink(text);
        std::ostream stream(&sink);
        try
        {
            Json::StreamWriterBuilder builder;
            builder["emitUTF8"] = true;
            builder["indentation"] = "\t";
            builder["commentStyle"] = "None";
            const std::unique_ptr<Json::StreamWriter> writer(builder.newStreamWriter());
            writer->write(root, &stream);
            stream << '\n';
            // The stream swallows a failure of its buffer (memory exhausted
            // while the text grows) and only marks itself bad.
            if (!stream)
                written = false;
        }
        catch (...)
        {
            written = false;
        }
        sink.Flush();
        UpperCaseUnicodeEscapes(text);
    }
    catch (...)
    {
        return false;
    }
    return written;
}

long long ReadInt64OrText(const Json::Value& member, long long fallback)
{
    try
    {
        switch (member.type())
        {
        case Json::nullValue:
            return 0;
        case Json::intValue:
            return static_cast<long long>(member.asInt64());
        case Json::uintValue:
            if (member.asUInt64() <= static_cast<Json::UInt64>(Int64Max))
                return static_cast<long long>(member.asUInt64());
            break;
        case Json::realValue:
        {
            // NaN fails both comparisons and falls through to the text.
            const double real = member.asDouble();
            if (real >= -Int64Bound && real < Int64Bound)
                return static_cast<long long>(real);
            break;
        }
        case Json::booleanValue:
            return member.asBool() ? 1 : 0;
        default:
            break;
        }
    }
    catch (...)
    {
    }
    // A number out of range has no text, hence the fallback.
    const char* begin = nullptr;
    const char* end = nullptr;
    if (!NumberText(member, begin, end))
        return fallback;
    return SaturatingAtoi64(begin, end);
}

} // namespace jsonIO
