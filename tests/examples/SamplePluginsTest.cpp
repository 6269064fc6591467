// The sample plug-ins, loaded through the module managers: the "download"
// executor against a local HTTP server, and the "md5" file checker. The
// records they read are small doubles of the public interfaces.
#include <VeskUpdate.h>

#include "PluginDoubles.h"

#include <Manifest.h>
#include <Minisign.h>
#include <Sha256.h>

#include "support/CScratchDir.h"
#include "support/CTestHttpServer.h"
#include "support/Files.h"
#include "support/Owners.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

using namespace kvrUpdate;
using namespace testsupport;
using namespace plugintest;
namespace fs = std::filesystem;

namespace
{

bool HasPartFiles(const fs::path& directory)
{
    for (const auto& entry : fs::recursive_directory_iterator(directory))
    {
        if (entry.path().extension() == ".part")
            return true;
    }
    return false;
}

// The files and folders under `directory`, relative to it, with '/'.
std::set<std::string> Entries(const fs::path& directory)
{
    std::set<std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(directory))
        entries.insert(entry.path().lexically_relative(directory).generic_string());
    return entries;
}

// ---------------------------------------------------------------------------
// Fixture: both plug-ins registered and acquired by type.
// ---------------------------------------------------------------------------

const std::string kSmall = "hello\n";
const std::string kBig = Pattern(200000);

class SamplePluginsTest : public CLoadedPluginsTest
{
protected:
    void SetUp() override
    {
        ServeFiles(m_server.Server(), {{"big.bin", kBig}, {"sub/small.txt", kSmall}, {"empty", ""}});
        // Signed files a test publishes while the server runs.
        m_server.Server().Get(R"(/signed/(.+))", [this](const httplib::Request& request, httplib::Response& response) {
            std::lock_guard<std::mutex> guard(m_signedLock);
            const auto found = m_signedFiles.find(request.matches[1].str());
            if (found == m_signedFiles.end())
                response.status = 404;
            else
                response.set_content(found->second, "application/octet-stream");
        });
        m_server.Start();
        ASSERT_NO_FATAL_FAILURE(LoadPlugins());
        m_install = m_temp / "install";
        fs::create_directories(m_install);
    }

    // Requests the server has had so far.
    std::size_t Requests() const { return m_server.Targets().size(); }

    std::mutex m_signedLock;
    std::map<std::string, std::string> m_signedFiles; // served at /signed/<name>
    CTestHttpServer m_server;
    CScratchDir m_temp{"vesk-plugins"};
    fs::path m_install;
};

TEST(CMd5Test, KnownDigests)
{
    const struct
    {
        std::string message;
        const char* digest;
    } cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
        // Lengths around the padding boundaries.
        {std::string(55, 'a'), "ef1772b6dff9a122358552954ad0df65"},
        {std::string(56, 'a'), "3b0c8ac703f828b04c6c197006d17218"},
        {std::string(63, 'a'), "b06521f39153d618550606be297466d5"},
        {std::string(64, 'a'), "014842d480b571495a4a0363793f7367"},
        {std::string(65, 'a'), "c743a45e0d2e6a95cb859adae0248435"},
        {std::string(1000000, 'a'), "7707d6ae4e027c70eea2a935c2296f21"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.message.size());
        EXPECT_EQ(c.digest, Md5Of(c.message));
        // Fed in uneven pieces, the digest is the same.
        CMd5 md5;
        for (std::size_t at = 0, piece = 1; at < c.message.size(); at += piece, piece = piece * 3 % 97 + 1)
            md5.Update(c.message.data() + at, std::min(piece, c.message.size() - at));
        EXPECT_EQ(c.digest, md5.HexDigest());
    }
}

// The types a plug-in object enumerates, in order.
class CTypeNames final : public IEnumable<const char*>::IEnum
{
public:
    void OnItem(const char* type) override { m_names.push_back(type); }
    std::vector<std::string> m_names;
};

