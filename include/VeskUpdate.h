/**
 * \file
 * The public interface of VeskUpdate: the interfaces of the namespace
 * kvrUpdate, the factories that create the top-level objects, and the
 * export macro. A host includes only this header.
 */
/**
 * \mainpage VeskUpdate
 *
 * VeskUpdate keeps one product of a host application up to date. Through the
 * abstract interfaces of the namespace kvrUpdate a host asks a version center
 * (an HTTP server answering JSON) which versions, patches, update packages and
 * file checks exist (IVersionQuery), records which patches were downloaded and
 * installed and which version is installed (IUpdater, ILocalQuery), and loads
 * plug-in libraries that apply updates or check files (IExecutorManager,
 * IFileCheckerManager). A host includes only VeskUpdate.h and links the
 * shared library: `VeskUpdate::VeskUpdate` in CMake, `VeskUpdate` in
 * pkg-config.
 *
 * \section ownership Ownership
 *
 * Every object is created inside the library (by a factory or by Clone) and
 * ends only through its own Release; a host never applies delete to an
 * interface pointer (it does not compile: the interfaces' destructors are
 * protected, and not virtual, so the tables of virtual operations stay as
 * they were). What a factory or Clone returns belongs to the caller,
 * who calls Release on it exactly once. Every other pointer an operation
 * returns (records, lists, list elements, strings) is lent: it points into the
 * object that returned it and stays valid until that object refills the
 * member (the next call of the same operation, a FromString, an added patch)
 * or is released. Keep a record longer by cloning it.
 *
 * | You get | From | It is | Valid until |
 * |---|---|---|---|
 * | IUpdater, IVersionQuery, ILocalQuery, IExecutorManager, IFileCheckerManager | the factories (kvrUpdate::CreateUpdater, ...) | yours | you call its Release, exactly once |
 * | any record or list | ICloneable::Clone (null when memory runs out) | yours | you call its Release |
 * | a plug-in object | ITModuleManager::AcquireObject | yours to give back | you pass it to the same manager's ReleaseObject, before you release the manager |
 * | a plug-in object you pinned | your ITModuleManager::PinObject | kept by the manager, still yours | it must live until you unpin it or release the manager; then you release it |
 * | the query and the local state of an updater | IUpdater::GetVersionQuery, IUpdater::GetLocalQuery | lent | the updater's Release; their own Release does nothing |
 * | versions, lists, patches, packages, file checks | the query's operations | lent | the next call of the same operation on that query (the four situation getters share one answer), or the query's end |
 * | the installed version and the two patch lists | ILocalQuery::GetVersion, ILocalQuery::GetPatchList | lent | the end of the local state (or of its updater); their contents change with FromString, IUpdater::SetPatchInstalled and IUpdater::SetPatchDownloaded |
 * | list elements and nested records | IVectable::GetAt, IPatch::GetResultVersion, ... | lent | their container is refilled or ends |
 * | `const char*` texts | ToString, GetProductName, IPatch::GetTitle, ... | lent | the object changes that text (the next ToString on it) or ends; an updater's SetProductName and FromString also change its local state's product name |
 * | items passed to a host's IEnumable::IEnum::OnItem | plug-ins | lent | the callback returns |
 *
 * The library keeps no pointer to anything the host passes in, except a
 * pinned plug-in object; records passed in are copied when the library
 * stores them.
 *
 * \section text Text
 *
 * Every string that crosses this interface is 8-bit, NUL-terminated, in the
 * system's ANSI code page (on POSIX systems: the character set of the
 * current LC_CTYPE locale; in the plain C locale text passes as UTF-8).
 *
 * \section threads Threads
 *
 * Only the local state (ILocalQuery) locks itself. An updater, a version
 * query or a module manager is used by one thread at a time; separate objects
 * may work on separate threads. Version-center requests block the calling
 * thread until the transfer ends.
 *
 * \section failures Failures
 *
 * Operations report failure through their results: null, false or an empty
 * list, as each operation says. A version-center request that fails gives
 * null (an empty list for IVersionQuery::GetPatchEvolution) and does not say
 * why.
 */
