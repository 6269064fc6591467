// A plug-in library for the module-manager tests, built in several variants
// from this one source:
//   PLUGIN_ID            slot in the shared counters (required)
//   PLUGIN_TYPES         comma-separated type names, e.g. "alpha,beta"
//   PLUGIN_ALT_TYPES     type names reported by the second executor entry
//   PLUGIN_ENTRY_NULL    the entries make no object and return null
//   PLUGIN_EXECUTOR_ENTRY name of the executor entry (default CreateTestExecutor)
// Every load, unload, entry call, object made and object released is counted.
#include <VeskUpdate.h>

#include "PluginCounters.h"

#include <cstring>
#include <new>

#ifndef PLUGIN_ID
#  error "PLUGIN_ID must be defined"
#endif
#ifndef PLUGIN_TYPES
#  define PLUGIN_TYPES ""
#endif
#ifndef PLUGIN_ALT_TYPES
#  define PLUGIN_ALT_TYPES "zeta"
#endif
#ifndef PLUGIN_EXECUTOR_ENTRY
#  define PLUGIN_EXECUTOR_ENTRY CreateTestExecutor
#endif

#if defined(_WIN32)
#  define PLUGIN_EXPORT extern "C" __declspec(dllexport)
#else
#  define PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace
{

struct CLibraryLifetime
{
    CLibraryLifetime() { PluginCount(PLUGIN_ID, kPluginLoaded); }
    ~CLibraryLifetime() { PluginCount(PLUGIN_ID, kPluginUnloaded); }
} g_lifetime;

// Calls `visit` with each name of a comma-separated list (empty names skipped);
// stops and returns true as soon as `visit` does.
template <class F>
bool ForEachName(const char* list, F visit)
{
    char name[64];
    const char* start = list;
    while (true)
    {
        const char* end = std::strchr(start, ',');
        const std::size_t length = end ? static_cast<std::size_t>(end - start) : std::strlen(start);
        if (length > 0 && length < sizeof name)
        {
            std::memcpy(name, start, length);
            name[length] = '\0';
            if (visit(static_cast<const char*>(name)))
                return true;
        }
        if (end == nullptr)
            return false;
        start = end + 1;
    }
}

// The three operations the manager relies on, over any plug-in interface.
template <class I>
class TTestObject : public I
{
public:
    explicit TTestObject(const char* types) : m_types(types) { PluginCount(PLUGIN_ID, kPluginCreated); }
    virtual ~TTestObject() { PluginCount(PLUGIN_ID, kPluginReleased); }

    bool IsType(const char* type) override
    {
        return ForEachName(m_types, [type](const char* name) { return std::strcmp(name, type) == 0; });
    }
    void EnumTypes(IEnumable<const char*>::IEnum* callback) override
    {
        ForEachName(m_types, [callback](const char* name) {
            callback->OnItem(name);
            return false;
        });
    }
    void Release() override { delete this; }

private:
    const char* m_types;
};

class CTestExecutor final : public TTestObject<kvrUpdate::IUpdateExecutor>
{
public:
    using TTestObject::TTestObject;
    bool Execute(const kvrUpdate::IUpdatePackage*, const char*, IEnumable<const kvrUpdate::IFileDef*>::IEnum*) override
    {
        return false;
    }
};

class CTestChecker final : public TTestObject<kvrUpdate::IFileChecker>
{
public:
    using TTestObject::TTestObject;
    bool CheckFiles(const kvrUpdate::IFileDefList* files, const char*,
                    IEnumable<const kvrUpdate::IFileDef*>::IEnum*) override
    {
        return files == nullptr;
    }
};

template <class C>
C* Make(const char* types)
{
    PluginCount(PLUGIN_ID, kPluginEntry);
#if defined(PLUGIN_ENTRY_NULL)
    (void)types;
    return nullptr;
#else
    return new (std::nothrow) C(types);
#endif
}

} // namespace

PLUGIN_EXPORT kvrUpdate::IUpdateExecutor* PLUGIN_EXECUTOR_ENTRY()
{
    return Make<CTestExecutor>(PLUGIN_TYPES);
}

PLUGIN_EXPORT kvrUpdate::IUpdateExecutor* CreateTestExecutorAlt()
{
    return Make<CTestExecutor>(PLUGIN_ALT_TYPES);
}

PLUGIN_EXPORT kvrUpdate::IFileChecker* CreateTestChecker()
{
    return Make<CTestChecker>(PLUGIN_TYPES);
}
