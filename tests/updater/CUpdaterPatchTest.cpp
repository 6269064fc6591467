// Recording downloaded and installed patches.
#include "updater/UpdaterTestUtil.h"

#include <atomic>
#include <thread>

using namespace kvrUpdate;
using namespace updatertest;

namespace
{

UpdaterPtr UpdaterAt(const std::string& version)
{
    UpdaterPtr updater = NewUpdater();
    EXPECT_TRUE(updater->FromString(Document("Editor", "http://a/", version).c_str()));
    return updater;
}

std::string LocalVersion(IUpdater& updater)
{
    return updater.GetLocalQuery()->GetVersion()->ToString();
}

} // namespace

// The three-way decision on the result version, with the parts compared as
// numbers.
TEST(CUpdaterPatchTest, InstalledDecidesOnTheResultVersion)
{
    struct
    {
        const char* local;
        const char* result;
        const char* versionAfter;
        int installedAfter;
    } const cases[] = {
        {"1.0.0.0", "1.0.0.1", "1.0.0.1", 0}, // newer: move up, list unchanged
        {"1.0", "2", "2.0.0.0", 0},
        {"0.0.0.9", "0.0.0.10", "0.0.0.10", 0}, // 10 > 9 as numbers
        {"1.2.3.4", "1.2.3.4", "1.2.3.4", 1},   // equal: listed
        {"2.0.0.0", "1.9.9.9", "2.0.0.0", 0},   // older: nothing
        {"0.0.0.10", "0.0.0.9", "0.0.0.10", 0},
        {"4294967295.0.0.0", "1.0.0.0", "4294967295.0.0.0", 0}, // unsigned parts
    };
    for (const auto& c : cases)
    {
        UpdaterPtr updater = UpdaterAt(c.local);
        CPatch patch = MakePatch("P", c.result);
        updater->SetPatchInstalled(&patch);
        EXPECT_EQ(LocalVersion(*updater), c.versionAfter) << c.local << " / " << c.result;
        EXPECT_EQ(updater->GetLocalQuery()->GetPatchList(0)->GetCount(), c.installedAfter)
            << c.local << " / " << c.result;
        EXPECT_EQ(updater->GetLocalQuery()->GetPatchList(1)->GetCount(), 0);
    }
}

TEST(CUpdaterPatchTest, SamePatchInstalledAgainIsListedEachTime)
{
    UpdaterPtr updater = UpdaterAt("1.0.0.0");
    CPatch patch = MakePatch("P101", "1.0.0.1");
    updater->SetPatchInstalled(&patch);
    EXPECT_EQ(LocalVersion(*updater), "1.0.0.1");
    EXPECT_EQ(Numbers(updater->GetLocalQuery()->GetPatchList(0)), "");
    updater->SetPatchInstalled(&patch);
    EXPECT_EQ(Numbers(updater->GetLocalQuery()->GetPatchList(0)), "P101");
    updater->SetPatchInstalled(&patch);
    EXPECT_EQ(Numbers(updater->GetLocalQuery()->GetPatchList(0)), "P101,P101");
    EXPECT_EQ(LocalVersion(*updater), "1.0.0.1");
}

TEST(CUpdaterPatchTest, DownloadedListsEveryCallAndLeavesTheRestAlone)
{
    UpdaterPtr updater = UpdaterAt("1.0");
    CPatch patch = MakePatch("P1", "1.1");
    updater->SetPatchDownloaded(&patch);
    updater->SetPatchDownloaded(&patch);
    EXPECT_EQ(Numbers(updater->GetLocalQuery()->GetPatchList(1)), "P1,P1");
    EXPECT_EQ(updater->GetLocalQuery()->GetPatchList(0)->GetCount(), 0);
    EXPECT_EQ(LocalVersion(*updater), "1.0.0.0");
}