#ifndef VESKUPDATE_H
#define VESKUPDATE_H

/// \def VESKUPDATE_API
/// Marks what the shared library exports: the factories and the interface
/// classes. VESKUPDATE_BUILDING is defined only while the library itself is
/// compiled.
#if defined(_WIN32)
#  if defined(VESKUPDATE_BUILDING)
#    define VESKUPDATE_API __declspec(dllexport)
#  else
#    define VESKUPDATE_API __declspec(dllimport)
#  endif
#else
#  define VESKUPDATE_API __attribute__((visibility("default")))
#endif

/// \def VESKUPDATE_TEMPLATE_API
/// The mark of the class templates below. With visibility, an instance of a
/// marked template stays hidden when its argument is, so the mark is enough.
/// Windows exports every instance of a marked template, also those over the
/// interfaces the library keeps to itself; there the templates are unmarked
/// and the instances the library shares are exported one by one (after
/// IVersion).
#if defined(_WIN32)
#  define VESKUPDATE_TEMPLATE_API
#else
#  define VESKUPDATE_TEMPLATE_API VESKUPDATE_API
#endif

/// Callbacks that receive items of type T one by one: the type names a
/// plug-in object serves (kvrUpdate::IUpdateExecutor::EnumTypes) and the files
/// a plug-in could not put in place or check.
template <class T>
class IEnumable
{
public:
    /// The receiver of the items, implemented by whoever asks for them.
    class IEnum
    {
    public:
        /// Called once per item. The item is lent for the duration of the call
        /// only; the receiver copies what it wants to keep.
        virtual void OnItem(T item) = 0;

    protected:
        /// @cond LIFETIME
        IEnum() = default;
        IEnum(const IEnum&) = default;
        IEnum(IEnum&&) noexcept = default;
        IEnum& operator=(const IEnum&) = default;
        IEnum& operator=(IEnum&&) noexcept = default;
        ~IEnum() = default;
        /// @endcond
    };
};

/// Everything of VeskUpdate: the interfaces, the names of the numbers they
/// pass, and the factories.
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

protected:
    /// @cond LIFETIME
    IReleaseable() = default;
    IReleaseable(const IReleaseable&) = default;
    IReleaseable(IReleaseable&&) noexcept = default;
    IReleaseable& operator=(const IReleaseable&) = default;
    IReleaseable& operator=(IReleaseable&&) noexcept = default;
    ~IReleaseable() = default;
    /// @endcond
};

/// An object whose state is stored and restored as JSON text.
class IStringInitial
{
public:
    /// The state as JSON text. The text is held by the object and stays valid
    /// until the next ToString on the same object or its release. It is
    /// empty, never partial, when the document could not be written (memory
    /// exhausted): do not store it.
    virtual const char* ToString() = 0;
    /// Sets the object up from JSON text. Returns false, and changes nothing,
    /// when the text is not valid JSON or memory runs out while it is read.
    virtual bool FromString(const char* text) = 0;

protected:
    /// @cond LIFETIME
    IStringInitial() = default;
    IStringInitial(const IStringInitial&) = default;
    IStringInitial(IStringInitial&&) noexcept = default;
    IStringInitial& operator=(const IStringInitial&) = default;
    IStringInitial& operator=(IStringInitial&&) noexcept = default;
    ~IStringInitial() = default;
    /// @endcond
};

