#include "publishing/CDeltaPublisher.h"

#include "catalog/DownloadUrl.h"
#include "publishing/FileDigest.h"

#include <Delta.h>
#include <FileAccess.h>
#include <Sha256.h>

#include <cstdio>
#include <memory>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace versionCenter
{

CDeltaPublisher::CDeltaPublisher(fs::path output, std::string urlPrefix)
    : m_output(std::move(output)), m_urlPrefix(std::move(urlPrefix))
{
}

void CDeltaPublisher::Add(const std::string& product, const std::string& fromVersion, const std::string& toVersion,
                          const std::string& path, const std::string& oldTreePath, const std::string& newTreePath)
{
    m_wanted.push_back(
        {oldTreePath, newTreePath, product + "/deltas/" + fromVersion + "/" + toVersion + "/" + path + ".vdelta"});
}

bool CDeltaPublisher::Write(int& written, std::string& error)
{
    for (const CWanted& wanted : m_wanted)
    {
        if (!WriteOne(wanted, written, error))
            return false;
    }
    return true;
}

bool CDeltaPublisher::WriteOne(const CWanted& wanted, int& written, std::string& error)
{
    const fs::path oldFile = m_output / wanted.oldTreePath;
    const fs::path newFile = m_output / wanted.newTreePath;
    const fs::path deltaFile = m_output / wanted.deltaTreePath;
    vesktrust::CManifestDelta delta;
    std::string newSha256;
    long long oldLength = 0;
    long long newLength = 0;
    if (!vesktrust::Sha256OfFile(oldFile, delta.from, oldLength) ||
        !vesktrust::Sha256OfFile(newFile, newSha256, newLength))
    {
        error = "cannot read " + oldFile.string() + " or " + newFile.string();
        return false;
    }
    if (oldLength > kMaxFileLength || newLength > kMaxFileLength)
        return true;

    // A delta already in place is kept while it still gives the new file.
    std::error_code failure;
    if (!fs::exists(deltaFile, failure) || !DeltaGives(oldFile, deltaFile, newSha256, newLength))
    {
        std::string bytes;
        std::string oldData;
        std::string newData;
        std::string problem;
        if (!veskdelta::ReadWholeFile(oldFile, oldData, error) || !veskdelta::ReadWholeFile(newFile, newData, error))
            return false;
        if (!veskdelta::MakeDelta(oldData, newData, bytes, problem))
            return true; // no delta for this file; hosts take it whole
        if (static_cast<long long>(bytes.size()) * 100 > newLength * kKeepPercent)
            return true;
        fs::create_directories(deltaFile.parent_path(), failure);
        if (failure || !WriteFileAtomically(deltaFile, bytes, error))
        {
            if (error.empty())
                error = "cannot create " + deltaFile.parent_path().string() + ": " + failure.message();
            return false;
        }
        ++written;
        // Listed only once it has been seen to give the new file.
        if (!DeltaGives(oldFile, deltaFile, newSha256, newLength))
        {
            error = deltaFile.string() + ": the delta written does not give " + newFile.string();
            return false;
        }
    }
    if (!vesktrust::Sha256OfFile(deltaFile, delta.sha256, delta.length))
    {
        error = "cannot read " + deltaFile.string();
        return false;
    }
    if (delta.length * 100 > newLength * kKeepPercent)
        return true;
    delta.url = m_urlPrefix + EncodeUrlPath(wanted.deltaTreePath);
    m_deltas[newFile.lexically_normal()].push_back(delta);
    return true;
}

const std::vector<vesktrust::CManifestDelta>* CDeltaPublisher::DeltasFor(const fs::path& treeFile) const
{
    const auto found = m_deltas.find(treeFile.lexically_normal());
    return found == m_deltas.end() ? nullptr : &found->second;
}

bool DeltaGives(const fs::path& oldFile, const fs::path& delta, const std::string& newSha256, long long newLength)
{
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> result(std::tmpfile(), &std::fclose);
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> oldStream(std::fopen(oldFile.c_str(), "rb"), &std::fclose);
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> deltaStream(std::fopen(delta.c_str(), "rb"), &std::fclose);
    std::string error;
    if (!result || !oldStream || !deltaStream ||
        !veskdelta::ApplyDelta(oldStream.get(), deltaStream.get(), result.get(), newLength, error))
        return false;
    std::rewind(result.get());
    vesktrust::CSha256 hash;
    std::vector<unsigned char> buffer(static_cast<std::size_t>(64) * 1024);
    long long length = 0;
    for (std::size_t got = 0; (got = std::fread(buffer.data(), 1, buffer.size(), result.get())) > 0;)
    {
        hash.Update(buffer.data(), got);
        length += static_cast<long long>(got);
    }
    return length == newLength && hash.HexDigest() == newSha256;
}

} // namespace versionCenter
