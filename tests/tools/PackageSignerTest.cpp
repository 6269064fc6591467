// Signed publishing: keygen's files, a signed manifest for every package the
// catalog serves and the product's snapshot, verified by the library and by
// minisign, and refusals that write nothing.
#include "support/CScratchDir.h"
#include "support/CTestHttpServer.h"
#include "support/ChildProcess.h"
#include "support/Files.h"

#include "tools/EditorRequest.h"
#include "tools/TreeState.h"

#include "publishing/CPublisher.h"
#include "serving/CDownloadTree.h"

#include <Manifest.h>
#include <Minisign.h>
#include <Sha256.h>
#include <Snapshot.h>

#include <gtest/gtest.h>
#include <httplib.h>

#include <ctime>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::RunProgram;
using testsupport::WriteFile;
using versionCenter::CPublishRequest;
using versionCenter::CPublishSummary;
using versionCenter::PublishResult;

namespace
{

class CPackageSignerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_dir = m_scratch.Path();
        m_request = EditorRequest(m_dir);
        m_request.signingKey = m_dir / "sign.key";
        std::string error;
        ASSERT_TRUE(
            vesktrust::GenerateKeyPair((m_dir / "sign.key").string(), (m_dir / "sign.pub").string(), m_key, error))
            << error;
        WriteFile(m_request.releases / "1.0/bin/editor.bin", "editor 1.0\n");
        WriteFile(m_request.releases / "1.0/etc/old.conf", "old\n");
        WriteFile(m_request.releases / "1.1/bin/editor.bin", "editor 1.1\n");
        WriteFile(m_request.releases / "1.1/lang/fr.lang", "bonjour\n");
        // A patch of the publisher's own, pointing into the tree.
        WriteFile(m_request.catalog, R"({"products": {"Editor": {"versions": {"1.0": {}, "1.1": {}}, "patches": [
            {"number": "P 7/x", "apply": ["1.0"], "result": "1.0", "package": {"base_url": "", "resource": [
              {"url": "Editor/1.1.0.0/lang/fr.lang", "path": "lang/fr.lang", "md5": "x", "length": 8}]}}]}}})");
    }

    PublishResult Publish(std::string& error)
    {
        CPublishSummary summary;
        return versionCenter::Publish(m_request, summary, error);
    }

    // The signed file's text, after checking its signature.
    std::string Verified(const std::string& treePath)
    {
        const fs::path path = m_request.output / treePath;
        const std::string text = ReadFile(path);
        vesktrust::CVerified verified;
        std::string error;
        EXPECT_TRUE(vesktrust::VerifySignature({m_key}, text, ReadFile(path.string() + ".minisig"), verified, error))
            << treePath << ": " << error;
        return text;
    }

    testsupport::CScratchDir m_scratch{"vesk-sign"};
    fs::path m_dir;
    CPublishRequest m_request;
    vesktrust::CPublicKey m_key;
};

