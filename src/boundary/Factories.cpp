// The exported factories. Each creates a fresh, independent object on the
// library's heap; the host ends it with the object's own Release.
#include <VeskUpdate.h>

#include "modules/TModuleManager.h"
#include "updater/CLocalQuery.h"

#include <new>

namespace kvrUpdate
{

ILocalQuery* CreateLocalQuery()
{
    return new (std::nothrow) CLocalQuery();
}

IExecutorManager* CreateExecutorManager()
{
    return new (std::nothrow) TModuleManager<IUpdateExecutor, IExecutorManager>();
}

IFileCheckerManager* CreateFileCheckerManager()
{
    return new (std::nothrow) TModuleManager<IFileChecker, IFileCheckerManager>();
}

} // namespace kvrUpdate
