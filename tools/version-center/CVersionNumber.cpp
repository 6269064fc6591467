#include "CVersionNumber.h"

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
    return version;
}

std::string CVersionNumber::ToString() const
{
    return std::to_string(m_parts[0]) + '.' + std::to_string(m_parts[1]) + '.' +
           std::to_string(m_parts[2]) + '.' + std::to_string(m_parts[3]);
}

} // namespace versionCenter
