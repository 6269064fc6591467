// Helpers for the record tests: JSON text in, records out, and back.
#ifndef VESKUPDATE_TESTS_MODELTESTUTIL_H
#define VESKUPDATE_TESTS_MODELTESTUTIL_H

#include "json/jsonIO.h"

#include "support/Json.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

/// One reading of a list record's member: the text, whether it reads, and
/// how many elements the list then holds.
struct CListCase
{
    const char* json;
    bool ok;
    int count;
};

/// Reads each case's text into a list that held `held` first: the result
/// and the count are the case's, and there is no element outside the count
/// (what the list held before never survives a read).
template <class List>
void ExpectListReads(const char* held, const std::vector<CListCase>& cases)
{
    for (const CListCase& c : cases)
    {
        List list;
        ASSERT_TRUE(ReadText(held, list));
        EXPECT_EQ(ReadText(c.json, list), c.ok) << c.json;
        EXPECT_EQ(list.GetCount(), c.count) << c.json;
        EXPECT_EQ(list.GetAt(-1), nullptr) << c.json;
        EXPECT_EQ(list.GetAt(c.count), nullptr) << c.json;
    }
}

} // namespace modeltest

#endif // VESKUPDATE_TESTS_MODELTESTUTIL_H
