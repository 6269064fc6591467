// The module manager against real plug-in libraries (variants of
// TestPlugin.cpp) that count their loads, entry calls and objects.
#include <VeskUpdate.h>

#include "PluginCounters.h"

#include "support/CScratchDir.h"
#include "support/Owners.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

using namespace kvrUpdate;
using namespace testsupport;
namespace fs = std::filesystem;

namespace
{

// Plug-in ids (PLUGIN_ID) and files.
enum
{
    kA = 0,
    kB = 1,
    kNull = 2,
    kNoEntry = 3,
    kPluginsUsed = 4
};
const char* const kPathA = VESK_MODULETESTPLUGINA;
const char* const kPathB = VESK_MODULETESTPLUGINB;
const char* const kPathNull = VESK_MODULETESTPLUGINNULL;
const char* const kPathNoEntry = VESK_MODULETESTPLUGINNOENTRY;
const char* const kEntry = "CreateTestExecutor";

int Count(int plugin, PluginEvent event)
{
    return PluginCountOf(plugin, event);
}

bool IsMapped(int plugin)
{
    return Count(plugin, kPluginLoaded) > Count(plugin, kPluginUnloaded);
}

// An object of the host's own, to pin. Release only counts.
class CHostExecutor final : public IUpdateExecutor
{
public:
    explicit CHostExecutor(const char* type) : m_type(type) {}
    bool IsType(const char* type) override { return m_type == type; }
    void EnumTypes(IEnumable<const char*>::IEnum* callback) override { callback->OnItem(m_type.c_str()); }
    void Release() override { ++m_releases; }
    bool Execute(const IUpdatePackage*, const char*, IEnumable<const IFileDef*>::IEnum*) override { return false; }

    int m_releases = 0;

private:
    std::string m_type;
};

// Acquires `type` from `manager` and tells which plug-in made the object (-1:
// none made, -2: null returned although an object was made). The object must
// serve the type; it is given back.
int ServingPlugin(IExecutorManager& manager, const char* type)
{
    int before[kPluginsUsed];
    for (int plugin = 0; plugin < kPluginsUsed; ++plugin)
        before[plugin] = Count(plugin, kPluginCreated);
    IUpdateExecutor* object = manager.AcquireObject(type);
    int maker = -1;
    for (int plugin = 0; plugin < kPluginsUsed; ++plugin)
    {
        if (Count(plugin, kPluginCreated) != before[plugin])
            maker = plugin;
    }
    if (object == nullptr)
        return maker == -1 ? -1 : -2;
    EXPECT_TRUE(object->IsType(type));
    manager.ReleaseObject(object);
    return maker;
}

class TModuleManagerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        PluginCountersReset();
        m_manager = CreateExecutorManager();
        ASSERT_NE(nullptr, m_manager);
    }

    // Whatever a test did: once the manager is gone, every object an entry
    // made was released exactly once and no plug-in library stays mapped.
    void TearDown() override
    {
        if (m_manager != nullptr)
            m_manager->Release();
        for (int plugin = 0; plugin < kPluginsUsed; ++plugin)
        {
            EXPECT_EQ(Count(plugin, kPluginCreated), Count(plugin, kPluginReleased)) << "plug-in " << plugin;
            EXPECT_FALSE(IsMapped(plugin)) << "plug-in " << plugin;
        }
    }

    int WhoServes(const char* type) { return ServingPlugin(*m_manager, type); }

    IExecutorManager* m_manager = nullptr;
};

