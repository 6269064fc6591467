#include "model/CVersion.h"

#include "json/jsonIO.h"


namespace kvrUpdate
{
namespace
{

// The text of "%u.%u.%u.%u" into `buffer` (at least 44 bytes), formatted by
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

CVersion::CVersion() : m_parts{0, 0, 0, 0} {}

CVersion::CVersion(const IVersion& other) : CVersion()
{
    FromString(other.ToString());
}

CVersion::CVersion(const CVersion& other) : CVersion()
{
    FromString(other.ToString());
}

CVersion& CVersion::operator=(const IVersion& other)
{
    // The source's text form is the one channel of copying, so any IVersion
    // implementation can be copied. Self-assignment is harmless: FromString
    // only reads the text and writes the parts.
    FromString(other.ToString());
    return *this;
}

CVersion& CVersion::operator=(const CVersion& other)
{
    return *this = static_cast<const IVersion&>(other);
}

void CVersion::Release()
{
    delete this;
}

IVersion* CVersion::Clone() const
{
    CVersion* copy = new CVersion();
    *copy = *this;
    return copy;
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
    char buffer[48];
    m_text.assign(buffer, FormatVersion(m_parts, buffer));
    return m_text.c_str();
}

bool CVersion::FromString(const char* text)
{
    // Lenient: every run of ASCII digits is the next part (modulo 2^32), any
    // other byte separates, and nothing is rejected.
    for (std::uint32_t& part : m_parts)
        part = 0;
    if (text == nullptr)
        return true;

    int index = 0;
    std::uint32_t number = 0;
    bool inNumber = false;
    for (const char* cursor = text; index < 4; ++cursor)
    {
        const char byte = *cursor;
        if (byte >= '0' && byte <= '9')
        {
            inNumber = true;
            number = number * 10u + static_cast<std::uint32_t>(byte - '0');
            continue;
        }
        if (inNumber)
        {
            m_parts[index++] = number;
            number = 0;
            inNumber = false;
        }
        if (byte == '\0')
            break;
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

namespace jsonIO
{

bool ReadJson(Json::Value& value, kvrUpdate::CVersion& record)
{
    return record.FromString(GetString(value["v"], "0.0.0.0").c_str());
}

void WriteJson(Json::Value& value, const kvrUpdate::CVersion& record)
{
    // The text ToString gives, formatted on the stack: the record's cached
    // text need not be rewritten, and the literal key need not be copied.
    static const Json::Value prototype = ObjectWithMembers({"v"});
    if (value.isNull())
        value = prototype;
    char buffer[48];
    const char* end = kvrUpdate::FormatVersion(record.m_parts, buffer);
    value[Json::StaticString("v")] = Json::Value(static_cast<const char*>(buffer), end);
}

} // namespace jsonIO
