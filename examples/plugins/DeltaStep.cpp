#include "DeltaStep.h"

#include "Download.h"
#include "SignedPackage.h"

#include <Sha256.h>
#include <SignedFetch.h>

#ifdef VESKPLUGINS_HAVE_DELTA
#  include <Delta.h>
#endif

#include <cstdio>
#include <vector>

namespace deltastep
{
namespace
{

// The SHA-256 of the file `name`, read without following a link. False when
// it cannot be read.
bool HashOfInstalled(const CInstallDir& install, const std::string& name, std::string& hex)
{
    std::string ignored;
    std::FILE* stream = install.OpenRead(name, ignored);
    if (stream == nullptr)
        return false;
    vesktrust::CSha256 sha256;
    std::vector<char> buffer(65536);
    std::size_t got = 0;
    do
    {
        got = std::fread(buffer.data(), 1, buffer.size(), stream);
        sha256.Update(buffer.data(), got);
    } while (got == buffer.size());
    const bool ok = std::ferror(stream) == 0;
    std::fclose(stream);
    if (ok)
        hex = sha256.HexDigest();
    return ok;
}

} // namespace

bool DeltasAvailable()
{
#ifdef VESKPLUGINS_HAVE_DELTA
    return true;
#else
    return false;
#endif
}

std::string DeltaBaseUrl(const std::string& manifestUrl, const vesktrust::CManifest& manifest, const char* packageBase)
{
    const std::string id = manifest.kind == "patch" ? manifest.patch : manifest.version;
    const std::string path = vesktrust::EscapeUrlPath(vesktrust::ManifestPath(manifest.product, manifest.kind, id));
    if (manifestUrl.size() > path.size() &&
        manifestUrl.compare(manifestUrl.size() - path.size(), path.size(), path) == 0 &&
        manifestUrl[manifestUrl.size() - path.size() - 1] == '/')
        return manifestUrl.substr(0, manifestUrl.size() - path.size());
    return packageBase != nullptr ? packageBase : "";
}

bool ChooseDelta(const CInstallDir& install, const char* baseUrl, const vesktrust::CManifestFile& file,
                 CDeltaPlan& plan)
{
    if (!DeltasAvailable() || file.deltas.empty())
        return false;
    std::string installed;
    if (!HashOfInstalled(install, file.name, installed))
        return false;
    for (const vesktrust::CManifestDelta& delta : file.deltas)
    {
        // A delta as long as the file saves nothing.
        if (delta.from != installed || delta.length < 0 || delta.length >= file.length)
            continue;
        std::string url = ResolveUrl(baseUrl, delta.url.c_str());
        std::string ignored;
        if (url.empty() || FetchedScheme(url, ignored).empty())
            continue;
        plan.delta = &delta;
        plan.url = std::move(url);
        return true;
    }
    return false;
}

bool BuildFromDelta(const CInstallDir& install, const vesktrust::CManifestFile& file, const std::string& deltaName,
                    const std::string& stagingName, std::string& built, std::string& error)
{
#ifdef VESKPLUGINS_HAVE_DELTA
    std::FILE* old = install.OpenRead(file.name, error);
    if (old == nullptr)
        return false;
    std::FILE* delta = install.OpenRead(deltaName, error);
    if (delta == nullptr)
    {
        std::fclose(old);
        return false;
    }
    std::string temp;
    std::FILE* out = install.CreateTemp(stagingName, temp, error);
    bool ok = out != nullptr && veskdelta::ApplyDelta(old, delta, out, file.length, error);
    std::fclose(old);
    std::fclose(delta);
    if (out != nullptr && std::fclose(out) != 0 && ok)
    {
        error = "cannot write the file built from the delta";
        ok = false;
    }
    if (ok)
    {
        // The result is read back, as it lies in the directory, before it
        // counts as the manifest's file.
        vesktrust::CManifestFile result = file;
        result.name = temp;
        ok = signedpackage::FileMatches(install, result);
        if (!ok)
            error = "the file built from the delta does not match the signed manifest";
    }
    if (ok)
    {
        built = temp;
        return true;
    }
    if (!temp.empty())
        install.Remove(temp);
    return false;
#else
    (void)install;
    (void)file;
    (void)deltaName;
    (void)stagingName;
    (void)built;
    error = "this plug-in was built without deltas";
    return false;
#endif
}

void CDeltaTally::Took(const vesktrust::CManifestFile& file, const vesktrust::CManifestDelta& delta)
{
    ++m_files;
    m_saved += file.length - delta.length;
    m_lines.push_back("by delta: " + file.name + ", " + std::to_string(delta.length) + " of " +
                      std::to_string(file.length) + " bytes downloaded");
}

void CDeltaTally::FellBack(const vesktrust::CManifestFile& file, const std::string& why)
{
    m_lines.push_back("delta not used for " + file.name + " (" + why + "): the whole file is downloaded");
}

void CDeltaTally::Report(kvrUpdate::IExecutionContext& context) const
{
    for (const std::string& line : m_lines)
        context.OnReport(line.c_str());
    if (m_files > 0)
    {
        const std::string total = "deltas saved " + std::to_string(m_saved) + " bytes on " + std::to_string(m_files) +
                                  (m_files == 1 ? " file" : " files");
        context.OnReport(total.c_str());
    }
}

} // namespace deltastep
