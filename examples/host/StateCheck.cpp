#include "StateCheck.h"

#include <cstring>
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
    case Json::nullValue:
        return "null";
    case Json::intValue:
    case Json::uintValue:
    case Json::realValue:
        return "a number";
    case Json::stringValue:
        return "a string";
    case Json::booleanValue:
        return "a boolean";
    case Json::arrayValue:
        return "an array";
    case Json::objectValue:
        return "an object";
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

// A member of the file as compact JSON, for messages.
std::string Show(const Json::Value& value)
{
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    builder["emitUTF8"] = true;
    std::string text = Json::writeString(builder, value);
    const size_t limit = 60;
    if (text.size() > limit)
        text = text.substr(0, limit) + "...";
    return text;
}

std::string Quoted(const std::string& text)
{
    return '"' + text + '"';
}

bool HasHighBytes(const std::string& text)
{
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return true;
    return false;
}

bool IsZero(const IVersion& version)
{
    for (int part = 0; part < 4; ++part)
        if (version.GetPart(part) != 0)
            return false;
    return true;
}

std::string Loss(const std::string& name, const Json::Value& member, const std::string& read)
{
    return name + " holds " + Show(member) + " (" + TypeName(member) + "), which the library read as " + read;
}

// What the library lost of a text member it read as `read`: nothing when it
// took in the text. Absent or null reads as the empty text, a string (or a
// boolean, read as "true"/"false") as itself. A text with bytes of 0x80 and
// above comes back in the local character set, so it only has to be there.
std::string TextLoss(const std::string& name, const Json::Value& member, const std::string& read)
{
    bool taken = false;
    if (member.isNull())
        taken = read.empty();
    else if (member.isString() || member.isBool())
    {
        const std::string text = member.asString();
        taken = text == read || (text.find('\0') == std::string::npos && HasHighBytes(text) && !read.empty());
    }
    return taken ? std::string() : Loss(name, member, Quoted(read));
}

// The same for a version object: absent or null, or with no "v", reads as
// 0.0.0.0; the text of "v" reads as the library's version parsing makes it.
std::string VersionLoss(const std::string& name, const Json::Value& member, const IVersion& read)
{
    const std::string readText = std::string("version ") + read.ToString();
    if (!member.isNull() && !member.isObject())
        return Loss(name, member, readText);
    const Json::Value& text = member["v"];
    if (text.isNull())
        return IsZero(read) ? std::string() : Loss(name + ".v", text, readText);
    if (!text.isString())
        return Loss(name + ".v", text, readText);
    IVersion* expected = read.Clone();
    if (expected == nullptr)
        return Loss(name + ".v", text, readText);
    expected->FromString(text.asCString());
    const bool same = expected->Compare(&read) == 0;
    expected->Release();
    return same ? std::string() : Loss(name + ".v", text, readText);
}

std::string PatchNumbers(const IPatchList& list)
{
    std::string text;
    for (int index = 0; index < list.GetCount(); ++index)
        text += (text.empty() ? "" : ", ") + Quoted(list.GetAt(index)->GetPatchNumber());
    return text.empty() ? "no patches" : "patches " + text;
}

// The same for a patch-list object: absent or null, or with no "patchs",
// reads as no patches; otherwise "patchs" is an array with one patch per
// element, whose patch numbers must be those read.
std::string ListLoss(const std::string& name, const Json::Value& member, const IPatchList& read)
{
    if (!member.isNull() && !member.isObject())
        return Loss(name, member, PatchNumbers(read));
    const std::string arrayName = name + ".patchs";
    const Json::Value& patches = member["patchs"];
    if (!patches.isNull() && !patches.isArray())
        return Loss(arrayName, patches, PatchNumbers(read));
    if (patches.size() != static_cast<Json::ArrayIndex>(read.GetCount()))
        return Loss(arrayName, patches, PatchNumbers(read));
    for (Json::ArrayIndex index = 0; index < patches.size(); ++index)
    {
        const Json::Value& patch = patches[index];
        const std::string patchName = arrayName + "[" + std::to_string(index) + "]";
        const IPatch& readPatch = *read.GetAt(static_cast<int>(index));
        if (!patch.isNull() && !patch.isObject())
            return Loss(patchName, patch, "patch " + Quoted(readPatch.GetPatchNumber()));
        std::string loss = TextLoss(patchName + ".patch_number", patch["patch_number"], readPatch.GetPatchNumber());
        if (!loss.empty())
            return loss;
    }
    return std::string();
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

std::string FindLoss(const Json::Value& root, IUpdater& updater)
{
    std::string loss = TextLoss("porduct_name", root["porduct_name"], updater.GetProductName());
    if (loss.empty())
        loss = TextLoss("version_center", root["version_center"], VersionCenter(updater));
    const Json::Value& local = root["local"];
    if (loss.empty() && !local.isNull() && !local.isObject())
        loss = Loss("local", local, "an empty state");
    if (!loss.empty())
        return loss;
    // Lookups in a null value give null: an absent "local" reads as empty.
    const ILocalQuery& state = *updater.GetLocalQuery();
    loss = VersionLoss("local.version", local["version"], *state.GetVersion());
    if (loss.empty())
        loss = ListLoss("local.installed_patchs", local["installed_patchs"], *state.GetPatchList(PatchListInstalled));
    if (loss.empty())
        loss = ListLoss("local.downloaded_patchs", local["downloaded_patchs"],
                        *state.GetPatchList(PatchListDownloaded));
    return loss;
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
