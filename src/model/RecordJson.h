// Helpers shared by the binders of the data-model records: how a record
// member and a JSON array of records are read when the JSON value has a type
// a record cannot come from.
//
// A record is read from an object (or null, which reads like an empty object).
// A value of any other type (a bare string where a version object belongs, a
// number inside a list) is a failed read of that record: the record is read as
// if the value were absent, so every field still takes its absent-member
// value, the read reports false, and nothing throws. Without this the member
// access on such a value throws, which would stop the reading of every later
// element of a list.
#ifndef VESKUPDATE_RECORDJSON_H
#define VESKUPDATE_RECORDJSON_H

#include "json/jsonIO.h"

#include <vector>

namespace jsonIO
{

/// Whether a record can be read from the value: an object, or null.
inline bool IsRecordValue(const Json::Value& value)
{
    return value.isObject() || value.isNull();
}

/// Reads a nested record member through TryReadJson. A member of the wrong
/// type reads as an absent one and gives false.
template <class T>
bool ReadRecordMember(Json::Value& member, T& record)
{
    if (IsRecordValue(member))
        return TryReadJson(member, record);
    Json::Value absent;
    TryReadJson(absent, record);
    return false;
}

/// The sequence reader for an array of records: empties the vector; false
/// (vector empty) when the value is neither null nor an array; otherwise one
/// record per element in order, and true. An element of the wrong type gives
/// the record read from an absent value and the later elements are still
/// read. Other exceptions end the reading; earlier elements stay.
template <class E>
bool ReadRecordArray(Json::Value& value, std::vector<E>& items)
{
    items.clear();
    if (!value.isNull() && !value.isArray())
        return false;
    const Json::ArrayIndex count = value.size();
    items.reserve(count);
    for (Json::ArrayIndex index = 0; index < count; ++index)
    {
        Json::Value& element = value[index];
        Json::Value absent;
        // Read in place: records copy through their interfaces (versions
        // through their text), which would cost more than the reading.
        items.emplace_back();
        try
        {
            ReadJson(IsRecordValue(element) ? element : absent, items.back());
        }
        catch (...)
        {
            items.pop_back();
            throw;
        }
    }
    return true;
}

} // namespace jsonIO

#endif // VESKUPDATE_RECORDJSON_H
