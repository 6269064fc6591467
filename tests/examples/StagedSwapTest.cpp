// The staged, journaled swap: stopped after every one of its changes and
// then recovered, the directory holds exactly the old or exactly the new
// files; a hostile staging area or journal changes nothing.
#include "CStagedSwap.h"

#include "support/CScratchDir.h"
#include "support/Files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::WriteFile;

namespace
{

using CTree = std::map<std::string, std::string>;

// Every file below `root`, with its bytes; a link as "link" (never followed).
CTree Snapshot(const fs::path& root, bool withStaging = true)
{
    CTree tree;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it)
    {
        const std::string name = fs::relative(it->path(), root).generic_string();
        if (!withStaging && name.rfind(CStagedSwap::kFolder, 0) == 0)
            continue;
        if (it->is_symlink())
            tree[name] = "link";
        else if (it->is_regular_file())
            tree[name] = ReadFile(it->path());
        else if (fs::is_empty(it->path()))
            tree[name + "/"] = "empty folder";
    }
    return tree;
}

void Write(const fs::path& root, const CTree& tree)
{
    for (const auto& file : tree)
        WriteFile(root / file.first, file.second);
}

// The old version has "gone/x.dat", which the new one removes and puts a
// file "gone" in place of its folder.
const CTree kOld = {{"a.txt", "old a"}, {"bin/tool", "old tool"}, {"gone/x.dat", "old x"}, {"keep", "same"}};
const CTree kNew = {
    {"a.txt", "new a"}, {"bin/tool", "new tool"}, {"bin/new", "added"}, {"gone", "a file now"}, {"keep", "same"}};
const std::vector<std::string> kRemoved = {"gone/x.dat"};

// Stages the files the new version changes or adds, as a download would.
std::vector<CSwapFile> Stage(const CStagedSwap& swap)
{
    std::vector<CSwapFile> files;
    int key = 10;
    for (const auto& file : kNew)
    {
        if (kOld.count(file.first) != 0 && kOld.at(file.first) == file.second)
            continue;
        CSwapFile staged;
        staged.name = file.first;
        long long kept = 0;
        std::string error;
        std::FILE* out = swap.OpenStaged(std::to_string(++key), staged.staged, kept, error);
        EXPECT_NE(out, nullptr) << error;
        if (out == nullptr)
            return files;
        std::fwrite(file.second.data(), 1, file.second.size(), out);
        std::fclose(out);
        files.push_back(staged);
    }
    return files;
}

TEST(StagedSwapTest, ACrashAtAnyStepLeavesExactlyOneVersion)
{
    bool sawOld = false;
    bool sawNew = false;
    for (int stop = 0;; ++stop)
    {
        SCOPED_TRACE("stopped after " + std::to_string(stop) + " changes");
        testsupport::CScratchDir dir("vesk-swap");
        Write(dir.Path(), kOld);
        CInstallDir install;
        std::string error;
        ASSERT_TRUE(install.Open(dir.Path().string(), error)) << error;
        CStagedSwap swap(install);
        const std::vector<CSwapFile> files = Stage(swap);
        swap.StopAfter(stop);
        std::string stopped;
        const bool whole = swap.Apply(files, kRemoved, stopped);

        // The next run, which may itself be cut short once.
        CStagedSwap cut(install);
        bool finished = false;
        cut.StopAfter(stop % 5);
        cut.Recover(finished, error);
        CStagedSwap next(install);
        ASSERT_TRUE(next.Recover(finished, error)) << error;
        const CTree after = Snapshot(dir.Path());
        if (after == kNew)
        {
            sawNew = true;
        }
        else
        {
            // Not a step of the swap itself has run: the old version, with
            // the staged downloads kept, which the next apply uses.
            ASSERT_FALSE(sawNew) << "the old version came back after the new one was seen";
            ASSERT_EQ(Snapshot(dir.Path(), false), kOld);
            ASSERT_FALSE(finished);
            sawOld = true;
            ASSERT_TRUE(next.Apply(files, kRemoved, error)) << error;
            ASSERT_EQ(Snapshot(dir.Path()), kNew);
        }
        if (whole)
            break;
        ASSERT_EQ(stopped, "stopped");
        ASSERT_LT(stop, 100);
    }
    EXPECT_TRUE(sawOld);
    EXPECT_TRUE(sawNew);
}

