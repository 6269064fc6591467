#include "TrustJson.h"

#include "Manifest.h"

#include <algorithm>
#include <memory>
#include <set>

namespace vesktrust
{
namespace json
{
namespace
{

bool HasControl(const std::string& text)
{
    return std::any_of(text.begin(), text.end(), [](unsigned char c) { return c < 0x20 || c == 0x7f; });
}

} // namespace

bool ParseObject(const std::string& text, Json::Value& root, std::string& error)
{
    Json::CharReaderBuilder builder;
    Json::CharReaderBuilder::strictMode(&builder.settings_);
    builder["stackLimit"] = 64;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string problem;
    try
    {
        if (!reader->parse(text.data(), text.data() + text.size(), &root, &problem))
        {
            const std::string::size_type end = problem.find('\n', problem.find('\n') + 1);
            std::string line = problem.substr(0, end);
            std::replace(line.begin(), line.end(), '\n', ' ');
            return Fail(error, "not valid JSON: " + line);
        }
    }
    catch (const std::exception& failure)
    {
        return Fail(error, std::string("not valid JSON: ") + failure.what());
    }
    if (!root.isObject())
        return Fail(error, "not a JSON object");
    return true;
}

std::string Render(const Json::Value& value)
{
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "  ";
    builder["emitUTF8"] = true;
    return Json::writeString(builder, value) + "\n";
}

bool Members(const Json::Value& value, const std::string& where, std::initializer_list<const char*> required,
             std::initializer_list<const char*> optional, std::string& error)
{
    if (!value.isObject())
        return Fail(error, where + " is not an object");
    for (const char* name : required)
    {
        if (!value.isMember(name))
            return Fail(error, where + " lacks \"" + name + "\"");
    }
    for (const std::string& name : value.getMemberNames())
    {
        const auto known = [&](const char* candidate) { return name == candidate; };
        if (std::none_of(required.begin(), required.end(), known) &&
            std::none_of(optional.begin(), optional.end(), known))
            return Fail(error, where + " has an unknown member \"" + name.substr(0, 40) + "\"");
    }
    return true;
}

bool String(const Json::Value& value, const std::string& where, std::string& out, std::string& error)
{
    if (!value.isString())
        return Fail(error, where + " is not a string");
    out = value.asString();
    return true;
}

bool Count(const Json::Value& value, const std::string& where, long long& out, std::string& error)
{
    const bool integer = value.type() == Json::intValue || value.type() == Json::uintValue;
    if (!integer || !value.isInt64() || value.asInt64() < 0)
        return Fail(error, where + " is not a whole number from 0 up");
    out = value.asInt64();
    return true;
}

bool Version(const Json::Value& value, const std::string& where, bool emptyAllowed, std::string& out,
             std::string& error)
{
    std::string text;
    if (!String(value, where, text, error))
        return false;
    if (!(text.empty() && emptyAllowed) && !IsCanonicalVersion(text))
        return Fail(error, where + " is not a version of the form 1.2.0.0");
    out = text;
    return true;
}

bool Versions(const Json::Value& value, const std::string& where, bool emptyAllowed, std::vector<std::string>& out,
              std::string& error)
{
    if (!value.isArray())
        return Fail(error, where + " is not an array");
    if (value.empty() && !emptyAllowed)
        return Fail(error, where + " is empty");
    std::vector<std::string> versions;
    std::set<std::string> seen;
    for (Json::ArrayIndex i = 0; i < value.size(); ++i)
    {
        std::string version;
        if (!Version(value[i], where + "[" + std::to_string(i) + "]", false, version, error))
            return false;
        if (!seen.insert(version).second)
            return FailWith(error, where, " lists ", version, " twice");
        versions.push_back(version);
    }
    out = std::move(versions);
    return true;
}

bool Label(const Json::Value& value, const std::string& where, std::string& out, std::string& error)
{
    std::string text;
    if (!String(value, where, text, error))
        return false;
    if (text.empty() || HasControl(text))
        return Fail(error, where + " is empty or holds a control character");
    out = text;
    return true;
}

bool Product(const Json::Value& value, const std::string& where, std::string& out, std::string& error)
{
    std::string text;
    if (!Label(value, where, text, error))
        return false;
    if (text == "." || text == ".." || text.find('/') != std::string::npos)
        return Fail(error, where + " is '.', '..' or holds '/'");
    out = text;
    return true;
}

Json::Value Array(const std::vector<std::string>& texts)
{
    Json::Value array(Json::arrayValue);
    for (const std::string& text : texts)
        array.append(text);
    return array;
}

} // namespace json
} // namespace vesktrust
