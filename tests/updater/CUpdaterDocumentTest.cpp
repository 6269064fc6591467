// The updater's configuration document: what ToString writes, what FromString
// takes, and that the three settings stay the same in the updater, its query
// and its local state.
#include "updater/UpdaterTestUtil.h"

#include <cstring>

using namespace kvrUpdate;
using namespace updatertest;

namespace
{

std::string QueryCenter(IUpdater& updater)
{
    return Parse(updater.GetVersionQuery()->ToString())["version_center"].asString();
}

} // namespace

TEST(CUpdaterDocumentTest, FreshUpdaterWritesEmptySettingsAndAFreshLocalState)
{
    UpdaterPtr updater = NewUpdater();
    Json::Value root = Parse(updater->ToString());
    ASSERT_TRUE(root.isObject());
    EXPECT_EQ(root.getMemberNames(), (std::vector<std::string>{"local", "porduct_name", "version_center"}));
    EXPECT_EQ(root["porduct_name"], Json::Value(""));
    EXPECT_EQ(root["version_center"], Json::Value(""));

    const testsupport::TOwnedPtr<ILocalQuery> freshLocal = testsupport::Own(CreateLocalQuery());
    EXPECT_EQ(root["local"], Parse(freshLocal->ToString()));

    // Loading its own text gives an equal updater.
    const std::string text = updater->ToString();
    UpdaterPtr copy = NewUpdater();
    EXPECT_TRUE(copy->FromString(text.c_str()));
    EXPECT_EQ(copy->ToString(), text);
}

TEST(CUpdaterDocumentTest, RoundTripKeepsEverything)
{
    UpdaterPtr updater = NewUpdater();
    ASSERT_TRUE(updater->FromString(Document("Editor", "http://127.0.0.1:1/", "1.2").c_str()));
    CPatch p1 = MakePatch("P1", "1.2");
    updater->SetPatchInstalled(&p1);
    updater->SetPatchDownloaded(&p1);
    const std::string text = updater->ToString();

    UpdaterPtr loaded = NewUpdater();
    ASSERT_TRUE(loaded->FromString(text.c_str()));
    EXPECT_EQ(loaded->ToString(), text);
    EXPECT_STREQ(loaded->GetProductName(), "Editor");
    EXPECT_STREQ(loaded->GetLocalQuery()->GetVersion()->ToString(), "1.2.0.0");
    EXPECT_EQ(Numbers(loaded->GetLocalQuery()->GetPatchList(0)), "P1");
    EXPECT_EQ(Numbers(loaded->GetLocalQuery()->GetPatchList(1)), "P1");
}

// Text that is no configuration document changes nothing, byte for byte: the
// host's stored state must survive a damaged file.
TEST(CUpdaterDocumentTest, RejectedTextChangesNothing)
{
    const char* rejected[] = {"",     "{",    "{\"porduct_name\": ",        "[1, 2]", "\"Editor\"", "5",
                              "true", "null", "[{\"porduct_name\": \"X\"}]"};
    for (const char* text : rejected)
    {
        UpdaterPtr updater = NewUpdater();
        ASSERT_TRUE(updater->FromString(Document("Editor", "http://127.0.0.1:1/", "1.2").c_str()));
        CPatch p1 = MakePatch("P1", "1.2");
        updater->SetPatchDownloaded(&p1);
        const std::string before = updater->ToString();

        EXPECT_FALSE(updater->FromString(text)) << text;
        EXPECT_EQ(updater->ToString(), before) << text;
        EXPECT_STREQ(updater->GetProductName(), "Editor") << text;
        EXPECT_STREQ(updater->GetVersionQuery()->GetProduct(), "Editor") << text;
        EXPECT_EQ(QueryCenter(*updater), "http://127.0.0.1:1/") << text;
    }
}

