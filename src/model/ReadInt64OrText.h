// The 64-bit counterpart of jsonIO::ReadIntOrText, for file lengths: a file of
// 2 GiB or more must read back with its full length.
#ifndef VESKUPDATE_READINT64ORTEXT_H
#define VESKUPDATE_READINT64ORTEXT_H

#include <json/json.h>

namespace jsonIO
{

/// The member as a signed 64-bit integer: 0 for absent or null, an integer in
/// the signed 64-bit range as is, a real in that range truncated toward zero,
/// true/false as 1/0. Anything else is read as text (GetString) and converted
/// like atoi, saturating at the 64-bit limits; empty text (and so a number
/// outside the range, an array or an object) gives `fallback`.
long long ReadInt64OrText(Json::Value& member, long long fallback);

} // namespace jsonIO

#endif // VESKUPDATE_READINT64ORTEXT_H
