// Compiled once per DELETE_CASE by check_compile_fails.cmake: case 0 must
// compile, every other case must be refused because the interface's
// destructor is protected. Objects end only through their own Release.
#include <VeskUpdate.h>

using namespace kvrUpdate;

template <class T>
void Delete(T* object)
{
    delete object; // NOLINT: the point of the check
}

void Cases(void* any)
{
#if DELETE_CASE == 0
    static_cast<IUpdater*>(any)->Release(); // the way that works
#elif DELETE_CASE == 1
    Delete(static_cast<IReleaseable*>(any));
#elif DELETE_CASE == 2
    Delete(static_cast<IStringInitial*>(any));
#elif DELETE_CASE == 3
    Delete(static_cast<ICloneable<IVersion>*>(any));
#elif DELETE_CASE == 4
    Delete(static_cast<IVectable<const IPatch*>*>(any));
#elif DELETE_CASE == 5
    Delete(static_cast<IVersion*>(any));
#elif DELETE_CASE == 6
    Delete(static_cast<IVersionList*>(any));
#elif DELETE_CASE == 7
    Delete(static_cast<IPatch*>(any));
#elif DELETE_CASE == 8
    Delete(static_cast<IPatchList*>(any));
#elif DELETE_CASE == 9
    Delete(static_cast<IFileDef*>(any));
#elif DELETE_CASE == 10
    Delete(static_cast<IFileDefList*>(any));
#elif DELETE_CASE == 11
    Delete(static_cast<IUpdatePackage*>(any));
#elif DELETE_CASE == 12
    Delete(static_cast<IFileCheckerDef*>(any));
#elif DELETE_CASE == 13
    Delete(static_cast<IVersionQuery*>(any));
#elif DELETE_CASE == 14
    Delete(static_cast<ILocalQuery*>(any));
#elif DELETE_CASE == 15
    Delete(static_cast<IUpdater*>(any));
#elif DELETE_CASE == 16
    Delete(static_cast<IUpdateExecutor*>(any));
#elif DELETE_CASE == 17
    Delete(static_cast<IFileChecker*>(any));
#elif DELETE_CASE == 18
    Delete(static_cast<IContextUpdateExecutor*>(any));
#elif DELETE_CASE == 19
    Delete(static_cast<IContextFileChecker*>(any));
#elif DELETE_CASE == 20
    Delete(static_cast<IExecutionContext*>(any));
#elif DELETE_CASE == 21
    Delete(static_cast<ITModuleManager<IUpdateExecutor>*>(any));
#elif DELETE_CASE == 22
    Delete(static_cast<IExecutorManager*>(any));
#elif DELETE_CASE == 23
    Delete(static_cast<IFileCheckerManager*>(any));
#elif DELETE_CASE == 24
    Delete(static_cast<IEnumable<const char*>::IEnum*>(any));
#endif
}
