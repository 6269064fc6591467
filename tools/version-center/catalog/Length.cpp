#include "catalog/Length.h"

#include <json/json.h>

#include <sstream>
#include <string>

namespace versionCenter
{

bool ReadLength(const Json::Value& value, std::int64_t& length)
{
    if (value.isNull())
    {
        length = 0;
        return true;
    }
    if (value.isIntegral() && value.isInt64() && value.asInt64() >= 0)
    {
        length = value.asInt64();
        return true;
    }
    if (!value.isString())
        return false;
    const std::string text = value.asString();
    bool ok = !text.empty() && text.size() <= 19;
    for (char c : text)
        ok = ok && c >= '0' && c <= '9';
    std::int64_t number = 0;
    if (ok)
    {
        std::istringstream stream(text);
        ok = static_cast<bool>(stream >> number);
    }
    if (ok)
        length = number;
    return ok;
}

void WriteLength(Json::Value& object, std::int64_t length)
{
    object["length"] = std::to_string(length);
}

} // namespace versionCenter
