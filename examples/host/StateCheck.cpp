#include "StateCheck.h"

#include <exception>
#include <vector>

using namespace kvrUpdate;

namespace statecheck
{
namespace
{

const char* TypeName(const Json::Value& value)
{
    switch (value.type())
    {
    case Json::nullValue: return "null";
    case Json::intValue:
    case Json::uintValue:
    case Json::realValue: return "a number";
    case Json::stringValue: return "a string";
    case Json::booleanValue: return "a boolean";
    case Json::arrayValue: return "an array";
    case Json::objectValue: return "an object";
    }
    return "a value";
}

// Where a parse error is, as "line L, column C" (both from 1).
std::string Position(const std::string& text, size_t offset)
{
    size_t line = 1;
    size_t lineStart = 0;
    for (size_t at = 0; at < offset && at < text.size(); ++at)
        if (text[at] == '\n')
        {
            ++line;
            lineStart = at + 1;
        }
    return "line " + std::to_string(line) + ", column " + std::to_string(offset - lineStart + 1);
}

std::string SyntaxError(const std::string& text, const Json::Reader& reader)
{
    const std::vector<Json::Reader::StructuredError> errors = reader.getStructuredErrors();
    if (errors.empty())
        return "is not valid JSON";
    const Json::Reader::StructuredError& first = errors.front();
    std::string message = "is not valid JSON: " + Position(text, static_cast<size_t>(first.offset_start)) + ": " +
                          first.message;
    const size_t end = text.find_last_not_of(" \t\r\n") + 1;
    if (static_cast<size_t>(first.offset_limit) >= end)
        message += " (the text ends there: is the file cut short?)";
    return message;
}

} // namespace

std::string Parse(const std::string& text, Json::Value& root)
{
    if (text.find_first_not_of(" \t\r\n") == std::string::npos)
        return "is empty";
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        return "begins with a UTF-8 byte-order mark, which the library does not read (remove the first 3 bytes)";
    // The library takes NUL-terminated text; a NUL inside the file would cut
    // the document short.
    const size_t nul = text.find('\0');
    if (nul != std::string::npos)
        return "holds a NUL byte at offset " + std::to_string(nul);
    Json::Reader reader;
    try
    {
        if (!reader.parse(text, root))
            return SyntaxError(text, reader);
    }
    catch (const std::exception& error)
    {
        return std::string("is not readable JSON: ") + error.what();
    }
    if (!root.isObject())
        return std::string("holds ") + TypeName(root) + ", not a JSON object";
    return std::string();
}

std::string VersionCenter(IUpdater& updater)
{
    Json::Value query;
    Json::Reader reader;
    if (!reader.parse(updater.GetVersionQuery()->ToString(), query) || !query.isObject())
        return std::string();
    const Json::Value& address = query["version_center"];
    return address.isString() ? address.asString() : std::string();
}

} // namespace statecheck
