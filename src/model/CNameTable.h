// Fixed tables that map the names a patch's type and force travel under in
// JSON to the numbers a patch holds (PatchTypeValue, PatchForceValue in the
// public header).
#ifndef VESKUPDATE_CNAMETABLE_H
#define VESKUPDATE_CNAMETABLE_H

#include <cstddef>

namespace kvrUpdate
{

class CNameTable
{
public:
    struct CEntry
    {
        int m_value;
        const char* m_name;
    };

    constexpr CNameTable(const CEntry* entries, int count) : m_entries(entries), m_count(count) {}

    /// The value of the first entry whose name equals `name`, ignoring the
    /// case of ASCII letters; -1 when none does (or `name` is null).
    int ValueOf(const char* name) const;
    /// The same for the `length` bytes at `name`.
    int ValueOf(const char* name, std::size_t length) const;
    /// The name of the first entry whose value equals `value`; the empty
    /// text (never null) when none does.
    const char* NameOf(int value) const;

private:
    const CEntry* m_entries;
    int m_count;
};

/// "bug" 1, "resource" 2, "function" 4, "version" 8.
extern const CNameTable PatchType;
/// "wait" 0, "common" 1, "recommend" 2, "must" 3.
extern const CNameTable PatchForce;

} // namespace kvrUpdate

#endif // VESKUPDATE_CNAMETABLE_H
