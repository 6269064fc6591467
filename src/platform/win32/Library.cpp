#include "platform/Platform.h"

#include "platform/win32/Win32Api.h"

#include <vector>

namespace platform
{

LibraryHandle OpenLibrary(const char* nameOrPath)
{
    if (nameOrPath == nullptr || *nameOrPath == '\0')
        return nullptr;
    return LoadLibraryA(nameOrPath);
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

std::string LibraryFullPath(LibraryHandle library)
{
    if (library == nullptr)
        return std::string();

    // The loader records the full path it opened. A result that fills the
    // whole buffer may be cut short, so the buffer grows until it fits.
    std::vector<char> buffer(MAX_PATH);
    for (;;)
    {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD length = GetModuleFileNameA(static_cast<HMODULE>(library), buffer.data(), size);
        if (length == 0)
            return std::string();
        if (length < size)
            return std::string(buffer.data(), length);
        if (buffer.size() >= 32768)
            return std::string();
        buffer.resize(buffer.size() * 2);
    }
}

} // namespace platform
