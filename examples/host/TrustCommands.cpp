// What the host verifies when it is given trusted keys: the signed manifest
// of every package it applies or records, and the signed snapshot of the
// product's situation. The version center's answers are only believed where
// a signature from a trusted key says the same.
#include "CHost.h"

#include "HostContext.h"
#include "Printable.h"
#include "Report.h"

#include <SignedFetch.h>

#include <json/json.h>

#include <algorithm>
#include <ctime>
#include <set>

using namespace kvrUpdate;

namespace
{

std::string Joined(const std::vector<std::string>& texts)
{
    std::string joined;
    for (const std::string& text : texts)
        joined += (joined.empty() ? "" : ", ") + text;
    return joined.empty() ? "none" : joined;
}

std::string UtcTime(long long seconds)
{
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm parts{};
#if defined(_WIN32)
    if (gmtime_s(&parts, &time) != 0)
        return std::to_string(seconds);
#else
    if (gmtime_r(&time, &parts) == nullptr)
        return std::to_string(seconds);
#endif
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &parts);
    return text;
}

const char kNothingDone[] = "; nothing was applied or recorded";

} // namespace

int CHost::SetTrust(const CTrustOptions& options)
{
    std::string error;
    if (!m_trust.Load(options.keys, error))
        return Error(error, BadArguments);
    m_downloads = options.downloads;
    if (!m_downloads.empty() && m_downloads.back() != '/')
        m_downloads += '/';
    m_allowDowngrade = options.allowDowngrade;
    return Ok;
}

std::string CHost::Downloads()
{
    return m_downloads.empty() ? VersionCenter() + "files/" : m_downloads;
}

std::string CHost::Canonical(const std::string& version)
{
    IVersion* parsed = m_updater->GetLocalQuery()->GetVersion()->Clone();
    if (parsed == nullptr)
        return version;
    parsed->FromString(version.c_str());
    std::string text = parsed->ToString();
    parsed->Release();
    return text;
}

int CHost::CompareVersions(const std::string& a, const std::string& b)
{
    const IVersion* local = m_updater->GetLocalQuery()->GetVersion();
    IVersion* first = local->Clone();
    IVersion* second = local->Clone();
    int order = 0;
    if (first != nullptr && second != nullptr)
    {
        first->FromString(a.c_str());
        second->FromString(b.c_str());
        order = first->Compare(second);
    }
    if (first != nullptr)
        first->Release();
    if (second != nullptr)
        second->Release();
    return order;
}

int CHost::SignedManifest(const std::string& kind, const std::string& id, vesktrust::CManifest& manifest,
                          std::string& keyId)
{
    const std::string product = m_updater->GetProductName();
    const std::string asked = kind == "version" ? Canonical(id) : id;
    const std::string url = Downloads() + vesktrust::EscapeUrlPath(vesktrust::ManifestPath(product, kind, asked));
    std::string error;
    if (!m_trust.FetchManifest(url, manifest, keyId, error))
        return Error("the signed manifest of " + kind + " " + asked + " does not verify (" + url + "): " + error +
                     kNothingDone);
    bool same = manifest.product == product && manifest.kind == kind;
    if (same)
        same = kind == "version" ? Canonical(manifest.version) == asked : manifest.patch == asked;
    if (!same)
    {
        const std::string what = manifest.kind == "patch" ? "patch " + manifest.patch : "version " + manifest.version;
        return Error("the signed manifest at " + url + " is for " + what + " of '" + manifest.product + "', not for " +
                     kind + " " + asked + " of '" + product + "'" + kNothingDone);
    }
    return Ok;
}

int CHost::SamePatch(const IPatch& patch, const std::vector<std::string>& apply, const std::string& result,
                     const std::string& source)
{
    std::set<std::string> answered;
    const IVersionList* from = patch.GetApplyVersions();
    for (int i = 0; from != nullptr && i < from->GetCount(); ++i)
        answered.insert(from->GetAt(i)->ToString());
    std::set<std::string> signedApply;
    for (const std::string& version : apply)
        signedApply.insert(Canonical(version));
    const std::string answeredResult = patch.GetResultVersion()->ToString();
    const std::string signedResult = Canonical(result);
    if (answered == signedApply && answeredResult == signedResult)
        return Ok;
    return Error("the version center says patch " + std::string(patch.GetPatchNumber()) + " leads from " +
                 Joined(std::vector<std::string>(answered.begin(), answered.end())) + " to " + answeredResult + ", " +
                 source + " from " + Joined(std::vector<std::string>(signedApply.begin(), signedApply.end())) + " to " +
                 signedResult + kNothingDone);
}