/// A record that can be copied and released.
template <class T>
class VESKUPDATE_TEMPLATE_API ICloneable : public IReleaseable
{
public:
    /// A complete, independent copy owned by the caller, who ends it with
    /// Release; null when memory runs out. Works on lent (const) records too.
    virtual T* Clone() const = 0;

protected:
    /// @cond LIFETIME
    ICloneable() = default;
    ICloneable(const ICloneable&) = default;
    ICloneable(ICloneable&&) noexcept = default;
    ICloneable& operator=(const ICloneable&) = default;
    ICloneable& operator=(ICloneable&&) noexcept = default;
    ~ICloneable() = default;
    /// @endcond
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

protected:
    /// @cond LIFETIME
    IVectable() = default;
    IVectable(const IVectable&) = default;
    IVectable(IVectable&&) noexcept = default;
    IVectable& operator=(const IVectable&) = default;
    IVectable& operator=(IVectable&&) noexcept = default;
    ~IVectable() = default;
    /// @endcond
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

protected:
    /// @cond LIFETIME
    IVersion() = default;
    IVersion(const IVersion&) = default;
    IVersion(IVersion&&) noexcept = default;
    IVersion& operator=(const IVersion&) = default;
    IVersion& operator=(IVersion&&) noexcept = default;
    ~IVersion() = default;
    /// @endcond
};

/// An ordered list of versions; elements are lent (see IVectable).
class VESKUPDATE_API IVersionList : public ICloneable<IVersionList>, public IVectable<const IVersion*>
{
protected:
    /// @cond LIFETIME
    IVersionList() = default;
    IVersionList(const IVersionList&) = default;
    IVersionList(IVersionList&&) noexcept = default;
    IVersionList& operator=(const IVersionList&) = default;
    IVersionList& operator=(IVersionList&&) noexcept = default;
    ~IVersionList() = default;
    /// @endcond
};

/// The kinds of change IPatch::GetPatchType reports. The values are distinct
/// bits, but a patch holds exactly one of them.
enum PatchTypeValue : int
{
    PatchTypeUnknown = -1, ///< a type name the library does not know
    PatchTypeBug = 1,      ///< "bug"
    PatchTypeResource = 2, ///< "resource"
    PatchTypeFunction = 4, ///< "function"
    PatchTypeVersion = 8,  ///< "version"
};

/// How urgent IPatch::GetPatchForce reports a patch to be.
enum PatchForceValue : int
{
    PatchForceUnknown = -1,  ///< a force name the library does not know
    PatchForceWait = 0,      ///< "wait"
    PatchForceCommon = 1,    ///< "common"
    PatchForceRecommend = 2, ///< "recommend"
    PatchForceMust = 3,      ///< "must"
};

/// The version center's description of one update step. Every getter returns
/// a lent pointer into the patch (never null), valid while the patch lives
/// unchanged.
class VESKUPDATE_API IPatch : public ICloneable<IPatch>
{
public:
    /// The patch's title ("title").
    virtual const char* GetTitle() const = 0;
    /// The patch's comment ("comment").
    virtual const char* GetComment() const = 0;
    /// The patch's identifier, as text.
    virtual const char* GetPatchNumber() const = 0;
    /// The versions the patch can be applied to.
    virtual const IVersionList* GetApplyVersions() const = 0;
    /// The version the product has after the patch.
    virtual const IVersion* GetResultVersion() const = 0;
    /// The identifier of the patch this one depends on.
    virtual const char* GetDependOn() const = 0;
    /// The kind of change, a PatchTypeValue: PatchTypeBug (1),
    /// PatchTypeResource (2), PatchTypeFunction (4), PatchTypeVersion (8), or
    /// PatchTypeUnknown (-1) when the name read was unknown.
    virtual int GetPatchType() const = 0;
    /// How urgent the patch is, a PatchForceValue: PatchForceWait (0),
    /// PatchForceCommon (1), PatchForceRecommend (2), PatchForceMust (3), or
    /// PatchForceUnknown (-1) when the name read was unknown.
    virtual int GetPatchForce() const = 0;

protected:
    /// @cond LIFETIME
    IPatch() = default;
    IPatch(const IPatch&) = default;
    IPatch(IPatch&&) noexcept = default;
    IPatch& operator=(const IPatch&) = default;
    IPatch& operator=(IPatch&&) noexcept = default;
    ~IPatch() = default;
    /// @endcond
};

