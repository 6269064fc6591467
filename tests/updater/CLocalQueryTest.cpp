#include "updater/CLocalQuery.h"

#include "json/jsonIO.h"
#include "model/CPatch.h"

#include "support/Owners.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

using kvrUpdate::CLocalQuery;
using kvrUpdate::CPatch;
using testsupport::Own;
using testsupport::TOwnedPtr;

namespace
{

CPatch MakePatch(const std::string& number, const char* result = "1.0.0.1")
{
    Json::Value value;
    jsonIO::ParseJson(value, (R"({"title": "Fix )" + number + R"(", "comment": "c\u00e9", "patch_number": ")" + number +
                              R"(", "apply_version": {"versions": [{"v": "1.0"}, {"v": "1.0.0.1"}]},
        "result_version": {"v": ")" +
                              result + R"("}, "dependon": "P0", "patch_type": "bug", "patch_force": "must"})")
                                 .c_str());
    CPatch patch;
    jsonIO::ReadJson(value, patch);
    return patch;
}

// A state with a name holding an ANSI byte (not UTF-8), a version and both lists.
void Fill(CLocalQuery& state)
{
    ASSERT_TRUE(state.FromString("{\"product_ame\": \"Caf\xE9\", \"version\": {\"v\": \"2.3.0.7\"}}"));
    const CPatch first = MakePatch("P1"), second = MakePatch("P2", "2.3.0.7"),
                 third = MakePatch("P3", "4294967295.0.0.1");
    state.AddInstalledPatch(&first);
    state.AddInstalledPatch(&second);
    state.AddDownloadedPatch(&third);
}

} // namespace

TEST(CLocalQueryTest, FreshStateWritesDefaultsAndReadsThemBack)
{
    const TOwnedPtr<kvrUpdate::ILocalQuery> state = Own(kvrUpdate::CreateLocalQuery());
    TOwnedPtr<kvrUpdate::ILocalQuery> other = Own(kvrUpdate::CreateLocalQuery());
    ASSERT_NE(state, nullptr);
    EXPECT_NE(state, other);
    other.reset();

    const std::string text = state->ToString();
    Json::Value root;
    ASSERT_TRUE(jsonIO::ParseJson(root, text.c_str()));
    EXPECT_EQ(root.size(), 4u);
    EXPECT_EQ(root["product_ame"], Json::Value(""));
    EXPECT_EQ(root["version"]["v"], Json::Value("0.0.0.0"));
    EXPECT_TRUE(root["installed_patchs"].isObject() && root["installed_patchs"]["patchs"].isNull());
    EXPECT_TRUE(root["downloaded_patchs"].isObject() && root["downloaded_patchs"]["patchs"].isNull());
    EXPECT_TRUE(state->FromString(text.c_str()));
    EXPECT_EQ(state->ToString(), text);
}

TEST(CLocalQueryTest, StoredDocumentLoadsIntoAnotherStateWithoutLoss)
{
    CLocalQuery state;
    Fill(state);
    const std::string text = state.ToString();

    const TOwnedPtr<kvrUpdate::ILocalQuery> loaded = Own(kvrUpdate::CreateLocalQuery());
    ASSERT_TRUE(loaded->FromString(text.c_str()));
    EXPECT_EQ(loaded->ToString(), text);
    EXPECT_STREQ(loaded->GetProductName(), "Caf\xE9");
    EXPECT_STREQ(loaded->GetVersion()->ToString(), "2.3.0.7");
    ASSERT_EQ(loaded->GetPatchList(0)->GetCount(), 2);
    const kvrUpdate::IPatch* second = loaded->GetPatchList(0)->GetAt(1);
    EXPECT_STREQ(second->GetTitle(), "Fix P2");
    EXPECT_EQ(second->GetApplyVersions()->GetCount(), 2);
    EXPECT_EQ(second->GetPatchForce(), 3);
    ASSERT_EQ(loaded->GetPatchList(1)->GetCount(), 1);
    EXPECT_STREQ(loaded->GetPatchList(1)->GetAt(0)->GetResultVersion()->ToString(), "4294967295.0.0.1");
}

