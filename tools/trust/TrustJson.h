// What the manifest and snapshot readers share: a strict JSON parse and
// member checks that name the member at fault in their one-line errors.
#ifndef VESKTRUST_TRUSTJSON_H
#define VESKTRUST_TRUSTJSON_H

#include <json/json.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace vesktrust
{

/// Sets `error` to `message`; false, for the readers' one-line returns.
inline bool Fail(std::string& error, const std::string& message)
{
    error = message;
    return false;
}

/// The error made of `parts`, one after the other; false.
template <class... TParts>
bool FailWith(std::string& error, const TParts&... parts)
{
    error.clear();
    ((error += parts), ...);
    return false;
}

namespace json
{

/// Parses `text` as one JSON object: no comments, no duplicate keys, nothing
/// after it, nesting bounded. False with `error`.
bool ParseObject(const std::string& text, Json::Value& root, std::string& error);

/// Indented by two spaces, keys sorted, UTF-8 as is, with a final newline.
std::string Render(const Json::Value& value);

/// Checks, each false with `error` naming `where`:
/// `value` is an object holding exactly `required` and any of `optional`.
bool Members(const Json::Value& value, const std::string& where, std::initializer_list<const char*> required,
             std::initializer_list<const char*> optional, std::string& error);
bool String(const Json::Value& value, const std::string& where, std::string& out, std::string& error);
/// A JSON integer (not 1.0) from 0 to 2^63-1.
bool Count(const Json::Value& value, const std::string& where, long long& out, std::string& error);
/// A non-empty, control-free string that is a canonical version, or empty
/// when `emptyAllowed`.
bool Version(const Json::Value& value, const std::string& where, bool emptyAllowed, std::string& out,
             std::string& error);
/// An array of canonical versions, none twice; at least one unless
/// `emptyAllowed`.
bool Versions(const Json::Value& value, const std::string& where, bool emptyAllowed, std::vector<std::string>& out,
              std::string& error);
/// Not empty, no control character.
bool Label(const Json::Value& value, const std::string& where, std::string& out, std::string& error);
/// A product name: a label that can be a folder name ("." and ".." and '/'
/// refused).
bool Product(const Json::Value& value, const std::string& where, std::string& out, std::string& error);

Json::Value Array(const std::vector<std::string>& texts);

} // namespace json
} // namespace vesktrust

#endif // VESKTRUST_TRUSTJSON_H
