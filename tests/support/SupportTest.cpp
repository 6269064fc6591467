// The test support itself, where it could fail the tests that lean on it: a
// server stopped as soon as it started, child processes' output and status,
// scratch directories that must not clash or stay behind.
#include "support/CScratchDir.h"
#include "support/CTestHttpServer.h"
#include "support/ChildProcess.h"
#include "support/Files.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace fs = std::filesystem;
using namespace testsupport;

namespace
{

const std::string kChild = VESK_SUPPORT_TEST_CHILD;

// How a program's text output ends its lines in a file.
#if defined(_WIN32)
const std::string kFileNewline = "\r\n";
#else
const std::string kFileNewline = "\n";
#endif

// A stop issued before the accept loop runs is lost by httplib: Stop() must
// still end the server (a hang here ends in the test's time-out).
TEST(CTestHttpServerTest, StopsRightAfterStartAndOnlyOnce)
{
    for (int i = 0; i < 50; ++i)
    {
        CTestHttpServer server;
        server.Start();
        server.Stop();
        server.Stop();
    }
    CTestHttpServer started;
    started.Start();
    EXPECT_THROW(started.Start(), std::logic_error);
    CTestHttpServer neverStarted;
}

TEST(ChildProcessTest, RunProgramCollectsBothStreamsAndTheStatus)
{
    const CRunResult result = RunProgram(kChild, {"out:one", "err:two", "out:three", "exit:3", "out:never"});
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(result.output, "one\ntwo\nthree\n");
    EXPECT_EQ(RunProgram(kChild, {}).status, 0);
    EXPECT_THROW(RunProgram(kChild + "-missing", {}), std::runtime_error);
}

TEST(ChildProcessTest, BackgroundProgramIsReadLineByLineAndStopped)
{
    CScratchDir scratch;
    const std::string errors = (scratch / "errors.txt").string();
    {
        CBackgroundProgram child(kChild, {"out:ready", "err:logged", "wait", "out:stopped"}, errors);
        std::string line;
        ASSERT_TRUE(child.ReadLine(line, 30));
        EXPECT_EQ(line, "ready");
        EXPECT_FALSE(child.ReadLine(line, 1)); // nothing more until it is stopped
        EXPECT_EQ(child.Stop(), 0);
        EXPECT_EQ(child.Stop(), 0);
        ASSERT_TRUE(child.ReadLine(line, 30)); // written on its way out
        EXPECT_EQ(line, "stopped");
        EXPECT_FALSE(child.ReadLine(line, 30)); // the output ended
    }
    EXPECT_EQ(ReadFile(errors), "logged" + kFileNewline);

    // One that ends by itself; its standard error goes nowhere.
    CBackgroundProgram ending(kChild, {"err:lost", "out:last", "exit:5"});
    EXPECT_EQ(ending.Wait(), 5);
    EXPECT_EQ(ending.Stop(), 5);
    std::string line;
    ASSERT_TRUE(ending.ReadLine(line, 30));
    EXPECT_EQ(line, "last");
}

TEST(CScratchDirTest, EachIsNewAndLeavesNothingBehind)
{
    fs::path first;
    fs::path second;
    {
        CScratchDir a;
        CScratchDir b;
        first = a.Path();
        second = b.Path();
        EXPECT_NE(first, second);
        EXPECT_TRUE(fs::is_directory(first));
        EXPECT_TRUE(fs::is_empty(first));
        WriteFile(a / "sub" / "file.bin", std::string("x\0y\r\n", 5));
        EXPECT_EQ(ReadFile(a / "sub" / "file.bin"), std::string("x\0y\r\n", 5));
    }
    EXPECT_FALSE(fs::exists(first));
    EXPECT_FALSE(fs::exists(second));
}

} // namespace
