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

IUpdater* CreateUpdater()
{
    return new (std::nothrow) CUpdater();
}

IVersionQuery* CreateVersionQuery()
{
    return new (std::nothrow) CVersionQuery();
}

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
