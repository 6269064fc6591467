#include "platform/Platform.h"

#include "platform/win32/Win32Api.h"

#include <memory>
#include <vector>

namespace platform
{

LibraryHandle OpenLibrary(const char* nameOrPath)
{
    if (nameOrPath == nullptr || *nameOrPath == '\0')
        return nullptr;
    // A file that is no loadable library fails the call; it must not stop the
    // host with the system's error box.
    DWORD previousMode = 0;
    const BOOL quiet = SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previousMode);
    HMODULE library = LoadLibraryA(nameOrPath);
    if (quiet)
        SetThreadErrorMode(previousMode, nullptr);
    return library;
}

void* LookupSymbol(LibraryHandle library, const char* name)
{
    if (library == nullptr || name == nullptr)
        return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void CloseLibrary(LibraryHandle library)
{
    if (library != nullptr)
        FreeLibrary(static_cast<HMODULE>(library));
}

namespace
{

// The name the loader recorded for the library: the path as it was given or
// found, in the letter case it was given in. A result that fills the whole
// buffer may be cut short, so the buffer grows until it fits.
std::string LoaderFileName(HMODULE library)
{
    std::vector<char> buffer(MAX_PATH);
    for (;;)
    {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD length = GetModuleFileNameA(library, buffer.data(), size);
        if (length == 0)
            return std::string();
        if (length < size)
            return std::string(buffer.data(), length);
        if (buffer.size() >= 32768)
            return std::string();
        buffer.resize(buffer.size() * 2);
    }
}

// The one path of the file whatever it was called: the file system's own
// letter case, the drive letter, links resolved ("\\?\" dropped again).
// Empty when the file cannot be asked.
std::string FinalPath(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::string();
    // Closed however this ends: the buffer's allocations may throw.
    const std::unique_ptr<void, BOOL(WINAPI*)(HANDLE)> closer(file, CloseHandle);
    std::vector<char> buffer(MAX_PATH);
    DWORD length = 0;
    for (;;)
    {
        const DWORD size = static_cast<DWORD>(buffer.size());
        length = GetFinalPathNameByHandleA(file, buffer.data(), size, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length < size || length > 32768)
            break;
        buffer.resize(length + 1); // the answer is the size needed
    }
    if (length == 0 || length >= buffer.size())
        return std::string();

    std::string result(buffer.data(), length);
    if (result.compare(0, 8, "\\\\?\\UNC\\") == 0)
        return "\\\\" + result.substr(8);
    if (result.compare(0, 4, "\\\\?\\") == 0)
        return result.substr(4);
    return result;
}

} // namespace

std::string LibraryFullPath(LibraryHandle library)
{
    if (library == nullptr)
        return std::string();

    // Windows names a file in any letter case, and the loader keeps the case
    // it was given; the path is resolved so that one file has one full path.
    const std::string loaded = LoaderFileName(static_cast<HMODULE>(library));
    if (loaded.empty())
        return std::string();
    const std::string resolved = FinalPath(loaded);
    return resolved.empty() ? loaded : resolved;
}

} // namespace platform
