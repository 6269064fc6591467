// A file's length in bytes as the catalog, the center's answers and the
// file-check lists carry it.
#ifndef VERSIONCENTER_LENGTH_H
#define VERSIONCENTER_LENGTH_H

#include <cstdint>

namespace Json
{
class Value;
}

namespace versionCenter
{

/// Reads a length: a whole number of at least 0, or its decimal text (at most
/// 19 digits, within 64 bits); null reads as 0. False for anything else,
/// with `length` as it was.
bool ReadLength(const Json::Value& value, std::int64_t& length);

/// Sets the "length" member of `object` to `length` as decimal text. Every
/// length is written so: a JSON number beyond 2^53 loses digits in readers
/// that hold numbers as doubles, decimal text does not, and the library reads
/// both.
void WriteLength(Json::Value& object, std::int64_t length);

} // namespace versionCenter

#endif // VERSIONCENTER_LENGTH_H
