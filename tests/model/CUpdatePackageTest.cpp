#include "model/CUpdatePackage.h"
#include "model/CFileCheckerDef.h"
#include "model/CFileDef.h"
#include "model/CFileDefList.h"

#include "ModelTestUtil.h"

#include "support/Owners.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using kvrUpdate::CFileCheckerDef;
using kvrUpdate::CFileDef;
using kvrUpdate::CFileDefList;
using kvrUpdate::CUpdatePackage;
using kvrUpdate::IFileCheckerDef;
using kvrUpdate::IFileDef;
using kvrUpdate::IFileDefList;
using kvrUpdate::IUpdatePackage;
using modeltest::ReadText;
using modeltest::Written;
using testsupport::Own;
using testsupport::TOwnedPtr;

namespace
{

const char* const FullPackage = R"({
    "direct_file": {"url": "http://c/p/setup.exe", "md5": "0123abcd", "path": "", "length": "3221225472"},
    "direct_type": "exe", "base_url": "http://c/p/",
    "resource": {"files": [{"url": "x://a/one.dll", "length": 10}, {"url": "two.dat", "path": "data/two.dat"}]}})";

void ExpectFullPackage(const IUpdatePackage& package)
{
    const IFileDef* direct = package.GetDirectFile();
    EXPECT_STREQ(direct->GetUrl(), "http://c/p/setup.exe");
    EXPECT_STREQ(direct->GetMd5(), "0123abcd");
    EXPECT_STREQ(direct->GetName(), "setup.exe");
    EXPECT_EQ(direct->GetLength(), 3221225472LL);
    EXPECT_STREQ(package.GetDirectType(), "exe");
    EXPECT_STREQ(package.GetBaseUrl(), "http://c/p/");
    ASSERT_EQ(package.GetResource()->GetCount(), 2);
    EXPECT_STREQ(package.GetResource()->GetAt(0)->GetName(), "one.dll");
    EXPECT_EQ(package.GetResource()->GetAt(0)->GetLength(), 10);
    EXPECT_STREQ(package.GetResource()->GetAt(1)->GetName(), "data/two.dat");
}

void ExpectEmptyPackage(const IUpdatePackage& package)
{
    EXPECT_STREQ(package.GetDirectFile()->GetUrl(), "");
    EXPECT_STREQ(package.GetDirectFile()->GetMd5(), "");
    EXPECT_EQ(package.GetDirectFile()->GetLength(), 0);
    EXPECT_STREQ(package.GetDirectType(), "");
    EXPECT_STREQ(package.GetBaseUrl(), "");
    EXPECT_EQ(package.GetResource()->GetCount(), 0);
}

} // namespace

