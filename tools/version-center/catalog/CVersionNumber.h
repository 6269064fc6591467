// A four-part version number as the version center uses it: parsed leniently
// (every run of digits is the next part, anything else separates) and written
// canonically as a.b.c.d, so "1.2" and "1.2.0.0" name the same version. A
// number read from text keeps that text, so that a catalog written back
// names each version as a person wrote it; comparisons look at the number
// alone.
#ifndef VERSIONCENTER_CVERSIONNUMBER_H
#define VERSIONCENTER_CVERSIONNUMBER_H

#include <array>
#include <cstdint>
#include <string>

namespace versionCenter
{

class CVersionNumber
{
public:
    CVersionNumber() : m_parts{0, 0, 0, 0} {}

    /// Parses like the client library does: up to four runs of decimal digits,
    /// each taken modulo 2^32; missing parts are 0. `hasDigits` tells whether
    /// the text held any digit at all.
    static CVersionNumber Parse(const std::string& text, bool* hasDigits = nullptr);

    /// Parses a text that is nothing but one to four dot-separated numbers,
    /// each below 2^32 ("2", "1.2", "1.2.0.17"). False for anything else.
    static bool ParseExact(const std::string& text, CVersionNumber& version);

    /// The canonical text, "1.2.0.0".
    std::string ToString() const;

    /// The text the number was parsed from ("v1.2"), or the canonical text
    /// for a number not parsed from one.
    std::string Text() const { return m_text.empty() ? ToString() : m_text; }

    /// The canonical text without trailing zero parts after the second:
    /// "1.2", "1.2.3", "1.2.0.17".
    std::string ShortText() const;

    bool operator<(const CVersionNumber& other) const { return m_parts < other.m_parts; }
    bool operator==(const CVersionNumber& other) const { return m_parts == other.m_parts; }
    bool operator!=(const CVersionNumber& other) const { return m_parts != other.m_parts; }

private:
    std::array<std::uint32_t, 4> m_parts;
    std::string m_text;
};

} // namespace versionCenter

#endif // VERSIONCENTER_CVERSIONNUMBER_H