TEST(CLocalQueryTest, TextThatIsNotADocumentChangesNothing)
{
    CLocalQuery state;
    Fill(state);
    const std::string before = state.ToString();
    const std::string deep(1200, '[');
    // Each of these either fails to parse (some after filling part of a
    // value), makes the parser throw, or has a root that is no object.
    for (const char* text :
         {"", "   ", "{", "{\"product_ame\": \"x\", \"version\": {\"v\": \"9\"},", "{\"product_ame\": \"x\",}",
          "[1,2,]", deep.c_str(), "5", "[{}]", "\"{}\"", "true", static_cast<const char*>(nullptr)})
    {
        EXPECT_FALSE(state.FromString(text)) << (text ? text : "(null)");
        EXPECT_EQ(state.ToString(), before) << (text ? text : "(null)");
    }
}

TEST(CLocalQueryTest, DocumentReplacesTheWholeStateAndDefaultsWhatIsMissingOrMistyped)
{
    CLocalQuery state;
    struct Case
    {
        const char* text;
        const char* name;
        const char* version;
        int installed;
        int downloaded;
    };
    for (const Case& c :
         {Case{"{}", "", "0.0.0.0", 0, 0}, Case{R"({"product_name": "x", "version": {}})", "", "0.0.0.0", 0, 0},
          Case{R"({"product_ame": "x", "version": "1.2", "installed_patchs": [{}],
                                   "downloaded_patchs": {"patchs": [{}, {}]}})",
               "x", "0.0.0.0", 0, 2},
          Case{R"({"version": {"v": "1.2"}, "installed_patchs": {"patchs": "x"},
                                   "downloaded_patchs": {"patchs": [3, {}]}})",
               "", "1.2.0.0", 0, 2}})
    {
        Fill(state);
        EXPECT_TRUE(state.FromString(c.text)) << c.text;
        EXPECT_STREQ(state.GetProductName(), c.name) << c.text;
        EXPECT_STREQ(state.GetVersion()->ToString(), c.version) << c.text;
        EXPECT_EQ(state.GetPatchList(0)->GetCount(), c.installed) << c.text;
        EXPECT_EQ(state.GetPatchList(1)->GetCount(), c.downloaded) << c.text;
    }
}

TEST(CLocalQueryTest, AddsIndependentCopiesToOneListOnlyAndHandsOutFixedLists)
{
    CLocalQuery state;
    const kvrUpdate::IPatchList* installed = state.GetPatchList(0);
    const kvrUpdate::IPatchList* downloaded = state.GetPatchList(1);
    EXPECT_NE(installed, downloaded);
    for (int which : {-1, 2, 1 << 30})
        EXPECT_EQ(state.GetPatchList(which), nullptr) << which;

    TOwnedPtr<kvrUpdate::IPatch> patch = Own(MakePatch("P7").Clone());
    EXPECT_TRUE(state.AddInstalledPatch(patch.get()));
    EXPECT_TRUE(state.AddInstalledPatch(patch.get()));
    patch.reset();
    EXPECT_FALSE(state.AddInstalledPatch(nullptr));
    EXPECT_EQ(state.GetPatchList(0), installed);
    ASSERT_EQ(installed->GetCount(), 2);
    EXPECT_EQ(downloaded->GetCount(), 0);
    EXPECT_STREQ(installed->GetAt(0)->GetTitle(), "Fix P7");
    EXPECT_STREQ(installed->GetAt(1)->GetResultVersion()->ToString(), "1.0.0.1");
}

// The install decision on the patch's result version, and what it reports.
TEST(CLocalQueryTest, RecordInstalledPatchDecidesOnTheResultVersion)
{
    CLocalQuery state;
    ASSERT_TRUE(state.FromString(R"({"version": {"v": "1.0.0.1"}})"));
    const CPatch newer = MakePatch("P2", "1.0.0.2"), older = MakePatch("P0", "1.0.0.0");
    EXPECT_TRUE(state.RecordInstalledPatch(&newer)); // moves the version up, not listed
    EXPECT_STREQ(state.GetVersion()->ToString(), "1.0.0.2");
    EXPECT_EQ(state.GetPatchList(0)->GetCount(), 0);
    EXPECT_TRUE(state.RecordInstalledPatch(&newer)); // now equal: listed
    EXPECT_TRUE(state.RecordInstalledPatch(&older)); // nothing to do, no failure

    const std::string before = state.ToString();
    EXPECT_FALSE(state.RecordInstalledPatch(nullptr));
    EXPECT_EQ(state.ToString(), before);
    ASSERT_EQ(state.GetPatchList(0)->GetCount(), 1);
    EXPECT_STREQ(state.GetPatchList(0)->GetAt(0)->GetPatchNumber(), "P2");
    EXPECT_EQ(state.GetPatchList(1)->GetCount(), 0);
    EXPECT_STREQ(state.GetVersion()->ToString(), "1.0.0.2");
}

