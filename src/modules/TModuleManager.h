// The module manager: registers plug-in libraries by file name, learns the
// type names each one serves, and hands out plug-in objects by type name.
//
// T is the plug-in object interface (IUpdateExecutor, IFileChecker); of it the
// manager uses only IsType, EnumTypes and Release. M is the public manager
// interface implemented (IExecutorManager, IFileCheckerManager).
#ifndef VESKUPDATE_TMODULEMANAGER_H
#define VESKUPDATE_TMODULEMANAGER_H

#include <VeskUpdate.h>

#include "modules/ModuleFullPath.h"
#include "platform/Platform.h"

#include <algorithm>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

template <class T, class M>
class TModuleManager final : public M
{
public:
    /// One registered plug-in library. Its library is loaded only while it is
    /// needed: for registration, and from the first object made for a host
    /// until the module is destroyed.
    class CModule
    {
    public:
        /// The plug-in library's export: makes one object, or returns null.
        using EntryFunction = T* (*)();

        CModule() = default;
        /// Frees the library if it is loaded.
        ~CModule() { Unload(); }
        CModule(const CModule&) = delete;
        CModule& operator=(const CModule&) = delete;

        /// Loads the library `file`, records its full path, collects the type
        /// names of one object made by `entry`, and frees the library again.
        /// 0 done, 1 the library does not load, 2 it has no export `entry`.
        /// Throws std::bad_alloc when memory runs out, also when a type name
        /// could not be kept.
        int SetModuleFile(const char* file, const char* entry);
        /// 0 loaded (or already loaded), 1 the library does not load, 2 the
        /// entry is missing (the library is freed again).
        int Load();
        /// Frees the library if it is loaded; forgets the entry in any case.
        void Unload();
        /// A new object from the entry (loading the library first), or null.
        T* CreateObject();
        /// Whether the plug-in reported exactly this type name.
        bool SupportsType(const char* type) const;
        /// Whether both modules stand for the same library file.
        bool IsSameFile(const CModule& other) const;
        /// Whether this module's library is the file with full path `path`.
        bool IsFile(const char* path) const;

    private:
        std::string m_fileName;
        std::string m_fullPath;
        std::string m_entryName;
        std::vector<std::string> m_typeNames;
        platform::LibraryHandle m_library = nullptr;
        EntryFunction m_entry = nullptr;
    };

    TModuleManager() = default;
    /// Destroys the serving modules, then the retired ones, freeing their
    /// libraries. Pinned objects are left alone.
    ~TModuleManager()
    {
        m_modules.clear();
        m_retired.clear();
    }
    TModuleManager(const TModuleManager&) = delete;
    TModuleManager& operator=(const TModuleManager&) = delete;

    // ITModuleManager<T>
    void PinObject(T* object) override;
    void UnpinObject(T* object) override;
    int RegisterModule(const char* file, const char* entry) override;
    bool UnregisterModule(const char* file) override;
    T* AcquireObject(const char* type) override;
    void ReleaseObject(T* object) override;

    // IReleaseable
    void Release() override { delete this; }

private:
    using ModuleList = std::vector<std::unique_ptr<CModule>>;

    bool IsPinned(const T* object) const
    {
        return std::find(m_pinned.begin(), m_pinned.end(), object) != m_pinned.end();
    }

    ModuleList m_modules;     // serving, in the order registered or revived
    ModuleList m_retired;     // withdrawn by UnregisterModule, oldest first
    std::vector<T*> m_pinned; // not owned
};

// ---------------------------------------------------------------------------
// CModule
// ---------------------------------------------------------------------------

template <class T, class M>
int TModuleManager<T, M>::CModule::SetModuleFile(const char* file, const char* entry)
{
    // Receives the plug-in's type names and keeps copies of them: the names
    // live only during each OnItem call.
    class CTypeEnum final : public IEnumable<const char*>::IEnum
    {
    public:
        explicit CTypeEnum(CModule& module) : m_module(module) {}
        void OnItem(const char* item) override
        {
            if (item == nullptr)
                return;
            // Called from plug-in code: nothing may be thrown back into it.
            try
            {
                m_module.m_typeNames.emplace_back(item);
            }
            catch (...)
            {
                m_lost = true;
            }
        }
        /// Whether a name could not be kept (memory exhausted).
        bool Lost() const { return m_lost; }

    private:
        CModule& m_module;
        bool m_lost = false;
    };

    Unload();
    m_fileName = file;
    m_entryName = entry;
    m_fullPath.clear();
    const int loaded = Load();
    if (loaded != 0)
        return loaded;
    m_fullPath = platform::LibraryFullPath(m_library);
    m_typeNames.clear();
    bool lost = false;
    if (T* object = CreateObject())
    {
        CTypeEnum collector(*this);
        object->EnumTypes(&collector);
        object->Release();
        lost = collector.Lost();
    }
    // Registration only learns the types; the library comes back on first use.
    Unload();
    // A module that serves only some of its types would answer for the
    // others as if the plug-in lacked them.
    if (lost)
        throw std::bad_alloc();
    return 0;
}

