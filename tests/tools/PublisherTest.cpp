// Publishing release folders into a catalog and a download tree: what a
// re-run changes and keeps, and that bad input leaves the disk as it was.
#include "support/CScratchDir.h"
#include "support/Files.h"
#include "support/Json.h"

#include "tools/EditorRequest.h"
#include "tools/TreeState.h"

#include "catalog/CCatalog.h"
#include "publishing/CPublisher.h"
#include "serving/CVersionCenter.h"

#include <gtest/gtest.h>
#include <json/json.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>

namespace fs = std::filesystem;
using testsupport::Parse;
using testsupport::ReadFile;
using testsupport::WriteFile;
using versionCenter::CPublishRequest;
using versionCenter::CPublishSummary;
using versionCenter::PublishResult;

namespace
{

class CPublisherTest : public ::testing::Test
{
protected:
    void SetUp() override { Reset(); }

    // A new scratch folder with the release folders of 1.0 and 1.1.
    void Reset()
    {
        m_scratch.reset(new testsupport::CScratchDir("vesk-publish"));
        m_dir = m_scratch->Path();
        m_request = EditorRequest(m_dir);
        WriteFile(m_request.releases / "1.0" / "bin" / "editor.bin", "editor 1.0\n");
        WriteFile(m_request.releases / "1.0" / "etc" / "editor.conf", "theme = light\n");
        WriteFile(m_request.releases / "1.1" / "bin" / "editor.bin", "editor 1.1, fixed\n");
        WriteFile(m_request.releases / "1.1" / "etc" / "editor.conf", "theme = light\n");
    }

    PublishResult Publish(std::string& error)
    {
        CPublishSummary summary;
        return versionCenter::Publish(m_request, summary, error);
    }