// The lists hold copies with every field; the caller's patch may go away.
TEST(CUpdaterPatchTest, RecordedPatchesAreCompleteCopies)
{
    UpdaterPtr updater = UpdaterAt("1.1");
    IPatch* patch = MakePatch("P7", "1.1", "1.0").Clone();
    updater->SetPatchDownloaded(patch);
    updater->SetPatchInstalled(patch);
    patch->Release();

    for (int which = 0; which < 2; ++which)
    {
        const IPatch* kept = updater->GetLocalQuery()->GetPatchList(which)->GetAt(0);
        ASSERT_NE(kept, nullptr);
        EXPECT_STREQ(kept->GetPatchNumber(), "P7");
        EXPECT_STREQ(kept->GetTitle(), "Patch P7");
        EXPECT_STREQ(kept->GetResultVersion()->ToString(), "1.1.0.0");
        ASSERT_EQ(kept->GetApplyVersions()->GetCount(), 1);
        EXPECT_STREQ(kept->GetApplyVersions()->GetAt(0)->ToString(), "1.0.0.0");
        EXPECT_EQ(kept->GetPatchType(), 1);
        EXPECT_EQ(kept->GetPatchForce(), 3);
    }
}

// A host may hand back a patch the local state lends it; the list it comes
// from grows while the patch is copied.
TEST(CUpdaterPatchTest, PatchLentByTheLocalStateItself)
{
    UpdaterPtr updater = UpdaterAt("1.1");
    CPatch patch = MakePatch("P1", "1.1");
    updater->SetPatchInstalled(&patch);
    updater->SetPatchDownloaded(&patch);
    for (int i = 0; i < 20; ++i)
    {
        const IPatchList* installed = updater->GetLocalQuery()->GetPatchList(0);
        updater->SetPatchInstalled(installed->GetAt(installed->GetCount() - 1));
        const IPatchList* downloaded = updater->GetLocalQuery()->GetPatchList(1);
        updater->SetPatchDownloaded(downloaded->GetAt(0));
    }
    EXPECT_EQ(updater->GetLocalQuery()->GetPatchList(0)->GetCount(), 21);
    EXPECT_EQ(updater->GetLocalQuery()->GetPatchList(1)->GetCount(), 21);
    EXPECT_STREQ(updater->GetLocalQuery()->GetPatchList(0)->GetAt(20)->GetPatchNumber(), "P1");

    // A patch from the downloaded list moving the version up.
    CPatch next = MakePatch("P2", "1.2");
    updater->SetPatchDownloaded(&next);
    const IPatchList* downloaded = updater->GetLocalQuery()->GetPatchList(1);
    updater->SetPatchInstalled(downloaded->GetAt(downloaded->GetCount() - 1));
    EXPECT_EQ(LocalVersion(*updater), "1.2.0.0");
}

TEST(CUpdaterPatchTest, NullPatchIsIgnored)
{
    UpdaterPtr updater = UpdaterAt("1.0");
    const std::string before = updater->ToString();
    updater->SetPatchInstalled(nullptr);
    updater->SetPatchDownloaded(nullptr);
    EXPECT_EQ(updater->ToString(), before);
}

// The local state's readers on another thread never see the decision half
// made: a version read while patches are installed is always one of the
// versions the patches lead to.
TEST(CUpdaterPatchTest, InstallingWhileAnotherThreadReadsTheLocalState)
{
    UpdaterPtr updater = UpdaterAt("1.0");
    ILocalQuery* local = updater->GetLocalQuery();
    std::atomic<bool> done{false};
    std::atomic<int> torn{0};
    std::thread reader([&] {
        while (!done)
        {
            Json::Value root = Parse(local->ToString());
            const std::string v = root["version"]["v"].asString();
            if (v.compare(0, 2, "1.") != 0 || v.size() < 7)
                ++torn;
        }
    });
    for (int i = 1; i <= 300; ++i)
    {
        CPatch patch = MakePatch("P", "1." + std::to_string(i));
        updater->SetPatchInstalled(&patch);
        CPatch again = MakePatch("Q", "1." + std::to_string(i));
        updater->SetPatchInstalled(&again);
    }
    done = true;
    reader.join();
    EXPECT_EQ(torn, 0);
    EXPECT_EQ(LocalVersion(*updater), "1.300.0.0");
    EXPECT_EQ(local->GetPatchList(0)->GetCount(), 300);
}
