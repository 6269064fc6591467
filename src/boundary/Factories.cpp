// The exported factories. Each creates a fresh, independent object on the
// library's heap; the host ends it with the object's own Release.
#include <VeskUpdate.h>

#include "client/CVersionQuery.h"
#include "modules/TModuleManager.h"
#include "updater/CLocalQuery.h"
#include "updater/CUpdater.h"

#include <new>

namespace kvrUpdate
{

// No exception leaves a factory: without memory the host gets null.

IUpdater* CreateUpdater()
{
    try
    {
        return new (std::nothrow) CUpdater();
    }
    catch (...)
    {
        return nullptr;
    }
}

IVersionQuery* CreateVersionQuery()
{
    try
    {
        return new (std::nothrow) CVersionQuery();
    }
    catch (...)
    {
        return nullptr;
    }
}

ILocalQuery* CreateLocalQuery()
{
    try
    {
        return new (std::nothrow) CLocalQuery();
    }
    catch (...)
    {
        return nullptr;
    }
}

IExecutorManager* CreateExecutorManager()
{
    try
    {
        return new (std::nothrow) TModuleManager<IUpdateExecutor, IExecutorManager>();
    }
    catch (...)
    {
        return nullptr;
    }
}

IFileCheckerManager* CreateFileCheckerManager()
{
    try
    {
        return new (std::nothrow) TModuleManager<IFileChecker, IFileCheckerManager>();
    }
    catch (...)
    {
        return nullptr;
    }
}

} // namespace kvrUpdate