TEST(CUpdaterDocumentTest, EmptyObjectResetsEverything)
{
    UpdaterPtr updater = NewUpdater();
    ASSERT_TRUE(updater->FromString(Document("Editor", "http://127.0.0.1:1/", "1.2").c_str()));
    CPatch p1 = MakePatch("P1", "1.2");
    updater->SetPatchInstalled(&p1);
    updater->SetPatchDownloaded(&p1);

    EXPECT_TRUE(updater->FromString("{}"));
    EXPECT_STREQ(updater->GetProductName(), "");
    EXPECT_STREQ(updater->GetVersionQuery()->GetProduct(), "");
    EXPECT_EQ(QueryCenter(*updater), "");
    ILocalQuery* local = updater->GetLocalQuery();
    EXPECT_STREQ(local->GetProductName(), "");
    EXPECT_STREQ(local->GetVersion()->ToString(), "0.0.0.0");
    EXPECT_EQ(local->GetPatchList(0)->GetCount(), 0);
    EXPECT_EQ(local->GetPatchList(1)->GetCount(), 0);
}

// The two settings of unusual JSON types. The local state is read all the
// same: an odd setting never costs the installed record.
TEST(CUpdaterDocumentTest, UnusualSettingTypes)
{
    struct
    {
        const char* json;   // the member's value
        const char* name;   // as "porduct_name"
        const char* center; // as "version_center"
    } const cases[] = {
        {"\"Editor\"", "Editor", "Editor"},
        {"5", "product", ""},
        {"2.5", "product", ""},
        {"[\"http://a/\"]", "product", ""},
        {"{\"v\": \"http://a/\"}", "product", ""},
        {"true", "true", "true"},
        {"false", "false", "false"},
        {"null", "", ""},
    };
    for (const auto& c : cases)
    {
        const std::string text = std::string("{\"porduct_name\": ") + c.json + ", \"version_center\": " + c.json +
                                 ", \"local\": {\"version\": {\"v\": \"3.1\"}}}";
        UpdaterPtr updater = NewUpdater();
        ASSERT_TRUE(updater->FromString(Document("Old", "http://old/", "1.0").c_str()));
        EXPECT_TRUE(updater->FromString(text.c_str())) << text;
        EXPECT_STREQ(updater->GetProductName(), c.name) << text;
        EXPECT_STREQ(updater->GetVersionQuery()->GetProduct(), c.name) << text;
        EXPECT_STREQ(updater->GetLocalQuery()->GetProductName(), c.name) << text;
        EXPECT_EQ(QueryCenter(*updater), c.center) << text;
        EXPECT_STREQ(updater->GetLocalQuery()->GetVersion()->ToString(), "3.1.0.0") << text;
        // What is loaded is what is stored next time.
        EXPECT_EQ(Parse(updater->ToString())["version_center"].asString(), c.center) << text;
    }
}

TEST(CUpdaterDocumentTest, OnlyTheMisspeltProductKeyIsRead)
{
    UpdaterPtr updater = NewUpdater();
    EXPECT_TRUE(updater->FromString("{\"product_name\": \"Editor\", \"product\": \"Editor\"}"));
    EXPECT_STREQ(updater->GetProductName(), "");
    EXPECT_TRUE(updater->FromString("{\"porduct_name\": \"Editor\", \"extra\": [1, 2]}"));
    EXPECT_STREQ(updater->GetProductName(), "Editor");
    EXPECT_EQ(Parse(updater->ToString()).isMember("extra"), false);
}

TEST(CUpdaterDocumentTest, UpdaterProductNameWinsOverTheLocalOne)
{
    UpdaterPtr updater = NewUpdater();
    EXPECT_TRUE(updater->FromString(
        "{\"porduct_name\": \"Editor\", \"local\": {\"product_ame\": \"Viewer\", \"version\": {\"v\": \"2.0\"}}}"));
    EXPECT_STREQ(updater->GetLocalQuery()->GetProductName(), "Editor");
    EXPECT_STREQ(updater->GetLocalQuery()->GetVersion()->ToString(), "2.0.0.0");
    EXPECT_EQ(Parse(updater->ToString())["local"]["product_ame"].asString(), "Editor");
}