int CHost::AppliesHere(const vesktrust::CManifest& manifest)
{
    const std::string installed = InstalledVersion();
    for (const std::string& version : manifest.apply)
        if (Canonical(version) == installed)
            return Ok;
    return Error("patch " + manifest.patch + " does not apply to the installed version " + installed +
                 " (its signed manifest names " + Joined(manifest.apply) + ")" + kNothingDone);
}

int CHost::NotOlder(const std::string& result, const std::string& what)
{
    const std::string installed = InstalledVersion();
    if (m_allowDowngrade || CompareVersions(result, installed) >= 0)
        return Ok;
    const std::string subject = what.empty() ? "version " + Canonical(result) + " is"
                                             : what + " leads to " + Canonical(result) + ",";
    return Error(subject + " older than the installed " + installed +
                 " (a downgrade); add --allow-downgrade to accept it" + kNothingDone);
}

int CHost::SignedSnapshot(vesktrust::CSnapshot& snapshot, std::string& keyId)
{
    const std::string product = m_updater->GetProductName();
    const std::string url = Downloads() + vesktrust::EscapeUrlPath(vesktrust::SnapshotPath(product));
    std::string error;
    if (!m_trust.FetchSnapshot(url, snapshot, keyId, error))
        return Error("the product '" + product + "' has no valid signed snapshot at " + url + ": " + error +
                     "; nothing was recorded");
    if (snapshot.product != product)
        return Error("the signed snapshot at " + url + " is for the product '" + snapshot.product + "', not '" +
                     product + "'; nothing was recorded");
    if (snapshot.expires <= static_cast<long long>(std::time(nullptr)))
        return Error("the signed snapshot of '" + product + "' (sequence " + std::to_string(snapshot.sequence) +
                     ") expired at " + UtcTime(snapshot.expires) +
                     ": the version center may be frozen or replaying an old state; nothing was recorded");
    unsigned long long seen = 0;
    if (!CSeenSequence(m_file.GetPath()).Read(product, seen, error))
        return Error(error);
    if (snapshot.sequence < seen)
        return Error("the signed snapshot of '" + product + "' is a replay: its sequence " +
                     std::to_string(snapshot.sequence) + " is older than the newest seen, " + std::to_string(seen) +
                     "; nothing was recorded");
    return Ok;
}

int CHost::MatchesSnapshot(const vesktrust::CSnapshot& snapshot)
{
    IVersionQuery* query = m_updater->GetVersionQuery();
    const IVersion* situation[] = {query->GetLastVersion(), query->GetMustVersion(), query->GetMaxVersion(),
                                   query->GetWillVersion()};
    const std::string names[] = {"last", "must", "max", "will"};
    const std::string signedSituation[] = {snapshot.last, snapshot.must, snapshot.max, snapshot.will};
    for (int i = 0; i < 4; ++i)
    {
        if (situation[i] == nullptr)
            return Unanswered("situation for the product");
        const std::string answered = situation[i]->ToString();
        if (answered != Canonical(signedSituation[i]))
            return Error("the version center says the " + names[i] + " version is " + answered +
                         ", its signed snapshot says " + Canonical(signedSituation[i]) + "; nothing was recorded");
    }
    const std::string last = situation[0]->ToString();

    const IVersionList* versions = query->GetVersions();
    if (versions == nullptr)
        return Unanswered("version list");
    std::set<std::string> answered;
    for (int i = 0; i < versions->GetCount(); ++i)
        answered.insert(versions->GetAt(i)->ToString());
    std::set<std::string> signedVersions;
    for (const std::string& version : snapshot.versions)
        signedVersions.insert(Canonical(version));
    if (answered != signedVersions)
        return Error("the version center lists the versions " +
                     Joined(std::vector<std::string>(answered.begin(), answered.end())) + ", its signed snapshot " +
                     Joined(std::vector<std::string>(signedVersions.begin(), signedVersions.end())) +
                     "; nothing was recorded");

    // Every patch the host is shown must be one the snapshot names, leading
    // from and to the same versions.
    const std::string installed = InstalledVersion();
    std::vector<const IPatchList*> lists;
    lists.push_back(query->GetPatchs(installed.c_str()));
    if (CompareVersions(installed, last) < 0)
        lists.push_back(query->GetPatchEvolution(installed.c_str(), last.c_str()));
    for (const IPatchList* list : lists)
    {
        for (int i = 0; list != nullptr && i < list->GetCount(); ++i)
        {
            const IPatch& patch = *list->GetAt(i);
            const auto found = std::find_if(
                snapshot.patches.begin(), snapshot.patches.end(),
                [&](const vesktrust::CSnapshotPatch& entry) { return entry.number == patch.GetPatchNumber(); });
            if (found == snapshot.patches.end())
                return Error("the version center offers patch " + std::string(patch.GetPatchNumber()) +
                             ", which its signed snapshot does not name; nothing was recorded");
            if (SamePatch(patch, found->apply, found->result, "its signed snapshot") != Ok)
                return Failed;
        }
    }
    return Ok;
}

