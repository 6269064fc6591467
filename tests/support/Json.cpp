#include "support/Json.h"

#include <gtest/gtest.h>

namespace testsupport
{

Json::Value Parse(const std::string& text)
{
    Json::Value value;
    Json::Reader reader;
    if (!reader.parse(text, value))
    {
        ADD_FAILURE() << "not JSON: " << reader.getFormattedErrorMessages() << text;
        return Json::Value();
    }
    return value;
}

} // namespace testsupport
