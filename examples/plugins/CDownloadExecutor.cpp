// Sample update-executor plug-in, type "download": applies an update package
// by downloading its files into the directory the host names, checking each
// file's length and MD5 before it takes the place of a file already there.
//
// Entry: CreateUpdateExecutor. Register it with
//   manager->RegisterModule("libVeskDownloadExecutor.so", "CreateUpdateExecutor");
#include "CMd5.h"
#include "PluginFiles.h"

#include <curl/curl.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <system_error>

namespace fs = std::filesystem;
using namespace kvrUpdate;

namespace
{

const char kType[] = "download";

// One download in progress: what arrived so far, refused beyond the length
// the definition promises.
struct CTransfer
{
    std::FILE* file = nullptr;
    CMd5 md5;
    long long received = 0;
    long long limit = 0;
};

std::size_t WriteBody(char* data, std::size_t size, std::size_t count, void* user)
{
    CTransfer& transfer = *static_cast<CTransfer*>(user);
    const std::size_t bytes = size * count;
    if (static_cast<long long>(bytes) > transfer.limit - transfer.received)
        return 0; // more than promised: libcurl stops with a write error
    if (std::fwrite(data, 1, bytes, transfer.file) != bytes)
        return 0;
    transfer.md5.Update(data, bytes);
    transfer.received += static_cast<long long>(bytes);
    return bytes;
}

// The url of a file: its own when it is absolute, otherwise joined to the
// package's base url with exactly one slash. Empty when there is none.
std::string ResolveUrl(const char* base, const char* url)
{
    if (url == nullptr || *url == '\0')
        return std::string();
    std::string file(url);
    if (file.find("://") != std::string::npos)
        return file;
    std::string joined = base != nullptr ? base : "";
    if (joined.empty())
        return std::string();
    const bool baseSlash = joined.back() == '/';
    const bool fileSlash = file.front() == '/';
    if (baseSlash && fileSlash)
        joined.pop_back();
    else if (!baseSlash && !fileSlash)
        joined += '/';
    return joined + file;
}

// Downloads `url` into `part`; true when exactly `file`'s length arrived with
// its MD5.
bool Download(const std::string& url, const fs::path& part, const IFileDef& file)
{
    CURL* curl = curl_easy_init();
    if (curl == nullptr)
        return false;
    CTransfer transfer;
    transfer.limit = file.GetLength();
    transfer.file = std::fopen(part.string().c_str(), "wb");
    bool ok = false;
    if (transfer.file != nullptr)
    {
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteBody);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
        curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https,file");
        curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
        curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 30L);
        // A transfer that stalls for a minute is given up, not waited on forever.
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, 60L);
        curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(transfer.limit));
        const CURLcode result = curl_easy_perform(curl);
        const bool closed = std::fclose(transfer.file) == 0;
        ok = result == CURLE_OK && closed && transfer.received == transfer.limit &&
             Md5Matches(transfer.md5.HexDigest(), file.GetMd5());
    }
    curl_easy_cleanup(curl);
    return ok;
}

class CDownloadExecutor final : public IUpdateExecutor
{
public:
    bool IsType(const char* type) override { return type != nullptr && std::strcmp(type, kType) == 0; }

    void EnumTypes(IEnumable<const char*>::IEnum* callback) override
    {
        if (callback != nullptr)
            callback->OnItem(kType);
    }

    void Release() override { delete this; }

    bool Execute(const IUpdatePackage* package, const char* directory,
                 IEnumable<const IFileDef*>::IEnum* failed) override
    {
        if (package == nullptr || directory == nullptr || *directory == '\0')
            return false;
        bool ok = true;
        auto apply = [&](const IFileDef* file) {
            if (file != nullptr && !Apply(package->GetBaseUrl(), *file, directory))
            {
                ok = false;
                if (failed != nullptr)
                    failed->OnItem(file);
            }
        };
        // A package may have no direct file: then its url is empty.
        const IFileDef* direct = package->GetDirectFile();
        if (direct != nullptr && *direct->GetUrl() != '\0')
            apply(direct);
        if (const IFileDefList* resource = package->GetResource())
        {
            for (int i = 0; i < resource->GetCount(); ++i)
                apply(resource->GetAt(i));
        }
        return ok;
    }

private:
    // Puts one file in place: nothing to do when the intact file is already
    // there; otherwise it is downloaded beside its place and moved there only
    // once its length and MD5 are right.
    static bool Apply(const char* baseUrl, const IFileDef& file, const char* directory)
    {
        try
        {
            fs::path target;
            if (!InstallPath(directory, file.GetName(), target) || file.GetLength() < 0)
                return false;
            if (FileMatches(target, file))
                return true;
            const std::string url = ResolveUrl(baseUrl, file.GetUrl());
            if (url.empty())
                return false;

            std::error_code error;
            fs::create_directories(target.parent_path(), error);
            fs::path part = target;
            part += ".part";
            bool ok = Download(url, part, file);
            if (ok)
            {
                fs::rename(part, target, error);
                ok = !error;
            }
            fs::remove(part, error);
            return ok;
        }
        catch (...)
        {
            return false;
        }
    }
};

} // namespace

VESK_PLUGIN_ENTRY IUpdateExecutor* CreateUpdateExecutor()
{
    return new (std::nothrow) CDownloadExecutor;
}
