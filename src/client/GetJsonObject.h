// Fetching one JSON document from the version center into a record.
#ifndef VESKUPDATE_GETJSONOBJECT_H
#define VESKUPDATE_GETJSONOBJECT_H

#include "json/JsonObject.h"

namespace jsonIO
{

/// GETs `url`, and when the transfer succeeds with a good status
/// (curl_object::IsGoodAnswer: 200 to 299, or no status at all, 0) and the
/// body parses as JSON, lets `target` read the
/// value. True when the target read it successfully. Fails without touching
/// the target on any transfer, status or parse failure. Blocks until the
/// transfer ends; never throws.
bool GetJsonObject(IJsonObject& target, const char* url);

} // namespace jsonIO

#endif // VESKUPDATE_GETJSONOBJECT_H