/// An ordered list of patches; elements are lent (see IVectable).
class VESKUPDATE_API IPatchList : public ICloneable<IPatchList>, public IVectable<const IPatch*>
{
protected:
    /// @cond LIFETIME
    IPatchList() = default;
    IPatchList(const IPatchList&) = default;
    IPatchList(IPatchList&&) noexcept = default;
    IPatchList& operator=(const IPatchList&) = default;
    IPatchList& operator=(IPatchList&&) noexcept = default;
    ~IPatchList() = default;
    /// @endcond
};

/// One downloadable file. Getters return lent pointers into the record.
class IFileDef : public ICloneable<IFileDef>
{
public:
    /// The file's address ("url"), as the version center sent it.
    virtual const char* GetUrl() const = 0;
    /// The MD5 checksum as text; the library does not verify it.
    virtual const char* GetMd5() const = 0;
    /// The length in bytes.
    virtual long long GetLength() const = 0;
    /// The local path when one is given; otherwise the last segment of the url
    /// (or the whole url when it has no "://").
    virtual const char* GetName() const = 0;

protected:
    /// @cond LIFETIME
    IFileDef() = default;
    IFileDef(const IFileDef&) = default;
    IFileDef(IFileDef&&) noexcept = default;
    IFileDef& operator=(const IFileDef&) = default;
    IFileDef& operator=(IFileDef&&) noexcept = default;
    ~IFileDef() = default;
    /// @endcond
};

/// An ordered list of file definitions; elements are lent (see IVectable).
class IFileDefList : public ICloneable<IFileDefList>, public IVectable<const IFileDef*>
{
protected:
    /// @cond LIFETIME
    IFileDefList() = default;
    IFileDefList(const IFileDefList&) = default;
    IFileDefList(IFileDefList&&) noexcept = default;
    IFileDefList& operator=(const IFileDefList&) = default;
    IFileDefList& operator=(IFileDefList&&) noexcept = default;
    ~IFileDefList() = default;
    /// @endcond
};

/// What to download for a patch or a version. Getters return lent pointers
/// into the package, never null.
class VESKUPDATE_API IUpdatePackage : public ICloneable<IUpdatePackage>
{
public:
    /// The package's base address ("base_url"), as the version center sent
    /// it; how the files' addresses relate to it is the executor's business.
    virtual const char* GetBaseUrl() const = 0;
    /// The package's direct file ("direct_file"); empty texts and length 0
    /// when the answer had none.
    virtual const IFileDef* GetDirectFile() const = 0;
    /// The package's type name ("direct_type"): the host acquires the update
    /// executor that serves it (ITModuleManager::AcquireObject).
    virtual const char* GetDirectType() const = 0;
    /// The package's resource files ("resource").
    virtual const IFileDefList* GetResource() const = 0;

protected:
    /// @cond LIFETIME
    IUpdatePackage() = default;
    IUpdatePackage(const IUpdatePackage&) = default;
    IUpdatePackage(IUpdatePackage&&) noexcept = default;
    IUpdatePackage& operator=(const IUpdatePackage&) = default;
    IUpdatePackage& operator=(IUpdatePackage&&) noexcept = default;
    ~IUpdatePackage() = default;
    /// @endcond
};

