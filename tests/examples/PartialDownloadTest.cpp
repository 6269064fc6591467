// The files an interrupted download leaves for the next run to continue:
// found again by their key, and never opened through a link or a second
// name of another file.
#include "CInstallDir.h"

#include "support/CScratchDir.h"
#include "support/Files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

using namespace testsupport;
namespace fs = std::filesystem;

namespace
{

const char kKey[] = "0123456789abcdef";
const char kPartial[] = "sub/.vesk-0123456789abcdef.partial";

TEST(PartialDownloadTest, FoundAgainByKeyAndRefusedWhenPlanted)
{
    struct CCase
    {
        const char* name;
        std::function<bool(const fs::path& dir)> plant; // false: the system cannot make it
        std::string key;
        bool opens;
        long long kept;
    };
    const std::vector<CCase> cases = {
        {"none yet: made empty", [](const fs::path&) { return true; }, kKey, true, 0},
        {"left by a run before",
         [](const fs::path& dir) {
             WriteFile(dir / kPartial, "abc");
             return true;
         },
         kKey, true, 3},
        {"a key that is not hex", [](const fs::path&) { return true; }, "../../x", false, 0},
        {"a key in upper case", [](const fs::path&) { return true; }, "ABC", false, 0},
        {"no key", [](const fs::path&) { return true; }, "", false, 0},
        {"a link planted at its name",
         [](const fs::path& dir) {
             std::error_code error;
             fs::create_symlink(dir / "outside", dir / kPartial, error);
             return !error;
         },
         kKey, false, 0},
        {"a second name of another file",
         [](const fs::path& dir) {
             std::error_code error;
             fs::create_hard_link(dir / "outside", dir / kPartial, error);
             return !error;
         },
         kKey, false, 0},
        {"a folder at its name",
         [](const fs::path& dir) {
             fs::create_directories(dir / kPartial);
             return true;
         },
         kKey, false, 0},
    };
    for (const CCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        CScratchDir scratch("vesk-partial");
        const fs::path install = scratch / "install";
        fs::create_directories(install / "sub");
        WriteFile(scratch / "outside", "not to be touched");
        WriteFile(install / "outside", "not to be touched");
        if (!c.plant(install))
        {
            std::printf("skipped: %s (this system cannot make it)\n", c.name);
            continue;
        }
        CInstallDir dir;
        std::string error;
        ASSERT_TRUE(dir.Open(install.string(), error)) << error;
        std::string partial;
        long long kept = -1;
        std::FILE* file = dir.OpenPartial("sub/file.bin", c.key, partial, kept, error);
        EXPECT_EQ(file != nullptr, c.opens) << error;
        if (file != nullptr)
        {
            EXPECT_EQ(partial, kPartial);
            EXPECT_EQ(kept, c.kept);
            // It continues where it ended, and is committed like a new file.
            ASSERT_EQ(std::fseek(file, 0, SEEK_END), 0);
            EXPECT_GE(std::fputs("def", file), 0);
            EXPECT_EQ(std::fclose(file), 0);
            ASSERT_TRUE(dir.Rename(partial, "sub/file.bin", error)) << error;
            EXPECT_EQ(ReadFile(install / "sub/file.bin"), (c.kept > 0 ? "abc" : "") + std::string("def"));
        }
        else
        {
            EXPECT_FALSE(error.empty());
        }
        EXPECT_EQ(ReadFile(scratch / "outside"), "not to be touched");
        EXPECT_EQ(ReadFile(install / "outside"), "not to be touched");
    }
}

} // namespace
