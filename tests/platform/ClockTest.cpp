#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <thread>

TEST(ClockTest, TickCountAdvancesWithTimeAndNeverGoesBack)
{
    const std::uint32_t start = platform::TickCount();
    std::uint32_t previous = start;
    for (int i = 0; i < 1000; ++i)
    {
        const std::uint32_t now = platform::TickCount();
        // Unsigned differences, so the test holds across a wrap-around too.
        EXPECT_LT(static_cast<std::uint32_t>(now - previous), 1000u);
        previous = now;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    // Whole milliseconds are counted, so up to one may be lost at either end.
    // The Windows count moves in steps of 16 to 20 ms, and one may be lost.
#if defined(_WIN32)
    constexpr std::uint32_t kStep = 20;
#else
    constexpr std::uint32_t kStep = 1;
#endif
    EXPECT_GE(static_cast<std::uint32_t>(platform::TickCount() - start), 60u - kStep);
}

TEST(ClockTest, ConsoleAttributeReadsBackTheLastValueSet)
{
    EXPECT_EQ(platform::GetConsoleTextAttribute(), 0u);
    for (std::uint16_t attribute : {std::uint16_t{137}, std::uint16_t{138}, std::uint16_t{0xFFFF}, std::uint16_t{0}})
    {
        platform::SetConsoleTextAttribute(attribute);
        EXPECT_EQ(platform::GetConsoleTextAttribute(), attribute);
    }
}
