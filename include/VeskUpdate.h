// VeskUpdate: the update-client library's public interface.
//
// A host includes only this header. Every object is created inside the
// library (by a factory below or by Clone) and ends only through its own
// Release; a host never applies delete to an interface pointer.
//
// Ownership in one paragraph: what a factory or Clone returns belongs to the
// caller, who calls Release on it exactly once. Every other pointer an
// operation returns (records, lists, list elements, strings) is lent: it
// points into the object that returned it and stays valid until that object
// refills the member (the next call of the same operation, a FromString, an
// added patch) or is released. Keep a record longer by cloning it. The library
// keeps no pointer to anything the host passes in.
//
// Text: every string that crosses this interface is 8-bit, NUL-terminated, in
// the system's ANSI code page (on POSIX systems: the character set of the
// current LC_CTYPE locale; in the plain C locale text passes as UTF-8).
//
// Threads: only the local state (ILocalQuery) locks itself. An updater, a
// version query or a module manager is used by one thread at a time; separate
// objects may work on separate threads. Version-center requests block the
// calling thread until the transfer ends.
#ifndef VESKUPDATE_H
#define VESKUPDATE_H

// The one export macro. VESKUPDATE_BUILDING is defined only while the library
// itself is compiled.
#if defined(_WIN32)
#  if defined(VESKUPDATE_BUILDING)
#    define VESKUPDATE_API __declspec(dllexport)
#  else
#    define VESKUPDATE_API __declspec(dllimport)
#  endif
#else
#  define VESKUPDATE_API __attribute__((visibility("default")))
#endif

// The mark of the class templates below. With visibility, an instance of a
// marked template stays hidden when its argument is, so the mark is enough.
// Windows exports every instance of a marked template, also those over the
// interfaces the library keeps to itself; there the templates are unmarked
// and the instances the library shares are exported one by one (after IVersion).
#if defined(_WIN32)
#  define VESKUPDATE_TEMPLATE_API
#else
#  define VESKUPDATE_TEMPLATE_API VESKUPDATE_API
#endif

// Callback through which a plug-in object reports its type names
// (see kvrUpdate::IUpdateExecutor::EnumTypes).
template <class T>
class IEnumable
{
public:
    class IEnum
    {
    public:
        /// Called once per item. The item is lent for the duration of the call
        /// only; the receiver copies what it wants to keep.
        virtual void OnItem(T item) = 0;
    };
};