TEST_F(TModuleManagerTest, RegistrationResults)
{
    CScratchDir temp("vesk-modules");
    const fs::path junk = temp.Path() / "libjunk.so";
    std::ofstream(junk) << "not a library\n";

    struct Case
    {
        std::string file;
        const char* entry;
        int result;
    } cases[] = {
        {kPathA, kEntry, 0},        {(temp.Path() / "libmissing.so").string(), kEntry, 1},
        {junk.string(), kEntry, 1}, {kPathNoEntry, kEntry, 2},
        {kPathA, "NoSuchEntry", 2},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.file + " / " + c.entry);
        IExecutorManager* manager = CreateExecutorManager();
        EXPECT_EQ(c.result, manager->RegisterModule(c.file.c_str(), c.entry));
        // Registered or not, no library stays mapped afterwards.
        EXPECT_FALSE(IsMapped(kA));
        EXPECT_FALSE(IsMapped(kNoEntry));
        // Only a registered library serves.
        EXPECT_EQ(c.result == 0 ? kA : -1, ServingPlugin(*manager, "alpha"));
        manager->Release();
    }
}

TEST_F(TModuleManagerTest, LibraryIsLoadedOnFirstUseOnly)
{
    ASSERT_EQ(0, m_manager->RegisterModule(kPathA, kEntry));
    EXPECT_EQ(1, Count(kA, kPluginLoaded));
    EXPECT_FALSE(IsMapped(kA));

    TAcquiredPtr<IUpdateExecutor> first = Acquire(m_manager, "alpha");
    ASSERT_NE(nullptr, first);
    EXPECT_TRUE(IsMapped(kA));
    EXPECT_EQ(2, Count(kA, kPluginLoaded));

    // Later objects come from the library already loaded.
    TAcquiredPtr<IUpdateExecutor> second = Acquire(m_manager, "beta");
    ASSERT_NE(nullptr, second);
    EXPECT_NE(first, second);
    EXPECT_EQ(2, Count(kA, kPluginLoaded));
    EXPECT_EQ(3, Count(kA, kPluginEntry));

    first.reset();
    second.reset();
    EXPECT_TRUE(IsMapped(kA)); // until the manager ends
}

TEST_F(TModuleManagerTest, LoadsByFullPathWhereverTheWorkingDirectoryIs)
{
    const fs::path saved = fs::current_path();
    const fs::path plugin(kPathA);
    fs::current_path(plugin.parent_path());
    const int result = m_manager->RegisterModule(("./" + plugin.filename().string()).c_str(), kEntry);
    fs::current_path("/");
    IUpdateExecutor* object = m_manager->AcquireObject("alpha");
    fs::current_path(saved);

    EXPECT_EQ(0, result);
    EXPECT_NE(nullptr, object);
    m_manager->ReleaseObject(object);
}

TEST_F(TModuleManagerTest, SameLibraryUnderAnotherNameIsOneModule)
{
    const fs::path plugin(kPathA);
#if defined(_WIN32)
    // Windows names a file in any letter case, with either separator; the
    // loader keeps the name as given, but the module is the file.
    std::string link = fs::absolute(plugin).string();
    for (char& c : link)
        c = c == '/' ? '\\' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
#else
    CScratchDir temp("vesk-modules");
    const std::string link = (temp.Path() / "linked.so").string();
    fs::create_symlink(plugin, link);
#endif
    const std::string otherNames[] = {
        (plugin.parent_path() / "." / plugin.filename()).string(),
        (plugin.parent_path() / ".." / plugin.parent_path().filename() / plugin.filename()).string(),
        link,
    };

    ASSERT_EQ(0, m_manager->RegisterModule(kPathA, kEntry));
    int entries = Count(kA, kPluginEntry);
    for (const std::string& name : otherNames)
    {
        SCOPED_TRACE(name);
        // The alternative entry reports "zeta" only.
        EXPECT_EQ(0, m_manager->RegisterModule(name.c_str(), "CreateTestExecutorAlt"));
        // The entry was still called once, and its object released.
        EXPECT_EQ(++entries, Count(kA, kPluginEntry));
        EXPECT_EQ(Count(kA, kPluginCreated), Count(kA, kPluginReleased));
        EXPECT_FALSE(IsMapped(kA));
    }
    // The first module stays as it was, with its entry and types, and no
    // second module serves the other entry's types.
    EXPECT_EQ(-1, WhoServes("zeta"));
    EXPECT_EQ(kA, WhoServes("alpha"));
    EXPECT_EQ(kA, WhoServes("beta"));
    // One module: withdrawing it under any of its names leaves none.
    EXPECT_TRUE(m_manager->UnregisterModule(link.c_str()));
    EXPECT_EQ(-1, WhoServes("alpha"));
}

