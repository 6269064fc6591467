#include "platform/Platform.h"

#include "support/CScratchDir.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace
{

const fs::path kPluginPath = VESK_TEST_PLUGIN_PATH;
constexpr const char* kExport = "VeskPlatformTestAnswer";

// Runs the test body in another working directory and restores the old one.
class CWorkingDirectory
{
public:
    explicit CWorkingDirectory(const fs::path& dir) : m_previous(fs::current_path()) { fs::current_path(dir); }
    ~CWorkingDirectory() { fs::current_path(m_previous); }

private:
    fs::path m_previous;
};

#if defined(_WIN32)
std::string UpperCase(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}
#endif

// A fresh scratch directory under the system's temporary directory.
class LibraryTest : public ::testing::Test
{
protected:
    testsupport::CScratchDir m_scratch{"vesk-platform"};
};

} // namespace

TEST_F(LibraryTest, ExportOfALoadedLibraryCanBeCalled)
{
    platform::LibraryHandle library = platform::OpenLibrary(kPluginPath.string().c_str());
    ASSERT_NE(library, nullptr);
    using Answer = int (*)();
    auto answer = reinterpret_cast<Answer>(platform::LookupSymbol(library, kExport));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);
    EXPECT_EQ(platform::LookupSymbol(library, "NoSuchExport"), nullptr);
    platform::CloseLibrary(library);
}

TEST_F(LibraryTest, WhatCannotBeLoadedGivesNull)
{
    std::ofstream(m_scratch / "not-a-library.so") << "plain text\n";
    const std::string missing = (m_scratch / "missing.so").string();
    const std::string notALibrary = (m_scratch / "not-a-library.so").string();
    for (const char* name :
         {static_cast<const char*>(nullptr), "", "libvesk-no-such-library.so", missing.c_str(), notALibrary.c_str()})
    {
        SCOPED_TRACE(name ? name : "(null)");
        EXPECT_EQ(platform::OpenLibrary(name), nullptr);
    }
    // Not a search of the whole process, which would find malloc.
    EXPECT_EQ(platform::LookupSymbol(nullptr, "malloc"), nullptr);
    EXPECT_EQ(platform::LibraryFullPath(nullptr), "");
    platform::CloseLibrary(nullptr); // harmless
}

// However the library is named, its full path is the one canonical path of
// the file, and it does not depend on the working directory at the time of
// asking.
TEST_F(LibraryTest, FullPathIsTheCanonicalPathOfTheFileOpened)
{
    const fs::path canonical = fs::canonical(kPluginPath);
#if !defined(_WIN32)
    const fs::path link = m_scratch / "link-to-plugin.so";
    fs::create_symlink(canonical, link);
#endif
    fs::create_directory(m_scratch / "sub");

    const fs::path pluginDir = canonical.parent_path();
    // A directory that a relative name climbs out of. The scratch directory
    // may lie on another drive (on Windows), where no relative name leads.
    fs::path sibling = m_scratch / "sub";
    if (fs::relative(canonical, sibling).empty())
        sibling = pluginDir;
    const std::string viaDotDot = "./" + pluginDir.filename().string() + "/../" + pluginDir.filename().string() + "/" +
                                  canonical.filename().string();

    struct Case
    {
        const char* label;
        fs::path workingDirectory;
        std::string name;
    };
    const Case cases[] = {
        {"absolute", fs::current_path(), canonical.string()},
        {"relative with ..", pluginDir.parent_path(), viaDotDot},
        {"relative from a sibling", sibling, fs::relative(canonical, sibling).string()},
#if defined(_WIN32)
        // Windows names a file in any letter case; the loader keeps the case given.
        {"other letter case", fs::current_path(), UpperCase(canonical.string())},
#else
        {"symbolic link", fs::current_path(), link.string()},
#endif
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.label + (": " + c.name));
        platform::LibraryHandle library = nullptr;
        {
            CWorkingDirectory cd(c.workingDirectory);
            library = platform::OpenLibrary(c.name.c_str());
        }
        ASSERT_NE(library, nullptr);
        EXPECT_EQ(platform::LibraryFullPath(library), canonical.string());
        {
            // The working directory changing after loading makes no difference.
            CWorkingDirectory cd(m_scratch.Path());
            EXPECT_EQ(platform::LibraryFullPath(library), canonical.string());
        }
        platform::CloseLibrary(library);
    }
}

TEST_F(LibraryTest, LibraryFoundBySearchReportsTheFileTheLoaderChose)
{
    // A bare name goes through the loader's search rules; the C library (on
    // Windows the kernel's) is always there to be found.
#if defined(_WIN32)
    platform::LibraryHandle library = platform::OpenLibrary("kernel32.dll");
#else
    platform::LibraryHandle library = platform::OpenLibrary("libc.so.6");
#endif
    ASSERT_NE(library, nullptr);
    const std::string path = platform::LibraryFullPath(library);
    platform::CloseLibrary(library);
    ASSERT_FALSE(path.empty());
    EXPECT_TRUE(fs::path(path).is_absolute());
    EXPECT_EQ(fs::path(path), fs::canonical(path));
}