namespace kvrUpdate
{

// ---------------------------------------------------------------------------
// Shared bases
// ---------------------------------------------------------------------------

/// An object that ends its own life.
class IReleaseable
{
public:
    /// Destroys the whole object, whichever interface it is called through.
    /// The pointer and every pointer obtained from the object become invalid.
    /// For the query and local state embedded in an updater it does nothing.
    virtual void Release() = 0;
};

/// An object whose state is stored and restored as JSON text.
class IStringInitial
{
public:
    /// The state as JSON text. The text is held by the object and stays valid
    /// until the next ToString on the same object or its release. For the
    /// updater and the local state it is empty, never partial, when the
    /// document could not be written (memory exhausted): do not store it.
    virtual const char* ToString() = 0;
    /// Sets the object up from JSON text. Returns false, and changes nothing,
    /// when the text is not valid JSON.
    virtual bool FromString(const char* text) = 0;
};

/// A record that can be copied and released.
template <class T>
class VESKUPDATE_TEMPLATE_API ICloneable : public IReleaseable
{
public:
    /// A complete, independent copy owned by the caller, who ends it with
    /// Release. Works on lent (const) records too.
    virtual T* Clone() const = 0;
};

/// A read-only indexed sequence.
template <class T>
class VESKUPDATE_TEMPLATE_API IVectable
{
public:
    /// The element at the zero-based index, or null when the index is negative
    /// or not less than GetCount(). The element is lent: it belongs to the
    /// list and stays valid until the list is refilled or released.
    virtual T GetAt(int index) const = 0;
    /// The number of elements.
    virtual int GetCount() const = 0;
};

// ---------------------------------------------------------------------------
// Records
// ---------------------------------------------------------------------------

#if defined(_WIN32)
class IVersion;
class IVersionList;
class IPatch;
class IPatchList;
class IUpdatePackage;
class IFileCheckerDef;
extern template class VESKUPDATE_API ICloneable<IVersion>;
extern template class VESKUPDATE_API ICloneable<IVersionList>;
extern template class VESKUPDATE_API ICloneable<IPatch>;
extern template class VESKUPDATE_API ICloneable<IPatchList>;
extern template class VESKUPDATE_API ICloneable<IUpdatePackage>;
extern template class VESKUPDATE_API ICloneable<IFileCheckerDef>;
extern template class VESKUPDATE_API IVectable<const IVersion*>;
extern template class VESKUPDATE_API IVectable<const IPatch*>;
#endif

/// A product version: four unsigned 32-bit numbers written as dotted text.
class VESKUPDATE_API IVersion : public virtual ICloneable<IVersion>
{
public:
    /// +1 when this version is newer than other, -1 when older, 0 when equal;
    /// the parts are compared as unsigned numbers from the first.
    virtual int Compare(const IVersion* other) const = 0;
    /// The dotted text "a.b.c.d", held by the version until its next ToString
    /// or its destruction.
    virtual const char* ToString() const = 0;
    /// Parses text leniently: every run of digits is the next part, anything
    /// else separates; missing parts are 0. Always returns true.
    virtual bool FromString(const char* text) = 0;
    /// Part 0 (most significant) to 3; 0 for any other index.
    virtual unsigned int GetPart(int index) const = 0;
};

/// An ordered list of versions; elements are lent (see IVectable).
class VESKUPDATE_API IVersionList : public ICloneable<IVersionList>, public IVectable<const IVersion*>
{
};

/// The version center's description of one update step. Every getter returns
/// a lent pointer into the patch (never null), valid while the patch lives
/// unchanged.
class VESKUPDATE_API IPatch : public ICloneable<IPatch>
{
public:
    virtual const char* GetTitle() const = 0;
    virtual const char* GetComment() const = 0;
    /// The patch's identifier, as text.
    virtual const char* GetPatchNumber() const = 0;
    /// The versions the patch can be applied to.
    virtual const IVersionList* GetApplyVersions() const = 0;
    /// The version the product has after the patch.
    virtual const IVersion* GetResultVersion() const = 0;
    /// The identifier of the patch this one depends on.
    virtual const char* GetDependOn() const = 0;
    /// 1 bug, 2 resource, 4 function, 8 version; -1 when the name read was unknown.
    virtual int GetPatchType() const = 0;
    /// 0 wait, 1 common, 2 recommend, 3 must; -1 when the name read was unknown.
    virtual int GetPatchForce() const = 0;
};

/// An ordered list of patches; elements are lent (see IVectable).
class VESKUPDATE_API IPatchList : public ICloneable<IPatchList>, public IVectable<const IPatch*>
{
};

/// One downloadable file. Getters return lent pointers into the record.
class IFileDef : public ICloneable<IFileDef>
{
public:
    virtual const char* GetUrl() const = 0;
    /// The MD5 checksum as text; the library does not verify it.
    virtual const char* GetMd5() const = 0;
    /// The length in bytes.
    virtual long long GetLength() const = 0;
    /// The local path when one is given; otherwise the last segment of the url
    /// (or the whole url when it has no "://").
    virtual const char* GetName() const = 0;
};

/// An ordered list of file definitions; elements are lent (see IVectable).
class IFileDefList : public ICloneable<IFileDefList>, public IVectable<const IFileDef*>
{
};

/// What to download for a patch or a version. Getters return lent pointers
/// into the package, never null.
class VESKUPDATE_API IUpdatePackage : public ICloneable<IUpdatePackage>
{
public:
    virtual const char* GetBaseUrl() const = 0;
    virtual const IFileDef* GetDirectFile() const = 0;
    virtual const char* GetDirectType() const = 0;
    virtual const IFileDefList* GetResource() const = 0;
};

/// How to verify the files of an installed version.
class VESKUPDATE_API IFileCheckerDef : public ICloneable<IFileCheckerDef>
{
public:
    virtual const char* GetUrl() const = 0;
    virtual const char* GetType() const = 0;
};

// ---------------------------------------------------------------------------
// Services
// ---------------------------------------------------------------------------

/// The client of the version center. Every answer is a record held by the
/// query and lent to the caller until the same operation is called again or
/// the query is released. Each operation makes one blocking HTTP GET
/// (the four situation getters share one cached answer). Configuration text:
/// {"product": ..., "version_center": ...}.
class VESKUPDATE_API IVersionQuery : public IStringInitial, public IReleaseable
{
public:
    /// Stores a copy of the product name; a different name makes the cached
    /// situation stale.
    virtual void SetProduct(const char* product) = 0;
    /// The stored product name, lent until it is next replaced.
    virtual const char* GetProduct() const = 0;
    /// Stores a copy of the version center's base address, to which the
    /// product name and the request path are appended as they stand.
    virtual void SetVersionCenter(const char* address) = 0;
    /// The situation's "last", "must", "max" and "will" versions, or null when
    /// the situation cannot be fetched. All four point into one cached answer.
    virtual const IVersion* GetLastVersion() = 0;
    virtual const IVersion* GetMustVersion() = 0;
    virtual const IVersion* GetMaxVersion() = 0;
    virtual const IVersion* GetWillVersion() = 0;
    /// All versions of the product, or null.
    virtual const IVersionList* GetVersions() = 0;
    /// The versions after `from` up to `to`, or null.
    virtual const IVersionList* GetVersionEvolution(const char* from, const char* to) = 0;
    /// The patches that apply to `version`, or null.
    virtual const IPatchList* GetPatchs(const char* version) = 0;
    /// The chain of patches from `from` to `to`. Never null: on failure the
    /// list is empty.
    virtual const IPatchList* GetPatchEvolution(const char* from, const char* to) = 0;
    /// The package of a patch, by its identifier (sent unchanged), or null.
    virtual const IUpdatePackage* GetPatchPackage(const char* patch) = 0;
    /// The package of a version, or null.
    virtual const IUpdatePackage* GetVersionPackage(const char* version) = 0;
    /// The file-check definition of a version, or null.
    virtual const IFileCheckerDef* GetFileCheckDef(const char* version) = 0;
};

/// The record of what is installed: product name, installed version, and the
/// installed and downloaded patches. Thread-safe: every operation runs under
/// the object's own lock, but what it lends may change under a concurrent
/// FromString or added patch, and the ToString text under another thread's
/// ToString. Document: {"product_ame", "version",
/// "installed_patchs", "downloaded_patchs"}.
class VESKUPDATE_API ILocalQuery : public IStringInitial, public IReleaseable
{
public:
    /// The product name, lent until the next read replaces it.
    virtual const char* GetProductName() const = 0;
    /// The installed version itself (not a copy); never release it.
    virtual const IVersion* GetVersion() const = 0;
    /// 0: installed patches, 1: downloaded patches, null otherwise. The list
    /// itself, lent; never release it.
    virtual const IPatchList* GetPatchList(int which) const = 0;
};

/// One product kept up to date: its name, its version center, an embedded
/// version query and an embedded local state. Configuration document:
/// {"porduct_name", "version_center", "local"}.
class VESKUPDATE_API IUpdater : public IStringInitial, public IReleaseable
{
public:
    /// Stores the name and passes it to the version query and the local state.
    virtual void SetProductName(const char* name) = 0;
    /// The product name, lent until it is next replaced.
    virtual const char* GetProductName() const = 0;
    /// Stores the address and passes it to the version query.
    virtual void SetVersionCenter(const char* address) = 0;
    /// The embedded query, valid for the updater's whole life. Its Release
    /// does nothing; it ends with the updater.
    virtual IVersionQuery* GetVersionQuery() = 0;
    /// The embedded local state, valid for the updater's whole life. Its
    /// Release does nothing; it ends with the updater.
    virtual ILocalQuery* GetLocalQuery() = 0;
    /// Appends a copy of the patch to the downloaded list.
    virtual void SetPatchDownloaded(const IPatch* patch) = 0;
    /// Moves the local version up to the patch's result version when that is
    /// newer; appends a copy to the installed list when it is equal; does
    /// nothing when it is older.
    virtual void SetPatchInstalled(const IPatch* patch) = 0;
};

// ---------------------------------------------------------------------------
// Plug-ins and their managers
// ---------------------------------------------------------------------------

/// An object made by an update-executor plug-in library. The first three
/// operations are what the module manager relies on. A host acquires an
/// executor by the type of the package it wants to apply
/// (IUpdatePackage::GetDirectType) and runs the package with Execute.
/// No operation lets an exception out.
class IUpdateExecutor
{
public:
    /// Whether the object serves the type name (exact, case-sensitive).
    virtual bool IsType(const char* type) = 0;
    /// Calls callback->OnItem once for every type name served, before
    /// returning. The callback is valid only during this call.
    virtual void EnumTypes(IEnumable<const char*>::IEnum* callback) = 0;
    /// Destroys the object.
    virtual void Release() = 0;
    /// Applies the package in `directory`, an existing directory named by the
    /// host: every file of the package ends up there under its name
    /// (IFileDef::GetName, relative to the directory), and whatever else the
    /// executor's type means is done. Calls failed->OnItem, when `failed` is
    /// not null, once for every file that could not be put in place intact.
    /// Returns true when every file is in place intact. A file that fails
    /// does not replace one already there. The package, the directory and
    /// the callback are used during the call only; the host keeps ownership.
    virtual bool Execute(const IUpdatePackage* package, const char* directory,
                         IEnumable<const IFileDef*>::IEnum* failed) = 0;
};

/// An object made by a file-checker plug-in library. The first three
/// operations are what the module manager relies on. A host acquires a
/// checker by the type of a version's file-check definition
/// (IFileCheckerDef::GetType) and checks the version's files (for example
/// the resource list of the version's package) with CheckFiles.
/// No operation lets an exception out.
class IFileChecker
{
public:
    /// Whether the object serves the type name (exact, case-sensitive).
    virtual bool IsType(const char* type) = 0;
    /// Calls callback->OnItem once for every type name served, before
    /// returning. The callback is valid only during this call.
    virtual void EnumTypes(IEnumable<const char*>::IEnum* callback) = 0;
    /// Destroys the object.
    virtual void Release() = 0;
    /// Checks the files under `directory` against `files`: each definition
    /// names a file relative to the directory (IFileDef::GetName) and what it
    /// must hold, as the checker's type understands it. Calls failed->OnItem,
    /// when `failed` is not null, once for every file that is missing or does
    /// not match. Returns true when every file matches. Reads only; the list,
    /// the directory and the callback are used during the call only.
    virtual bool CheckFiles(const IFileDefList* files, const char* directory,
                            IEnumable<const IFileDef*>::IEnum* failed) = 0;
};

/// Registers plug-in libraries by file name and hands out their objects by
/// type name. Not thread-safe. Give back every acquired object before
/// releasing the manager: the objects run code of libraries the manager frees.
template <class T>
class VESKUPDATE_API ITModuleManager
{
public:
    /// Keeps the object resident: AcquireObject asks pinned objects first and
    /// ReleaseObject leaves them alone. The manager does not take ownership.
    virtual void PinObject(T* object) = 0;
    /// Removes the object from the pinned ones; does not release it.
    virtual void UnpinObject(T* object) = 0;
    /// Loads the library, calls its export `entry` once to learn the type
    /// names, and frees it again until first use. 0 registered (or already
    /// registered), 1 the library does not load, 2 it has no export `entry`.
    virtual int RegisterModule(const char* file, const char* entry) = 0;
    /// Withdraws the library registered from `file`; always true.
    virtual bool UnregisterModule(const char* file) = 0;
    /// A pinned object serving `type`, else a new object from the first
    /// module that reported `type`, else null. A new object belongs to the
    /// caller, who gives it back with ReleaseObject.
    virtual T* AcquireObject(const char* type) = 0;
    /// Releases the object unless it is pinned.
    virtual void ReleaseObject(T* object) = 0;
};

/// Manager of update-executor plug-ins.
class VESKUPDATE_API IExecutorManager : public ITModuleManager<IUpdateExecutor>, public IReleaseable
{
};

/// Manager of file-checker plug-ins.
class VESKUPDATE_API IFileCheckerManager : public ITModuleManager<IFileChecker>, public IReleaseable
{
};

// ---------------------------------------------------------------------------
// Factories. Each returns a new, independent object owned by the caller, who
// ends it with Release.
// ---------------------------------------------------------------------------

VESKUPDATE_API IUpdater* CreateUpdater();
VESKUPDATE_API IVersionQuery* CreateVersionQuery();
VESKUPDATE_API ILocalQuery* CreateLocalQuery();
VESKUPDATE_API IExecutorManager* CreateExecutorManager();
/// A manager of file-checker plug-ins; it behaves as the executor manager.
VESKUPDATE_API IFileCheckerManager* CreateFileCheckerManager();

} // namespace kvrUpdate

#endif // VESKUPDATE_H