TEST_F(CPackageSignerTest, SignsEveryPackageAndTheSnapshot)
{
    std::string error;
    ASSERT_EQ(Publish(error), PublishResult::Done) << error;

    struct CRow
    {
        const char* kind;
        const char* id;
        std::vector<std::string> names;
        std::vector<std::string> removed;
    };
    const std::vector<CRow> rows = {
        {"version", "1.0.0.0", {"bin/editor.bin", "etc/old.conf"}, {}},
        {"version", "1.1.0.0", {"bin/editor.bin", "lang/fr.lang"}, {}},
        {"patch", "P-1.0-1.1", {"bin/editor.bin", "lang/fr.lang"}, {"etc/old.conf"}},
        {"patch", "P 7/x", {"lang/fr.lang"}, {}},
    };
    for (const CRow& row : rows)
    {
        const std::string treePath = vesktrust::ManifestPath("Editor", row.kind, row.id);
        vesktrust::CManifest manifest;
        ASSERT_TRUE(vesktrust::ReadManifest(Verified(treePath), manifest, error)) << treePath << ": " << error;
        EXPECT_EQ(manifest.kind, row.kind);
        EXPECT_EQ(manifest.kind == "patch" ? manifest.patch : manifest.version, row.id);
        EXPECT_EQ(manifest.removed, row.removed) << treePath;
        ASSERT_EQ(manifest.files.size(), row.names.size()) << treePath;
        for (std::size_t i = 0; i < row.names.size(); ++i)
        {
            const vesktrust::CManifestFile& file = manifest.files[i];
            EXPECT_EQ(file.name, row.names[i]);
            std::string hex;
            long long length = 0;
            ASSERT_TRUE(vesktrust::Sha256OfFile(m_request.output / file.url, hex, length)) << file.url;
            EXPECT_EQ(file.sha256, hex) << file.url;
            EXPECT_EQ(file.length, length) << file.url;
        }
    }

    vesktrust::CSnapshot snapshot;
    ASSERT_TRUE(vesktrust::ReadSnapshot(Verified(vesktrust::SnapshotPath("Editor")), snapshot, error)) << error;
    EXPECT_EQ(snapshot.sequence, 1u);
    EXPECT_NEAR(static_cast<double>(snapshot.expires), static_cast<double>(std::time(nullptr) + 7 * 86400), 60);
    EXPECT_EQ(snapshot.versions, (std::vector<std::string>{"1.0.0.0", "1.1.0.0"}));
    EXPECT_EQ(snapshot.last, "1.1.0.0");
    EXPECT_EQ(snapshot.must, "0.0.0.0");
    ASSERT_EQ(snapshot.patches.size(), 2u);
    EXPECT_EQ(snapshot.patches[0].number, "P 7/x");

    // Published again: the sequence grows, the manifests that stand stay.
    const std::string kept = TreeState(m_request.output)["Editor/signed/version-1.0.0.0.json.minisig"];
    m_request.expiresDays = 2;
    ASSERT_EQ(Publish(error), PublishResult::Done) << error;
    ASSERT_TRUE(vesktrust::ReadSnapshot(Verified(vesktrust::SnapshotPath("Editor")), snapshot, error)) << error;
    EXPECT_EQ(snapshot.sequence, 2u);
    EXPECT_NEAR(static_cast<double>(snapshot.expires), static_cast<double>(std::time(nullptr) + 2 * 86400), 60);
    EXPECT_EQ(TreeState(m_request.output)["Editor/signed/version-1.0.0.0.json.minisig"], kept);

    // The download tree serves them like any file.
    testsupport::CTestHttpServer server;
    const versionCenter::CDownloadTree tree(m_request.output);
    tree.Mount(server.Server(), "/files/");
    server.Start();
    httplib::Client client("127.0.0.1", server.Port());
    for (const std::string name : {"Editor/signed/snapshot.json", "Editor/signed/patch-P_207_2Fx.json.minisig"})
    {
        const auto got = client.Get(("/files/" + name).c_str());
        ASSERT_TRUE(got) << name;
        EXPECT_EQ(got->status, 200) << name;
        EXPECT_EQ(got->body, ReadFile(m_request.output / name)) << name;
    }

    // minisign verifies every signed file.
    const std::string minisign = MINISIGN_EXE;
    if (minisign.empty())
        return;
    for (const auto& entry : fs::directory_iterator(m_request.output / "Editor/signed"))
    {
        if (entry.path().extension() != ".json")
            continue;
        const auto run = RunProgram(minisign,
                                    {"-V", "-q", "-p", (m_dir / "sign.pub").string(), "-m", entry.path().string()});
        EXPECT_EQ(run.status, 0) << entry.path() << ": " << run.output;
    }
}

