// Every public operation, run again and again with its first, second, third
// ... allocation failing, until it runs without a failure. Each run must let
// no exception out, leak nothing, and end in what the header promises for
// running out of memory: null, false, an empty list or an empty text, with
// the object as it was, or else the complete result.
#include "boundary/AllocationFailureRows.h"
#include "boundary/FailingAllocator.h"
#include "support/CTestHttpServer.h"

#include <VeskUpdate.h>

#include <gtest/gtest.h>

#if !defined(_WIN32)
#  include <dlfcn.h>
#endif

#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

using namespace kvrUpdate;
using namespace allocation_rows;
namespace fa = failing_allocator;

namespace
{

const std::string kPatch = R"({"title": "A title longer than short strings", "comment": "A comment that needs the heap",
  "patch_number": "patch-number-0001-long", "dependon": "patch-number-0000-long", "patch_type": "bug",
  "patch_force": "must", "apply_version": {"versions": [{"v": "1.0"}, {"v": "1.1"}]},
  "result_version": {"v": "1.2"}})";
const std::string kFile = R"({"url": "http://center.example/files/a-long-file-name.bin", "md5":
  "0123456789abcdef0123456789abcdef", "length": "00000000000001048576", "path": "directory/a-long-file-name.bin"})";
const std::string kPackage = R"({"base_url": "http://center.example/packages/", "direct_type": "vesk.test.type",
  "direct_file": )" + kFile + R"(, "resource": {"files": [)" +
                             kFile + "," + kFile + "]}}";

// What the loopback center answers, by request target.
const std::map<std::string, std::string> kAnswers = {
    {"/Editor/versions/situation", R"({"last": {"v": "1.2"}, "must": {"v": "1.0"}, "max": {"v": "2.0"},
      "will": {"v": "1.1"}})"},
    {"/Editor/versions", R"({"versions": [{"v": "1.0"}, {"v": "1.1"}, {"v": "1.2"}]})"},
    {"/Editor/versions/evolution?version_from=1.0.0.0&version_to=1.2.0.0", R"({"versions": [{"v": "1.1"}]})"},
    {"/Editor/patchs?version=1.0.0.0", R"({"patchs": [)" + kPatch + "," + kPatch + "]}"},
    {"/Editor/patchs/evolution/1.0.0.0/1.2.0.0", R"({"patchs": [)" + kPatch + "]}"},
    {"/Editor/patchs/patch-number-0001-long/package", kPackage},
    {"/Editor/versions/1.2.0.0/package", kPackage},
    {"/Editor/versions/1.2.0.0/FileCheckDef", R"({"url": "http://center.example/checks/1.2.txt",
      "type": "vesk.test.checker"})"},
};

const char kLocalDocument[] = R"({"product_ame": "Editor", "version": {"v": "%V"},
  "installed_patchs": {"patchs": [)"
                              "%P"
                              R"(]}, "downloaded_patchs": {"patchs": [)"
                              "%P,%P"
                              "]}}";

/// The local state's document with the installed version `version`.
std::string LocalText(const std::string& version)
{
    std::string text = kLocalDocument;
    text.replace(text.find("%V"), 2, version);
    for (std::string::size_type at; (at = text.find("%P")) != std::string::npos;)
        text.replace(at, 2, kPatch);
    return text;
}

std::string UpdaterText(const std::string& version)
{
    return R"({"porduct_name": "Editor with a long product name",
  "version_center": "http://center.example/a/long/address/", "local": )" +
           LocalText(version) + "}";
}

const std::string kLocal = LocalText("1.1");
const std::string kUpdater = UpdaterText("1.1");
const std::string kQuery = R"({"product": "Editor with a long product name",
  "version_center": "http://center.example/a/long/address/"})";

#if defined(_WIN32)
// There libcurl and jsoncpp are DLLs with an operator new of their own, and
// blocks cross between them and this program both ways: counting them says
// nothing. Leaks are the Linux builds' to find.
constexpr bool kCountsBlocks = false;
#else
constexpr bool kCountsBlocks = true;
#endif

