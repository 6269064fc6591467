// The commands that hand the version center's records to plug-ins: an update
// executor applies a package, a file checker checks installed files.
#include "CHost.h"

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

// What the host hands a context-aware plug-in: no settings yet, and a place
// for the lines it reports, kept to be shown once the call has returned.
class CReportLines final : public IExecutionContext
{
public:
    const char* GetSetting(const char*) const override { return nullptr; }
    void OnProgress(long long, long long, int, int) override {}
    void OnReport(const char* line) override { m_lines.emplace_back(line != nullptr ? line : ""); }

    const std::vector<std::string>& Lines() const { return m_lines; }

    std::string Joined() const
    {
        std::string text;
        for (const std::string& line : m_lines)
            text += (text.empty() ? "" : "; ") + line;
        return text;
    }

private:
    std::vector<std::string> m_lines;
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

int CHost::Apply(const IUpdatePackage* package, const std::string& what, const std::string& directory,
                 const std::string& plugin)
{
    if (plugin.empty())
        return Error("no update executor plug-in is known; name one with --executor FILE", BadArguments);
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (!IsDirectory(directory))
        return Error("cannot create the directory " + directory + (error ? ": " + error.message() : ""));

    CAcquired<IExecutorManager, IUpdateExecutor> executor(CreateExecutorManager());
    std::string problem;
    IUpdateExecutor* object = executor.Acquire(plugin, kExecutorEntry, package->GetDirectType(), problem);
    if (object == nullptr)
        return Error(problem);
    CFailedFiles failed;
    CReportLines reports;
    // A plug-in that takes a context says why a file failed.
    const bool applied = object->IsType(kContextAware) ? static_cast<IContextUpdateExecutor*>(object)->ExecuteWith(
                                                             package, directory.c_str(), &failed, &reports)
                                                       : object->Execute(package, directory.c_str(), &failed);
    if (!applied)
    {
        const std::string why = reports.Lines().empty() ? "" : " (" + reports.Joined() + ")";
        if (failed.Count() == 0)
            return Error("the executor could not apply the " + what + why);
        return Error(std::to_string(failed.Count()) + " file(s) of the " + what +
                     " could not be put in place: " + failed.Joined() + why);
    }
    for (const std::string& line : reports.Lines())
        std::fprintf(m_out, "%s\n", Printable(line).c_str());
    const int files = package->GetResource()->GetCount() + (*package->GetDirectFile()->GetUrl() ? 1 : 0);
    std::fprintf(m_out, "Applied the %s to %s: %d file%s in place (executor type %s)\n", Printable(what).c_str(),
                 directory.c_str(), files, files == 1 ? "" : "s", Printable(package->GetDirectType()).c_str());
    return Ok;
}

int CHost::ApplyPatch(const std::string& patch, const std::string& directory, const std::string& plugin)
{
    if (!Load())
        return Failed;
    const IUpdatePackage* package = m_updater->GetVersionQuery()->GetPatchPackage(patch.c_str());
    if (package == nullptr)
        return Unanswered("package for patch '" + patch + "'");
    return Apply(package, "package of patch " + patch, directory, plugin);
}

int CHost::ApplyVersion(const std::string& version, const std::string& directory, const std::string& plugin)
{
    if (!Load())
        return Failed;
    const IUpdatePackage* package = m_updater->GetVersionQuery()->GetVersionPackage(version.c_str());
    if (package == nullptr)
        return Unanswered("package for version " + version);
    return Apply(package, "package of version " + version, directory, plugin);
}

int CHost::Verify(const std::string& version, const std::string& directory, const std::string& plugin)
{
    if (plugin.empty())
        return Error("no file checker plug-in is known; name one with --checker FILE", BadArguments);
    if (!Load())
        return Failed;
    if (!IsDirectory(directory))
        return Error("there is no directory " + directory);
    IVersionQuery* query = m_updater->GetVersionQuery();
    // The definition says which checker; the version's package says which
    // files. Both are lent by the query and stay valid: they are different
    // members.
    const IFileCheckerDef* check = query->GetFileCheckDef(version.c_str());
    if (check == nullptr)
        return Unanswered("file check for version " + version);
    const IUpdatePackage* package = query->GetVersionPackage(version.c_str());
    if (package == nullptr)
        return Unanswered("package for version " + version);

    CAcquired<IFileCheckerManager, IFileChecker> checker(CreateFileCheckerManager());
    std::string problem;
    IFileChecker* object = checker.Acquire(plugin, kCheckerEntry, check->GetType(), problem);
    if (object == nullptr)
        return Error(problem);
    const IFileDefList* files = package->GetResource();
    CFailedFiles failed;
    if (!object->CheckFiles(files, directory.c_str(), &failed))
    {
        if (failed.Count() == 0)
            return Error("the file checker could not check " + directory);
        return Error(std::to_string(failed.Count()) + " of " + std::to_string(files->GetCount()) + " files in " +
                     directory + " do not match version " + version + ": " + failed.Joined());
    }
    std::fprintf(m_out, "All %d files of version %s in %s match (checker type %s)\n", files->GetCount(),
                 Printable(version).c_str(), directory.c_str(), Printable(check->GetType()).c_str());
    return Ok;
}
