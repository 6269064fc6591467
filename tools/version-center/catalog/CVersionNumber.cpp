#include "catalog/CVersionNumber.h"

namespace versionCenter
{

CVersionNumber CVersionNumber::Parse(const std::string& text, bool* hasDigits)
{
    CVersionNumber version;
    std::size_t part = 0;
    std::uint32_t number = 0;
    bool inNumber = false;
    bool anyDigit = false;
    for (std::size_t i = 0; i <= text.size() && part < 4; ++i)
    {
        const char c = i < text.size() ? text[i] : '\0';
        if (c >= '0' && c <= '9')
        {
            number = number * 10u + static_cast<std::uint32_t>(c - '0');
            inNumber = true;
            anyDigit = true;
        }
        else if (inNumber)
        {
            version.m_parts[part++] = number;
            number = 0;
            inNumber = false;
        }
    }
    if (hasDigits)
        *hasDigits = anyDigit;
    version.m_text = text;
    return version;
}

bool CVersionNumber::ParseExact(const std::string& text, CVersionNumber& version)
{
    CVersionNumber parsed;
    std::size_t part = 0;
    std::uint64_t number = 0;
    std::size_t digits = 0;
    for (std::size_t i = 0; i <= text.size(); ++i)
    {
        const char c = i < text.size() ? text[i] : '.';
        if (c >= '0' && c <= '9')
        {
            number = number * 10u + static_cast<std::uint64_t>(c - '0');
            if (++digits > 10 || number > 0xffffffffULL)
                return false;
            continue;
        }
        if (c != '.' || digits == 0 || part == 4)
            return false;
        parsed.m_parts[part++] = static_cast<std::uint32_t>(number);
        number = 0;
        digits = 0;
    }
    parsed.m_text = text;
    version = parsed;
    return true;
}

std::string CVersionNumber::ShortText() const
{
    std::size_t count = 4;
    while (count > 2 && m_parts[count - 1] == 0)
        --count;
    std::string text = std::to_string(m_parts[0]);
    for (std::size_t i = 1; i < count; ++i)
        text.append(".").append(std::to_string(m_parts[i]));
    return text;
}

std::string CVersionNumber::ToString() const
{
    return std::to_string(m_parts[0]) + '.' + std::to_string(m_parts[1]) + '.' + std::to_string(m_parts[2]) + '.' +
           std::to_string(m_parts[3]);
}

} // namespace versionCenter
