// version-center keygen: a key pair in minisign's formats, the secret one
// private to its owner, and never a file replaced.
#include "support/CScratchDir.h"
#include "support/ChildProcess.h"
#include "support/Files.h"

#include <Minisign.h>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::RunProgram;

namespace
{

TEST(KeygenCommandTest, MakesAKeyPairOnceAndNeverReplacesOne)
{
    testsupport::CScratchDir scratch("vesk-keygen");
    const std::string secret = (scratch / "s.key").string();
    const std::string pub = (scratch / "s.pub").string();
    const auto made = RunProgram(VERSION_CENTER_EXE, {"keygen", "--secret", secret, "--public", pub});
    ASSERT_EQ(made.status, 0) << made.output;
    vesktrust::CPublicKey key;
    std::string error;
    ASSERT_TRUE(vesktrust::LoadPublicKey(pub, key, error)) << error;
    EXPECT_NE(made.output.find("key " + key.KeyIdText()), std::string::npos) << made.output;
    struct stat info
    {
    };
    ASSERT_EQ(::stat(secret.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    const std::string secretText = ReadFile(secret);

    struct CRow
    {
        std::vector<std::string> args;
        int status;
        const char* leftBehind; // a file that must not exist after
    };
    const std::string other = (scratch / "other").string();
    const std::vector<CRow> rows = {
        {{"--secret", secret, "--public", other}, 1, "other"},
        {{"--secret", other, "--public", pub}, 1, "other"},
        {{"--secret", other}, 2, "other"},
        {{"--secret", other, "--public", other}, 2, "other"},
        {{"--secret", other, "--public", (scratch / "no/such/dir.pub").string()}, 1, "other"},
    };
    for (const CRow& row : rows)
    {
        std::vector<std::string> args = {"keygen"};
        args.insert(args.end(), row.args.begin(), row.args.end());
        const auto run = RunProgram(VERSION_CENTER_EXE, args);
        EXPECT_EQ(run.status, row.status) << run.output;
        EXPECT_NE(run.output.find("version-center: error: "), std::string::npos) << run.output;
        EXPECT_FALSE(fs::exists(scratch / row.leftBehind)) << run.output;
    }
    EXPECT_EQ(ReadFile(secret), secretText);
}

} // namespace