// A plug-in object serves its one type and no other name; it answers yes to
// kContextAware only when it reads the context, since a host converts the
// object on that answer.
template <class Object>
void ExpectTypeAnswers(Object& object, const std::string& own, bool contextAware)
{
    SCOPED_TRACE(own);
    EXPECT_TRUE(object.IsType(own.c_str()));
    for (const char* other : {"", "download ", "MD5", "sha", "sha2566"})
        EXPECT_FALSE(object.IsType(other)) << other;
    EXPECT_FALSE(object.IsType(nullptr));
    EXPECT_EQ(object.IsType(kContextAware), contextAware);
    CTypeNames types;
    object.EnumTypes(&types);
    EXPECT_EQ(types.m_names, std::vector<std::string>{own});
    object.EnumTypes(nullptr);
}

TEST_F(SamplePluginsTest, EachPluginAnswersForItsOwnType)
{
    const TOwnedPtr<IFileCheckerManager> signedCheckers = Own(CreateFileCheckerManager());
    ASSERT_EQ(0, signedCheckers->RegisterModule(VESK_SIGNED_CHECKER, "CreateFileChecker"));
    const TAcquiredPtr<IFileChecker> signedChecker = Acquire(signedCheckers.get(), "sha256");
    ASSERT_NE(nullptr, signedChecker);
    ExpectTypeAnswers(*m_executor, "download", true);
    ExpectTypeAnswers(*m_checker, "md5", false);
    ExpectTypeAnswers(*signedChecker, "sha256", true);
}

TEST_F(SamplePluginsTest, ExecutorAppliesAPackage)
{
    CFakePackage package(m_server.Url("/files/"), DefOf("big.bin", kBig),
                         {
                             DefOf("sub/small.txt", kSmall),                               // relative url, own folder
                             DefOf(m_server.Url("/files/empty"), ""),                      // absolute url
                             DefOf(m_server.Url("/moved/sub/small.txt"), kSmall, "r.txt"), // redirect, own path
                         });
    CFailures failures;
    EXPECT_TRUE(m_executor->Execute(&package, m_install.string().c_str(), &failures));
    EXPECT_TRUE(failures.m_names.empty());
    EXPECT_EQ(kBig, ReadFile(m_install / "big.bin"));
    EXPECT_EQ(kSmall, ReadFile(m_install / "sub" / "small.txt"));
    EXPECT_TRUE(fs::is_regular_file(m_install / "empty"));
    EXPECT_EQ(0u, fs::file_size(m_install / "empty"));
    EXPECT_EQ(kSmall, ReadFile(m_install / "r.txt"));
    EXPECT_FALSE(HasPartFiles(m_install));

    // Applied again, the intact files are not fetched again.
    const std::size_t requests = Requests();
    EXPECT_TRUE(m_executor->Execute(&package, m_install.string().c_str(), nullptr));
    EXPECT_EQ(requests, Requests());

    // And the checker agrees with what the executor did.
    CFakeFileDefList installed({DefOf("big.bin", kBig), DefOf("sub/small.txt", kSmall), DefOf("x", kSmall, "r.txt")});
    EXPECT_TRUE(m_checker->CheckFiles(&installed, m_install.string().c_str(), nullptr));
}

