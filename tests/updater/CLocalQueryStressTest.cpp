// Several threads work on one local state at once; afterwards (and in every
// snapshot taken meanwhile) the document must be well-formed and hold every
// added patch exactly once, each adder's patches in the order it added them.
#include "updater/CLocalQuery.h"

#include "json/jsonIO.h"
#include "model/CPatch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <thread>
#include <vector>

using kvrUpdate::CLocalQuery;

namespace
{

constexpr int kAdders = 2;
constexpr int kPatchesPerAdder = 150;

// Checks one "patchs" array: every patch is whole (its title matches its
// number), and each adder's patches come in order without gaps or repeats.
// Returns how many patches each adder has in it.
std::vector<int> CheckList(const Json::Value& patchs)
{
    std::vector<int> seen(kAdders, 0);
    for (const Json::Value& patch : patchs)
    {
        const std::string number = patch["patch_number"].asString();
        EXPECT_EQ(patch["title"].asString(), "title " + number);
        const int adder = number[0] - 'a';
        if (adder < 0 || adder >= kAdders)
        {
            ADD_FAILURE() << "unknown patch " << number;
            continue;
        }
        EXPECT_EQ(std::stoi(number.substr(1)), seen[adder]) << "out of order: " << number;
        ++seen[adder];
    }
    return seen;
}

} // namespace

TEST(CLocalQueryStressTest, ConcurrentReadsWritesAndAddsLoseNothing)
{
    CLocalQuery state;
    std::atomic<int> addersLeft{kAdders};
    std::vector<std::thread> threads;
    // What a host adds to make several calls one step. Adds hold `steps`
    // shared, so they still race each other and the readers on the state's
    // own lock; a reload holds it alone, so that no add falls between its
    // ToString and its FromString. `text` is held by whoever reads the text
    // ToString lends, which the next ToString of any thread rewrites.
    std::shared_mutex steps;
    std::mutex text;

    for (int adder = 0; adder < kAdders; ++adder)
    {
        threads.emplace_back([&, adder] {
            for (int i = 0; i < kPatchesPerAdder; ++i)
            {
                const std::string number = std::string(1, static_cast<char>('a' + adder)) + std::to_string(i);
                Json::Value value;
                value["patch_number"] = number;
                value["title"] = "title " + number;
                kvrUpdate::CPatch patch;
                jsonIO::ReadJson(value, patch);
                {
                    const std::shared_lock<std::shared_mutex> step(steps);
                    EXPECT_TRUE(state.AddInstalledPatch(&patch));
                    EXPECT_TRUE(state.AddDownloadedPatch(&patch));
                }
                std::this_thread::yield();
            }
            --addersLeft;
        });
    }

    // Whole documents, from ToString and from ToJson.
    threads.emplace_back([&] {
        for (int round = 0; addersLeft > 0; ++round)
        {
            Json::Value root;
            if (round % 2 == 0)
            {
                const std::lock_guard<std::mutex> reading(text);
                ASSERT_TRUE(jsonIO::ParseJson(root, state.ToString()));
            }
            else
            {
                state.ToJson(root);
            }
            ASSERT_TRUE(root.isObject() && root["version"].isObject());
            CheckList(root["installed_patchs"]["patchs"]);
            CheckList(root["downloaded_patchs"]["patchs"]);
            std::this_thread::yield();
        }
    });

    // Reloads the state from its own text; feeds it broken text; calls the
    // getters, checking what they return but not what it points to, which
    // others are changing.
    threads.emplace_back([&] {
        const kvrUpdate::IPatchList* installed = state.GetPatchList(0);
        while (addersLeft > 0)
        {
            {
                const std::lock_guard<std::shared_mutex> step(steps);
                const std::lock_guard<std::mutex> reading(text);
                EXPECT_TRUE(state.FromString(std::string(state.ToString()).c_str()));
            }
            EXPECT_FALSE(state.FromString("{\"installed_patchs\": {"));
            EXPECT_EQ(state.GetPatchList(0), installed);
            EXPECT_NE(state.GetVersion(), nullptr);
            EXPECT_NE(state.GetProductName(), nullptr);
            std::this_thread::yield();
        }
    });

    for (std::thread& thread : threads)
        thread.join();

    Json::Value root;
    ASSERT_TRUE(jsonIO::ParseJson(root, state.ToString()));
    for (const char* list : {"installed_patchs", "downloaded_patchs"})
    {
        EXPECT_EQ(root[list]["patchs"].size(), static_cast<unsigned>(kAdders * kPatchesPerAdder)) << list;
        EXPECT_EQ(CheckList(root[list]["patchs"]), std::vector<int>(kAdders, kPatchesPerAdder)) << list;
    }
    EXPECT_EQ(state.GetPatchList(0)->GetCount(), kAdders * kPatchesPerAdder);
}