/// How to verify the files of an installed version.
class VESKUPDATE_API IFileCheckerDef : public ICloneable<IFileCheckerDef>
{
public:
    /// The check's address ("url"), as the version center sent it.
    virtual const char* GetUrl() const = 0;
    /// The check's type name ("type"): the host acquires the file checker
    /// that serves it (ITModuleManager::AcquireObject).
    virtual const char* GetType() const = 0;

protected:
    /// @cond LIFETIME
    IFileCheckerDef() = default;
    IFileCheckerDef(const IFileCheckerDef&) = default;
    IFileCheckerDef(IFileCheckerDef&&) noexcept = default;
    IFileCheckerDef& operator=(const IFileCheckerDef&) = default;
    IFileCheckerDef& operator=(IFileCheckerDef&&) noexcept = default;
    ~IFileCheckerDef() = default;
    /// @endcond
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
    /// The situation's "last" version, or null when the situation cannot be
    /// fetched. The four situation getters point into one cached answer,
    /// fetched again when the product or the address changes.
    virtual const IVersion* GetLastVersion() = 0;
    /// The situation's "must" version, or null (see GetLastVersion).
    virtual const IVersion* GetMustVersion() = 0;
    /// The situation's "max" version, or null (see GetLastVersion).
    virtual const IVersion* GetMaxVersion() = 0;
    /// The situation's "will" version, or null (see GetLastVersion).
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

protected:
    /// @cond LIFETIME
    IVersionQuery() = default;
    IVersionQuery(const IVersionQuery&) = default;
    IVersionQuery(IVersionQuery&&) noexcept = default;
    IVersionQuery& operator=(const IVersionQuery&) = default;
    IVersionQuery& operator=(IVersionQuery&&) noexcept = default;
    ~IVersionQuery() = default;
    /// @endcond
};

/// The lists ILocalQuery::GetPatchList returns.
enum PatchListIndex : int
{
    PatchListInstalled = 0,  ///< the installed patches
    PatchListDownloaded = 1, ///< the downloaded patches
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
    /// The product name, lent until it is replaced: by this object's
    /// FromString and, for the local state inside an updater, also by the
    /// updater's SetProductName and FromString.
    virtual const char* GetProductName() const = 0;
    /// The installed version itself (not a copy); never release it.
    virtual const IVersion* GetVersion() const = 0;
    /// The installed patches for PatchListInstalled (0), the downloaded ones
    /// for PatchListDownloaded (1), null otherwise. The list itself, lent;
    /// never release it.
    virtual const IPatchList* GetPatchList(int which) const = 0;

protected:
    /// @cond LIFETIME
    ILocalQuery() = default;
    ILocalQuery(const ILocalQuery&) = default;
    ILocalQuery(ILocalQuery&&) noexcept = default;
    ILocalQuery& operator=(const ILocalQuery&) = default;
    ILocalQuery& operator=(ILocalQuery&&) noexcept = default;
    ~ILocalQuery() = default;
    /// @endcond
};

/// One product kept up to date: its name, its version center, an embedded
/// version query and an embedded local state. Configuration document:
/// {"porduct_name", "version_center", "local"}.
class VESKUPDATE_API IUpdater : public IStringInitial, public IReleaseable
{
public:
    /// Stores the name and passes it to the version query and the local
    /// state; when memory runs out, all three keep the old name.
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
    /// Appends a copy of the patch to the downloaded list; changes nothing
    /// when memory runs out.
    virtual void SetPatchDownloaded(const IPatch* patch) = 0;
    /// Moves the local version up to the patch's result version when that is
    /// newer; appends a copy to the installed list when it is equal (nothing
    /// changes when memory runs out); does nothing when it is older.
    virtual void SetPatchInstalled(const IPatch* patch) = 0;

protected:
    /// @cond LIFETIME
    IUpdater() = default;
    IUpdater(const IUpdater&) = default;
    IUpdater(IUpdater&&) noexcept = default;
    IUpdater& operator=(const IUpdater&) = default;
    IUpdater& operator=(IUpdater&&) noexcept = default;
    ~IUpdater() = default;
    /// @endcond
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

protected:
    /// @cond LIFETIME
    IUpdateExecutor() = default;
    IUpdateExecutor(const IUpdateExecutor&) = default;
    IUpdateExecutor(IUpdateExecutor&&) noexcept = default;
    IUpdateExecutor& operator=(const IUpdateExecutor&) = default;
    IUpdateExecutor& operator=(IUpdateExecutor&&) noexcept = default;
    ~IUpdateExecutor() = default;
    /// @endcond
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

protected:
    /// @cond LIFETIME
    IFileChecker() = default;
    IFileChecker(const IFileChecker&) = default;
    IFileChecker(IFileChecker&&) noexcept = default;
    IFileChecker& operator=(const IFileChecker&) = default;
    IFileChecker& operator=(IFileChecker&&) noexcept = default;
    ~IFileChecker() = default;
    /// @endcond
};

