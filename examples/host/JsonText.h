// The two bits of JSON text handling the host needs, so that it depends on
// nothing but the library's public header.
#ifndef VESK_HOST_JSONTEXT_H
#define VESK_HOST_JSONTEXT_H

#include <string>

namespace jsontext
{

/// `text` as a JSON string literal, quotes included.
std::string Quote(const std::string& text);

/// The string value of member `key` of the object at the top of `json`, with
/// its escapes resolved. False when the text is not an object, the member is
/// missing, or its value is not a string. Members whose values are nested
/// objects or arrays are skipped over.
bool FindString(const std::string& json, const std::string& key, std::string& value);

} // namespace jsontext

#endif // VESK_HOST_JSONTEXT_H