/// Whether the failed allocation was asked for by a library other than this
/// program (the library's objects are part of it): the C library's loader
/// keeps its error text after a failed dlopen, and libcurl 7.88 loses a
/// block or two on some of its own failures. Such blocks are not ours.
bool FailedInForeignLibrary()
{
#if defined(_WIN32)
    return false;
#else
    const void* caller = fa::FailedCaller();
    Dl_info theirs{};
    Dl_info ours{};
    if (caller == nullptr || dladdr(caller, &theirs) == 0 ||
        dladdr(reinterpret_cast<const void*>(&fa::FailedCaller), &ours) == 0)
        return false;
    return theirs.dli_fbase != ours.dli_fbase;
#endif
}

std::string UpdaterState(IUpdater* updater)
{
    return std::string(updater->ToString()) + updater->GetVersionQuery()->ToString() +
           updater->GetLocalQuery()->GetProductName();
}

/// SetPatchDownloaded or SetPatchInstalled over an updater whose installed
/// version is `version`: the patch recorded in whole, or nothing changed.
Row Record(std::function<const IPatchList*()> patchs, void (IUpdater::*record)(const IPatch*),
           const std::string& version)
{
    return [=](CRun& run) {
        const IPatch* patch = patchs()->GetAt(0);
        const std::string text = UpdaterText(version);
        IUpdater* reference = CreateUpdater();
        ASSERT_TRUE(reference->FromString(text.c_str()));
        (reference->*record)(patch);
        const std::string after = reference->ToString();
        reference->Release();
        IUpdater* updater = CreateUpdater();
        ASSERT_TRUE(updater->FromString(text.c_str()));
        const std::string before = updater->ToString();
        ASSERT_NE(before, after);
        run.Armed([&] { (updater->*record)(patch); });
        const std::string now = updater->ToString();
        if (now != after)
        {
            EXPECT_TRUE(run.Failed());
            EXPECT_EQ(now, before) << "half recorded";
        }
        updater->Release();
    };
}

/// A setter of the updater: the new value everywhere, or the old one.
Row Change(std::function<void(IUpdater*)> change)
{
    return [=](CRun& run) {
        IUpdater* reference = CreateUpdater();
        ASSERT_TRUE(reference->FromString(kUpdater.c_str()));
        change(reference);
        const std::string after = UpdaterState(reference);
        reference->Release();
        IUpdater* updater = CreateUpdater();
        ASSERT_TRUE(updater->FromString(kUpdater.c_str()));
        const std::string before = UpdaterState(updater);
        run.Armed([&] { change(updater); });
        const std::string now = UpdaterState(updater);
        if (now != after)
        {
            EXPECT_TRUE(run.Failed());
            EXPECT_EQ(now, before) << "half changed";
        }
        updater->Release();
    };
}

const char kPlugin[] = VESK_MODULETESTPLUGINA; // serves "alpha" and "beta"

} // namespace

class AllocationFailureTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_server = new testsupport::CTestHttpServer;
        s_server->Server().Get(".*", [](const httplib::Request& request, httplib::Response& response) {
            std::string target = request.path;
            for (const auto& [key, value] : request.params)
                target += (target.find('?') == std::string::npos ? "?" : "&") + key + "=" + value;
            const auto found = kAnswers.find(target);
            if (found == kAnswers.end())
                response.status = 404;
            else
                response.set_content(found->second, "application/json");
        });
        s_server->Start();
        s_reference = CreateVersionQuery();
        s_reference->SetProduct("Editor");
        s_reference->SetVersionCenter(Center().c_str());
    }

    static void TearDownTestSuite()
    {
        s_reference->Release();
        delete s_server;
    }

    static std::string Center() { return s_server->Url("/"); }

    /// Runs every operation with N = 1, 2, ... failing until a run has no
    /// failed allocation; the number of runs in all.
    static long RunAll(const std::vector<COperation>& operations, long& foreignLeaks)
    {
        long runs = 0;
        const ::testing::TestResult& result = *::testing::UnitTest::GetInstance()->current_test_info()->result();
        for (const COperation& operation : operations)
        {
            CRun warm(0); // not armed: the libraries' one-time set-ups happen here
            operation.row(warm);
            for (long failAt = 1;; ++failAt)
            {
                SCOPED_TRACE(std::string(operation.name) + ", allocation " + std::to_string(failAt) + " fails");
                const int findings = result.total_part_count();
                const long live = fa::LiveBlocks();
                bool failed = false;
                {
                    CRun run(failAt);
                    operation.row(run);
                    failed = run.Failed();
                }
                ++runs;
                // A finding keeps its message: count leaks only without one.
                const long leaked = fa::LiveBlocks() - live;
                if (kCountsBlocks && leaked != 0)
                {
                    if (FailedInForeignLibrary())
                        ++foreignLeaks;
                    else if (result.total_part_count() == findings)
                        ADD_FAILURE() << leaked << " blocks leaked";
                }
                // One faulty run per operation says enough.
                if (!failed || result.total_part_count() != findings)
                    break;
                if (failAt == 100000)
                {
                    ADD_FAILURE() << "still allocating";
                    break;
                }
            }
        }
        return runs;
    }

    static testsupport::CTestHttpServer* s_server;
    static IVersionQuery* s_reference;
};

testsupport::CTestHttpServer* AllocationFailureTest::s_server = nullptr;
IVersionQuery* AllocationFailureTest::s_reference = nullptr;