TEST_F(CPackageSignerTest, CompleteAddressesUnderTheBaseUrlAreTheTrees)
{
    // Addresses under --base-url, percent-encoded, name the tree's files.
    m_request.baseUrl = "https://dl.example/files";
    WriteFile(m_request.releases / "1.1/doc/read me.txt", "hello\n");
    // A hand-written direct file is signed with the resource files.
    WriteFile(m_request.catalog, R"({"products": {"Editor": {"versions": {"1.0": {}, "1.1": {}}, "patches": [
        {"number": "P-9", "apply": ["1.1"], "result": "1.1", "package": {"direct_file":
          {"url": "https://dl.example/files/Editor/1.1.0.0/doc/read%20me.txt", "path": "doc/read me.txt",
           "length": 6}}}]}}})");
    std::string error;
    ASSERT_EQ(Publish(error), PublishResult::Done) << error;
    vesktrust::CManifest manifest;
    ASSERT_TRUE(vesktrust::ReadManifest(Verified("Editor/signed/version-1.1.0.0.json"), manifest, error)) << error;
    ASSERT_EQ(manifest.files.size(), 3u);
    EXPECT_EQ(manifest.files[1].name, "doc/read me.txt");
    EXPECT_EQ(manifest.files[1].url, "https://dl.example/files/Editor/1.1.0.0/doc/read%20me.txt");
    EXPECT_EQ(manifest.files[1].sha256, vesktrust::Sha256Hex("hello\n"));
    ASSERT_TRUE(vesktrust::ReadManifest(Verified("Editor/signed/patch-P-9.json"), manifest, error)) << error;
    ASSERT_EQ(manifest.files.size(), 1u);
    EXPECT_EQ(manifest.files[0].sha256, vesktrust::Sha256Hex("hello\n"));
}

TEST_F(CPackageSignerTest, RefusalsWriteNothing)
{
    std::string error;
    ASSERT_EQ(Publish(error), PublishResult::Done) << error;
    const std::string catalog = ReadFile(m_request.catalog);
    const std::string snapshotPath = (m_request.output / vesktrust::SnapshotPath("Editor")).string();
    const std::string snapshot = ReadFile(snapshotPath);
    const auto replaced = [&](const std::string& from, const std::string& to) {
        std::string text = catalog;
        const std::string::size_type at = text.find(from);
        if (at == std::string::npos)
            throw std::logic_error("not in the catalog: " + from);
        return text.replace(at, from.size(), to);
    };

    struct CRow
    {
        const char* what;
        std::string catalog;
        std::string key;      // the secret key file's content; empty: the good one
        std::string snapshot; // the previous snapshot's content; empty: the good one
        const char* says;
    };
    const std::vector<CRow> rows = {
        {"a file not in the tree", replaced("Editor/1.1.0.0/lang/fr.lang", "Editor/1.1.0.0/lang/de.lang"), "", "",
         "has no file"},
        {"an address elsewhere", replaced("Editor/1.1.0.0/lang/fr.lang", "http://cdn.test/fr.lang"), "", "",
         "not in the download tree"},
        {"an address climbing out", replaced("Editor/1.1.0.0/lang/fr.lang", "Editor/../../sign.key"), "", "",
         "not in the download tree"},
        {"a length the tree's file has not", replaced("\"length\" : \"8\"", "\"length\" : \"9\""), "", "", "length"},
        {"a name hosts refuse", replaced("\"path\" : \"lang/fr.lang\"", "\"path\" : \"lang/con\""), "", "",
         "would refuse"},
        {"a key that is not one", catalog, "untrusted comment: x\nAAAA\n", "", "signing key"},
        {"an unreadable previous snapshot", catalog, "", "{}", "previous snapshot"},
    };
    const std::string goodKey = ReadFile(m_request.signingKey);
    for (const CRow& row : rows)
    {
        WriteFile(m_request.catalog, row.catalog);
        WriteFile(m_request.signingKey, row.key.empty() ? goodKey : row.key);
        WriteFile(snapshotPath, row.snapshot.empty() ? snapshot : row.snapshot);
        const auto before = TreeState(m_dir);
        EXPECT_EQ(Publish(error), PublishResult::BadInput) << row.what;
        EXPECT_NE(error.find(row.says), std::string::npos) << row.what << ": " << error;
        EXPECT_EQ(TreeState(m_dir), before) << row.what;
    }
}

} // namespace
