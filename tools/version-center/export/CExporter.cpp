#include "export/CExporter.h"

#include "export/NginxConfig.h"
#include "publishing/FileDigest.h"
#include "serving/Protocol.h"

#include <unistd.h>

#include <chrono>
#include <fstream>
#include <map>
#include <set>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace versionCenter
{
namespace
{

// The values each parameter of a request takes in the export: every version,
// every patch number; the `to` of an evolution every version for a complete
// export, otherwise the versions the situation names that are released.
struct CDomains
{
    std::vector<std::string> versions;
    std::vector<std::string> patches;
    std::vector<std::string> targets;
};

CDomains DomainsOf(const CProductEntry& product, bool complete)
{
    CDomains domains;
    for (const auto& version : product.versions)
        domains.versions.push_back(version.first.ToString());
    for (const CPatchEntry& patch : product.patches)
        domains.patches.push_back(patch.number);
    if (complete)
        domains.targets = domains.versions;
    else
    {
        std::set<CVersionNumber> named;
        for (const CVersionNumber& target : {product.last, product.must, product.max, product.will})
        {
            if (product.versions.count(target) != 0 && named.insert(target).second)
                domains.targets.push_back(target.ToString());
        }
    }
    return domains;
}

const std::vector<std::string>& Domain(const CDomains& domains, const std::string& parameter)
{
    if (!IsVersionParameter(parameter))
        return domains.patches;
    return parameter == "to" ? domains.targets : domains.versions;
}

// Calls `visit(kind, values)` for every combination of the parameters'
// values of `names`, from the `index`-th on.
template <class TVisit>
// NOLINTNEXTLINE(misc-no-recursion): one level per parameter, two at most.
void Combine(const CRequestKind& kind, const std::vector<std::string>& names, std::size_t index,
             const CDomains& domains, CParameters& values, TVisit& visit)
{
    if (index == names.size())
    {
        visit(kind, values);
        return;
    }
    for (const std::string& value : Domain(domains, names[index]))
    {
        values[names[index]] = value;
        Combine(kind, names, index + 1, domains, values, visit);
    }
}

// Calls `visit(kind, values)` for every request of the export for `product`.
template <class TVisit>
void ForEachRequest(const CProductEntry& product, bool complete, TVisit visit)
{
    const CDomains domains = DomainsOf(product, complete);
    for (const CRequestKind& kind : RequestKinds())
    {
        CParameters values;
        Combine(kind, ParameterNames(kind), 0, domains, values, visit);
    }
}

// Writes the answers under `root` (or only counts them).
class CAnswerWriter
{
public:
    CAnswerWriter(const fs::path& root, bool dryRun, CExportSummary& summary, std::string& error)
        : m_root(root), m_dryRun(dryRun), m_summary(summary), m_error(error)
    {
    }

    bool Write(const std::string& file, const std::string& body)
    {
        ++m_summary.files;
        m_summary.bytes += static_cast<std::int64_t>(body.size());
        if (m_dryRun)
            return true;
        const fs::path path = m_root / file;
        if (m_folders.insert(path.parent_path()).second)
        {
            std::error_code failure;
            fs::create_directories(path.parent_path(), failure);
            if (failure)
                return Fail("cannot create " + path.parent_path().string() + ": " + failure.message());
        }
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << body;
        out.close();
        return out ? true : Fail("cannot write " + path.string());
    }

private:
    bool Fail(const std::string& message)
    {
        m_error = message;
        return false;
    }

    fs::path m_root;
    bool m_dryRun;
    CExportSummary& m_summary;
    std::string& m_error;
    std::set<fs::path> m_folders;
};

// Makes `answers` (a link to the folder of one export) lead to `fresh`, in
// one step, so that nginx answers from the previous export or from the new
// one and never from neither. The previous export stays until the next one,
// for the requests still reading it; older ones are removed.
bool PutInPlace(const fs::path& fresh, const fs::path& answers, std::string& error)
{
    std::error_code failure;
    const fs::path directory = answers.parent_path();
    const std::string pid = std::to_string(::getpid());
    fs::path previous;
    if (fs::is_symlink(answers, failure))
        previous = fs::read_symlink(answers, failure);
    else if (fs::exists(answers, failure))
    {
        // An export from before the link: a folder of its own.
        previous = "answers-" + pid + "-old";
        fs::rename(answers, directory / previous, failure);
    }
    const fs::path link = directory / ("answers.link-" + pid);
    fs::remove(link, failure);
    fs::create_directory_symlink(fresh.filename(), link, failure);
    if (!failure)
        fs::rename(link, answers, failure);
    if (failure)
    {
        error = "cannot put the answers in place in " + directory.string() + ": " + failure.message();
        fs::remove(link, failure);
        return false;
    }
    for (const fs::directory_entry& entry : fs::directory_iterator(directory, failure))
    {
        const fs::path name = entry.path().filename();
        if (name.string().rfind("answers-", 0) == 0 && name != fresh.filename() && name != previous.filename())
            fs::remove_all(entry.path(), failure);
    }
    return true;
}

} // namespace

bool Export(const CVersionCenter& center, const CExportRequest& request, CExportSummary& summary, std::string& error)
{
    summary = CExportSummary();
    std::error_code failure;
    const fs::path directory = fs::absolute(request.directory, failure).lexically_normal();
    const fs::path answers = directory / "answers";
    const fs::path files = request.files.empty() ? fs::path() : fs::absolute(request.files, failure).lexically_normal();
    if (!NginxSafe(answers.string()) || !NginxSafe(files.string()) || !NginxSafe(request.listen) ||
        !NginxSafe(center.BasePath()) || center.BasePath().find_first_of(" ()[]^|*+?") != std::string::npos)
    {
        error = "the folders, the base path and the listen address must not hold quotes, '$', '\\\\', ';', braces "
                "or control characters (nor regular-expression characters in the base path)";
        return false;
    }
    const auto stamp = std::chrono::system_clock::now().time_since_epoch();
    const fs::path fresh = directory /
                           ("answers-" +
                            std::to_string(std::chrono::duration_cast<std::chrono::microseconds>(stamp).count()) + "-" +
                            std::to_string(::getpid()));
    if (!request.dryRun)
        fs::create_directories(directory, failure);
    CAnswerWriter writer(fresh, request.dryRun, summary, error);
    bool written = true;
    const std::string& base = center.BasePath();
    for (const auto& item : center.Catalog().Products())
    {
        const std::string root = base + item.first;
        ForEachRequest(item.second, request.complete, [&](const CRequestKind& kind, const CParameters& values) {
            if (!written)
                return;
            const CAnswer answer = center.Answer(root + RequestPath(kind, values), RequestQuery(kind, values));
            if (answer.status == 200)
                written = writer.Write(root.substr(1) + "/" + AnswerFile(kind, values), answer.body);
        });
    }
    if (request.dryRun)
        return true;
    CNginxSite site;
    site.listen = request.listen;
    site.basePath = base;
    site.answers = answers;
    site.files = files;
    site.cache = directory / "cache";
    site.origins = request.origins;
    site.cacheSeconds = request.cacheSeconds;
    if (written && WriteFileAtomically(directory / "nginx.conf", NginxConfig(site), error) &&
        PutInPlace(fresh, answers, error))
        return true;
    fs::remove_all(fresh, failure);
    return false;
}

std::int64_t CompleteExportRequests(const CCatalog& catalog)
{
    std::int64_t requests = 0;
    for (const auto& item : catalog.Products())
    {
        const auto versions = static_cast<std::int64_t>(item.second.versions.size());
        const auto patches = static_cast<std::int64_t>(item.second.patches.size());
        for (const CRequestKind& kind : RequestKinds())
        {
            std::int64_t combinations = 1;
            for (const std::string& name : ParameterNames(kind))
                combinations *= IsVersionParameter(name) ? versions : patches;
            requests += combinations;
        }
    }
    return requests;
}

} // namespace versionCenter