TEST_F(TModuleManagerTest, EntryReturningNullRegistersWithoutTypes)
{
    ASSERT_EQ(0, m_manager->RegisterModule(kPathNull, kEntry));
    EXPECT_EQ(1, Count(kNull, kPluginEntry));
    EXPECT_EQ(nullptr, m_manager->AcquireObject(""));
    EXPECT_EQ(nullptr, m_manager->AcquireObject("alpha"));
    EXPECT_EQ(1, Count(kNull, kPluginEntry)); // never asked again
}

TEST_F(TModuleManagerTest, FirstRegisteredModuleServesASharedType)
{
    ASSERT_EQ(0, m_manager->RegisterModule(kPathA, kEntry));
    ASSERT_EQ(0, m_manager->RegisterModule(kPathB, kEntry));
    EXPECT_EQ(kA, WhoServes("beta"));
    EXPECT_EQ(kA, WhoServes("alpha"));
    EXPECT_EQ(kB, WhoServes("Gamma"));

    const TOwnedPtr<IExecutorManager> reversed = Own(CreateExecutorManager());
    ASSERT_EQ(0, reversed->RegisterModule(kPathB, kEntry));
    ASSERT_EQ(0, reversed->RegisterModule(kPathA, kEntry));
    EXPECT_EQ(kB, ServingPlugin(*reversed, "beta"));
}

