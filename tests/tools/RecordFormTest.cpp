// A record's form: which comments and named members it takes from its part
// of the catalog file, and where it puts the comments back.
#include "support/Json.h"

#include "catalog/CRecordForm.h"

#include <gtest/gtest.h>
#include <json/json.h>

#include <string>

namespace
{

using versionCenter::CRecordForm;

// The comments of `value` and everything inside it, in document order.
std::string Comments(const Json::Value& value)
{
    std::string text;
    for (const auto placement : {Json::commentBefore, Json::commentAfterOnSameLine, Json::commentAfter})
    {
        if (value.hasComment(placement))
            text += value.getComment(placement) + ";";
    }
    if (value.isObject())
    {
        for (const std::string& member : value.getMemberNames())
            text += Comments(value[member]);
    }
    else if (value.isArray())
    {
        for (const Json::Value& element : value)
            text += Comments(element);
    }
    return text;
}

TEST(CRecordFormTest, TakesItsOwnPartAndPutsItBack)
{
    const Json::Value record = testsupport::Parse(R"({
        "title": "", // a
        "apply": [
            // b
            "1.0"],
        "package": {"base_url": "" /* in a record of its own */},
        "resource": [{"url": "x" /* also */}],
        "situation": {} // c
    })");
    CRecordForm form;
    form.Read(record, {"package", "resource/*"});
    EXPECT_TRUE(form.Named("title"));
    EXPECT_TRUE(form.Named("situation"));
    EXPECT_FALSE(form.Named("apply"));
    EXPECT_FALSE(form.Named("base_url"));

    // A copy changes apart from the form it was made from.
    CRecordForm copy = form;
    copy.Name("situation.last");
    EXPECT_TRUE(copy.Named("situation.last"));
    EXPECT_FALSE(form.Named("situation.last"));

    struct
    {
        const char* name;
        const char* written;
        const char* comments; // members in the order of their names
    } const cases[] = {
        {"every place there", R"({"title": "", "apply": ["1.0"], "situation": {}, "package": {}})", "// b;// c;// a;"},
        {"places gone", R"({"apply": [], "situation": 1})", "// c;"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        Json::Value written = testsupport::Parse(c.written);
        form.PutComments(written);
        EXPECT_EQ(Comments(written), c.comments);
    }
}

} // namespace