template <class T, class M>
int TModuleManager<T, M>::CModule::Load()
{
    if (m_library != nullptr)
        return 0;
    // Once the full path is known, load exactly that file, whatever the
    // search rules or the working directory say by now.
    const std::string& name = m_fullPath.empty() ? m_fileName : m_fullPath;
    platform::LibraryHandle library = platform::OpenLibrary(name.c_str());
    if (library == nullptr)
        return 1;
    void* symbol = platform::LookupSymbol(library, m_entryName.c_str());
    if (symbol == nullptr)
    {
        platform::CloseLibrary(library);
        return 2;
    }
    m_library = library;
    m_entry = reinterpret_cast<EntryFunction>(symbol);
    return 0;
}

template <class T, class M>
void TModuleManager<T, M>::CModule::Unload()
{
    if (m_library != nullptr)
    {
        platform::CloseLibrary(m_library);
        m_library = nullptr;
    }
    m_entry = nullptr;
}

template <class T, class M>
T* TModuleManager<T, M>::CModule::CreateObject()
{
    Load(); // a library that no longer loads leaves m_entry null
    if (m_entry == nullptr)
        return nullptr;
    return m_entry();
}

template <class T, class M>
bool TModuleManager<T, M>::CModule::SupportsType(const char* type) const
{
    for (const std::string& name : m_typeNames)
    {
        if (name == type)
            return true;
    }
    return false;
}

template <class T, class M>
bool TModuleManager<T, M>::CModule::IsSameFile(const CModule& other) const
{
    // An unknown path says nothing about the file: never treat two such
    // modules as one library.
    return !m_fullPath.empty() && m_fullPath == other.m_fullPath;
}

template <class T, class M>
bool TModuleManager<T, M>::CModule::IsFile(const char* path) const
{
    return path != nullptr && *path != '\0' && m_fullPath == path;
}

// ---------------------------------------------------------------------------
// The manager
// ---------------------------------------------------------------------------

template <class T, class M>
void TModuleManager<T, M>::PinObject(T* object)
{
    if (object == nullptr || IsPinned(object))
        return;
    try
    {
        m_pinned.push_back(object);
    }
    catch (...)
    {
    }
}

template <class T, class M>
void TModuleManager<T, M>::UnpinObject(T* object)
{
    const auto found = std::find(m_pinned.begin(), m_pinned.end(), object);
    if (found != m_pinned.end())
        m_pinned.erase(found);
}

template <class T, class M>
int TModuleManager<T, M>::RegisterModule(const char* file, const char* entry)
{
    if (file == nullptr)
        return 1;
    if (entry == nullptr)
        return 2;
    try
    {
        std::unique_ptr<CModule> module(new CModule);
        const int result = module->SetModuleFile(file, entry);
        if (result != 0)
            return result;

        // Already serving: the existing module keeps its entry and types.
        for (const std::unique_ptr<CModule>& existing : m_modules)
        {
            if (existing->IsSameFile(*module))
                return 0;
        }
        // Retired earlier: it serves again, with the types it first reported.
        for (auto retired = m_retired.begin(); retired != m_retired.end(); ++retired)
        {
            if ((*retired)->IsSameFile(*module))
            {
                m_modules.push_back(std::move(*retired));
                m_retired.erase(retired);
                return 0;
            }
        }
        m_modules.push_back(std::move(module));
        return 0;
    }
    catch (...)
    {
        // Out of memory: nothing was registered, and the new module's
        // destructor has freed its library.
        return 1;
    }
}

template <class T, class M>
bool TModuleManager<T, M>::UnregisterModule(const char* file)
{
    try
    {
        const std::string path = GetModuleFullPath(file);
        if (path.empty())
            return true;
        for (auto module = m_modules.begin(); module != m_modules.end(); ++module)
        {
            if ((*module)->IsFile(path.c_str()))
            {
                // Objects made from the library may still be alive, so its
                // library stays loaded until the manager ends.
                m_retired.push_back(std::move(*module));
                m_modules.erase(module);
                break;
            }
        }
    }
    catch (...)
    {
    }
    return true;
}

template <class T, class M>
T* TModuleManager<T, M>::AcquireObject(const char* type)
{
    if (type == nullptr)
        return nullptr;
    for (T* object : m_pinned)
    {
        if (object->IsType(type))
            return object;
    }
    // The first module that reported the type serves it, even when its entry
    // fails to make an object.
    for (const std::unique_ptr<CModule>& module : m_modules)
    {
        if (!module->SupportsType(type))
            continue;
        try
        {
            return module->CreateObject();
        }
        catch (...)
        {
            return nullptr; // out of memory loading the library again
        }
    }
    return nullptr;
}

template <class T, class M>
void TModuleManager<T, M>::ReleaseObject(T* object)
{
    // A null object is what AcquireObject hands out when nothing serves.
    if (object == nullptr || IsPinned(object))
        return;
    object->Release();
}

#endif // VESKUPDATE_TMODULEMANAGER_H