namespace
{

// A patch whose result version RecordInstalledPatch asks for under the lock.
// The first time, the asking thread runs `whileHeld` (re-entering the lock)
// and then stays there, holding the lock, until Open().
class CParkingPatch final : public kvrUpdate::IPatch
{
public:
    explicit CParkingPatch(std::function<void()> whileHeld) : m_whileHeld(std::move(whileHeld)) {}

    void WaitUntilParked()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_parked; });
    }
    void Open()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }

    const kvrUpdate::IVersion* GetResultVersion() const override
    {
        if (!m_asked)
        {
            m_asked = true;
            m_whileHeld();
            std::unique_lock<std::mutex> lock(m_mutex);
            m_parked = true;
            m_changed.notify_all();
            m_changed.wait(lock, [this] { return m_open; });
        }
        return m_patch.GetResultVersion();
    }
    // The rest is a plain patch's.
    const char* GetTitle() const override { return m_patch.GetTitle(); }
    const char* GetComment() const override { return m_patch.GetComment(); }
    const char* GetPatchNumber() const override { return m_patch.GetPatchNumber(); }
    const kvrUpdate::IVersionList* GetApplyVersions() const override { return m_patch.GetApplyVersions(); }
    const char* GetDependOn() const override { return m_patch.GetDependOn(); }
    int GetPatchType() const override { return m_patch.GetPatchType(); }
    int GetPatchForce() const override { return m_patch.GetPatchForce(); }
    kvrUpdate::IPatch* Clone() const override { return m_patch.Clone(); }
    void Release() override {}

private:
    const CPatch m_patch = MakePatch("P0");
    std::function<void()> m_whileHeld;
    mutable bool m_asked = false; // only ever touched by the asking thread
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    mutable bool m_parked = false;
    bool m_open = false;
};

} // namespace

// Every operation waits for the lock while another thread holds it, and the
// holder may call any of them itself.
TEST(CLocalQueryTest, EveryOperationRunsUnderTheLock)
{
    CLocalQuery state;
    const CPatch patch = MakePatch("P1");
    Json::Value scratch;
    const std::pair<const char*, std::function<void()>> operations[] = {
        {"ToString", [&] { state.ToString(); }},
        {"FromString", [&] { state.FromString("{}"); }},
        {"GetProductName", [&] { state.GetProductName(); }},
        {"GetVersion", [&] { state.GetVersion(); }},
        {"GetPatchList", [&] { state.GetPatchList(0); }},
        {"ToJson", [&] { state.ToJson(scratch); }},
        {"FromJson", [&] { state.FromJson(scratch); }},
        {"AddInstalledPatch", [&] { state.AddInstalledPatch(&patch); }},
        {"AddDownloadedPatch", [&] { state.AddDownloadedPatch(&patch); }},
        {"RecordInstalledPatch", [&] { state.RecordInstalledPatch(&patch); }},
        {"Replace",
         [&] {
             std::string name = "x";
             state.Replace(nullptr, name);
         }},
    };
    for (const auto& operation : operations)
    {
        CParkingPatch holder(operation.second); // re-entered by the holder
        std::thread holding([&] { state.RecordInstalledPatch(&holder); });
        holder.WaitUntilParked();
        std::atomic<bool> done{false};
        std::thread other([&] {
            operation.second();
            done = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        EXPECT_FALSE(done) << operation.first << " ran without the lock";
        holder.Open();
        holding.join();
        other.join();
        EXPECT_TRUE(done) << operation.first;
    }
}
