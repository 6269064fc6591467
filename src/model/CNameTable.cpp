#include "model/CNameTable.h"
#include <VeskUpdate.h> // the values the tables map to

#include <cstring>

namespace kvrUpdate
{
namespace
{

char AsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Whether the NUL-terminated `entry` equals the `length` bytes of `name`.
bool EqualsIgnoringAsciiCase(const char* entry, const char* name, std::size_t length)
{
    for (; length > 0; --length, ++entry, ++name)
    {
        if (*entry == '\0' || AsciiLower(*entry) != AsciiLower(*name))
            return false;
    }
    return *entry == '\0';
}

constexpr CNameTable::CEntry PatchTypeEntries[] = {
    {PatchTypeBug, "bug"},
    {PatchTypeResource, "resource"},
    {PatchTypeFunction, "function"},
    {PatchTypeVersion, "version"},
};

constexpr CNameTable::CEntry PatchForceEntries[] = {
    {PatchForceWait, "wait"},
    {PatchForceCommon, "common"},
    {PatchForceRecommend, "recommend"},
    {PatchForceMust, "must"},
};

} // namespace

// Constant-initialised (constexpr constructor, constant arguments), so usable
// from any other static initialiser.
const CNameTable PatchType(PatchTypeEntries, 4);
const CNameTable PatchForce(PatchForceEntries, 4);

int CNameTable::ValueOf(const char* name) const
{
    if (name == nullptr)
        return -1;
    return ValueOf(name, std::strlen(name));
}

int CNameTable::ValueOf(const char* name, std::size_t length) const
{
    for (int index = 0; index < m_count; ++index)
    {
        if (EqualsIgnoringAsciiCase(m_entries[index].m_name, name, length))
            return m_entries[index].m_value;
    }
    return -1;
}

const char* CNameTable::NameOf(int value) const
{
    for (int index = 0; index < m_count; ++index)
    {
        if (m_entries[index].m_value == value)
            return m_entries[index].m_name;
    }
    return "";
}

} // namespace kvrUpdate
