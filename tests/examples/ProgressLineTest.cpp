// The host's progress line: its text, nothing at all when the output is not
// a terminal, and a line written over in place when it is.
#include "ProgressLine.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#if !defined(_WIN32)
#  include <fcntl.h>
#  include <poll.h>
#  include <stdlib.h>
#  include <unistd.h>
#endif

namespace
{

TEST(ProgressLineTest, TextSaysBytesAndFilesOfTheTotals)
{
    const struct
    {
        long long bytesDone, bytesTotal;
        int filesDone, filesTotal;
        const char* text;
    } cases[] = {
        {12345678, 24000000, 1520, 3000, "12.3 of 24.0 MB (51%), 1520 of 3000 files"},
        {0, 0, 0, 1, "0.0 of 0.0 MB, 0 of 1 file"},
        {500000, -1, 3, -1, "0.5 MB, 3 files"},
        {24000000, 24000000, 3000, 3000, "24.0 of 24.0 MB (100%), 3000 of 3000 files"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ProgressText(c.bytesDone, c.bytesTotal, c.filesDone, c.filesTotal), c.text);
}

TEST(ProgressLineTest, NothingWhenTheOutputIsNoTerminal)
{
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    {
        CProgressLine line(file);
        line.Update(1, 2, 0, 1);
        line.Update(2, 2, 1, 1);
    }
    EXPECT_EQ(std::ftell(file), 0L);
    std::fclose(file);
}

#if !defined(_WIN32)
TEST(ProgressLineTest, OneLineWrittenOverOnATerminal)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    std::FILE* terminal = std::fopen(ptsname(master), "w");
    ASSERT_NE(terminal, nullptr);
    {
        CProgressLine line(terminal);
        line.Update(1000000, 2000000, 1, 2);
        line.Update(2000000, 2000000, 2, 2); // the last file: shown at once
    }
    std::fclose(terminal);
    std::string seen;
    char buffer[512];
    pollfd wait{master, POLLIN, 0};
    while (::poll(&wait, 1, 200) > 0)
    {
        const ssize_t got = ::read(master, buffer, sizeof buffer);
        if (got <= 0)
            break;
        seen.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(master);
    // The terminal turns "\n" into "\r\n".
    EXPECT_EQ(seen, "\r1.0 of 2.0 MB (50%), 1 of 2 files\r2.0 of 2.0 MB (100%), 2 of 2 files\r\n");
}
#endif

} // namespace
