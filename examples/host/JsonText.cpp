#include "JsonText.h"

#include <cstdio>

namespace jsontext
{

std::string Quote(const std::string& text)
{
    std::string out = "\"";
    for (unsigned char c : text)
    {
        switch (c)
        {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20)
            {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04X", c);
                out += escape;
            }
            else
            {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

namespace
{

// A forward-only reader over the text; every Read/Skip returns false on
// anything it does not understand.
class CScanner
{
public:
    explicit CScanner(const std::string& text) : m_text(text), m_pos(0) {}

    bool At(char c)
    {
        SkipSpace();
        return m_pos < m_text.size() && m_text[m_pos] == c;
    }

    bool Take(char c)
    {
        if (!At(c))
            return false;
        ++m_pos;
        return true;
    }

    bool ReadString(std::string& value)
    {
        if (!Take('"'))
            return false;
        value.clear();
        while (m_pos < m_text.size())
        {
            char c = m_text[m_pos++];
            if (c == '"')
                return true;
            if (c != '\\')
            {
                value += c;
                continue;
            }
            if (m_pos >= m_text.size())
                return false;
            char e = m_text[m_pos++];
            switch (e)
            {
            case 'n': value += '\n'; break;
            case 'r': value += '\r'; break;
            case 't': value += '\t'; break;
            case 'b': value += '\b'; break;
            case 'f': value += '\f'; break;
            case 'u':
            {
                unsigned code = 0;
                if (!ReadHex4(code))
                    return false;
                if (code >= 0xD800 && code <= 0xDBFF && m_text.compare(m_pos, 2, "\\u") == 0)
                {
                    m_pos += 2;
                    unsigned low = 0;
                    if (!ReadHex4(low))
                        return false;
                    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                }
                AppendUtf8(value, code);
                break;
            }
            default: value += e; break; // '"', '\\', '/'
            }
        }
        return false;
    }

    // Skips one value of any kind, nesting included.
    bool SkipValue(int depth = 0)
    {
        if (depth > 64)
            return false;
        std::string ignored;
        if (At('"'))
            return ReadString(ignored);
        if (Take('{'))
        {
            if (Take('}'))
                return true;
            do
            {
                if (!ReadString(ignored) || !Take(':') || !SkipValue(depth + 1))
                    return false;
            } while (Take(','));
            return Take('}');
        }
        if (Take('['))
        {
            if (Take(']'))
                return true;
            do
            {
                if (!SkipValue(depth + 1))
                    return false;
            } while (Take(','));
            return Take(']');
        }
        // A number or a literal: everything up to the next delimiter.
        size_t start = m_pos;
        static const std::string delimiters = ",}] \t\r\n";
        while (m_pos < m_text.size() && delimiters.find(m_text[m_pos]) == std::string::npos)
            ++m_pos;
        return m_pos > start;
    }

private:
    void SkipSpace()
    {
        while (m_pos < m_text.size())
        {
            char c = m_text[m_pos];
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n')
                ++m_pos;
            else
                break;
        }
    }

    bool ReadHex4(unsigned& code)
    {
        if (m_pos + 4 > m_text.size())
            return false;
        for (int i = 0; i < 4; ++i)
        {
            char h = m_text[m_pos++];
            code <<= 4;
            if (h >= '0' && h <= '9')
                code |= unsigned(h - '0');
            else if (h >= 'a' && h <= 'f')
                code |= unsigned(h - 'a' + 10);
            else if (h >= 'A' && h <= 'F')
                code |= unsigned(h - 'A' + 10);
            else
                return false;
        }
        return true;
    }

    static void AppendUtf8(std::string& out, unsigned code)
    {
        if (code < 0x80)
        {
            out += static_cast<char>(code);
        }
        else if (code < 0x800)
        {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
        else if (code < 0x10000)
        {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
        else
        {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }

    const std::string& m_text;
    size_t m_pos;
};

} // namespace

bool FindString(const std::string& json, const std::string& key, std::string& value)
{
    CScanner scan(json);
    if (!scan.Take('{') || scan.Take('}'))
        return false;
    do
    {
        std::string name;
        if (!scan.ReadString(name) || !scan.Take(':'))
            return false;
        if (name == key)
            return scan.ReadString(value);
        if (!scan.SkipValue())
            return false;
    } while (scan.Take(','));
    return false;
}

} // namespace jsontext
