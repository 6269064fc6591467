// A version center's answer read into a record the way the version query
// reads it: the body parsed as JSON text, then the record's JSON adapter's
// FromJson (a failed read leaves a record too, and it must write and read
// back like any other). Then the round trip of FuzzCheck.h, through the same
// adapter's ToJson and FromJson.
#ifndef VESKUPDATE_FUZZ_FUZZANSWER_H
#define VESKUPDATE_FUZZ_FUZZANSWER_H

#include "FuzzCheck.h"

#include "json/JsonObject.h"
#include "json/jsonIO.h"

namespace fuzz
{

template <class T>
std::string WriteRecord(T& record)
{
    Json::Value value;
    jsonIO::CJsonObject<T>(record).ToJson(value);
    std::string text;
    Require(jsonIO::FormatJson(value, text), "a record is written");
    return text;
}

template <class T>
bool ReadRecord(const std::string& text, T& record)
{
    Json::Value value;
    return jsonIO::ParseJson(value, text.c_str()) && jsonIO::CJsonObject<T>(record).FromJson(value);
}

template <class T>
void CheckAnswer(const std::uint8_t* data, std::size_t size)
{
    const std::string body = InputText(data, size);
    Json::Value answer;
    if (!jsonIO::ParseJson(answer, body.c_str()))
        return;
    T record;
    jsonIO::CJsonObject<T>(record).FromJson(answer);
    const std::string written = WriteRecord(record);

    T fresh;
    Require(ReadRecord(written, fresh), "a written record reads back", written);
    RequireSame(written, WriteRecord(fresh), "written, read into a fresh record, written again");

    Require(ReadRecord(written, record), "a written record reads back", written);
    RequireSame(written, WriteRecord(record), "written, read into the same record, written again");
}

} // namespace fuzz

#endif // VESKUPDATE_FUZZ_FUZZANSWER_H
