// The exported factories. Each creates a fresh, independent object on the
// library's heap; the host ends it with the object's own Release. A failed
// allocation gives null.
#include <VeskUpdate.h>

#include "client/CVersionQuery.h"
#include "modules/TModuleManager.h"

#include <new>

namespace kvrUpdate
{

IVersionQuery* CreateVersionQuery()
{
    return new (std::nothrow) CVersionQuery();
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
