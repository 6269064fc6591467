// The exported factories. Each creates a fresh, independent object on the
// library's heap; the host ends it with the object's own Release. A failed
// allocation, or a constructor that fails, gives null: nothing throws across
// the interface.
#include <VeskUpdate.h>

#include "boundary/NewOrNull.h"
#include "client/CVersionQuery.h"
#include "modules/TModuleManager.h"
#include "updater/CLocalQuery.h"
#include "updater/CUpdater.h"

namespace kvrUpdate
{
IUpdater* CreateUpdater()
{
    return NewOrNull<CUpdater>();
}

IVersionQuery* CreateVersionQuery()
{
    return NewOrNull<CVersionQuery>();
}

ILocalQuery* CreateLocalQuery()
{
    return NewOrNull<CLocalQuery>();
}

IExecutorManager* CreateExecutorManager()
{
    return NewOrNull<TModuleManager<IUpdateExecutor, IExecutorManager>>();
}

IFileCheckerManager* CreateFileCheckerManager()
{
    return NewOrNull<TModuleManager<IFileChecker, IFileCheckerManager>>();
}

} // namespace kvrUpdate
