// The download plug-in's binary deltas: a signed manifest lists a delta for
// a file, and whatever the installed file and the server hold, the
// directory ends up with exactly the manifest's bytes; the delta is fetched
// only when it can help and is trusted.
#include <VeskUpdate.h>

#include "PluginDoubles.h"

#include <Delta.h>
#include <Manifest.h>
#include <Minisign.h>
#include <Sha256.h>

#include "support/CScratchDir.h"
#include "support/CTestHttpServer.h"
#include "support/Files.h"
#include "support/Owners.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <system_error>
#include <vector>

using namespace kvrUpdate;
using namespace testsupport;
using namespace plugintest;
namespace fs = std::filesystem;

namespace
{

std::set<std::string> Entries(const fs::path& directory)
{
    std::set<std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(directory))
        entries.insert(entry.path().lexically_relative(directory).generic_string());
    return entries;
}

bool Contains(const std::vector<std::string>& lines, const std::string& text)
{
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& line) { return line.find(text) != std::string::npos; });
}

std::string Delta(const std::string& from, const std::string& to)
{
    std::string delta;
    std::string error;
    EXPECT_TRUE(veskdelta::MakeDelta(from, to, delta, error)) << error;
    return delta;
}

// An old and a new build of a program: mostly the same bytes, a few changed
// and a few inserted.
const std::string kOld = Pattern(60000);
const std::string kNew = [] {
    std::string data = kOld;
    data[100] = 'x';
    data.insert(30000, "a few new bytes");
    data[59000] ^= 0x5a;
    return data;
}();

} // namespace

