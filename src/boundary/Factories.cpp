// The exported factories. Each creates a fresh, independent object on the
// library's heap; the host ends it with the object's own Release. A failed
// allocation, or a constructor that fails, gives null: nothing throws across
// the interface.
#include <VeskUpdate.h>

#include "client/CVersionQuery.h"
#include "modules/TModuleManager.h"
#include "updater/CLocalQuery.h"
#include "updater/CUpdater.h"

#include <new>

namespace kvrUpdate
{
namespace
{

template <class T>
T* Create() noexcept
{
    try
    {
        return new (std::nothrow) T();
    }
    catch (...)
    {
        return nullptr;
    }
}

} // namespace

IUpdater* CreateUpdater()
{
    return Create<CUpdater>();
}

IVersionQuery* CreateVersionQuery()
{
    return Create<CVersionQuery>();
}

ILocalQuery* CreateLocalQuery()
{
    return Create<CLocalQuery>();
}

IExecutorManager* CreateExecutorManager()
{
    return Create<TModuleManager<IUpdateExecutor, IExecutorManager>>();
}

IFileCheckerManager* CreateFileCheckerManager()
{
    return Create<TModuleManager<IFileChecker, IFileCheckerManager>>();
}

} // namespace kvrUpdate