TEST_F(SamplePluginsTest, ExecutorReportsEveryFileItCannotPutInPlace)
{
    const fs::path outside = m_temp / "escape.bin";
    const struct
    {
        const char* what;
        CFakeFileDef file;
    } cases[] = {
        {"wrong md5", CFakeFileDef("sub/small.txt", Md5Of("other!"), 6, "wrongmd5.txt")},
        {"empty md5", CFakeFileDef("sub/small.txt", "", 6, "nomd5.txt")},
        {"fewer bytes promised", CFakeFileDef("big.bin", Md5Of(kBig), 1000, "short.bin")},
        {"more bytes promised", CFakeFileDef("big.bin", Md5Of(kBig), 200001, "long.bin")},
        {"negative length", CFakeFileDef("empty", Md5Of(""), -1, "negative.bin")},
        {"not on the server", DefOf("missing.bin", kSmall)},
        {"protocol not allowed", DefOf("ftp://127.0.0.1:9/small.txt", kSmall, "ftp.txt")},
        {"local file", DefOf("FILE://" + (m_temp / "local.txt").string(), kSmall, "local.txt")},
        {"name climbs out", DefOf("sub/small.txt", kSmall, "../escape.bin")},
        {"name climbs out with backslashes", DefOf("sub/small.txt", kSmall, "sub\\..\\..\\escape.bin")},
        {"absolute name", DefOf("sub/small.txt", kSmall, outside.string())},
        {"url names a folder", DefOf(m_server.Url("/files/"), "")},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        fs::remove_all(m_install);
        fs::create_directories(m_install);
        WriteFile(m_temp / "local.txt", kSmall);
        // A file already in place must survive a failed download.
        const std::string name = c.file.GetName();
        const bool inside = !name.empty() && name.find("..") == std::string::npos && !fs::path(name).has_root_path();
        if (inside)
            WriteFile(m_install / name, "old");
        const std::set<std::string> before = Entries(m_install);

        CFakePackage package(m_server.Url("/files"), DefOf("big.bin", kBig),
                             {c.file, DefOf("/sub/small.txt", kSmall, "sub/small.txt")});
        CFailures failures;
        EXPECT_FALSE(m_executor->Execute(&package, m_install.string().c_str(), &failures));
        EXPECT_EQ(std::set<std::string>{name}, failures.m_names);
        // All or nothing: the other files were not put in place either, and
        // nothing is left staged.
        EXPECT_EQ(before, Entries(m_install));
        if (inside)
        {
            EXPECT_EQ("old", ReadFile(m_install / name));
        }
        EXPECT_FALSE(fs::exists(outside));
        EXPECT_FALSE(HasPartFiles(m_install));
    }
}

TEST_F(SamplePluginsTest, ExecutorRefusesNamesWindowsTreatsSpecially)
{
    // Devices (any case, with an extension, spaces before it, a superscript
    // digit in Windows-1252), data streams and drives, names Windows trims.
    const char* const refused[] = {
        "NUL",         "con.txt",     "Aux.tar.gz",      "sub/com1",    "LPT9.log",
        "prn .txt",    "com\xB9",     "data.bin:stream", "sub/C:x.bin", "c:inside.bin",
        "readme.txt.", "readme.txt ", "dir./a.txt",      "dir /a.txt",  "sub\\CONOUT$",
    };
    for (const char* name : refused)
    {
        SCOPED_TRACE(name);
        fs::remove_all(m_install);
        fs::create_directories(m_install);
        CFakePackage package(m_server.Url("/files/"), DefOf("big.bin", kBig), {DefOf("sub/small.txt", kSmall, name)});
        CFailures failures;
        EXPECT_FALSE(m_executor->Execute(&package, m_install.string().c_str(), &failures));
        EXPECT_EQ(std::set<std::string>{name}, failures.m_names);
        // Nothing was written for it, nor for the other file.
        EXPECT_EQ(std::set<std::string>{}, Entries(m_install));
    }

    // Names merely close to those are ordinary files.
    fs::remove_all(m_install);
    const std::vector<std::string> ordinary = {"CONSOLE.txt", "com10.txt", "nul_device", "lpt",
                                               ".hidden",     "a.b.c",     "./dot.txt"};
    std::vector<CFakeFileDef> files;
    for (const std::string& name : ordinary)
        files.push_back(DefOf("sub/small.txt", kSmall, name));
    CFakePackage package(m_server.Url("/files/"), DefOf("big.bin", kBig), files);
    EXPECT_TRUE(m_executor->Execute(&package, m_install.string().c_str(), nullptr));
    for (const std::string& name : ordinary)
        EXPECT_EQ(kSmall, ReadFile(m_install / name)) << name;
}

