// Helpers for the record tests: JSON text in, records out, and back.
#ifndef VESKUPDATE_TESTS_MODELTESTUTIL_H
#define VESKUPDATE_TESTS_MODELTESTUTIL_H

#include "json/jsonIO.h"

#include "support/Json.h"

#include <gtest/gtest.h>

#include <string>

namespace modeltest
{

using testsupport::Parse;

/// Reads the record from JSON text through the guarded reader.
template <class T>
bool ReadText(const std::string& text, T& record)
{
    Json::Value value = Parse(text);
    return jsonIO::TryReadJson(value, record);
}

template <class T>
Json::Value Written(const T& record)
{
    Json::Value value;
    jsonIO::WriteJson(value, record);
    return value;
}

/// Writes the record, formats it as text, parses the text and reads it into
/// `target`, the way a stored document comes back.
template <class T>
bool RoundTrip(const T& record, T& target)
{
    std::string text;
    EXPECT_TRUE(jsonIO::FormatJson(Written(record), text));
    return ReadText(text, target);
}

} // namespace modeltest

#endif // VESKUPDATE_TESTS_MODELTESTUTIL_H