TEST(CFileDefTest, NameFallsBackToTheUrl)
{
    struct Case
    {
        const char* path;
        const char* url;
        const char* name;
    };
    const Case cases[] = {
        {"bin/app.dll", "x://a/dir/setup.exe", "bin/app.dll"},
        {"", "x://a/dir/setup.exe", "setup.exe"},
        {"", "x://a/dir/", ""},
        {"", "x://a/dir\\\\setup.exe", "setup.exe"},
        {"", "pkg/setup.exe", "pkg/setup.exe"},
    };
    for (const Case& c : cases)
    {
        CFileDef file;
        ASSERT_TRUE(ReadText(std::string(R"({"path":")") + c.path + R"(","url":")" + c.url + R"("})", file));
        EXPECT_STREQ(file.GetName(), c.name) << c.url;
    }
}

// A text ends at its first NUL byte in every step: the text a record keeps,
// the file name taken from the url, and what is written back, so a save and
// a load change nothing more after the first read. Before, bytes after the
// NUL decided whether the text counted as UTF-8 (and the name was taken
// past it), and the text changed again on the next load.
TEST(CFileDefTest, TextsEndAtTheirFirstNul)
{
    const std::string document = "{\"url\":\"x://a/\xE9.exe\\u0000/tail\",\"md5\":\"\xC0\xAF\\u0000\xFF\"}";
    CFileDef file;
    ASSERT_TRUE(ReadText(document, file));
    EXPECT_STREQ(file.GetUrl(), "x://a/\xE9.exe");
    EXPECT_STREQ(file.GetName(), "\xE9.exe");

    std::string saved;
    ASSERT_TRUE(jsonIO::FormatJson(Written(file), saved));
    CFileDef loaded;
    ASSERT_TRUE(ReadText(saved, loaded));
    std::string again;
    ASSERT_TRUE(jsonIO::FormatJson(Written(loaded), again));
    EXPECT_EQ(again, saved);
    EXPECT_STREQ(loaded.GetMd5(), file.GetMd5());
}

TEST(CFileDefTest, LengthReadsAtSixtyFourBits)
{
    struct Case
    {
        const char* length; // JSON text of the member, or null for absent
        long long value;
    };
    const Case cases[] = {
        {"1048576", 1048576},
        {R"("1048576")", 1048576},
        {"-5", -5},
        {R"("12abc")", 12},
        {R"("abc")", 0},
        {R"("")", 0},
        {nullptr, 0},
        {"true", 1},
        {"3.9", 3},
        {"3e9", 3000000000LL},
        {"3221225472", 3221225472LL},
        {"9223372036854775807", 9223372036854775807LL},
        {"9223372036854775808", 0},
        {R"("99999999999999999999")", 9223372036854775807LL},
        {R"("-9223372036854775808")", -9223372036854775807LL - 1},
        {"[1]", 0},
    };
    for (const Case& c : cases)
    {
        const std::string json = c.length != nullptr ? std::string(R"({"url":"u","length":)") + c.length + "}"
                                                     : R"({"url":"u"})";
        CFileDef file;
        ASSERT_TRUE(ReadText(R"({"length":77})", file));
        ASSERT_TRUE(ReadText(json, file)) << json;
        EXPECT_EQ(file.GetLength(), c.value) << json;

        // Written back as decimal text, which reads back the same.
        const Json::Value written = Written(file);
        ASSERT_TRUE(written["length"].isString());
        EXPECT_EQ(written["length"].asString(), std::to_string(c.value));
        CFileDef back;
        ASSERT_TRUE(modeltest::RoundTrip(file, back));
        EXPECT_EQ(back.GetLength(), c.value) << json;
    }
}

TEST(CFileDefListTest, ReadsTheFilesMember)
{
    const std::vector<modeltest::CListCase> cases = {
        {R"({})", true, 0},
        {R"({"files":null})", true, 0},
        {R"({"files":[{"url":"a"},{"url":"b"},{}]})", true, 3},
        {R"({"files":{"url":"a"}})", false, 0},
        {R"({"files":"a"})", false, 0},
        // Elements of the wrong type read as empty file definitions.
        {R"({"files":["a",{"url":"b"},7]})", true, 3},
        {R"("files")", false, 0},
    };
    modeltest::ExpectListReads<CFileDefList>(R"({"files":[{"url":"old"}]})", cases);
}

TEST(CUpdatePackageTest, ReadsWritesAndReplacesEveryMember)
{
    CUpdatePackage package;
    ExpectEmptyPackage(package);
    ASSERT_TRUE(ReadText(FullPackage, package));
    ExpectFullPackage(package);

    CUpdatePackage back;
    ASSERT_TRUE(modeltest::RoundTrip(package, back));
    ExpectFullPackage(back);
    EXPECT_EQ(Written(package)["direct_file"]["length"].asString(), "3221225472");

    ASSERT_TRUE(ReadText("{}", package));
    ExpectEmptyPackage(package);
    EXPECT_TRUE(Written(package)["resource"]["files"].isNull());

    // Members of the wrong type are failed reads of those members only; they
    // do not keep the previous answer's files.
    ASSERT_TRUE(ReadText(FullPackage, package));
    ASSERT_TRUE(ReadText(R"({"direct_file":"setup.exe","resource":{"files":"x"},"base_url":"b"})", package));
    EXPECT_STREQ(package.GetDirectFile()->GetUrl(), "");
    EXPECT_EQ(package.GetResource()->GetCount(), 0);
    EXPECT_STREQ(package.GetBaseUrl(), "b");
    ASSERT_TRUE(ReadText(FullPackage, package));
    ASSERT_TRUE(ReadText(R"({"resource":[{"url":"a"}]})", package));
    EXPECT_EQ(package.GetResource()->GetCount(), 0);
    EXPECT_FALSE(ReadText(R"([{"direct_type":"exe"}])", package));
    ExpectEmptyPackage(package);
}

TEST(CUpdatePackageTest, ClonesAreIndependent)
{
    TOwnedPtr<CUpdatePackage> source(new CUpdatePackage);
    ASSERT_TRUE(ReadText(FullPackage, *source));
    TOwnedPtr<IUpdatePackage> clone = Own(source->Clone());
    ASSERT_NE(clone, nullptr);
    source.reset();
    ExpectFullPackage(*clone);

    const TOwnedPtr<IFileDef> file = Own(clone->GetDirectFile()->Clone());
    const TOwnedPtr<IFileDefList> files = Own(clone->GetResource()->Clone());
    clone.reset();
    ASSERT_NE(file, nullptr);
    ASSERT_NE(files, nullptr);
    EXPECT_STREQ(file->GetName(), "setup.exe");
    EXPECT_STREQ(files->GetAt(1)->GetName(), "data/two.dat");
}

TEST(CFileCheckerDefTest, ReadsWritesAndClones)
{
    CFileCheckerDef def;
    ASSERT_TRUE(ReadText(R"({"url":"http://c/check.xml","type":"md5list"})", def));
    CFileCheckerDef back;
    ASSERT_TRUE(modeltest::RoundTrip(def, back));
    EXPECT_STREQ(back.GetUrl(), "http://c/check.xml");
    EXPECT_STREQ(back.GetType(), "md5list");

    const TOwnedPtr<IFileCheckerDef> clone = Own(back.Clone());
    ASSERT_NE(clone, nullptr);
    ASSERT_TRUE(ReadText(R"({"type":5})", back));
    EXPECT_STREQ(back.GetUrl(), "");
    EXPECT_STREQ(back.GetType(), "");
    EXPECT_STREQ(clone->GetType(), "md5list");
}