    std::unique_ptr<testsupport::CScratchDir> m_scratch;
    fs::path m_dir;
    CPublishRequest m_request;
};

TEST_F(CPublisherTest, RerunAddsTheNewVersionAndKeepsHandEdits)
{
    std::string error;
    ASSERT_EQ(Publish(error), PublishResult::Done) << error;

    // What the center answers: a version's unchanged file is downloaded from
    // where an earlier version put it; a patch carries only what changed.
    versionCenter::CCatalog catalog;
    ASSERT_TRUE(catalog.LoadFile(m_request.catalog.string(), error)) << error;
    const versionCenter::CVersionCenter center(std::move(catalog), "/", "http://dl.test/files/");
    const Json::Value full = Parse(center.Answer("/Editor/versions/1.1/package", {}).body);
    ASSERT_EQ(full["resource"]["files"].size(), 2u);
    EXPECT_EQ(full["resource"]["files"][0]["url"], "http://dl.test/files/Editor/1.1.0.0/bin/editor.bin");
    EXPECT_EQ(full["resource"]["files"][1]["url"], "http://dl.test/files/Editor/1.0.0.0/etc/editor.conf");
    EXPECT_EQ(full["resource"]["files"][1]["length"], "14");
    const Json::Value chain = Parse(center.Answer("/Editor/patchs/evolution/1.0/1.1", {}).body);
    ASSERT_EQ(chain["patchs"].size(), 1u);
    const std::string number = chain["patchs"][0]["patch_number"].asString();
    const Json::Value patch = Parse(center.Answer("/Editor/patchs/" + number + "/package", {}).body);
    ASSERT_EQ(patch["resource"]["files"].size(), 1u);
    EXPECT_EQ(patch["resource"]["files"][0]["path"], "bin/editor.bin");
    EXPECT_EQ(ReadFile(m_request.output / "Editor/1.1.0.0/bin/editor.bin"), "editor 1.1, fixed\n");
    EXPECT_FALSE(fs::exists(m_request.output / "Editor/1.1.0.0/etc/editor.conf"));
    const Json::Value checkList = Parse(ReadFile(m_request.output / "Editor/filecheck/1.1.0.0.json"));
    EXPECT_EQ(checkList["files"].size(), 2u);
    EXPECT_EQ(checkList["files"][1]["md5"], full["resource"]["files"][1]["md5"]);

    // A person edits the catalog.
    std::string edited = ReadFile(m_request.catalog);
    const auto replace = [&](const std::string& from, const std::string& to) {
        const std::string::size_type at = edited.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        edited.replace(at, from.size(), to);
    };
    replace("\"Editor\" : ", "// Edited by hand.\n\"Editor\" : ");
    replace("\"comment\" : \"From 1.0 to 1.1.\"", "\"comment\" : \"Fixes the crash.\"");
    replace("\"force\" : \"common\"", "\"force\" : \"must\"");
    replace("\"type\" : \"version\"", "\"type\" : \"bug\"");
    replace("\"title\" : \"Editor 1.1\"", "\"title\" : \"Crash fix\"");
    replace("\"versions\" : ", "\"situation\" : {\"must\" : \"1.1\", \"will\" : \"2.0\"}, \"versions\" : ");
    replace("\"type\" : \"md5\"", "\"type\" : \"md5list\"");
    WriteFile(m_request.catalog, edited);
    const auto before = TreeState(m_request.output);

    WriteFile(m_request.releases / "1.2" / "bin" / "editor.bin", "editor 1.1, fixed\n");
    WriteFile(m_request.releases / "1.2" / "share" / "words.dic", "words\n");
    ASSERT_EQ(Publish(error), PublishResult::Done) << error;

    // Only what 1.2 adds is new: its version, its patch, its files.
    const std::string text = ReadFile(m_request.catalog);
    EXPECT_NE(text.find("// Edited by hand."), std::string::npos) << text;
    Json::Value now = Parse(text);
    Json::Value& product = now["products"]["Editor"];
    ASSERT_TRUE(product["versions"].isMember("1.2"));
    ASSERT_EQ(product["patches"].size(), 2u);
    EXPECT_EQ(product["patches"][1]["apply"][0], "1.1");
    EXPECT_EQ(product["patches"][1]["package"]["resource"].size(), 1u); // words.dic only
    product["versions"].removeMember("1.2");
    product["patches"].resize(1);
    EXPECT_EQ(now, Parse(edited));
    auto after = TreeState(m_request.output);
    EXPECT_EQ(after.erase("Editor/1.2.0.0/share/words.dic"), 1u);
    EXPECT_EQ(after.erase("Editor/1.2.0.0/share"), 1u);
    EXPECT_EQ(after.erase("Editor/1.2.0.0"), 1u);
    EXPECT_EQ(after.erase("Editor/filecheck/1.2.0.0.json"), 1u);
    EXPECT_EQ(after, before);
}

TEST_F(CPublisherTest, BadInputWritesNothing)
{
    struct
    {
        const char* name;
        void (*spoil)(const CPublishRequest&);
        const char* message;
        PublishResult result;
    } const cases[] = {
        {"folder not a version", [](const CPublishRequest& r) { fs::create_directory(r.releases / "1.2-beta"); },
         "1.2-beta: is not a version folder", PublishResult::BadInput},
        {"version named twice", [](const CPublishRequest& r) { fs::create_directory(r.releases / "1.1.0"); },
         "names version 1.1.0.0 as", PublishResult::BadInput},
        {"file that cannot be read",
         [](const CPublishRequest& r) { fs::create_symlink("/nonexistent", r.releases / "1.1" / "bin" / "lib.so"); },
         "1.1/bin/lib.so: cannot be read", PublishResult::BadInput},
        {"catalog that does not load",
         [](const CPublishRequest& r) { WriteFile(r.catalog, ReadFile(r.catalog) + "}"); }, "not valid JSON",
         PublishResult::BadInput},
        {"output folder not writable", [](const CPublishRequest& r) { WriteFile(r.output, "a file\n"); },
         "cannot create the download tree", PublishResult::CannotWrite},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        Reset();
        WriteFile(m_request.catalog, "{\"products\": {\"Viewer\": {\"versions\": {\"3\": {}}}}}\n");
        c.spoil(m_request);
        const auto before = TreeState(m_dir);
        std::string error;
        EXPECT_EQ(Publish(error), c.result);
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
        EXPECT_EQ(TreeState(m_dir), before);
    }
}

} // namespace
