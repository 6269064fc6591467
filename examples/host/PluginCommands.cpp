// The commands that hand the version center's records to plug-ins: an update
// executor applies a package, a file checker checks installed files.
#include "CHost.h"

#include "HostContext.h"
#include "InterruptedUpdate.h"
#include "Printable.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

using namespace kvrUpdate;

namespace
{

const char kExecutorEntry[] = "CreateUpdateExecutor";
const char kCheckerEntry[] = "CreateFileChecker";
// The checker type that checks files against a version's signed manifest.
const char kSignedCheckerType[] = "sha256";

// Collects the names of the files a plug-in reports as failed. The file is
// lent for the call only, so the name is copied.
class CFailedFiles : public IEnumable<const IFileDef*>::IEnum
{
public:
    void OnItem(const IFileDef* file) override { m_names.push_back(file != nullptr ? file->GetName() : "?"); }

    std::string Joined() const
    {
        std::string text;
        for (const std::string& name : m_names)
            text += (text.empty() ? "" : ", ") + name;
        return text;
    }

    size_t Count() const { return m_names.size(); }

private:
    std::vector<std::string> m_names;
};

// A manager and the one object acquired from it, both given back on every way
// out: the object first, since it runs code of a library the manager frees.
template <class TManager, class TObject>
class CAcquired
{
public:
    explicit CAcquired(TManager* manager) : m_manager(manager) {}
    ~CAcquired()
    {
        if (m_object != nullptr)
            m_manager->ReleaseObject(m_object);
        if (m_manager != nullptr)
            m_manager->Release();
    }
    CAcquired(const CAcquired&) = delete;
    CAcquired& operator=(const CAcquired&) = delete;
    CAcquired(CAcquired&&) = delete;
    CAcquired& operator=(CAcquired&&) = delete;

    // Registers the library and acquires an object of `type`; on failure says
    // why in `error`.
    TObject* Acquire(const std::string& plugin, const char* entry, const std::string& type, std::string& error)
    {
        if (m_manager == nullptr)
        {
            error = "the library could not create a module manager";
            return nullptr;
        }
        switch (m_manager->RegisterModule(plugin.c_str(), entry))
        {
        case 0:
            break;
        case 1:
            error = "cannot load the plug-in " + plugin;
            return nullptr;
        default:
            error = "the plug-in " + plugin + " has no entry " + entry;
            return nullptr;
        }
        m_object = m_manager->AcquireObject(type.c_str());
        if (m_object == nullptr)
            error = "the plug-in " + plugin + " does not serve the type '" + type + "'";
        return m_object;
    }

private:
    TManager* m_manager;
    TObject* m_object = nullptr;
};

bool IsDirectory(const std::string& path)
{
    std::error_code ignored;
    return std::filesystem::is_directory(path, ignored);
}

} // namespace

int CHost::FinishInterrupted(const std::string& plugin, const std::string& directory)
{
    std::string error;
    if (plugin.empty() || FinishInterruptedUpdate(plugin, directory, error))
        return Ok;
    return Error(error);
}

int CHost::Apply(const IUpdatePackage* package, const std::string& what, const std::string& directory,
                 const std::string& plugin, CHostContext& context)
{
    if (plugin.empty())
        return Error("no update executor plug-in is known; name one with --executor FILE", BadArguments);
    const int finished = FinishInterrupted(plugin, directory);
    if (finished != Ok)
        return finished;
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (!IsDirectory(directory))
        return Error("cannot create the directory " + directory + (error ? ": " + error.message() : ""));

    CAcquired<IExecutorManager, IUpdateExecutor> executor(CreateExecutorManager());
    std::string problem;
    IUpdateExecutor* object = executor.Acquire(plugin, kExecutorEntry, package->GetDirectType(), problem);
    if (object == nullptr)
        return Error(problem);
    // A plug-in that takes no context cannot be handed the trusted keys.
    const bool takesContext = object->IsType(kContextAware);
    if (m_trust.Enabled() && !takesContext)
        return Error("the executor plug-in " + plugin + " cannot verify the " + what +
                     " (it takes no trusted keys); nothing was applied");
    CFailedFiles failed;
    if (!m_jobs.empty())
        context.Set("jobs", m_jobs);
    context.ShowProgress(m_out);
    const bool applied = takesContext ? static_cast<IContextUpdateExecutor*>(object)->ExecuteWith(
                                            package, directory.c_str(), &failed, &context)
                                      : object->Execute(package, directory.c_str(), &failed);
    context.EndProgress();
    // What the plug-in said about a failure: the verifying one says why it
    // refused, the plain one why each file failed.
    const std::string reason = context.Joined();
    if (!applied)
    {
        if (failed.Count() == 0)
            return Error(reason.empty() ? "the executor could not apply the " + what
                                        : "the " + what + " was not applied: " + reason);
        return Error(std::to_string(failed.Count()) + " file(s) of the " + what +
                     " could not be put in place: " + failed.Joined() + (reason.empty() ? "" : " (" + reason + ")"));
    }
    const int files = package->GetResource()->GetCount() + (*package->GetDirectFile()->GetUrl() ? 1 : 0);
    std::fprintf(m_out, "Applied the %s to %s: %d file%s in place (executor type %s)\n", Printable(what).c_str(),
                 directory.c_str(), files, files == 1 ? "" : "s", Printable(package->GetDirectType()).c_str());
    for (const std::string& line : context.Reports())
        std::fprintf(m_out, "  %s\n", Printable(line).c_str());
    if (context.Reports().empty() && !m_trust.Enabled())
        std::fprintf(m_out, "  not verified: vesk-host was given no --trust key\n");
    return Ok;
}

