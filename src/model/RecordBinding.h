// How the records of the data model are read from and written to JSON. Each
// record lists its fields once, beside its members (key, member, kind, in a
// specialisation of TFieldsOf); the one reader and the one writer below
// apply the rules to every record.
//
// Reading:
// - A record is read from an object, and every read assigns every field: a
//   member absent from the object gives the field its absent value (the
//   empty text, 0, 0.0.0.0, -1 for a name not in its table, an empty list).
//   Members that are not fields are ignored.
// - A value of the wrong type where a record belongs (a bare string where a
//   version object belongs, a number inside a list) reads as absent: every
//   field takes its absent value, the read reports false, nothing throws.
//   Null reads like an empty object.
// - A nested record's failure stays with it: its result is not consulted,
//   so its neighbours are still read.
// - A list is refilled in place. A list member of the wrong type gives an
//   empty list and false; an element of the wrong type reads as absent and
//   the later elements are still read.
// - Memory exhaustion (an exception, the only one reading raises) ends the
//   whole read and passes to the caller, TryReadJson, which reports false:
//   a text emptied or a list cut short must not pass for what was sent.
//   The record keeps what was read before it.
// Writing sets every field: texts and numbers as JSON strings, nested
// records as objects, a list as an array of objects, or not at all when it
// is empty (the member is then present and null).
//
// Each record's entry points, ReadJson and WriteJson, are declared beside it
// in kvrUpdate, where the JSON layer's generic code (TryReadJson, the
// CJsonObject adapter) finds them by argument-dependent lookup, and are
// brought into jsonIO, the namespace callers name them in.
#ifndef VESKUPDATE_RECORDBINDING_H
#define VESKUPDATE_RECORDBINDING_H

#include "json/jsonIO.h"
#include "model/CNameTable.h"

