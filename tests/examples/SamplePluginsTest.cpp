// The sample plug-ins, loaded through the module managers: the "download"
// executor against a local HTTP server, and the "md5" file checker. The
// records they read are small doubles of the public interfaces.
#include <VeskUpdate.h>

#include "PluginDoubles.h"

#include "support/CScratchDir.h"
#include "support/CTestHttpServer.h"
#include "support/Files.h"
#include "support/Owners.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
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

class SamplePluginsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ServeFiles(m_server.Server(), {{"big.bin", kBig}, {"sub/small.txt", kSmall}, {"empty", ""}});
        m_server.Start();
        ASSERT_NE(nullptr, m_executors);
        ASSERT_NE(nullptr, m_checkers);
        ASSERT_EQ(0, m_executors->RegisterModule(VESK_DOWNLOAD_EXECUTOR, "CreateUpdateExecutor"));
        ASSERT_EQ(0, m_checkers->RegisterModule(VESK_MD5_CHECKER, "CreateFileChecker"));
        m_executor = Acquire(m_executors.get(), "download");
        m_checker = Acquire(m_checkers.get(), "md5");
        ASSERT_NE(nullptr, m_executor);
        ASSERT_NE(nullptr, m_checker);
        m_install = m_temp / "install";
        fs::create_directories(m_install);
    }

    // Requests the server has had so far.
    std::size_t Requests() const { return m_server.Targets().size(); }

    // The objects are given back before their managers end.
    TOwnedPtr<IExecutorManager> m_executors = Own(CreateExecutorManager());
    TOwnedPtr<IFileCheckerManager> m_checkers = Own(CreateFileCheckerManager());
    TAcquiredPtr<IUpdateExecutor> m_executor;
    TAcquiredPtr<IFileChecker> m_checker;
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

        CFakePackage package(m_server.Url("/files"), DefOf("big.bin", kBig),
                             {c.file, DefOf("/sub/small.txt", kSmall, "sub/small.txt")});
        CFailures failures;
        EXPECT_FALSE(m_executor->Execute(&package, m_install.string().c_str(), &failures));
        EXPECT_EQ(std::set<std::string>{name}, failures.m_names);
        // The other files were still put in place.
        EXPECT_EQ(kBig, ReadFile(m_install / "big.bin"));
        EXPECT_EQ(kSmall, ReadFile(m_install / "sub" / "small.txt"));
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
        // Nothing was written for it, and the other file was put in place.
        EXPECT_EQ(std::set<std::string>{"big.bin"}, Entries(m_install));
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
