// Manifests and snapshots: what is written reads back the same, and the
// readers refuse anything that is not exactly the format.
#include "Manifest.h"
#include "Snapshot.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using vesktrust::CManifest;
using vesktrust::CManifestFile;
using vesktrust::CSnapshot;

namespace
{

const std::string kHash(64, 'a');

CManifest PatchManifest()
{
    CManifest manifest;
    manifest.product = "Editor";
    manifest.kind = "patch";
    manifest.patch = "P-1001";
    manifest.apply = {"1.0.0.0", "1.0.1.0"};
    manifest.result = "1.1.0.0";
    manifest.removed = {"old/b", "old/a"};
    CManifestFile second{"z/last", kHash, "http://h/z/last", 7, {}};
    CManifestFile first{"bin/editor", std::string(64, 'b'), "bin/editor", 123, {}};
    first.deltas.push_back({std::string(64, 'c'), "bin/editor.d", std::string(64, 'd'), 9});
    manifest.files = {second, first};
    return manifest;
}

// A manifest text with `from` replaced by `to` (which must occur).
std::string Changed(const std::string& text, const std::string& from, const std::string& to)
{
    const std::string::size_type at = text.find(from);
    if (at == std::string::npos)
        throw std::logic_error("not in the text: " + from);
    return text.substr(0, at) + to + text.substr(at + from.size());
}

TEST(ManifestTest, WrittenTextReadsBackCanonically)
{
    const std::string text = vesktrust::WriteManifest(PatchManifest());
    CManifest read;
    std::string error;
    ASSERT_TRUE(vesktrust::ReadManifest(text, read, error)) << error;
    EXPECT_EQ(read.product, "Editor");
    EXPECT_EQ(read.apply, (std::vector<std::string>{"1.0.0.0", "1.0.1.0"}));
    EXPECT_EQ(read.removed, (std::vector<std::string>{"old/a", "old/b"}));
    ASSERT_EQ(read.files.size(), 2u);
    EXPECT_EQ(read.files[0].name, "bin/editor");
    EXPECT_EQ(read.files[0].length, 123);
    ASSERT_EQ(read.files[0].deltas.size(), 1u);
    EXPECT_EQ(read.files[0].deltas[0].length, 9);
    EXPECT_TRUE(read.files[1].deltas.empty());
    EXPECT_EQ(vesktrust::WriteManifest(read), text);

    CManifest version;
    version.product = "Editor";
    version.kind = "version";
    version.version = "2.0.0.0";
    ASSERT_TRUE(vesktrust::ReadManifest(vesktrust::WriteManifest(version), read, error)) << error;
    EXPECT_EQ(read.version, "2.0.0.0");
    EXPECT_TRUE(read.files.empty());

    CSnapshot snapshot;
    snapshot.product = "Editor";
    snapshot.sequence = 7;
    snapshot.expires = 1797000000;
    snapshot.last = "2.0.0.0";
    snapshot.max = "2.0.0.0";
    snapshot.versions = {"1.0.0.0", "2.0.0.0"};
    snapshot.patches = {{"P-1001", "2.0.0.0", {"1.0.0.0"}}};
    CSnapshot back;
    ASSERT_TRUE(vesktrust::ReadSnapshot(vesktrust::WriteSnapshot(snapshot), back, error)) << error;
    EXPECT_EQ(vesktrust::WriteSnapshot(back), vesktrust::WriteSnapshot(snapshot));
    EXPECT_EQ(back.must, "");
    EXPECT_EQ(back.patches.at(0).apply, (std::vector<std::string>{"1.0.0.0"}));
}

TEST(ManifestTest, ReadersRefuseAnythingButTheFormat)
{
    const std::string manifest = vesktrust::WriteManifest(PatchManifest());
    CSnapshot snapshot;
    snapshot.product = "Editor";
    snapshot.sequence = 3;
    snapshot.expires = 100;
    snapshot.versions = {"1.0.0.0"};
    snapshot.patches = {{"P-1", "1.0.0.0", {"0.9.0.0"}}};
    const std::string snap = vesktrust::WriteSnapshot(snapshot);

    struct CRow
    {
        const char* what;
        bool isManifest;
        std::string text;
        const char* says;
    };
    const std::string bin = "\"bin/editor\"";
    const std::vector<CRow> rows = {
        {"not JSON", true, "{", "not valid JSON"},
        {"an array", true, "[]", "not a JSON object"},
        {"trailing text", true, manifest + "{}", "not valid JSON"},
        {"a comment", true, "// c\n" + manifest, "not valid JSON"},
        {"duplicate key", true, Changed(manifest, "\"kind\"", "\"product\" : \"X\", \"kind\""), "Duplicate key"},
        {"wrong format", true, Changed(manifest, "vesk-manifest-1", "vesk-manifest-2"), "format"},
        {"unknown member", true, Changed(manifest, "\"kind\"", "\"extra\" : 1, \"kind\""), "unknown member"},
        {"unknown kind", true, Changed(manifest, "\"kind\" : \"patch\"", "\"kind\" : \"other\""), "neither"},
        {"kind version with patch members", true, Changed(manifest, "\"kind\" : \"patch\"", "\"kind\" : \"version\""),
         "lacks \"version\""},
        {"relative climb", true, Changed(manifest, bin, "\"../x\""), "'..'"},
        {"climb inside", true, Changed(manifest, bin, "\"bin/../../x\""), "'..'"},
        {"absolute", true, Changed(manifest, bin, "\"/abs\""), "absolute"},
        {"backslash", true, Changed(manifest, bin, "\"bin\\\\..\\\\x\""), "'\\'"},
        {"drive", true, Changed(manifest, bin, "\"C:x\""), "':'"},
        {"empty part", true, Changed(manifest, bin, "\"bin//x\""), "empty"},
        {"dot part", true, Changed(manifest, bin, "\"./x\""), "'.'"},
        {"device name", true, Changed(manifest, bin, "\"bin/nul.txt\""), "Windows"},
        {"trailing dot", true, Changed(manifest, bin, "\"bin/x.\""), "Windows"},
        {"control character", true, Changed(manifest, bin, "\"bin/\\u0007\""), "control"},
        {"duplicate file", true, Changed(manifest, bin, "\"z/last\""), "twice"},
        {"duplicate removed", true, Changed(manifest, "\"old/a\"", "\"old/b\""), "twice"},
        {"removed and present", true, Changed(manifest, "\"old/a\"", "\"z/last\""), "which files holds"},
        {"upper-case hex", true, Changed(manifest, std::string(64, 'b'), std::string(64, 'B')), "hex"},
        {"short hex", true, Changed(manifest, std::string(64, 'b'), std::string(63, 'b')), "hex"},
        {"negative length", true, Changed(manifest, "123", "-1"), "whole number"},
        {"fractional length", true, Changed(manifest, "123", "12.0"), "whole number"},
        {"length as text", true, Changed(manifest, "123", "\"123\""), "whole number"},
        {"bad delta hash", true, Changed(manifest, std::string(64, 'c'), "x"), "deltas[0].from"},
        {"non-canonical version", true, Changed(manifest, "\"1.1.0.0\"", "\"1.1\""), "result"},
        {"leading zero", true, Changed(manifest, "\"1.1.0.0\"", "\"1.01.0.0\""), "result"},
        {"version too large", true, Changed(manifest, "\"1.1.0.0\"", "\"4294967296.0.0.0\""), "result"},
        {"empty apply", true, Changed(manifest, "[\n    \"1.0.0.0\",\n    \"1.0.1.0\"\n  ]", "[]"), "apply is empty"},
        {"product with slash", true, Changed(manifest, "\"Editor\"", "\"a/b\""), "product"},
        {"product dot-dot", true, Changed(manifest, "\"Editor\"", "\"..\""), "product"},
        {"snapshot as an array", false, "[1]", "not a JSON object"},
        {"snapshot as a number", false, "7", "JSON"},
        {"snapshot cut short", false, snap.substr(0, snap.size() / 2), "not valid JSON"},
        {"snapshot format", false, Changed(snap, "vesk-snapshot-1", "vesk-manifest-1"), "format"},
        {"sequence zero", false, Changed(snap, "\"sequence\" : 3", "\"sequence\" : 0"), "sequence"},
        {"sequence negative", false, Changed(snap, "\"sequence\" : 3", "\"sequence\" : -3"), "sequence"},
        {"expires as text", false, Changed(snap, "\"expires\" : 100", "\"expires\" : \"100\""), "expires"},
        {"situation missing a member", false, Changed(snap, "\"will\" : \"\"", "\"wil\" : \"\""), "lacks \"will\""},
        {"situation bad version", false, Changed(snap, "\"last\" : \"\"", "\"last\" : \"x\""), "situation.last"},
        {"duplicate version", false, Changed(snap, "[\n    \"1.0.0.0\"\n  ]", "[\"1.0.0.0\", \"1.0.0.0\"]"), "twice"},
        {"duplicate patch", false,
         Changed(snap, "\"patches\" : \n  [",
                 "\"patches\" : [{\"number\":\"P-1\",\"apply\":[\"1.0.0.0\"],\"result\":\"1.0.0.0\"},"),
         "twice"},
        {"patch without apply", false, Changed(snap, "\"0.9.0.0\"", ""), "apply is empty"},
        {"missing member", false, Changed(snap, "\"product\" : \"Editor\",", ""), "lacks \"product\""},
    };
    for (const CRow& row : rows)
    {
        std::string error;
        if (row.isManifest)
        {
            CManifest read;
            read.product = "untouched";
            EXPECT_FALSE(vesktrust::ReadManifest(row.text, read, error)) << row.what << "\n" << row.text;
            EXPECT_EQ(read.product, "untouched") << row.what;
        }
        else
        {
            CSnapshot read;
            EXPECT_FALSE(vesktrust::ReadSnapshot(row.text, read, error)) << row.what << "\n" << row.text;
        }
        EXPECT_NE(error.find(row.says), std::string::npos) << row.what << ": " << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << row.what << ": " << error;
    }
}

TEST(ManifestTest, PathsGiveEachIdAFileNameOfItsOwn)
{
    EXPECT_EQ(vesktrust::ManifestPath("Editor", "version", "1.1.0.0"), "Editor/signed/version-1.1.0.0.json");
    EXPECT_EQ(vesktrust::ManifestPath("Editor", "patch", "P-1001"), "Editor/signed/patch-P-1001.json");
    EXPECT_EQ(vesktrust::ManifestPath("Editor", "patch", "../a b/_"), "Editor/signed/patch-.._2Fa_20b_2F_5F.json");
    EXPECT_NE(vesktrust::ManifestPath("E", "patch", "a_2F"), vesktrust::ManifestPath("E", "patch", "a/"));
    EXPECT_EQ(vesktrust::SnapshotPath("Editor"), "Editor/signed/snapshot.json");
}

} // namespace