TEST(DeltaApplyTest, TheDirectoryEndsUpWithTheManifestsBytesWhateverTheDelta)
{
    const std::string good = Delta(kOld, kNew);
    const std::string corrupt = [&] {
        std::string data = good;
        data[data.size() / 2] ^= 0x01;
        return data;
    }();
    std::string other = kNew;
    other[10] ^= 0x01;
    const std::string wrongResult = Delta(kOld, other);
    const std::string notADelta = "not a delta at all";
    ASSERT_LT(good.size() * 10, kNew.size());

    CTestHttpServer server;
    ServeFiles(server.Server(), {{"big.bin", kNew},
                                 {"deltas/good.vdelta", good},
                                 {"deltas/corrupt.vdelta", corrupt},
                                 {"deltas/wrong.vdelta", wrongResult},
                                 {"deltas/junk.vdelta", notADelta}});
    std::map<std::string, std::string> signedFiles;
    server.Server().Get(R"(/signed/(.+))",
                        [&signedFiles](const httplib::Request& request, httplib::Response& response) {
                            const auto found = signedFiles.find(request.matches[1].str());
                            if (found == signedFiles.end())
                                response.status = 404;
                            else
                                response.set_content(found->second, "application/octet-stream");
                        });

    CScratchDir temp("vesk-delta-apply");
    vesktrust::CPublicKey key;
    vesktrust::CSecretKey secret;
    std::string error;
    ASSERT_TRUE(
        vesktrust::GenerateKeyPair((temp.Path() / "k.key").string(), (temp.Path() / "k.pub").string(), key, error))
        << error;
    ASSERT_TRUE(vesktrust::LoadSecretKey((temp.Path() / "k.key").string(), secret, error)) << error;
    // Each manifest is signed and served before the server starts.
    const auto sign = [&](const std::string& name, const std::string& deltaName, const std::string& deltaBytes,
                          const std::string& listedBytes, bool withFlaky = false) {
        vesktrust::CManifest manifest;
        manifest.product = "Editor";
        manifest.kind = "version";
        manifest.version = "1.1.0.0";
        vesktrust::CManifestFile file{
            "big.bin", vesktrust::Sha256Hex(kNew), "big.bin", static_cast<long long>(kNew.size()), {}};
        file.deltas.push_back({vesktrust::Sha256Hex(kOld), "deltas/" + deltaName,
                               vesktrust::Sha256Hex(listedBytes.empty() ? deltaBytes : listedBytes),
                               static_cast<long long>(listedBytes.empty() ? deltaBytes.size() : listedBytes.size())});
        manifest.files.push_back(file);
        if (withFlaky)
            manifest.files.push_back({"flaky.bin", vesktrust::Sha256Hex("x"), "flaky.bin", 1, {}});
        const std::string text = vesktrust::WriteManifest(manifest);
        signedFiles[name] = text;
        signedFiles[name + ".minisig"] = vesktrust::SignText(secret, text, name);
    };
    sign("good.json", "good.vdelta", good, "");
    sign("corrupt.json", "corrupt.vdelta", corrupt, good); // lists the genuine delta's length and hash
    sign("wrong.json", "wrong.vdelta", wrongResult, "");
    sign("junk.json", "junk.vdelta", notADelta, "");
    sign("flaky.json", "good.vdelta", good, "", true);
    server.Start();

    auto executors = Own(CreateExecutorManager());
    ASSERT_EQ(0, executors->RegisterModule(VESK_DOWNLOAD_EXECUTOR, "CreateUpdateExecutor"));
    auto executor = Acquire(executors.get(), "download");
    ASSERT_NE(nullptr, executor);
    const CFakePackage package(server.Url("/files/"), CFakeFileDef("", "", 0), {DefOf("big.bin", kNew)});
    const bool links = [&] {
        std::error_code failed;
        fs::create_symlink(temp.Path() / "nowhere", temp.Path() / "probe", failed);
        return !failed;
    }();

    const struct
    {
        const char* what;
        const char* manifest; // empty: the host hands no trusted key
        const char* installed;
        bool linked;        // the installed file is a link to a file with those bytes
        const char* delta;  // the delta fetched, or empty
        bool whole;         // whether the whole file is fetched
        const char* report; // a line the plug-in reports contains it
    } rows[] = {
        {"the installed file is the delta's from", "good.json", "old", false, "good", false, "by delta: big.bin"},
        {"the installed file differs", "good.json", "other", false, "", true, "verified"},
        {"no file installed", "good.json", "", false, "", true, "verified"},
        {"the installed file is a link to the delta's from", "good.json", "old", true, "", true, "verified"},
        {"the server's delta is corrupt", "corrupt.json", "old", false, "corrupt", true, "delta not used for big.bin"},
        {"the delta builds another file", "wrong.json", "old", false, "wrong", true, "does not match the signed"},
        {"the delta is no delta", "junk.json", "old", false, "junk", true, "delta refused"},
        {"a delta but no trust", "", "old", false, "", true, "not verified"},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.what);
        if (row.linked && !links)
            continue;
        const fs::path install = temp.Path() / "install";
        fs::remove_all(install);
        fs::create_directories(install);
        const std::string installed = std::string(row.installed) == "old" ? kOld : other;
        if (row.linked)
        {
            WriteFile(temp.Path() / "outside.bin", installed);
            fs::create_symlink(temp.Path() / "outside.bin", install / "big.bin");
        }
        else if (*row.installed != '\0')
            WriteFile(install / "big.bin", installed);

        CFakeContext context;
        if (*row.manifest != '\0')
            context.m_settings = {{"trust", key.Base64()},
                                  {"manifest", server.Url("/signed/") + row.manifest},
                                  {"expect.product", "Editor"},
                                  {"expect.kind", "version"},
                                  {"expect.id", "1.1.0.0"}};
        server.ClearTargets();
        auto* withContext = static_cast<IContextUpdateExecutor*>(executor.get());
        ASSERT_TRUE(withContext->ExecuteWith(&package, install.string().c_str(), nullptr, &context))
            << (context.m_reports.empty() ? "" : context.m_reports.back());

        EXPECT_EQ(kNew, ReadFile(install / "big.bin"));
        EXPECT_FALSE(fs::is_symlink(install / "big.bin"));
        EXPECT_EQ(Entries(install), std::set<std::string>{"big.bin"});
        if (row.linked)
        {
            EXPECT_EQ(installed, ReadFile(temp.Path() / "outside.bin"));
        }
        const std::vector<std::string> targets = server.Targets();
        std::vector<std::string> deltas;
        std::copy_if(targets.begin(), targets.end(), std::back_inserter(deltas),
                     [](const std::string& target) { return target.find(".vdelta") != std::string::npos; });
        const std::vector<std::string> expected = *row.delta != '\0'
                                                      ? std::vector<std::string>{std::string("/files/deltas/") +
                                                                                 row.delta + ".vdelta"}
                                                      : std::vector<std::string>{};
        EXPECT_EQ(deltas, expected);
        EXPECT_EQ(std::count(targets.begin(), targets.end(), "/files/big.bin"), row.whole ? 1 : 0);
        EXPECT_TRUE(Contains(context.m_reports, row.report));
        // A host's progress line never steps back, also when a delta is
        // followed by the whole file, and ends at its totals.
        for (std::size_t i = 1; i < context.m_progress.size(); ++i)
        {
            const CProgressCall& before = context.m_progress[i - 1];
            const CProgressCall& now = context.m_progress[i];
            EXPECT_GE(now.bytesDone, before.bytesDone) << "progress call " << i;
            EXPECT_GE(now.filesDone, before.filesDone) << "progress call " << i;
        }
        ASSERT_FALSE(context.m_progress.empty());
        const CProgressCall& last = context.m_progress.back();
        EXPECT_EQ(last.bytesDone, last.bytesTotal);
        EXPECT_EQ(last.filesDone, last.filesTotal);
        // The bytes counted: a delta that arrived (one refused on its digest
        // counts for nothing), then the whole file.
        const std::map<std::string, std::size_t> deltaSizes = {
            {"good", good.size()}, {"corrupt", 0}, {"wrong", wrongResult.size()}, {"junk", notADelta.size()}};
        const std::size_t fetched = (*row.delta != '\0' ? deltaSizes.at(row.delta) : 0) + (row.whole ? kNew.size() : 0);
        EXPECT_EQ(last.bytesTotal, static_cast<long long>(fetched));
        if (!row.whole)
        {
            EXPECT_TRUE(Contains(context.m_reports,
                                 "deltas saved " + std::to_string(kNew.size() - good.size()) + " bytes on 1 file"));
        }
    }

    // A file built from its delta waits for the others; when another file
    // cannot be reached (what it holds would be kept for a later run), the
    // built one goes all the same, and the installed file stays as it was.
    const fs::path install = temp.Path() / "install";
    fs::remove_all(install);
    fs::create_directories(install);
    WriteFile(install / "big.bin", kOld);
    CFakeContext context;
    context.m_settings = {{"trust", key.Base64()},
                          {"manifest", server.Url("/signed/flaky.json")},
                          {"expect.product", "Editor"},
                          {"expect.kind", "version"},
                          {"expect.id", "1.1.0.0"}};
    const CFakePackage twoFiles(server.Url("/files/"), CFakeFileDef("", "", 0),
                                {DefOf("big.bin", kNew), DefOf("http://127.0.0.1:1/flaky.bin", "x")});
    auto* withContext = static_cast<IContextUpdateExecutor*>(executor.get());
    EXPECT_FALSE(withContext->ExecuteWith(&twoFiles, install.string().c_str(), nullptr, &context));
    EXPECT_TRUE(Contains(context.m_reports, "by delta: big.bin"));
    EXPECT_EQ(Entries(install), std::set<std::string>{"big.bin"});
    EXPECT_EQ(kOld, ReadFile(install / "big.bin"));
}