#include <cstddef>
#include <cstring>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace kvrUpdate
{
namespace binding
{

/// What one read of a document shares between its fields.
struct CReadContext
{
    jsonIO::CAnsiTarget ansi;
    /// Text of a field that is not kept as text (a version, a table name).
    std::string scratch;
};

/// What one write of a document shares between its fields. By default every
/// text is copied into the value. A writer that formats the value and drops
/// it while the records stay as they are may lend the records' texts to it
/// instead (jsoncpp keeps such a string as a pointer, and does not free it):
/// nothing to copy on the way in, nothing to free on the way out. Texts made
/// while writing (a version's dotted form) then live in `Keep`'s storage,
/// which lasts as long as the context.
class CWriteContext
{
public:
    CWriteContext() = default;
    explicit CWriteContext(bool lendTexts) : m_lendTexts(lendTexts) {}
    ~CWriteContext();
    CWriteContext(const CWriteContext&) = delete;
    CWriteContext& operator=(const CWriteContext&) = delete;

    bool LendsTexts() const { return m_lendTexts; }
    /// A NUL-terminated copy of [begin, end) that lives as long as the
    /// context.
    const char* Keep(const char* begin, const char* end);

private:
    struct CBlock;

    bool m_lendTexts = false;
    CBlock* m_last = nullptr; // the blocks kept texts live in, chained backwards
    std::size_t m_used = 0;   // bytes used in the last block
};

/// One field of record type R: its JSON key, and how its member is read and
/// written. `read` is given the null value for a member the object lacks;
/// it returns false only where the rules above say the record's read fails.
template <class R>
struct TField
{
    const char* key;
    std::size_t keyLength;
    bool (*read)(R& record, const Json::Value& member, CReadContext& context);
    void (*write)(const R& record, Json::Value& member, CWriteContext& context);
    /// For a field that is itself a record: its prototype (see Prototype
    /// below), which becomes part of the enclosing record's, and how it is
    /// written into a copy of that prototype. Null for other fields.
    const Json::Value& (*prototype)() = nullptr;
    void (*fill)(const R& record, Json::Value& member, CWriteContext& context) = nullptr;
};

/// Specialised beside each record R, as a friend of R, with
///   static constexpr TField<R> List[] = {...};
/// in ascending byte order of the keys, the order jsoncpp keeps an object's
/// members in: the reader and the writer walk both in step.
template <class R>
struct TFieldsOf;

// ---------------------------------------------------------------------------
// Keys
// ---------------------------------------------------------------------------

constexpr std::size_t KeyLength(const char* key)
{
    std::size_t length = 0;
    while (key[length] != '\0')
        ++length;
    return length;
}

/// jsoncpp's order of member names: bytes compared unsigned, a prefix first.
inline int CompareKeys(const char* left, std::size_t leftLength, const char* right, std::size_t rightLength)
{
    const int order = std::memcmp(left, right, leftLength < rightLength ? leftLength : rightLength);
    if (order != 0)
        return order;
    return leftLength < rightLength ? -1 : leftLength > rightLength ? 1 : 0;
}

template <class R, std::size_t N>
constexpr bool KeysAscend(const TField<R> (&fields)[N])
{
    for (std::size_t index = 1; index < N; ++index)
    {
        const char* left = fields[index - 1].key;
        const char* right = fields[index].key;
        while (*left != '\0' && *left == *right)
        {
            ++left;
            ++right;
        }
        if (static_cast<unsigned char>(*left) >= static_cast<unsigned char>(*right))
            return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// The reader and the writer
// ---------------------------------------------------------------------------

template <class R>
bool ReadRecord(const Json::Value& value, R& record, CReadContext& context);

namespace detail
{

/// Walks the object's members and the fields together, each once: a field
/// whose key the walk passes without meeting it is absent.
template <class R>
bool ReadFields(const Json::Value& object, R& record, CReadContext& context)
{
    constexpr auto& fields = TFieldsOf<R>::List;
    static_assert(KeysAscend(fields), "a record's fields are listed in ascending byte order of their keys");
    constexpr std::size_t count = sizeof fields / sizeof fields[0];
    const Json::Value& absent = Json::Value::nullSingleton();
    bool read = true;
    std::size_t next = 0;
    for (auto member = object.begin(), end = object.end(); member != end && next < count; ++member)
    {
        const char* keyEnd = nullptr;
        const char* key = member.memberName(&keyEnd);
        const std::size_t keyLength = static_cast<std::size_t>(keyEnd - key);
        int order = -1;
        while (next < count && (order = CompareKeys(fields[next].key, fields[next].keyLength, key, keyLength)) < 0)
        {
            read = fields[next].read(record, absent, context) && read;
            ++next;
        }
        if (order == 0)
        {
            read = fields[next].read(record, *member, context) && read;
            ++next;
        }
    }
    for (; next < count; ++next)
        read = fields[next].read(record, absent, context) && read;
    return read;
}

/// The element at `index` of a list being refilled: the record already
/// there is read over, or a new one is appended.
template <class E>
void ReadElement(const Json::Value& element, std::vector<E>& items, std::size_t index, CReadContext& context)
{
    if (index == items.size())
        items.emplace_back();
    ReadRecord(element, items[index], context); // a failed element reads as absent; not consulted
}

template <class E>
bool ReadElements(const Json::Value& array, std::vector<E>& items, CReadContext& context)
{
    if (!array.isArray())
    {
        items.clear();
        return array.isNull();
    }
    const std::size_t count = array.size();
    std::size_t index = 0;
    try
    {
        items.reserve(count);
        for (auto element = array.begin(), end = array.end(); element != end; ++element)
            ReadElement(*element, items, index++, context);
        if (index != count)
        {
            // An array built in memory may have holes, which read as null;
            // a parsed one never has. Read it again by index.
            for (index = 0; index < count; ++index)
                ReadElement(array[static_cast<Json::ArrayIndex>(index)], items, index, context);
        }
    }
    catch (...)
    {
        items.erase(items.begin() + static_cast<std::ptrdiff_t>(index), items.end());
        throw;
    }
    items.erase(items.begin() + static_cast<std::ptrdiff_t>(index), items.end());
    return true;
}

/// An object that holds a member for every field, in the fields' order, the
/// keys as static strings: null, or for a field that is itself a record, its
/// own prototype. A record is written into a copy of it, which costs less
/// than inserting the members one by one.
template <class R>
const Json::Value& Prototype()
{
    static const Json::Value prototype = [] {
        Json::Value object(Json::objectValue);
        for (const TField<R>& field : TFieldsOf<R>::List)
        {
            Json::Value& member = object[Json::StaticString(field.key)];
            if (field.prototype != nullptr)
                member = field.prototype();
        }
        return object;
    }();
    return prototype;
}

/// Sets every field's member on a copy of the prototype.
template <class R>
void WriteMembers(Json::Value& object, const R& record, CWriteContext& context)
{
    const TField<R>* field = TFieldsOf<R>::List;
    for (auto member = object.begin(), end = object.end(); member != end; ++member, ++field)
    {
        if (field->fill != nullptr)
            field->fill(record, *member, context);
        else
            field->write(record, *member, context);
    }
}

template <class M>
struct TMemberOf;

template <class R, class T>
struct TMemberOf<T R::*>
{
    using Record = R;
};

template <auto Member>
using RecordOf = typename TMemberOf<decltype(Member)>::Record;

} // namespace detail

/// Reads the record from `value` by the rules above, sharing `context` with
/// the rest of the document.
template <class R>
bool ReadRecord(const Json::Value& value, R& record, CReadContext& context)
{
    if (value.isObject())
        return detail::ReadFields(value, record, context);
    bool read = value.isNull();
    for (const TField<R>& field : TFieldsOf<R>::List)
        read = field.read(record, Json::Value::nullSingleton(), context) && read;
    return read;
}

template <class R>
bool ReadRecord(const Json::Value& value, R& record)
{
    CReadContext context;
    return ReadRecord(value, record, context);
}

/// Sets every field's member on `value`, which must be null or an object (a
/// member lookup on anything else throws). Other members are left alone.
template <class R>
void WriteRecord(Json::Value& value, const R& record, CWriteContext& context)
{
    if (value.isNull())
    {
        // Every member is set below, so a null value starts as the prototype.
        value = detail::Prototype<R>();
        detail::WriteMembers(value, record, context);
        return;
    }
    for (const TField<R>& field : TFieldsOf<R>::List)
        field.write(record, value[Json::StaticString(field.key)], context);
}

template <class R>
void WriteRecord(Json::Value& value, const R& record)
{
    CWriteContext context;
    WriteRecord(value, record, context);
}

// ---------------------------------------------------------------------------
// Kinds of fields
// ---------------------------------------------------------------------------

namespace detail
{

template <auto Member, class R>
bool ReadText(R& record, const Json::Value& member, CReadContext& context)
{
    std::string& text = record.*Member;
    if (!jsonIO::ReadString(member, text, context.ansi))
        text.clear(); // a number, array or object has no text
    return true;
}

template <auto Member, class R>
void WriteText(const R& record, Json::Value& member, CWriteContext& context)
{
    // Lent or copied, the text ends at its first NUL byte.
    if (context.LendsTexts())
        member = Json::StaticString((record.*Member).c_str());
    else
        jsonIO::SetString(member, (record.*Member).c_str());
}

template <auto Member, class R>
bool ReadNested(R& record, const Json::Value& member, CReadContext& context)
{
    ReadRecord(member, record.*Member, context); // a failed member reads as absent; not consulted
    return true;
}

template <auto Member, class R>
void WriteNested(const R& record, Json::Value& member, CWriteContext& context)
{
    WriteRecord(member, record.*Member, context);
}

template <auto Member, class R>
const Json::Value& NestedPrototype()
{
    return Prototype<std::decay_t<decltype(std::declval<const R&>().*Member)>>();
}

template <auto Member, class R>
void FillNested(const R& record, Json::Value& member, CWriteContext& context)
{
    WriteMembers(member, record.*Member, context);
}

template <auto Member, class R>
bool ReadList(R& record, const Json::Value& member, CReadContext& context)
{
    return ReadElements(member, record.*Member, context);
}

template <auto Member, class R>
void WriteList(const R& record, Json::Value& member, CWriteContext& context)
{
    for (const auto& item : record.*Member)
    {
        using Element = std::decay_t<decltype(item)>;
        WriteMembers(member.append(Prototype<Element>()), item, context);
    }
}

template <auto Member, const CNameTable& Table, class R>
bool ReadName(R& record, const Json::Value& member, CReadContext& context)
{
    int& value = record.*Member;
    const char* begin = nullptr;
    const char* end = nullptr;
    if (jsonIO::PlainString(member, begin, end))
    {
        value = Table.ValueOf(begin, static_cast<std::size_t>(end - begin));
        return true;
    }
    value = jsonIO::ReadString(member, context.scratch, context.ansi) ? Table.ValueOf(context.scratch.c_str())
                                                                      : Table.ValueOf("");
    return true;
}

template <auto Member, const CNameTable& Table, class R>
void WriteName(const R& record, Json::Value& member, CWriteContext&)
{
    // Table names live as long as the program.
    member = Json::StaticString(Table.NameOf(record.*Member));
}

template <auto Member, class R>
bool ReadLength(R& record, const Json::Value& member, CReadContext&)
{
    record.*Member = jsonIO::ReadInt64OrText(member, 0);
    return true;
}

template <auto Member, class R>
void WriteLength(const R& record, Json::Value& member, CWriteContext&)
{
    jsonIO::SetAsText(member, record.*Member);
}

} // namespace detail

// Each kind names the member; the record type R is the member's class,
// unless the member is inherited (then R names the record).

/// A std::string member: the member's text (GetString, fallback empty),
/// written as a JSON string.
template <auto Member, class R = detail::RecordOf<Member>>
constexpr TField<R> Text(const char* key)
{
    return {key, KeyLength(key), &detail::ReadText<Member, R>, &detail::WriteText<Member, R>};
}

/// A member that is itself a record, read and written by its own fields.
template <auto Member, class R = detail::RecordOf<Member>>
constexpr TField<R> Nested(const char* key)
{
    return {key,
            KeyLength(key),
            &detail::ReadNested<Member, R>,
            &detail::WriteNested<Member, R>,
            &detail::NestedPrototype<Member, R>,
            &detail::FillNested<Member, R>};
}

/// A std::vector of records: a JSON array of their objects.
template <auto Member, class R = detail::RecordOf<Member>>
constexpr TField<R> List(const char* key)
{
    return {key, KeyLength(key), &detail::ReadList<Member, R>, &detail::WriteList<Member, R>};
}

/// An int held as the name of its entry in `Table`: a text matched without
/// regard to ASCII case, -1 when no entry matches; a value not in the table
/// is written as the empty text.
template <auto Member, const CNameTable& Table, class R = detail::RecordOf<Member>>
constexpr TField<R> Name(const char* key)
{
    return {key, KeyLength(key), &detail::ReadName<Member, Table, R>, &detail::WriteName<Member, Table, R>};
}

/// A 64-bit length: a JSON number or decimal text, written as decimal text.
template <auto Member, class R = detail::RecordOf<Member>>
constexpr TField<R> Length(const char* key)
{
    return {key, KeyLength(key), &detail::ReadLength<Member, R>, &detail::WriteLength<Member, R>};
}

} // namespace binding
} // namespace kvrUpdate

#endif // VESKUPDATE_RECORDBINDING_H
