#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

using platform::CCriticalSection;
using platform::CLockGuard;

TEST(CCriticalSectionTest, OwnerMayEnterAgainAndOthersWaitForTheLastLeave)
{
    CCriticalSection section;
    section.Enter();
    section.Enter();
    section.Leave();

    // Still held once: another thread must wait until the outer Leave.
    std::atomic<bool> entered{false};
    std::thread other([&] {
        CLockGuard guard(section);
        entered = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(entered);
    section.Leave();
    other.join();
    EXPECT_TRUE(entered);
}

TEST(CCriticalSectionTest, SerialisesUpdatesFromManyThreads)
{
    CCriticalSection section;
    long counter = 0; // deliberately not atomic: only the lock protects it
    constexpr int kThreads = 4;
    constexpr int kRounds = 20000;

    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
    {
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i)
            {
                CLockGuard outer(section);
                CLockGuard inner(section); // the owner enters again
                const long seen = counter;
                counter = seen + 1;
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(counter, static_cast<long>(kThreads) * kRounds);
}

TEST(CCriticalSectionTest, GuardLeavesWhenAnExceptionUnwinds)
{
    CCriticalSection section;
    try
    {
        CLockGuard guard(section);
        throw std::runtime_error("unwind");
    }
    catch (const std::runtime_error&)
    {
    }

    // Another thread gets in. Should the guard have kept the section, this
    // thread leaves it after ten seconds so that the test fails, not hangs.
    std::atomic<bool> entered{false};
    std::thread other([&] {
        CLockGuard guard(section);
        entered = true;
    });
    for (int i = 0; i < 1000 && !entered; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(entered);
    if (!entered)
        section.Leave();
    other.join();
}
