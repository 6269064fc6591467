#include "platform/Platform.h"

#include <dlfcn.h>
#include <link.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <system_error>

namespace platform
{

LibraryHandle OpenLibrary(const char* nameOrPath)
{
    // dlopen reads a null or empty name as the main program; no library has
    // such a name.
    if (nameOrPath == nullptr || *nameOrPath == '\0')
        return nullptr;

    // A relative path is made absolute against today's working directory, the
    // one the loader would use. The loader then records an absolute name, so
    // the library's full path stays right when the directory changes later.
    // A bare name is left to the loader's search rules.
    std::string path = nameOrPath;
    if (path.front() != '/' && path.find('/') != std::string::npos)
    {
        std::error_code error;
        const std::filesystem::path cwd = std::filesystem::current_path(error);
        if (!error)
            path = (cwd / path).string();
    }
    return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* LookupSymbol(LibraryHandle library, const char* name)
{
    // A null handle would mean RTLD_DEFAULT to dlsym, a search of the whole
    // process; here it means "not loaded".
    if (library == nullptr || name == nullptr)
        return nullptr;
    return dlsym(library, name);
}

void CloseLibrary(LibraryHandle library)
{
    if (library != nullptr)
        dlclose(library);
}

std::string LibraryFullPath(LibraryHandle library)
{
    if (library == nullptr)
        return std::string();

    // Ask the loader which file it mapped, then resolve links, "." and "..".
    struct link_map* map = nullptr;
    if (dlinfo(library, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr || map->l_name == nullptr ||
        map->l_name[0] == '\0')
        return std::string();

    const std::unique_ptr<char, void (*)(void*)> resolved(realpath(map->l_name, nullptr), &std::free);
    if (resolved == nullptr)
        return std::string();
    return std::string(resolved.get()); // freed also when the copy fails
}

} // namespace platform
