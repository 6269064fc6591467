// The deltas publishing writes: kept only when they save enough, listed with
// the hashes a host checks, and on a re-run kept when they still give the
// new file and made again when they do not.
#include "support/CScratchDir.h"
#include "support/Files.h"

#include "tools/EditorRequest.h"

#include "publishing/CDeltaPublisher.h"
#include "publishing/CPublisher.h"

#include <Delta.h>
#include <Manifest.h>
#include <Minisign.h>
#include <Sha256.h>

#include <gtest/gtest.h>

#include <string>

namespace fs = std::filesystem;
using testsupport::RandomBytes;
using testsupport::ReadFile;
using testsupport::WriteFile;
using versionCenter::CDeltaPublisher;

namespace
{

std::string Sha256(const fs::path& file)
{
    std::string hex;
    long long length = 0;
    EXPECT_TRUE(vesktrust::Sha256OfFile(file, hex, length));
    return hex;
}

TEST(DeltaPublisherTest, KeepsDeltasThatSaveEnoughAndChecksThoseInPlace)
{
    const testsupport::CScratchDir tree("vesk-deltas");
    const std::string base = RandomBytes(200000, 1);
    std::string edited = base;
    edited.replace(1000, 50, "a change in the middle of the file");
    struct CFile
    {
        const char* name;
        std::string before;
        std::string after;
        bool delta; // whether a delta is worth it
    } files[] = {
        {"bin/edited.bin", base, edited + "appended", true},
        {"bin/rewritten.bin", RandomBytes(20000, 2), RandomBytes(20000, 3), false},
        {"tiny.txt", "a", "b", false},
        {"dir with space/grown.bin", base, base + base.substr(0, 5000), true},
    };
    const auto add = [&](CDeltaPublisher& deltas) {
        for (const CFile& file : files)
        {
            deltas.Add("Editor", "1.0.0.0", "1.1.0.0", file.name, std::string("Editor/1.0.0.0/") + file.name,
                       std::string("Editor/1.1.0.0/") + file.name);
        }
    };
    for (const CFile& file : files)
    {
        WriteFile(tree / "Editor/1.0.0.0" / file.name, file.before);
        WriteFile(tree / "Editor/1.1.0.0" / file.name, file.after);
    }

    CDeltaPublisher first(tree.Path(), "http://files.example/");
    add(first);
    int written = 0;
    std::string error;
    ASSERT_TRUE(first.Write(written, error)) << error;
    EXPECT_EQ(written, 2);
    for (const CFile& file : files)
    {
        SCOPED_TRACE(file.name);
        const fs::path deltaFile = tree / "Editor/deltas/1.0.0.0/1.1.0.0" / (std::string(file.name) + ".vdelta");
        const auto* listed = first.DeltasFor(tree / "Editor/1.1.0.0" / file.name);
        ASSERT_EQ(listed != nullptr, file.delta);
        EXPECT_EQ(fs::exists(deltaFile), file.delta);
        if (!file.delta)
            continue;
        ASSERT_EQ(listed->size(), 1U);
        const vesktrust::CManifestDelta& delta = listed->front();
        EXPECT_EQ(delta.from, vesktrust::Sha256Hex(file.before));
        EXPECT_EQ(delta.sha256, Sha256(deltaFile));
        EXPECT_EQ(delta.length, static_cast<long long>(fs::file_size(deltaFile)));
        EXPECT_LE(delta.length * 100, static_cast<long long>(file.after.size()) * CDeltaPublisher::kKeepPercent);
        EXPECT_EQ(delta.url.rfind("http://files.example/Editor/deltas/1.0.0.0/1.1.0.0/", 0), 0U) << delta.url;
        EXPECT_TRUE(versionCenter::DeltaGives(tree / "Editor/1.0.0.0" / file.name, deltaFile,
                                              vesktrust::Sha256Hex(file.after),
                                              static_cast<long long>(file.after.size())));
    }

    // Again: the deltas in place still give the new files and stay; one
    // that no longer does (damaged in the tree) is made again.
    const fs::path damaged = tree / "Editor/deltas/1.0.0.0/1.1.0.0/bin/edited.bin.vdelta";
    const std::string good = ReadFile(damaged);
    WriteFile(damaged, good.substr(0, good.size() - 1));
    CDeltaPublisher second(tree.Path(), "");
    add(second);
    written = 0;
    ASSERT_TRUE(second.Write(written, error)) << error;
    EXPECT_EQ(written, 1);
    EXPECT_EQ(ReadFile(damaged), good);
    ASSERT_NE(second.DeltasFor(tree / "Editor/1.1.0.0/dir with space/grown.bin"), nullptr);
    EXPECT_EQ(second.DeltasFor(tree / "Editor/1.1.0.0/dir with space/grown.bin")->front().url,
              "Editor/deltas/1.0.0.0/1.1.0.0/dir%20with%20space/grown.bin.vdelta");
}

TEST(DeltaPublisherTest, AMissingTreeFileFailsTheStep)
{
    const testsupport::CScratchDir tree("vesk-deltas");
    WriteFile(tree / "Editor/1.1.0.0/a.bin", "new");
    CDeltaPublisher deltas(tree.Path(), "");
    deltas.Add("Editor", "1.0.0.0", "1.1.0.0", "a.bin", "Editor/1.0.0.0/a.bin", "Editor/1.1.0.0/a.bin");
    int written = 0;
    std::string error;
    EXPECT_FALSE(deltas.Write(written, error));
    EXPECT_NE(error.find("a.bin"), std::string::npos) << error;
}

TEST(DeltaPublisherTest, SignedPublishingListsDeltasInEveryManifestOfTheFile)
{
    // 1.0 -> 1.1 changes a program a little and a compressed file wholly;
    // 1.2 keeps the program of 1.1, so its manifest lists the same delta.
    const testsupport::CScratchDir dir("vesk-deltas");
    versionCenter::CPublishRequest request = EditorRequest(dir.Path());
    request.signingKey = dir / "sign.key";
    std::string error;
    ASSERT_TRUE(vesktrust::GenerateKeyPair(request.signingKey.string(), (dir / "sign.pub").string(), error)) << error;
    const std::string program = RandomBytes(100000, 4);
    std::string changed = program;
    changed.replace(5000, 10, "0123456789");
    WriteFile(request.releases / "1.0/bin/editor.bin", program);
    WriteFile(request.releases / "1.0/data.gz", RandomBytes(10000, 5));
    WriteFile(request.releases / "1.1/bin/editor.bin", changed);
    WriteFile(request.releases / "1.1/data.gz", RandomBytes(10000, 6));
    WriteFile(request.releases / "1.2/bin/editor.bin", changed);
    WriteFile(request.releases / "1.2/data.gz", RandomBytes(10000, 7));
    versionCenter::CPublishSummary summary;
    ASSERT_EQ(versionCenter::Publish(request, summary, error), versionCenter::PublishResult::Done) << error;
    EXPECT_EQ(summary.deltasWritten, 1);

    const std::string deltaPath = "Editor/deltas/1.0.0.0/1.1.0.0/bin/editor.bin.vdelta";
    ASSERT_TRUE(fs::exists(request.output / deltaPath));
    struct CRow
    {
        const char* kind;
        const char* id;
        bool listed; // whether the program's entry lists the delta
    } rows[] = {
        {"version", "1.0.0.0", false}, {"version", "1.1.0.0", true},  {"version", "1.2.0.0", true},
        {"patch", "P-1.0-1.1", true},  {"patch", "P-1.1-1.2", false},
    };
    for (const CRow& row : rows)
    {
        SCOPED_TRACE(std::string(row.kind) + " " + row.id);
        vesktrust::CManifest manifest;
        const std::string text = ReadFile(request.output / vesktrust::ManifestPath("Editor", row.kind, row.id));
        ASSERT_TRUE(vesktrust::ReadManifest(text, manifest, error)) << error;
        bool sawProgram = false;
        for (const vesktrust::CManifestFile& file : manifest.files)
        {
            if (file.name != "bin/editor.bin")
            {
                EXPECT_TRUE(file.deltas.empty()) << file.name;
                continue;
            }
            sawProgram = true;
            ASSERT_EQ(file.deltas.size(), row.listed ? 1U : 0U);
            if (!row.listed)
                continue;
            const vesktrust::CManifestDelta& delta = file.deltas.front();
            EXPECT_EQ(delta.from, vesktrust::Sha256Hex(program));
            EXPECT_EQ(delta.url, deltaPath);
            EXPECT_EQ(delta.sha256, Sha256(request.output / deltaPath));
            EXPECT_EQ(file.sha256, vesktrust::Sha256Hex(changed));
        }
        EXPECT_EQ(sawProgram, std::string(row.kind) == "version" || std::string(row.id) == "P-1.0-1.1");
    }

    // Published again, the delta in place stays.
    ASSERT_EQ(versionCenter::Publish(request, summary, error), versionCenter::PublishResult::Done) << error;
    EXPECT_EQ(summary.deltasWritten, 0);
}

} // namespace