// A "local" member that is no object says nothing about what is installed:
// the recorded state stays.
TEST(CUpdaterDocumentTest, LocalMemberThatIsNoObjectKeepsTheLocalState)
{
    const char* members[] = {"\"1.0\"", "[1]", "7", "true"};
    for (const char* member : members)
    {
        UpdaterPtr updater = NewUpdater();
        ASSERT_TRUE(updater->FromString(Document("Editor", "http://a/", "1.2").c_str()));
        CPatch p1 = MakePatch("P1", "1.2");
        updater->SetPatchDownloaded(&p1);

        const std::string text = std::string("{\"porduct_name\": \"Viewer\", \"local\": ") + member + "}";
        EXPECT_TRUE(updater->FromString(text.c_str())) << member;
        ILocalQuery* local = updater->GetLocalQuery();
        EXPECT_STREQ(local->GetVersion()->ToString(), "1.2.0.0") << member;
        EXPECT_EQ(Numbers(local->GetPatchList(1)), "P1") << member;
        EXPECT_STREQ(local->GetProductName(), "Viewer") << member;
    }
}

TEST(CUpdaterDocumentTest, SettersReachTheQueryAndTheLocalState)
{
    UpdaterPtr updater = NewUpdater();
    updater->SetProductName("Editor");
    updater->SetVersionCenter("http://127.0.0.1:1/");
    EXPECT_STREQ(updater->GetProductName(), "Editor");
    EXPECT_STREQ(updater->GetLocalQuery()->GetProductName(), "Editor");
    EXPECT_STREQ(updater->GetVersionQuery()->GetProduct(), "Editor");
    EXPECT_EQ(QueryCenter(*updater), "http://127.0.0.1:1/");

    Json::Value root = Parse(updater->ToString());
    EXPECT_EQ(root["porduct_name"].asString(), "Editor");
    EXPECT_EQ(root["local"]["product_ame"].asString(), "Editor");
    EXPECT_EQ(root["version_center"].asString(), "http://127.0.0.1:1/");

    // The updater keeps copies, not the caller's buffers.
    char name[] = "Viewer";
    updater->SetProductName(name);
    std::strcpy(name, "XXXXXX");
    EXPECT_STREQ(updater->GetProductName(), "Viewer");
    EXPECT_STREQ(updater->GetLocalQuery()->GetProductName(), "Viewer");
}

// Bytes of another code page are stored as they are and come back as they
// were (they do not form UTF-8, so loading leaves them alone).
TEST(CUpdaterDocumentTest, NonAsciiProductNameSurvivesStorage)
{
    UpdaterPtr updater = NewUpdater();
    updater->SetProductName("\xE9t\xE9 Editor");
    const std::string text = updater->ToString();

    UpdaterPtr loaded = NewUpdater();
    ASSERT_TRUE(loaded->FromString(text.c_str()));
    EXPECT_STREQ(loaded->GetProductName(), "\xE9t\xE9 Editor");
    EXPECT_STREQ(loaded->GetLocalQuery()->GetProductName(), "\xE9t\xE9 Editor");
}

TEST(CUpdaterDocumentTest, EmbeddedObjectsIgnoreRelease)
{
    UpdaterPtr updater = NewUpdater();
    updater->SetProductName("Editor");
    IVersionQuery* query = updater->GetVersionQuery();
    ILocalQuery* local = updater->GetLocalQuery();
    query->Release();
    local->Release();
    query->Release();
    EXPECT_EQ(updater->GetVersionQuery(), query);
    EXPECT_EQ(updater->GetLocalQuery(), local);
    EXPECT_STREQ(query->GetProduct(), "Editor");
    EXPECT_STREQ(local->GetProductName(), "Editor");
    EXPECT_TRUE(local->FromString("{\"version\": {\"v\": \"4\"}}"));
    EXPECT_EQ(Parse(updater->ToString())["local"]["version"]["v"].asString(), "4.0.0.0");
}
