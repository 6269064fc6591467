// The exported factories. Each creates a fresh, independent object on the
// library's heap; the host ends it with the object's own Release.
#include <VeskUpdate.h>

#include "modules/TModuleManager.h"

#include <new>

namespace kvrUpdate
{

IExecutorManager* CreateExecutorManager()
{
    return new (std::nothrow) TModuleManager<IUpdateExecutor, IExecutorManager>();
}

IFileCheckerManager* CreateFileCheckerManager()
{
    return new (std::nothrow) TModuleManager<IFileChecker, IFileCheckerManager>();
}

} // namespace kvrUpdate
