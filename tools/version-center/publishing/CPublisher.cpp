#include "publishing/CPublisher.h"

#include "catalog/CCatalog.h"
#include "catalog/DownloadUrl.h"
#include "catalog/Length.h"
#include "publishing/CDeltaPublisher.h"
#include "publishing/CPackageSigner.h"
#include "publishing/FileDigest.h"
#include "publishing/ReleaseFolders.h"

#include <json/json.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace versionCenter
{
namespace
{

const char kDefaultPackageType[] = "download"; // the sample executor's type
const char kDefaultCheckType[] = "md5";        // the sample file checker's type

// A file of a version as the catalog lists it: where it is downloaded from.
struct CPlacedFile
{
    std::string path;
    CFileDigest digest;
    std::string url;
    std::string treePath; // where the download tree holds it
};

// A file the download tree must hold.
struct CCopy
{
    fs::path source;
    fs::path target;
    CFileDigest digest;
};

// One version of the release folders, placed in the download tree.
struct CPlacedVersion
{
    const CRelease* release = nullptr;
    std::string directory; // in the tree, '/' between names
    std::vector<CPlacedFile> files;
    std::vector<CPlacedFile> changed; // new or changed since the version before
    std::string checkList;            // tree path of the file-check list
};

bool operator==(const CFileDigest& a, const CFileDigest& b)
{
    return a.length == b.length && a.md5 == b.md5;
}

CFileEntry FileEntry(const CPlacedFile& file)
{
    CFileEntry entry;
    entry.url = file.url;
    entry.md5 = file.digest.md5;
    entry.path = file.path;
    entry.length = file.digest.length;
    return entry;
}

// A type a person may have set, or `fallback`.
std::string Kept(const std::string& type, const char* fallback)
{
    return type.empty() ? fallback : type;
}

// A package of `files` under `baseUrl`, keeping the type of the package
// `before`, when there was one.
std::unique_ptr<CPackageEntry> NewPackage(const std::string& baseUrl, const std::vector<CPlacedFile>& files,
                                          const CPackageEntry* before)
{
    std::unique_ptr<CPackageEntry> package(new CPackageEntry);
    package->baseUrl = baseUrl;
    package->directType = Kept(before ? before->directType : std::string(), kDefaultPackageType);
    for (const CPlacedFile& file : files)
        package->resource.push_back(FileEntry(file));
    // The list is written even when no file is new, as it always was.
    package->form.Name("resource");
    return package;
}

// The patch that leads from `from` alone to `to`, or null.
CPatchEntry* ChainPatch(std::vector<CPatchEntry>& patches, const CVersionNumber& from, const CVersionNumber& to)
{
    for (CPatchEntry& patch : patches)
    {
        if (patch.apply.size() == 1 && patch.apply[0] == from && patch.result == to)
            return &patch;
    }
    return nullptr;
}

std::string NewPatchNumber(const CProductEntry& product, const CVersionNumber& from, const CVersionNumber& to)
{
    const std::string base = "P-" + from.ShortText() + "-" + to.ShortText();
    std::string number = base;
    for (int suffix = 2; product.FindPatch(number); ++suffix)
        number = base + "-" + std::to_string(suffix);
    return number;
}

std::string Render(const Json::Value& value)
{
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "  ";
    builder["emitUTF8"] = true;
    builder["commentStyle"] = "All";
    return Json::writeString(builder, value) + "\n";
}

bool ReadText(const fs::path& path, std::string& text, std::string& error)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream buffer;
    buffer << file.rdbuf();
    if (!file || file.bad())
    {
        error = path.string() + ": cannot be read";
        return false;
    }
    text = buffer.str();
    return true;
}

// Whether a new file can be made in `directory`; makes none that stays.
bool CanCreateIn(const fs::path& directory, std::string& error)
{
    const fs::path probe = directory / (".publish-probe-" + std::to_string(::getpid()));
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
    {
        error = "cannot write in " + directory.string();
        return false;
    }
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

class CPublisher
{
public:
    CPublisher(const CPublishRequest& request, CPublishSummary& summary, std::string& error)
        : m_request(request), m_summary(summary), m_error(error),
          m_urlPrefix(request.baseUrl.empty() ? std::string() : WithSlash(request.baseUrl)),
          m_deltas(request.output, m_urlPrefix)
    {
    }

    PublishResult Run()
    {
        if (!CheckProductName() || !LoadCatalog() || !ScanReleases(m_request.releases, m_releases, m_error))
            return PublishResult::BadInput;
        Place();
        Merge();
        // The edited records are checked by reading their text again: that
        // is the catalog the center will serve.
        m_catalogText = m_catalog.Text();
        CCatalog check;
        std::string problem;
        if (!check.LoadText(m_catalogText, m_request.catalog.string(), problem))
        {
            m_error = "the published catalog would not load: " + problem;
            return PublishResult::BadInput;
        }
        if (!m_request.signingKey.empty() && !PlanSigning(check))
            return PublishResult::BadInput;
        return Write() ? PublishResult::Done : PublishResult::CannotWrite;
    }

private:
    bool CheckProductName()
    {
        const std::string& name = m_request.product;
        // The name becomes a folder of the download tree and a path segment.
        if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
            std::any_of(name.begin(), name.end(), [](unsigned char c) { return c < 0x20 || c == 0x7f; }))
        {
            m_error = "the product name '" + name + "' is empty, '.', '..', or holds '/' or a control character";
            return false;
        }
        return true;
    }

    bool LoadCatalog()
    {
        std::error_code failure;
        return !fs::exists(m_request.catalog, failure) || m_catalog.LoadFile(m_request.catalog.string(), m_error);
    }

    // Decides where every file is downloaded from: a file that is new or
    // changed since the version before goes to this version's folder of the
    // tree, an unchanged one keeps its address.
    void Place()
    {
        std::map<std::string, CPlacedFile> before;
        const CRelease* previous = nullptr;
        for (const CRelease& release : m_releases)
        {
            CPlacedVersion placed;
            placed.release = &release;
            placed.directory = m_request.product + "/" + release.version.ToString();
            placed.checkList = m_request.product + "/filecheck/" + release.version.ToString() + ".json";
            std::map<std::string, CPlacedFile> now;
            for (const CReleaseFile& file : release.files)
            {
                const auto known = before.find(file.path);
                if (known != before.end() && known->second.digest == file.digest)
                {
                    now[file.path] = known->second;
                }
                else
                {
                    const std::string treePath = placed.directory + "/" + file.path;
                    now[file.path] = CPlacedFile{file.path, file.digest, Url(treePath), treePath};
                    // Signed manifests can list a delta from the version before.
                    if (known != before.end() && !m_request.signingKey.empty())
                        m_deltas.Add(m_request.product, previous->version.ToString(), release.version.ToString(),
                                     file.path, known->second.treePath, treePath);
                    placed.changed.push_back(now[file.path]);
                    m_copies.push_back(CCopy{file.source, m_request.output / treePath, file.digest});
                }
                placed.files.push_back(now[file.path]);
            }
            before.swap(now);
            previous = &release;
            m_placed.push_back(std::move(placed));
        }
    }

    bool PlanSigning(const CCatalog& catalog)
    {
        m_signer.reset(new CPackageSigner(
            {m_request.product, m_request.output, m_urlPrefix, m_request.signingKey, m_request.expiresDays}));
        CPendingFiles pending;
        for (const CCopy& copy : m_copies)
            pending[copy.target.lexically_normal()] = copy.digest.length;
        CReleaseNames names;
        for (const CRelease& release : m_releases)
        {
            for (const CReleaseFile& file : release.files)
                names[release.version].insert(file.path);
        }
        return m_signer->Plan(catalog, pending, names, m_error);
    }

    std::string Url(const std::string& treePath) const { return m_urlPrefix + EncodeUrlPath(treePath); }

    void Merge()
    {
        CProductEntry& product = m_catalog.EditProduct(m_request.product);
        // A published product states its patch list, empty for one version.
        product.form.Name("patches");
        for (std::size_t i = 0; i < m_placed.size(); ++i)
        {
            MergeVersion(product, m_placed[i]);
            if (i > 0)
                MergePatch(product, m_placed[i - 1], m_placed[i]);
        }
        m_summary.versions = static_cast<int>(m_placed.size());
    }

    // A version new to the catalog is named after its release folder.
    void MergeVersion(CProductEntry& product, const CPlacedVersion& placed)
    {
        const CVersionNumber& version = placed.release->version;
        auto found = product.versions.find(version);
        if (found == product.versions.end())
        {
            found = product.versions.emplace(version, CVersionEntry()).first;
            ++m_summary.newVersions;
        }
        CVersionEntry& entry = found->second;
        entry.package = NewPackage(Url(placed.directory + "/"), placed.files, entry.package.get());
        std::unique_ptr<CFileCheckEntry> check(new CFileCheckEntry);
        check->url = Url(placed.checkList);
        check->type = Kept(entry.fileCheck ? entry.fileCheck->type : std::string(), kDefaultCheckType);
        entry.fileCheck = std::move(check);
    }

    void MergePatch(CProductEntry& product, const CPlacedVersion& from, const CPlacedVersion& to)
    {
        ++m_summary.patches;
        const CVersionNumber& fromVersion = from.release->version;
        const CVersionNumber& toVersion = to.release->version;
        if (CPatchEntry* known = ChainPatch(product.patches, fromVersion, toVersion))
        {
            known->package = NewPackage(Url(to.directory + "/"), to.changed, known->package.get());
            return;
        }
        ++m_summary.newPatches;
        CPatchEntry patch;
        patch.number = NewPatchNumber(product, fromVersion, toVersion);
        patch.title = m_request.product + " " + toVersion.ShortText();
        patch.comment = "From " + fromVersion.ShortText() + " to " + toVersion.ShortText() + ".";
        patch.apply.push_back(fromVersion);
        patch.result = toVersion;
        patch.type = "version";
        patch.force = "common";
        patch.package = NewPackage(Url(to.directory + "/"), to.changed, nullptr);
        product.patches.push_back(std::move(patch));
    }

    static std::string CheckListText(const CPlacedVersion& placed)
    {
        Json::Value files(Json::arrayValue);
        for (const CPlacedFile& file : placed.files)
        {
            Json::Value entry(Json::objectValue);
            entry["path"] = file.path;
            entry["md5"] = file.digest.md5;
            WriteLength(entry, file.digest.length);
            files.append(entry);
        }
        Json::Value list(Json::objectValue);
        list["files"] = files;
        return Render(list);
    }

    bool Write()
    {
        std::error_code failure;
        const fs::path catalogDirectory = fs::absolute(m_request.catalog, failure).parent_path();
        if (!CanCreateIn(catalogDirectory, m_error))
            return false;
        fs::create_directories(m_request.output / m_request.product / "filecheck", failure);
        if (failure)
        {
            m_error = "cannot create the download tree in " + m_request.output.string() + ": " + failure.message();
            return false;
        }
        for (const CCopy& copy : m_copies)
        {
            if (!PlaceFile(copy))
                return false;
        }
        for (const CPlacedVersion& placed : m_placed)
        {
            if (!WriteIfChanged(m_request.output / placed.checkList, CheckListText(placed)))
                return false;
        }
        if (m_signer && !m_deltas.Write(m_summary.deltasWritten, m_error))
            return false;
        if (m_signer && !m_signer->Write(m_summary.signedFiles, m_error, &m_deltas))
            return false;
        return WriteFileAtomically(m_request.catalog, m_catalogText, m_error);
    }

    bool PlaceFile(const CCopy& copy)
    {
        CFileDigest there;
        std::string ignored;
        if (DigestFile(copy.target, there, ignored) && there == copy.digest)
        {
            ++m_summary.filesInPlace;
            return true;
        }
        std::error_code failure;
        fs::create_directories(copy.target.parent_path(), failure);
        if (failure)
        {
            m_error = "cannot create " + copy.target.parent_path().string() + ": " + failure.message();
            return false;
        }
        if (!CopyFileChecked(copy.source, copy.target, copy.digest, m_error))
            return false;
        ++m_summary.filesCopied;
        return true;
    }

    bool WriteIfChanged(const fs::path& path, const std::string& text)
    {
        std::string before;
        std::string ignored;
        std::error_code failure;
        if (fs::exists(path, failure) && ReadText(path, before, ignored) && before == text)
            return true;
        return WriteFileAtomically(path, text, m_error);
    }

    const CPublishRequest& m_request;
    CPublishSummary& m_summary;
    std::string& m_error;
    const std::string m_urlPrefix;
    CCatalog m_catalog;
    std::vector<CRelease> m_releases;
    std::vector<CPlacedVersion> m_placed;
    std::vector<CCopy> m_copies;
    std::string m_catalogText;
    CDeltaPublisher m_deltas;
    std::unique_ptr<CPackageSigner> m_signer;
};

} // namespace

PublishResult Publish(const CPublishRequest& request, CPublishSummary& summary, std::string& error)
{
    summary = CPublishSummary();
    return CPublisher(request, summary, error).Run();
}

} // namespace versionCenter
