#include "model/ReadInt64OrText.h"

#include "json/jsonIO.h"

#include <cstdint>
#include <limits>
#include <string>

namespace jsonIO
{
namespace
{

constexpr long long Int64Max = std::numeric_limits<long long>::max();
// 2^63 as a double: the first real beyond the signed 64-bit range.
constexpr double Int64Bound = 9223372036854775808.0;

// atoi's reading (C-locale white space, optional sign, decimal digits up to
// the first other byte), saturating at the 64-bit limits.
long long SaturatingAtoi64(const std::string& text)
{
    std::size_t position = 0;
    while (position < text.size() &&
           (text[position] == ' ' || (text[position] >= '\t' && text[position] <= '\r')))
        ++position;

    bool negative = false;
    if (position < text.size() && (text[position] == '+' || text[position] == '-'))
        negative = text[position++] == '-';

    // Magnitude up to 2^63, the magnitude of the smallest value.
    const std::uint64_t limit = static_cast<std::uint64_t>(Int64Max) + 1;
    std::uint64_t magnitude = 0;
    for (; position < text.size() && text[position] >= '0' && text[position] <= '9'; ++position)
    {
        const unsigned digit = static_cast<unsigned>(text[position] - '0');
        magnitude = (magnitude > (limit - digit) / 10) ? limit : magnitude * 10 + digit;
    }
    if (negative)
        return magnitude == limit ? std::numeric_limits<long long>::min()
                                  : -static_cast<long long>(magnitude);
    return magnitude >= limit ? Int64Max : static_cast<long long>(magnitude);
}

} // namespace

long long ReadInt64OrText(Json::Value& member, long long fallback)
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
    // A number out of range gives the empty text here, hence the fallback.
    const std::string text = GetString(member, "");
    if (text.empty())
        return fallback;
    return SaturatingAtoi64(text);
}

} // namespace jsonIO