TEST_F(TModuleManagerTest, TypeNamesMatchExactly)
{
    ASSERT_EQ(0, m_manager->RegisterModule(kPathA, kEntry));
    ASSERT_EQ(0, m_manager->RegisterModule(kPathB, kEntry));
    const struct
    {
        const char* type;
        int maker;
    } cases[] = {
        {"alpha", kA},      {"Alpha", -1}, {"ALPHA", -1}, {"alph", -1},  {"alpha ", -1},
        {"alpha,beta", -1}, {"", -1},      {"Gamma", kB}, {"gamma", -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.maker, WhoServes(c.type)) << '"' << c.type << '"';
}

TEST_F(TModuleManagerTest, PinnedObjectsAreAskedFirstAndNeverReleased)
{
    ASSERT_EQ(0, m_manager->RegisterModule(kPathA, kEntry));
    CHostExecutor pinned("alpha");
    m_manager->PinObject(&pinned);
    m_manager->PinObject(&pinned); // pinned once only: one UnpinObject frees it

    for (int i = 0; i < 3; ++i)
    {
        EXPECT_EQ(&pinned, m_manager->AcquireObject("alpha"));
        m_manager->ReleaseObject(&pinned);
    }
    EXPECT_EQ(0, pinned.m_releases);
    EXPECT_EQ(1, Count(kA, kPluginEntry)); // registration only
    EXPECT_FALSE(IsMapped(kA));

    // A type the pinned object does not serve goes to the modules.
    EXPECT_EQ(kA, WhoServes("beta"));

    m_manager->UnpinObject(&pinned);
    EXPECT_EQ(kA, WhoServes("alpha"));
    m_manager->ReleaseObject(&pinned);
    EXPECT_EQ(1, pinned.m_releases);

    // Releasing the manager leaves a pinned object alone.
    CHostExecutor kept("kept");
    m_manager->PinObject(&kept);
    m_manager->Release();
    m_manager = nullptr;
    EXPECT_EQ(0, kept.m_releases);
}

TEST_F(TModuleManagerTest, UnregisterRetiresAndRegisterRevives)
{
    ASSERT_EQ(0, m_manager->RegisterModule(kPathA, kEntry));
    ASSERT_EQ(0, m_manager->RegisterModule(kPathB, kEntry));
    EXPECT_TRUE(m_manager->UnregisterModule(kPathA));
    EXPECT_EQ(-1, WhoServes("alpha"));
    EXPECT_EQ(kB, WhoServes("beta"));

    // A second withdrawal of the retired file changes nothing.
    EXPECT_TRUE(m_manager->UnregisterModule(kPathA));
    EXPECT_EQ(-1, WhoServes("alpha"));
    EXPECT_EQ(kB, WhoServes("beta"));

    // Revived at the end, with its first entry and types: a new module would
    // take the alternative entry, which reports "zeta" only.
    EXPECT_EQ(0, m_manager->RegisterModule(kPathA, "CreateTestExecutorAlt"));
    EXPECT_EQ(kA, WhoServes("alpha"));
    EXPECT_EQ(kB, WhoServes("beta")); // B is first now
    EXPECT_EQ(-1, WhoServes("zeta"));
}

TEST_F(TModuleManagerTest, RetiredModuleKeepsItsLibraryForLiveObjects)
{
    ASSERT_EQ(0, m_manager->RegisterModule(kPathA, kEntry));
    TAcquiredPtr<IUpdateExecutor> object = Acquire(m_manager, "alpha");
    ASSERT_NE(nullptr, object);
    EXPECT_TRUE(m_manager->UnregisterModule(kPathA));
    EXPECT_TRUE(IsMapped(kA));
    EXPECT_TRUE(object->IsType("beta")); // its code is still mapped
    object.reset();
    EXPECT_TRUE(IsMapped(kA));
}

TEST_F(TModuleManagerTest, UnregisterOfAnUnknownFileChangesNothing)
{
    ASSERT_EQ(0, m_manager->RegisterModule(kPathA, kEntry));
    const std::string missing = (fs::path(kPathA).parent_path() / "libnothing.so").string();
    for (const char* file : {missing.c_str(), kPathB, ""})
    {
        SCOPED_TRACE(file);
        EXPECT_TRUE(m_manager->UnregisterModule(file));
        EXPECT_EQ(kA, WhoServes("alpha"));
    }
    EXPECT_FALSE(IsMapped(kB));
}

TEST_F(TModuleManagerTest, NullObjectsAndTypesAreHarmless)
{
    ASSERT_EQ(0, m_manager->RegisterModule(kPathA, kEntry));
    m_manager->PinObject(nullptr); // not kept: AcquireObject would ask it first
    m_manager->ReleaseObject(nullptr);
    m_manager->UnpinObject(nullptr);
    EXPECT_EQ(nullptr, m_manager->AcquireObject(nullptr));
    EXPECT_EQ(kA, WhoServes("alpha"));
}

TEST(FileCheckerManagerTest, ServesCheckersLikeTheExecutorManager)
{
    PluginCountersReset();
    TOwnedPtr<IFileCheckerManager> manager = Own(CreateFileCheckerManager());
    ASSERT_NE(nullptr, manager);
    EXPECT_EQ(2, manager->RegisterModule(kPathA, "NoSuchEntry"));
    ASSERT_EQ(0, manager->RegisterModule(kPathA, "CreateTestChecker"));
    EXPECT_FALSE(IsMapped(kA));
    {
        const TAcquiredPtr<IFileChecker> checker = Acquire(manager.get(), "beta");
        ASSERT_NE(nullptr, checker);
        EXPECT_TRUE(checker->CheckFiles(nullptr, "", nullptr)); // reached the plug-in's own operation
        EXPECT_EQ(nullptr, manager->AcquireObject("Beta"));
    }
    EXPECT_TRUE(manager->UnregisterModule(kPathA));
    EXPECT_EQ(nullptr, manager->AcquireObject("beta"));
    EXPECT_TRUE(IsMapped(kA)); // retired, kept loaded until the manager ends
    manager.reset();
    EXPECT_EQ(Count(kA, kPluginCreated), Count(kA, kPluginReleased));
    EXPECT_FALSE(IsMapped(kA));
}

} // namespace