TEST_F(SamplePluginsTest, ExecutorNeedsABaseUrlForRelativeUrls)
{
    CFakePackage noBase("", DefOf("big.bin", kBig), {});
    EXPECT_FALSE(m_executor->Execute(&noBase, m_install.string().c_str(), nullptr));
    EXPECT_EQ(0u, Requests());
    // A package without a direct file and resources has nothing to fail.
    CFakePackage nothing(m_server.Url("/files/"), CFakeFileDef("", "", 0), {});
    EXPECT_TRUE(m_executor->Execute(&nothing, m_install.string().c_str(), nullptr));
}

TEST_F(SamplePluginsTest, CheckerReportsMissingAndChangedFiles)
{
    std::string changed = kBig;
    changed[100000] ^= 1;
    WriteFile(m_install / "big.bin", kBig);
    WriteFile(m_install / "changed.bin", changed);
    WriteFile(m_install / "short.bin", kBig.substr(1));
    WriteFile(m_install / "sub" / "small.txt", kSmall);
    WriteFile(m_install / "empty", "");
    WriteFile(m_temp / "outside.txt", kSmall);
    std::string upper = Md5Of(kSmall);
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));

    const CFakeFileDef good[] = {
        DefOf("big.bin", kBig),
        CFakeFileDef("x", upper, 6, "sub\\small.txt"), // upper-case digest, Windows separator
        DefOf("empty", ""),
    };
    CFakeFileDefList intact({good[0], good[1], good[2]});
    CFailures none;
    EXPECT_TRUE(m_checker->CheckFiles(&intact, m_install.string().c_str(), &none));
    EXPECT_TRUE(none.m_names.empty());

    CFakeFileDefList mixed({good[0], DefOf("changed.bin", kBig), DefOf("short.bin", kBig), DefOf("missing.bin", kSmall),
                            DefOf("x", kSmall, "../outside.txt"), good[1], DefOf("x", kBig, "sub")});
    CFailures failures;
    EXPECT_FALSE(m_checker->CheckFiles(&mixed, m_install.string().c_str(), &failures));
    EXPECT_EQ((std::set<std::string>{"changed.bin", "short.bin", "missing.bin", "../outside.txt", "sub"}),
              failures.m_names);
}

} // namespace

// ---------------------------------------------------------------------------
// The verifying course: the plug-ins handed trusted keys through a context.
// ---------------------------------------------------------------------------

namespace
{

// A signed manifest served with its files: version 1.0.0.0 of Editor, or
// any other the test writes.
class VerifyingPluginsTest : public SamplePluginsTest
{
protected:
    void SetUp() override
    {
        SamplePluginsTest::SetUp();
        std::string error;
        for (const char* name : {"trusted", "stranger"})
        {
            vesktrust::CPublicKey key;
            ASSERT_TRUE(vesktrust::GenerateKeyPair((m_temp / (std::string(name) + ".key")).string(),
                                                   (m_temp / (std::string(name) + ".pub")).string(), key, error))
                << error;
            m_keys[name] = key;
        }
        m_manifest.product = "Editor";
        m_manifest.kind = "version";
        m_manifest.version = "1.0.0.0";
        m_manifest.files = {{"big.bin", vesktrust::Sha256Hex(kBig), "big.bin", static_cast<long long>(kBig.size()), {}},
                            {"sub/small.txt",
                             vesktrust::Sha256Hex(kSmall),
                             "sub/small.txt",
                             static_cast<long long>(kSmall.size()),
                             {}}};
        ASSERT_NE(nullptr, m_signedCheckers);
        ASSERT_EQ(0, m_signedCheckers->RegisterModule(VESK_SIGNED_CHECKER, "CreateFileChecker"));
        m_signedChecker = Acquire(m_signedCheckers.get(), "sha256");
        ASSERT_NE(nullptr, m_signedChecker);
        ASSERT_TRUE(m_signedChecker->IsType(kContextAware));
        ASSERT_TRUE(m_executor->IsType(kContextAware));
    }

