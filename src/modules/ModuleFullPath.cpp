#include "modules/ModuleFullPath.h"

#include "platform/Platform.h"

std::string GetModuleFullPath(const char* file)
{
    if (file == nullptr)
        return std::string();
    platform::LibraryHandle library = platform::OpenLibrary(file);
    if (library == nullptr)
        return std::string();
    std::string path;
    try
    {
        path = platform::LibraryFullPath(library);
    }
    catch (...)
    {
        path.clear();
    }
    platform::CloseLibrary(library);
    return path;
}