// A hostile staging area: each row plants something, then the next run's
// recovery must refuse it and leave the directory and its surroundings as
// they were.
TEST(StagedSwapTest, AHostileStagingAreaIsRefusedAndNothingIsTouched)
{
    const std::string area = CStagedSwap::kFolder;
    const std::string staged = CStagedSwap::StagedName("abc");
    struct CCase
    {
        const char* what;
        std::function<void(const fs::path& install, const fs::path& outside)> plant;
        bool links = false;
    };
    const auto journal = [&](const fs::path& install, const std::string& lines) {
        WriteFile(install / staged, "hostile bytes");
        WriteFile(install / area / "journal", "vesk-swap-journal 1\n" + lines + "end\n");
    };
    const std::vector<CCase> cases = {
        {"the staging area is a link",
         [&](const fs::path& install, const fs::path& outside) {
             WriteFile(outside / ".vesk-staging" / "journal",
                       "vesk-swap-journal 1\nremove\ta.txt\t" + area + "/backup/0\nend\n");
             fs::create_directory_symlink(outside / ".vesk-staging", install / area);
         },
         true},
        {"the journal is a link",
         [&](const fs::path& install, const fs::path& outside) {
             WriteFile(outside / "journal", "vesk-swap-journal 1\nremove\ta.txt\t" + area + "/backup/0\nend\n");
             fs::create_directories(install / area);
             fs::create_symlink(outside / "journal", install / area / "journal");
         },
         true},
        {"a target climbs out",
         [&](const fs::path& install, const fs::path&) {
             journal(install, "put\t" + staged + "\t../outside/victim\t" + area + "/backup/0\n");
         }},
        {"an absolute target",
         [&](const fs::path& install, const fs::path& outside) {
             journal(install,
                     "put\t" + staged + "\t" + (outside / "victim").generic_string() + "\t" + area + "/backup/0\n");
         }},
        {"a removal of a file outside",
         [&](const fs::path& install, const fs::path&) {
             journal(install, "remove\t../outside/victim\t" + area + "/backup/0\n");
         }},
        {"a backup outside the staging area",
         [&](const fs::path& install, const fs::path&) { journal(install, "remove\ta.txt\t../outside/backup\n"); }},
        {"a staged file outside the staging area",
         [&](const fs::path& install, const fs::path&) {
             journal(install, "put\tkeep\ta.txt\t" + area + "/backup/0\n");
         }},
        {"a target in the staging area",
         [&](const fs::path& install, const fs::path&) {
             journal(install, "put\t" + staged + "\t" + area + "/journal\t" + area + "/backup/0\n");
         }},
        {"a good line, then one cut short",
         [&](const fs::path& install, const fs::path&) {
             WriteFile(install / staged, "hostile bytes");
             WriteFile(install / area / "journal",
                       "vesk-swap-journal 1\nput\t" + staged + "\ta.txt\t" + area + "/backup/0\nremove\tkeep");
         }},
    };
    const testsupport::CScratchDir probe("vesk-swap-probe");
    const bool links = testsupport::CanLink(probe.Path());
    for (const CCase& row : cases)
    {
        SCOPED_TRACE(row.what);
        if (row.links && !links)
        {
            std::printf("not run here, this system makes no symbolic links: %s\n", row.what);
            continue;
        }
        testsupport::CScratchDir dir("vesk-swap-hostile");
        const fs::path install = dir / "install";
        const fs::path outside = dir / "outside";
        Write(install, kOld);
        WriteFile(outside / "victim", "outside bytes");
        row.plant(install, outside);
        const CTree before = Snapshot(dir.Path());

        CInstallDir opened;
        std::string error;
        ASSERT_TRUE(opened.Open(install.string(), error)) << error;
        CStagedSwap swap(opened);
        bool finished = false;
        EXPECT_FALSE(swap.Recover(finished, error));
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(Snapshot(dir.Path()), before);
    }
}

// Names a package may not swap in or remove: they are refused before any
// journal exists.
TEST(StagedSwapTest, NamesOutsideTheDirectoryOrInTheStagingAreaAreRefused)
{
    struct CCase
    {
        std::string put;
        std::string removed;
    };
    const std::vector<CCase> cases = {
        {".vesk-staging/journal", ""},
        {".VESK-Staging/x", ""},
        {"../x", ""},
        {"a.txt", "a.txt"},
        {"a.txt", "../outside/victim"},
        {"a.txt", "/etc/passwd"},
        {"a.txt", ".vesk-staging"},
    };
    for (const CCase& row : cases)
    {
        SCOPED_TRACE(row.put + " / " + row.removed);
        testsupport::CScratchDir dir("vesk-swap-names");
        Write(dir.Path(), kOld);
        CInstallDir install;
        std::string error;
        ASSERT_TRUE(install.Open(dir.Path().string(), error)) << error;
        CStagedSwap swap(install);
        CSwapFile file;
        file.name = row.put;
        long long kept = 0;
        std::FILE* out = swap.OpenStaged("1", file.staged, kept, error);
        ASSERT_NE(out, nullptr) << error;
        std::fclose(out);
        const CTree before = Snapshot(dir.Path());
        std::vector<std::string> removed;
        if (!row.removed.empty())
            removed.push_back(row.removed);
        EXPECT_FALSE(swap.Apply({file}, removed, error));
        EXPECT_EQ(Snapshot(dir.Path()), before);
    }
}

} // namespace