/// What a host hands an executor or checker beyond the package: named
/// settings and a place for progress and reports. Optional: a plug-in that
/// does not know it is run through Execute or CheckFiles as before. The
/// context is used during the call it is handed to only; the host keeps
/// ownership. Its operations may be called from the thread of that call only.
class IExecutionContext
{
public:
    /// The host's setting `key`, or null when it has none. A text stays valid
    /// until the call the context was handed to returns. Settings are the
    /// host's and the plug-in's affair; the library reads none of them.
    virtual const char* GetSetting(const char* key) const = 0;
    /// How far the work is: bytes and files done of the totals known so far.
    /// A total of -1 is not known yet.
    virtual void OnProgress(long long bytesDone, long long bytesTotal, int filesDone, int filesTotal) = 0;
    /// One line for the host's user, such as what was verified and by which
    /// key. The text is valid during the call only.
    virtual void OnReport(const char* line) = 0;

protected:
    /// @cond LIFETIME
    IExecutionContext() = default;
    IExecutionContext(const IExecutionContext&) = default;
    IExecutionContext(IExecutionContext&&) noexcept = default;
    IExecutionContext& operator=(const IExecutionContext&) = default;
    IExecutionContext& operator=(IExecutionContext&&) noexcept = default;
    ~IExecutionContext() = default;
    /// @endcond
};

/// The type name an executor or checker answers true to in IsType (and never
/// lists in EnumTypes) when it is also an IContextUpdateExecutor or an
/// IContextFileChecker. A host asks IsType(kContextAware) before it converts
/// the pointer; a plug-in built before these interfaces answers false.
constexpr const char kContextAware[] = "vesk.context-aware.1";

/// An executor that also takes a context (see kContextAware).
class IContextUpdateExecutor : public IUpdateExecutor
{
public:
    /// Execute, with the host's settings and a place for progress. `context`
    /// may be null: then it behaves as Execute.
    virtual bool ExecuteWith(const IUpdatePackage* package, const char* directory,
                             IEnumable<const IFileDef*>::IEnum* failed, IExecutionContext* context) = 0;

protected:
    /// @cond LIFETIME
    IContextUpdateExecutor() = default;
    IContextUpdateExecutor(const IContextUpdateExecutor&) = default;
    IContextUpdateExecutor(IContextUpdateExecutor&&) noexcept = default;
    IContextUpdateExecutor& operator=(const IContextUpdateExecutor&) = default;
    IContextUpdateExecutor& operator=(IContextUpdateExecutor&&) noexcept = default;
    ~IContextUpdateExecutor() = default;
    /// @endcond
};

/// A file checker that also takes a context (see kContextAware).
class IContextFileChecker : public IFileChecker
{
public:
    /// CheckFiles, with the host's settings and a place for reports.
    /// `context` may be null: then it behaves as CheckFiles.
    virtual bool CheckFilesWith(const IFileDefList* files, const char* directory,
                                IEnumable<const IFileDef*>::IEnum* failed, IExecutionContext* context) = 0;

protected:
    /// @cond LIFETIME
    IContextFileChecker() = default;
    IContextFileChecker(const IContextFileChecker&) = default;
    IContextFileChecker(IContextFileChecker&&) noexcept = default;
    IContextFileChecker& operator=(const IContextFileChecker&) = default;
    IContextFileChecker& operator=(IContextFileChecker&&) noexcept = default;
    ~IContextFileChecker() = default;
    /// @endcond
};

