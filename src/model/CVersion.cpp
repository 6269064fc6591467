#include "model/CVersion.h"

#include "boundary/NewOrNull.h"

#include <cstring>

namespace kvrUpdate
{
namespace
{

// The text of "%u.%u.%u.%u" into `buffer` (at least kTextSize bytes), formatted by
// hand: documents hold thousands of versions and copies go through this text,
// so printf's cost shows. Returns the end of the text (not terminated).
char* FormatVersion(const std::uint32_t (&parts)[4], char* buffer)
{
    char* end = buffer;
    for (int index = 0; index < 4; ++index)
    {
        if (index > 0)
            *end++ = '.';
        char digits[10];
        int count = 0;
        std::uint32_t part = parts[index];
        do
        {
            digits[count++] = static_cast<char>('0' + part % 10u);
            part /= 10u;
        } while (part != 0);
        while (count > 0)
            *end++ = digits[--count];
    }
    return end;
}

} // namespace

CVersion::CVersion() : m_parts{0, 0, 0, 0}, m_text{} {}

CVersion::CVersion(const IVersion& other) : CVersion()
{
    *this = other;
}

CVersion::CVersion(const CVersion& other) noexcept : CVersion()
{
    *this = other;
}

CVersion& CVersion::operator=(const IVersion& other)
{
    // Another implementation is copied through its text form, the one
    // channel every IVersion has. Self-assignment is harmless: FromString
    // only reads the text and writes the parts.
    if (const CVersion* same = dynamic_cast<const CVersion*>(&other))
        return *this = *same;
    FromString(other.ToString());
    return *this;
}

CVersion& CVersion::operator=(const CVersion& other) noexcept
{
    // The parts are the whole value; the text is made afresh by ToString.
    if (this != &other)
        std::memcpy(m_parts, other.m_parts, sizeof m_parts);
    return *this;
}

void CVersion::Release()
{
    delete this;
}

IVersion* CVersion::Clone() const
{
    return NewOrNull<CVersion>(*this);
}

int CVersion::Compare(const IVersion* other) const
{
    for (int index = 0; index < 4; ++index)
    {
        // A missing version compares like 0.0.0.0.
        const std::uint32_t theirs = other != nullptr ? other->GetPart(index) : 0u;
        if (m_parts[index] > theirs)
            return 1;
        if (m_parts[index] < theirs)
            return -1;
    }
    return 0;
}

const char* CVersion::ToString() const
{
    *FormatVersion(m_parts, m_text) = '\0';
    return m_text;
}

bool CVersion::FromString(const char* text)
{
    Parse(text, nullptr, false); // takes every text
    return true;
}

bool CVersion::Parse(const char* text, const char* end, bool plainOnly)
{
    // Lenient: every run of ASCII digits is the next part (modulo 2^32), any
    // other byte separates, and nothing is rejected. Versions are read by
    // the thousand, hence the tight loops: a byte is a digit when it lies
    // 0..9 above '0' counted unsigned, so bytes of 0x80 and above are not.
    for (std::uint32_t& part : m_parts)
        part = 0;
    if (text == nullptr)
        return true;

    const unsigned char* cursor = reinterpret_cast<const unsigned char*>(text);
    const unsigned char* const stop = reinterpret_cast<const unsigned char*>(end);
    for (int index = 0; index < 4; ++index)
    {
        unsigned digit = 0;
        for (; cursor != stop && (digit = *cursor - unsigned{'0'}) > 9u; ++cursor)
        {
            if (*cursor == 0)
                return true;
            if (plainOnly && *cursor >= 0x80)
                return false;
        }
        if (cursor == stop)
            return true;
        std::uint32_t number = digit;
        for (++cursor; cursor != stop && (digit = *cursor - unsigned{'0'}) <= 9u; ++cursor)
            number = number * 10u + digit;
        m_parts[index] = number;
    }
    return true;
}

unsigned int CVersion::GetPart(int index) const
{
    if (index < 0 || index >= 4)
        return 0;
    return m_parts[index];
}

} // namespace kvrUpdate

namespace kvrUpdate
{

bool ReadJson(const Json::Value& value, CVersion& record)
{
    if (!value.isObject() && !value.isNull())
        return false;
    return binding::ReadRecord(value, record);
}

void WriteJson(Json::Value& value, const CVersion& record)
{
    binding::WriteRecord(value, record);
}

bool binding::TFieldsOf<CVersion>::ReadText(CVersion& record, const Json::Value& member, CReadContext& context)
{
    // A member with no text gives the fallback "0.0.0.0", which parses like
    // the empty text. 7-bit text, the usual, is parsed where it lies; other
    // text is converted first, and memory running out there ends the read.
    const char* begin = nullptr;
    const char* end = nullptr;
    if (member.getString(&begin, &end) && record.Parse(begin, end, true))
        return true;
    if (jsonIO::ReadString(member, context.scratch, context.ansi))
        return record.FromString(context.scratch.c_str());
    return record.FromString("");
}

void binding::TFieldsOf<CVersion>::WriteText(const CVersion& record, Json::Value& member, CWriteContext& context)
{
    char buffer[CVersion::kTextSize];
    const char* end = FormatVersion(record.m_parts, buffer);
    if (context.LendsTexts())
        member = Json::StaticString(context.Keep(buffer, end));
    else
        member = Json::Value(static_cast<const char*>(buffer), end);
}

} // namespace kvrUpdate