int CHost::ApplyPatch(const std::string& patch, const std::string& directory, const std::string& plugin)
{
    if (!Load())
        return Failed;
    const IUpdatePackage* package = m_updater->GetVersionQuery()->GetPatchPackage(patch.c_str());
    if (package == nullptr)
        return Unanswered("package for patch '" + patch + "'");
    CHostContext context;
    if (m_trust.Enabled())
    {
        // The host reads the signed manifest itself too: what the patch
        // applies to and leads to is its decision, not the plug-in's.
        vesktrust::CManifest manifest;
        std::string keyId;
        int status = SignedManifest("patch", patch, manifest, keyId);
        if (status == Ok)
            status = AppliesHere(manifest);
        if (status == Ok)
            status = NotOlder(manifest.result, "patch " + patch);
        if (status != Ok)
            return status;
        FillContext(context, "patch", patch);
    }
    return Apply(package, "package of patch " + patch, directory, plugin, context);
}

int CHost::ApplyVersion(const std::string& version, const std::string& directory, const std::string& plugin)
{
    if (!Load())
        return Failed;
    const IUpdatePackage* package = m_updater->GetVersionQuery()->GetVersionPackage(version.c_str());
    if (package == nullptr)
        return Unanswered("package for version " + version);
    CHostContext context;
    if (m_trust.Enabled())
    {
        vesktrust::CManifest manifest;
        std::string keyId;
        int status = SignedManifest("version", version, manifest, keyId);
        if (status == Ok)
            status = NotOlder(version, "");
        if (status != Ok)
            return status;
        FillContext(context, "version", version);
    }
    return Apply(package, "package of version " + version, directory, plugin, context);
}

int CHost::Verify(const std::string& version, const std::string& directory, const std::string& plugin,
                  const std::string& executor)
{
    if (plugin.empty())
        return Error("no file checker plug-in is known; name one with --checker FILE", BadArguments);
    if (!Load())
        return Failed;
    if (!IsDirectory(directory))
        return Error("there is no directory " + directory);
    // Checked half swapped, the files would match neither version.
    const int finished = FinishInterrupted(executor, directory);
    if (finished != Ok)
        return finished;
    IVersionQuery* query = m_updater->GetVersionQuery();
    // The definition says which checker; the version's package says which
    // files. Both are lent by the query and stay valid: they are different
    // members. With trusted keys the files are checked against the
    // version's signed manifest, whatever checker the definition names.
    std::string type = kSignedCheckerType;
    if (!m_trust.Enabled())
    {
        const IFileCheckerDef* check = query->GetFileCheckDef(version.c_str());
        if (check == nullptr)
            return Unanswered("file check for version " + version);
        type = check->GetType();
    }
    const IUpdatePackage* package = query->GetVersionPackage(version.c_str());
    if (package == nullptr)
        return Unanswered("package for version " + version);

    CAcquired<IFileCheckerManager, IFileChecker> checker(CreateFileCheckerManager());
    std::string problem;
    IFileChecker* object = checker.Acquire(plugin, kCheckerEntry, type, problem);
    if (object == nullptr)
        return Error(problem);
    const bool takesContext = object->IsType(kContextAware);
    if (m_trust.Enabled() && !takesContext)
        return Error("the file checker plug-in " + plugin +
                     " cannot check against the signed manifest (it takes no "
                     "trusted keys)");
    CHostContext context;
    if (m_trust.Enabled())
        FillContext(context, "version", version);
    const IFileDefList* files = package->GetResource();
    CFailedFiles failed;
    const bool matched = takesContext ? static_cast<IContextFileChecker*>(object)->CheckFilesWith(
                                            files, directory.c_str(), &failed, &context)
                                      : object->CheckFiles(files, directory.c_str(), &failed);
    const std::string reason = context.Joined();
    if (!matched)
    {
        if (failed.Count() == 0)
            return Error("the file checker could not check " + directory + (reason.empty() ? "" : ": " + reason));
        return Error(std::to_string(failed.Count()) + " of " + std::to_string(files->GetCount()) + " files in " +
                     directory + " do not match version " + version + ": " + failed.Joined());
    }
    std::fprintf(m_out, "All %d files of version %s in %s match (checker type %s)\n", files->GetCount(),
                 Printable(version).c_str(), directory.c_str(), Printable(type).c_str());
    for (const std::string& line : context.Reports())
        std::fprintf(m_out, "  %s\n", Printable(line).c_str());
    return Ok;
}
