// jsonIO: the member helpers that records and services are read from and
// written to JSON values with, and how JSON text becomes values and back.
//
// Reading never lets an exception out of this layer's entry points
// (GetString, ReadIntOrText, TryReadJson, ParseJson). The per-type ReadJson
// functions are unguarded and are called through TryReadJson; the records
// nested inside them are guarded where they are read. Writing lets
// exceptions (memory exhaustion) pass, except in FormatJson.
#ifndef VESKUPDATE_JSONIO_H
#define VESKUPDATE_JSONIO_H

#include <json/json.h>

#include <sstream>
#include <string>

namespace jsonIO
{

// ---------------------------------------------------------------------------
// Member helpers
// ---------------------------------------------------------------------------

/// Whether the system's ANSI code page is UTF-8, asked once when the first
/// text that needs it is read. One target serves one document: the locale
/// is not expected to change while a document is read.
class CAnsiTarget
{
public:
    bool IsUtf8();

private:
    enum : int
    {
        Unknown,
        Utf8,
        Other
    } m_kind = Unknown;
};

/// The member's text in the ANSI code page: "" for an absent or null member,
/// the bytes of a string (converted from UTF-8 when they form UTF-8),
/// "true"/"false" for a boolean, and `fallback` for a number, array or object
/// or when anything goes wrong. A text ends at its first NUL byte.
std::string GetString(const Json::Value& member, const char* fallback);

/// What GetString gives, but memory exhaustion passes instead of turning
/// into the fallback: for settings that must not silently become empty.
std::string TakeString(const Json::Value& member, const char* fallback);

/// What GetString gives, assigned into `text`, whose storage is reused: the
/// way records read their texts by the thousand. 7-bit text, and well-formed
/// UTF-8 when the ANSI code page is UTF-8, is taken as it is; other UTF-8 is
/// converted. False, with `text` untouched, for a member that has no text (a
/// number, array or object): the caller applies its fallback. Lets memory
/// exhaustion pass.
bool ReadString(const Json::Value& member, std::string& text, CAnsiTarget& target);

/// When the member is a JSON string of 7-bit text, which GetString gives as
/// it is, the text in place: [begin, end) inside the value, ended at its
/// first NUL byte. False for any other member (ReadString then gives its
/// text).
bool PlainString(const Json::Value& member, const char*& begin, const char*& end);

/// The member as a signed 32-bit integer: 0 for absent or null, an integer in
/// range as is, a real in range truncated toward zero, true/false as 1/0.
/// Anything else is read as text (GetString) and converted like atoi; digits
/// beyond the 32-bit range saturate at INT_MIN/INT_MAX. Empty text gives
/// `fallback`.
int ReadIntOrText(const Json::Value& member, int fallback);

/// The 64-bit counterpart of ReadIntOrText, for file lengths (a file of 2 GiB
/// or more must read back with its full length): an integer in the signed
/// 64-bit range as is, a real in that range truncated toward zero, and text
/// like atoi saturating at the 64-bit limits; otherwise as ReadIntOrText.
long long ReadInt64OrText(const Json::Value& member, long long fallback);

/// The member becomes a JSON string holding `text` byte for byte.
void SetString(Json::Value& member, const char* text);

/// The member becomes a JSON string holding the value formatted by a text
/// output stream with default formatting (1048576 -> "1048576").
template <class V>
void SetAsText(Json::Value& member, const V& value)
{
    std::ostringstream stream;
    stream << value;
    const std::string text = stream.str();
    member = Json::Value(text.data(), text.data() + text.size());
}

/// A text formats as itself; this skips building a stream for it.
inline void SetAsText(Json::Value& member, const std::string& value)
{
    member = Json::Value(value.data(), value.data() + value.size());
}

// ---------------------------------------------------------------------------
// Records. Each record type has a pair of functions found by argument-
// dependent lookup, declared beside the record:
//   bool ReadJson(const Json::Value& value, Record& record);
//   void WriteJson(Json::Value& value, const Record& record);
// ---------------------------------------------------------------------------

/// ReadJson, with any exception turned into false. The record keeps what the
/// reading had set before the exception.
template <class T>
bool TryReadJson(const Json::Value& value, T& record)
{
    try
    {
        return ReadJson(value, record);
    }
    catch (...)
    {
        return false;
    }
}

// ---------------------------------------------------------------------------
// Text
// ---------------------------------------------------------------------------

/// Parses JSON text (comments allowed, any value as root) into `root`. False
/// for empty or invalid text and for nesting too deep to parse; `root` may
/// then hold a partial value.
bool ParseJson(Json::Value& root, const char* text);

/// Writes `root` as tab-indented text ending in a newline, members in
/// ascending byte order of their names. Bytes of 0x80 and above are written
/// unchanged; control bytes are escaped (\b \f \n \r \t, else \u00XX with
/// upper-case hex). Comments attached to values are not written. False if the
/// writer raised an exception; `text` then holds what was written.
bool FormatJson(const Json::Value& root, std::string& text);

/// Whether the bytes follow the UTF-8 byte patterns (lead byte and
/// continuation bytes only; overlong forms pass). Never reads past `length`.
bool IsUtf8(const char* bytes, int length);

/// Whether [begin, end) is well-formed UTF-8: no overlong form, no encoded
/// surrogate, nothing beyond U+10FFFF, no sequence cut short. Such text
/// converts to UTF-8 byte for byte.
bool IsWellFormedUtf8(const char* begin, const char* end);

/// Converts NUL-terminated UTF-8 text (it ends at its first NUL byte) to the
/// system's ANSI code page; what the code page cannot hold becomes '?'.
std::string Utf8ToAnsi(const std::string& text);

} // namespace jsonIO

#endif // VESKUPDATE_JSONIO_H