TEST_F(AllocationFailureTest, EveryOperationSurvivesEveryFailedAllocation)
{
    const std::string center = Center();
    IVersionQuery* reference = s_reference;
    auto describeUpdater = std::function<std::string(IUpdater*)>(&UpdaterState);
    auto describeLocal = std::function<std::string(ILocalQuery*)>(&TextOf<ILocalQuery>);
    auto describeQuery = std::function<std::string(IVersionQuery*)>(&TextOf<IVersionQuery>);
    auto patchs = [reference] { return reference->GetPatchs("1.0"); };
    auto package = [reference] { return reference->GetVersionPackage("1.2"); };
    auto emptyList = [](const IPatchList* answer) {
        ASSERT_NE(answer, nullptr) << "null, not the empty list";
        EXPECT_EQ(answer->GetCount(), 0);
    };

    const std::vector<COperation> operations = {
        {"CreateUpdater", Factory(&CreateUpdater)},
        {"CreateVersionQuery", Factory(&CreateVersionQuery)},
        {"CreateLocalQuery", Factory(&CreateLocalQuery)},
        {"CreateExecutorManager", Factory(&CreateExecutorManager)},
        {"CreateFileCheckerManager", Factory(&CreateFileCheckerManager)},

        {"IUpdater::FromString", FromString(&CreateUpdater, "{}", kUpdater, describeUpdater)},
        {"ILocalQuery::FromString", FromString(&CreateLocalQuery, "{}", kLocal, describeLocal)},
        {"IVersionQuery::FromString", FromString(&CreateVersionQuery, "{}", kQuery, describeQuery)},
        {"IUpdater::ToString", ToString(&CreateUpdater, kUpdater)},
        {"ILocalQuery::ToString", ToString(&CreateLocalQuery, kLocal)},
        {"IVersionQuery::ToString", ToString(&CreateVersionQuery, kQuery)},

        {"GetLastVersion", Query<CVersion, IVersion>(center, [](IVersionQuery* q) { return q->GetLastVersion(); })},
        {"GetMustVersion", Query<CVersion, IVersion>(center, [](IVersionQuery* q) { return q->GetMustVersion(); })},
        {"GetMaxVersion", Query<CVersion, IVersion>(center, [](IVersionQuery* q) { return q->GetMaxVersion(); })},
        {"GetWillVersion", Query<CVersion, IVersion>(center, [](IVersionQuery* q) { return q->GetWillVersion(); })},
        {"GetVersions", Query<CVersionList, IVersionList>(center, [](IVersionQuery* q) { return q->GetVersions(); })},
        {"GetVersionEvolution", Query<CVersionList, IVersionList>(
                                    center, [](IVersionQuery* q) { return q->GetVersionEvolution("1.0", "1.2"); })},
        {"GetPatchs", Query<CPatchList, IPatchList>(center, [](IVersionQuery* q) { return q->GetPatchs("1.0"); })},
        {"GetPatchEvolution",
         Query<CPatchList, IPatchList>(
             center, [](IVersionQuery* q) { return q->GetPatchEvolution("1.0", "1.2"); }, emptyList)},
        {"GetPatchPackage", Query<CUpdatePackage, IUpdatePackage>(
                                center, [](IVersionQuery* q) { return q->GetPatchPackage("patch-number-0001-long"); })},
        {"GetVersionPackage",
         Query<CUpdatePackage, IUpdatePackage>(center, [](IVersionQuery* q) { return q->GetVersionPackage("1.2"); })},
        {"GetFileCheckDef",
         Query<CFileCheckerDef, IFileCheckerDef>(center, [](IVersionQuery* q) { return q->GetFileCheckDef("1.2"); })},

        {"IVersion::Clone", Clone<CVersion, IVersion>([patchs] { return patchs()->GetAt(0)->GetResultVersion(); })},
        {"IVersionList::Clone",
         Clone<CVersionList, IVersionList>([patchs] { return patchs()->GetAt(0)->GetApplyVersions(); })},
        {"IPatch::Clone", Clone<CPatch, IPatch>([patchs] { return patchs()->GetAt(0); })},
        {"IPatchList::Clone", Clone<CPatchList, IPatchList>(patchs)},
        {"IUpdatePackage::Clone", Clone<CUpdatePackage, IUpdatePackage>(package)},
        {"IFileDef::Clone", Clone<CFileDef, IFileDef>([package] { return package()->GetDirectFile(); })},
        {"IFileDefList::Clone", Clone<CFileDefList, IFileDefList>([package] { return package()->GetResource(); })},
        {"IFileCheckerDef::Clone",
         Clone<CFileCheckerDef, IFileCheckerDef>([reference] { return reference->GetFileCheckDef("1.2"); })},

        {"SetProductName", Change([](IUpdater* u) { u->SetProductName("Another product with a long name"); })},
        {"SetVersionCenter", Change([](IUpdater* u) { u->SetVersionCenter("http://elsewhere.example/long/path/"); })},
        {"SetPatchDownloaded", Record(patchs, &IUpdater::SetPatchDownloaded, "1.1")},
        {"SetPatchInstalled, same version", Record(patchs, &IUpdater::SetPatchInstalled, "1.2")},
        {"SetPatchInstalled, newer version", Record(patchs, &IUpdater::SetPatchInstalled, "1.1")},

        {"IExecutorManager::RegisterModule", Register(&CreateExecutorManager, kPlugin, "CreateTestExecutor")},
        {"IFileCheckerManager::RegisterModule", Register(&CreateFileCheckerManager, kPlugin, "CreateTestChecker")},
        {"IExecutorManager::AcquireObject", Acquire(&CreateExecutorManager, kPlugin, "CreateTestExecutor")},
        {"IFileCheckerManager::AcquireObject", Acquire(&CreateFileCheckerManager, kPlugin, "CreateTestChecker")},
    };
    long foreignLeaks = 0;
    const long runs = RunAll(operations, foreignLeaks);
    std::printf("%zu operations, %ld runs, %ld with blocks kept by other libraries; malloc %s\n", operations.size(),
                runs, foreignLeaks, fa::CoversMalloc() ? "fails too" : "is not replaced here (operator new only)");
}