    // Signs `manifest` with `signer` and serves it at /signed/<name>; the
    // context trusts the key "trusted" and expects version 1.0.0.0 of Editor.
    void Publish(const vesktrust::CManifest& manifest, const std::string& signer, CFakeContext& context)
    {
        vesktrust::CSecretKey secret;
        std::string error;
        ASSERT_TRUE(vesktrust::LoadSecretKey((m_temp / (signer + ".key")).string(), secret, error)) << error;
        const std::string text = vesktrust::WriteManifest(manifest);
        const std::string name = "m" + std::to_string(++m_published) + ".json";
        {
            std::lock_guard<std::mutex> guard(m_signedLock);
            m_signedFiles[name] = text;
            m_signedFiles[name + ".minisig"] = vesktrust::SignText(secret, text, name);
        }
        context.m_settings = {{"trust", m_keys["trusted"].Base64()},
                              {"manifest", m_server.Url("/signed/" + name)},
                              {"expect.product", "Editor"},
                              {"expect.kind", "version"},
                              {"expect.id", "1.0.0.0"},
                              {"expect.installed", "0.0.0.0"}};
    }

    bool Apply(const CFakePackage& package, CFakeContext& context, CFailures* failures = nullptr)
    {
        auto* executor = static_cast<IContextUpdateExecutor*>(m_executor.get());
        return executor->ExecuteWith(&package, m_install.string().c_str(), failures, &context);
    }

    TOwnedPtr<IFileCheckerManager> m_signedCheckers = Own(CreateFileCheckerManager());
    TAcquiredPtr<IFileChecker> m_signedChecker;
    std::map<std::string, vesktrust::CPublicKey> m_keys;
    vesktrust::CManifest m_manifest;
    int m_published = 0;
};

} // namespace