/// Registers plug-in libraries by file name and hands out their objects by
/// type name. Not thread-safe. Give back every acquired object before
/// releasing the manager: the objects run code of libraries the manager frees.
template <class T>
class VESKUPDATE_API ITModuleManager
{
public:
    /// Keeps the object resident: AcquireObject asks pinned objects first and
    /// ReleaseObject leaves them alone. The manager keeps the pointer, so the
    /// object must stay alive until it is unpinned or the manager is
    /// released; the manager never releases it, the host does afterwards.
    virtual void PinObject(T* object) = 0;
    /// Removes the object from the pinned ones; does not release it.
    virtual void UnpinObject(T* object) = 0;
    /// Loads the library, calls its export `entry` once to learn the type
    /// names, and frees it again until first use. 0 registered (or already
    /// registered), 1 the library does not load or memory ran out (nothing
    /// registered), 2 it has no export `entry`.
    virtual int RegisterModule(const char* file, const char* entry) = 0;
    /// Withdraws the library registered from `file`; always true.
    virtual bool UnregisterModule(const char* file) = 0;
    /// A pinned object serving `type`, else a new object from the first
    /// module that reported `type`, else null. A new object belongs to the
    /// caller, who gives it back with ReleaseObject.
    virtual T* AcquireObject(const char* type) = 0;
    /// Releases the object unless it is pinned.
    virtual void ReleaseObject(T* object) = 0;

protected:
    /// @cond LIFETIME
    ITModuleManager() = default;
    ITModuleManager(const ITModuleManager&) = default;
    ITModuleManager(ITModuleManager&&) noexcept = default;
    ITModuleManager& operator=(const ITModuleManager&) = default;
    ITModuleManager& operator=(ITModuleManager&&) noexcept = default;
    ~ITModuleManager() = default;
    /// @endcond
};

/// Manager of update-executor plug-ins (kvrUpdate::CreateExecutorManager).
class VESKUPDATE_API IExecutorManager : public ITModuleManager<IUpdateExecutor>, public IReleaseable
{
protected:
    /// @cond LIFETIME
    IExecutorManager() = default;
    IExecutorManager(const IExecutorManager&) = default;
    IExecutorManager(IExecutorManager&&) noexcept = default;
    IExecutorManager& operator=(const IExecutorManager&) = default;
    IExecutorManager& operator=(IExecutorManager&&) noexcept = default;
    ~IExecutorManager() = default;
    /// @endcond
};

/// Manager of file-checker plug-ins (kvrUpdate::CreateFileCheckerManager).
class VESKUPDATE_API IFileCheckerManager : public ITModuleManager<IFileChecker>, public IReleaseable
{
protected:
    /// @cond LIFETIME
    IFileCheckerManager() = default;
    IFileCheckerManager(const IFileCheckerManager&) = default;
    IFileCheckerManager(IFileCheckerManager&&) noexcept = default;
    IFileCheckerManager& operator=(const IFileCheckerManager&) = default;
    IFileCheckerManager& operator=(IFileCheckerManager&&) noexcept = default;
    ~IFileCheckerManager() = default;
    /// @endcond
};

// ---------------------------------------------------------------------------
// Factories. Each returns a new, independent object owned by the caller, who
// ends it with Release.
// ---------------------------------------------------------------------------

/// A new updater with no product, no address and an empty local state; null
/// when memory runs out.
VESKUPDATE_API IUpdater* CreateUpdater();
/// A new version query of its own, outside any updater; null when memory runs
/// out.
VESKUPDATE_API IVersionQuery* CreateVersionQuery();
/// A new local state of its own (version 0.0.0.0, no patches), outside any
/// updater; null when memory runs out.
VESKUPDATE_API ILocalQuery* CreateLocalQuery();
/// A new manager of update-executor plug-ins with no module registered; null
/// when memory runs out.
VESKUPDATE_API IExecutorManager* CreateExecutorManager();
/// A new manager of file-checker plug-ins; it behaves as the executor
/// manager. Null when memory runs out.
VESKUPDATE_API IFileCheckerManager* CreateFileCheckerManager();

} // namespace kvrUpdate

#endif // VESKUPDATE_H