int CHost::VerifySituation(vesktrust::CSnapshot& snapshot, std::string& line)
{
    std::string keyId;
    int status = SignedSnapshot(snapshot, keyId);
    if (status == Ok)
        status = MatchesSnapshot(snapshot);
    if (status == Ok)
        line = "Snapshot        sequence " + std::to_string(snapshot.sequence) + ", expires " +
               UtcTime(snapshot.expires) + ", verified by key " + keyId;
    return status;
}

int CHost::RememberSnapshot(const vesktrust::CSnapshot& snapshot)
{
    const CSeenSequence seen(m_file.GetPath());
    unsigned long long newest = 0;
    std::string error;
    if (!seen.Read(snapshot.product, newest, error))
        return Error(error);
    if (snapshot.sequence > newest && !seen.Write(snapshot.product, snapshot.sequence, error))
        return Error(error);
    return Ok;
}

int CHost::VerifyPatchRecord(const IPatch& patch, bool install, std::string& verified)
{
    vesktrust::CManifest manifest;
    std::string keyId;
    const std::string number = patch.GetPatchNumber();
    int status = SignedManifest("patch", number, manifest, keyId);
    if (status == Ok)
        status = SamePatch(patch, manifest.apply, manifest.result, "its signed manifest");
    if (status == Ok && install)
        status = AppliesHere(manifest);
    if (status == Ok && install)
        status = NotOlder(manifest.result, "patch " + number);
    if (status == Ok)
        verified = "verified patch " + number + " by key " + keyId;
    return status;
}

int CHost::RecordDowngrade(const IPatch& patch, const std::string& number, const std::string& source)
{
    // The library only moves the installed version up; the local state
    // takes an older one from its document.
    ILocalQuery* local = m_updater->GetLocalQuery();
    const std::string before = InstalledVersion();
    const std::string result = patch.GetResultVersion()->ToString();
    Json::Value document;
    Json::Reader reader;
    if (!reader.parse(local->ToString(), document) || !document.isObject())
        return Error("the local state could not be read back; nothing was recorded");
    document["version"]["v"] = result;
    Json::StreamWriterBuilder writer;
    writer["emitUTF8"] = true;
    IPatch* copy = patch.Clone();
    if (copy == nullptr || !local->FromString(Json::writeString(writer, document).c_str()))
    {
        if (copy != nullptr)
            copy->Release();
        return Error("the local state did not take the older version; nothing was recorded");
    }
    m_updater->SetPatchInstalled(copy);
    copy->Release();
    if (!Save())
        return Failed;
    std::fprintf(m_out, "Installed patch %s (from %s): version %s -> %s (a downgrade, allowed)\n",
                 Printable(number).c_str(), source.c_str(), before.c_str(), result.c_str());
    report::PrintLocalState(m_out, local);
    return Ok;
}

void CHost::FillContext(CHostContext& context, const std::string& kind, const std::string& id)
{
    const std::string product = m_updater->GetProductName();
    const std::string asked = kind == "version" ? Canonical(id) : id;
    context.Set("trust", m_trust.KeyLines());
    context.Set("manifest", Downloads() + vesktrust::EscapeUrlPath(vesktrust::ManifestPath(product, kind, asked)));
    context.Set("expect.product", product);
    context.Set("expect.kind", kind);
    context.Set("expect.id", asked);
    context.Set("expect.installed", InstalledVersion());
}