TEST_F(VerifyingPluginsTest, ExecutorPutsInPlaceOnlyWhatTheManifestSays)
{
    const CFakePackage good(m_server.Url("/files/"), CFakeFileDef("", "", 0),
                            {DefOf("big.bin", kBig), DefOf("sub/small.txt", kSmall)});
    vesktrust::CManifest otherProduct = m_manifest;
    otherProduct.product = "Other";
    vesktrust::CManifest otherVersion = m_manifest;
    otherVersion.version = "2.0.0.0";
    vesktrust::CManifest wrongDigest = m_manifest;
    wrongDigest.files[1].sha256 = vesktrust::Sha256Hex("hello?\n");
    vesktrust::CManifest shorter = m_manifest;
    shorter.files[0].length -= 1;
    vesktrust::CManifest patch = m_manifest;
    patch.kind = "patch";
    patch.version.clear();
    patch.patch = "P-1";
    patch.apply = {"1.0.0.0"};
    patch.result = "1.1.0.0";

    const struct
    {
        const char* what;
        const vesktrust::CManifest& manifest;
        const char* signer;
        std::map<std::string, std::string> settings; // changed from the defaults
        std::vector<CFakeFileDef> answer;            // empty: the good package
        const char* says;
    } refused[] = {
        {"signed by a key not trusted", m_manifest, "stranger", {}, {}, "does not verify"},
        {"no trusted key readable", m_manifest, "trusted", {{"trust", "not a key"}}, {}, "cannot be read"},
        {"for another product", otherProduct, "trusted", {}, {}, "is for version 1.0.0.0 of Other"},
        {"for another version", otherVersion, "trusted", {}, {}, "is for version 2.0.0.0 of Editor"},
        {"a patch's for a version", patch, "trusted", {}, {}, "is for patch P-1"},
        {"a patch not for the installed version",
         patch,
         "trusted",
         {{"expect.kind", "patch"}, {"expect.id", "P-1"}, {"expect.installed", "0.9.0.0"}},
         {},
         "does not apply to the installed version 0.9.0.0"},
        {"a file whose bytes differ", wrongDigest, "trusted", {}, {}, "does not match the signed manifest"},
        {"a file longer than the manifest says", shorter, "trusted", {}, {}, "bytes the signed manifest names"},
        {"an answer with a file more",
         m_manifest,
         "trusted",
         {},
         {DefOf("big.bin", kBig), DefOf("sub/small.txt", kSmall), DefOf("empty", "")},
         "adds empty"},
        {"an answer with a file less", m_manifest, "trusted", {}, {DefOf("big.bin", kBig)}, "lacks sub/small.txt"},
        {"an answer naming a file twice",
         m_manifest,
         "trusted",
         {},
         {DefOf("big.bin", kBig), DefOf("sub/small.txt", kSmall), DefOf("x", kSmall, "sub\\small.txt")},
         "names sub/small.txt twice"},
    };
    WriteFile(m_install / "big.bin", "old");
    const std::set<std::string> before = Entries(m_install);
    for (const auto& row : refused)
    {
        SCOPED_TRACE(row.what);
        CFakeContext context;
        Publish(row.manifest, row.signer, context);
        for (const auto& setting : row.settings)
            context.m_settings[setting.first] = setting.second;
        const CFakePackage package = row.answer.empty()
                                         ? good
                                         : CFakePackage(m_server.Url("/files/"), CFakeFileDef("", "", 0), row.answer);
        EXPECT_FALSE(Apply(package, context));
        ASSERT_FALSE(context.m_reports.empty());
        EXPECT_NE(context.m_reports.back().find(row.says), std::string::npos) << context.m_reports.back();
        // Nothing reached the directory, and nothing was left behind.
        EXPECT_EQ(Entries(m_install), before);
        EXPECT_EQ("old", ReadFile(m_install / "big.bin"));
    }

    // The genuine manifest: everything in place, the key named; the file
    // already intact is not fetched again.
    CFakeContext context;
    Publish(m_manifest, "trusted", context);
    ASSERT_TRUE(Apply(good, context)) << (context.m_reports.empty() ? "" : context.m_reports.back());
    EXPECT_EQ(context.m_reports.back(), "verified version 1.0.0.0 by key " + m_keys["trusted"].KeyIdText());
    EXPECT_EQ(kBig, ReadFile(m_install / "big.bin"));
    EXPECT_EQ(kSmall, ReadFile(m_install / "sub" / "small.txt"));
    fs::remove(m_install / "sub" / "small.txt");
    m_server.ClearTargets();
    ASSERT_TRUE(Apply(good, context));
    const std::vector<std::string> targets = m_server.Targets();
    EXPECT_EQ(std::count(targets.begin(), targets.end(), "/files/big.bin"), 0);
    EXPECT_EQ(std::count(targets.begin(), targets.end(), "/files/sub/small.txt"), 1);

    // The checker agrees, and names the file that changed since.
    auto* checker = static_cast<IContextFileChecker*>(m_signedChecker.get());
    CFakeFileDefList listed({DefOf("big.bin", kBig), DefOf("sub/small.txt", kSmall)});
    EXPECT_TRUE(checker->CheckFilesWith(&listed, m_install.string().c_str(), nullptr, &context));
    WriteFile(m_install / "sub" / "small.txt", "hellO\n");
    CFailures failures;
    EXPECT_FALSE(checker->CheckFilesWith(&listed, m_install.string().c_str(), &failures, &context));
    EXPECT_EQ(failures.m_names, std::set<std::string>{"sub/small.txt"});
}

TEST_F(VerifyingPluginsTest, WithoutTrustedKeysTheExecutorSaysSoAndTheCheckerRefuses)
{
    CFakeContext context;
    const CFakePackage package(m_server.Url("/files/"), DefOf("big.bin", kBig), {});
    EXPECT_TRUE(Apply(package, context));
    ASSERT_EQ(context.m_reports.size(), 1u);
    EXPECT_EQ(context.m_reports[0].rfind("not verified", 0), 0u);

    CFakeFileDefList listed({DefOf("big.bin", kBig)});
    auto* checker = static_cast<IContextFileChecker*>(m_signedChecker.get());
    EXPECT_FALSE(checker->CheckFilesWith(&listed, m_install.string().c_str(), nullptr, &context));
    EXPECT_FALSE(checker->CheckFilesWith(&listed, m_install.string().c_str(), nullptr, nullptr));
    EXPECT_FALSE(m_signedChecker->CheckFiles(&listed, m_install.string().c_str(), nullptr));
}
