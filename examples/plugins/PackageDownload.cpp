#include "PackageDownload.h"

#include "CMd5.h"

#include <Sha256.h>

#include <cctype>
#include <cstdlib>
#include <memory>

namespace
{

// The key of a file's partial download: it changes with the name and with
// the content expected, so that a partial file only ever continues the very
// download that began it (and two files of equal content in one folder do
// not share one).
std::string PartialKey(const CDownload& download)
{
    CMd5 md5;
    std::string digest = download.digest;
    for (char& c : digest)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::string text = download.name + '\n' + digest + '\n' + std::to_string(download.length);
    md5.Update(text.data(), text.size());
    return md5.HexDigest();
}

// What the pool needs of one file: its partial download, opened when the
// transfer starts (and again after a pause), in the staging area.
struct CPlace
{
    const CInstallDir* install = nullptr;
    CDownload* download = nullptr;
    std::string partial;
};

class CMd5Hash final : public CTransferHash
{
public:
    void Update(const void* data, std::size_t size) override { m_md5.Update(data, size); }
    std::string HexDigest() override { return m_md5.HexDigest(); }

private:
    CMd5 m_md5;
};

class CSha256Hash final : public CTransferHash
{
public:
    void Update(const void* data, std::size_t size) override { m_sha256.Update(data, size); }
    std::string HexDigest() override { return m_sha256.HexDigest(); }

private:
    vesktrust::CSha256 m_sha256;
};

} // namespace

TransferHashFactory Md5Hashes()
{
    return [] { return std::unique_ptr<CTransferHash>(new CMd5Hash); };
}

TransferHashFactory Sha256Hashes()
{
    return [] { return std::unique_ptr<CTransferHash>(new CSha256Hash); };
}

int JobsSetting(const char* text, int fallback)
{
    if (text == nullptr || *text == '\0')
        return fallback;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (*end != '\0' || value < 1 || value > 64)
        return fallback;
    return static_cast<int>(value);
}

bool FetchAll(const CInstallDir& install, std::vector<CDownload>& downloads, const CDownloadOptions& options)
{
    std::vector<CPlace> places(downloads.size());
    std::vector<CTransferJob> jobs(downloads.size());
    for (std::size_t i = 0; i < downloads.size(); ++i)
    {
        CPlace& place = places[i];
        place.install = &install;
        place.download = &downloads[i];
        CTransferJob& job = jobs[i];
        job.url = downloads[i].url;
        job.length = downloads[i].length;
        job.digest = downloads[i].digest;
        job.open = [&place, &options](long long& present, std::string& error) -> std::FILE* {
            return place.install->OpenPartial(options.stagingName, PartialKey(*place.download), place.partial, present,
                                              error);
        };
    }

    CTransferOptions transfer;
    transfer.jobs = options.jobs;
    transfer.digestName = options.hashName;
    transfer.source = options.source;
    CTransferPool pool(transfer, options.hash);
    pool.Run(jobs, options.progress);

    bool all = true;
    for (std::size_t i = 0; i < downloads.size(); ++i)
    {
        CDownload& download = downloads[i];
        const CTransferJob& job = jobs[i];
        download.ok = job.ok;
        download.refused = job.refused;
        download.partial = places[i].partial;
        if (!job.ok)
        {
            download.error = download.url + ": " + job.error;
            // What it holds stays for the next run to continue, unless none
            // of it is the file's.
            if (!download.partial.empty() && job.held == 0)
                install.Remove(download.partial);
        }
        all = all && download.ok;
    }
    return all;
}
