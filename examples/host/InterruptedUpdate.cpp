#include "InterruptedUpdate.h"

#if defined(_WIN32)
#  ifndef WIN32_LEAN_AND_MEAN
#    define WIN32_LEAN_AND_MEAN
#  endif
#  include <windows.h>
#else
#  include <dlfcn.h>
#endif

namespace
{

const char kEntry[] = "FinishInterruptedUpdate";

using FinishEntry = int (*)(const char*, char*, int);

// The plug-in library, loaded the way the library's module manager loads it
// (the same name finds the same file), and given back on every way out.
class CLibrary
{
public:
    explicit CLibrary(const std::string& path)
    {
#if defined(_WIN32)
        // A file that is no loadable library fails the call without the
        // system's error box.
        DWORD previous = 0;
        const BOOL quiet = ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previous);
        m_handle = ::LoadLibraryA(path.c_str());
        if (quiet)
            ::SetThreadErrorMode(previous, nullptr);
#else
        m_handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
    }
    ~CLibrary()
    {
        if (m_handle == nullptr)
            return;
#if defined(_WIN32)
        ::FreeLibrary(m_handle);
#else
        ::dlclose(m_handle);
#endif
    }
    CLibrary(const CLibrary&) = delete;
    CLibrary& operator=(const CLibrary&) = delete;
    CLibrary(CLibrary&&) = delete;
    CLibrary& operator=(CLibrary&&) = delete;

    bool Loaded() const
    {
        return m_handle != nullptr;
    }

    FinishEntry Entry() const
    {
#if defined(_WIN32)
        return reinterpret_cast<FinishEntry>(reinterpret_cast<void*>(::GetProcAddress(m_handle, kEntry)));
#else
        return reinterpret_cast<FinishEntry>(::dlsym(m_handle, kEntry));
#endif
    }

private:
#if defined(_WIN32)
    HMODULE m_handle = nullptr;
#else
    void* m_handle = nullptr;
#endif
};

} // namespace

bool FinishInterruptedUpdate(const std::string& plugin, const std::string& directory, std::string& error)
{
    const CLibrary library(plugin);
    if (!library.Loaded())
    {
        error = "cannot load the executor plug-in " + plugin + " to finish an interrupted update in " + directory;
        return false;
    }
    const FinishEntry finish = library.Entry();
    if (finish == nullptr)
        return true;
    char message[1024] = "";
    if (finish(directory.c_str(), message, static_cast<int>(sizeof message)) == 0)
        return true;
    // The plug-in's message says what it could not finish, and why.
    message[sizeof message - 1] = '\0';
    error = *message != '\0'
                ? directory + ": " + message
                : "the executor plug-in " + plugin + " cannot finish the update a crash interrupted in " + directory;
    return false;
}
