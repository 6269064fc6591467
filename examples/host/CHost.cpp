#include "CHost.h"

#include "Printable.h"
#include "Reachability.h"
#include "Report.h"
#include "StateCheck.h"

#include <json/json.h>

using namespace kvrUpdate;

CHost::CHost(const std::string& statePath) : m_file(statePath), m_out(stdout), m_err(stderr), m_updater(CreateUpdater())
{
}

CHost::~CHost()
{
    // The updater is ours (it came from the factory); the query and the local
    // state we reached through it end with it.
    if (m_updater != nullptr)
        m_updater->Release();
}

int CHost::Error(const std::string& message, int status)
{
    // Messages carry names, urls and reasons that came from the version
    // center or a plug-in.
    std::fprintf(m_err, "vesk-host: error: %s\n", Printable(message).c_str());
    return status;
}

// ---------------------------------------------------------------------------
// State file
// ---------------------------------------------------------------------------

bool CHost::Load()
{
    std::string text;
    std::string error;
    switch (m_file.Read(text, error))
    {
    case CStateFile::Missing:
        Error("no state file " + m_file.GetPath() + "; start with: vesk-host init PRODUCT VERSION_CENTER");
        return false;
    case CStateFile::Failed:
        Error(error);
        return false;
    case CStateFile::Loaded:
        break;
    }
    Json::Value root;
    std::string problem = statecheck::Parse(text, root);
    if (problem.empty() && !m_updater->FromString(text.c_str()))
        problem = "does not hold an updater configuration";
    // Saving what the updater did not take in would lose it for good.
    if (problem.empty())
    {
        const std::string loss = statecheck::FindLoss(root, *m_updater);
        if (!loss.empty())
            problem = "records more than the library read from it: " + loss;
    }
    if (problem.empty())
        return true;
    Error("state file " + m_file.GetPath() + " " + problem + "; it was left untouched");
    return false;
}

bool CHost::Save()
{
    const std::string text = m_updater->ToString();
    // The updater gives no text rather than half a document.
    if (text.empty())
    {
        Error("the updater could not write its state; the previous state file is unchanged");
        return false;
    }
    std::string error;
    if (!m_file.Write(text, error))
    {
        Error(error + "; the previous state file is unchanged");
        return false;
    }
    return true;
}

std::string CHost::VersionCenter()
{
    return statecheck::VersionCenter(*m_updater);
}

std::string CHost::InstalledVersion()
{
    // Lent by the local state; copied because the next version ToString reuses
    // the text.
    return m_updater->GetLocalQuery()->GetVersion()->ToString();
}

// ---------------------------------------------------------------------------
// Failure reports
// ---------------------------------------------------------------------------

int CHost::Unanswered(const std::string& what)
{
    const std::string address = VersionCenter();
    if (address.empty())
        return Error("no version center is configured; run vesk-host init again");
    std::string reason;
    if (!ProbeAddress(address, reason))
        return Error("cannot reach the version center at " + address + " (" + reason + ")");
    if (!ProbeTls(address, reason))
        return Error("no trusted TLS connection to the version center at " + address + ": " + reason);
    // The server is there. If it cannot tell us the product's situation
    // either, the product is what it does not know.
    if (m_updater->GetVersionQuery()->GetLastVersion() == nullptr)
        return Error("the version center at " + address + " does not know the product '" + m_updater->GetProductName() +
                     "'");
    return Error("the version center at " + address + " has no " + what);
}

// ---------------------------------------------------------------------------
// Commands
// ---------------------------------------------------------------------------

void CHost::PrintHeader()
{
    std::fprintf(m_out, "Product         %s\n", Printable(m_updater->GetProductName()).c_str());
    std::fprintf(m_out, "Version center  %s\n", Printable(VersionCenter()).c_str());
    std::fprintf(m_out, "Installed       %s\n", InstalledVersion().c_str());
}

int CHost::Init(const std::string& product, const std::string& center, const std::string& installed, bool force)
{
    if (product.empty())
        return Error("the product name is empty", BadArguments);
    if (center.empty())
        return Error("the version center address is empty", BadArguments);
    std::string text;
    std::string error;
    CStateFile::ReadResult existing = m_file.Read(text, error);
    if (existing != CStateFile::Missing && !force)
        return Error("state file " + m_file.GetPath() + " already exists; add --force to start over", BadArguments);

    // The library appends the product name to the address as it stands, so
    // the address must end in a separator.
    std::string address = center;
    if (address.back() != '/')
        address += '/';

    if (!installed.empty())
    {
        // The updater has no setter for the installed version; the local
        // state takes it from its document. The product name follows below.
        Json::Value local;
        local["version"]["v"] = installed;
        Json::StreamWriterBuilder writer;
        writer["emitUTF8"] = true;
        m_updater->GetLocalQuery()->FromString(Json::writeString(writer, local).c_str());
    }
    m_updater->SetProductName(product.c_str());
    m_updater->SetVersionCenter(address.c_str());

    // Ask once before anything is written, so that a mistyped address or
    // product name is found now rather than on the next run.
    if (m_updater->GetVersionQuery()->GetLastVersion() == nullptr)
        return Unanswered("situation for the product");
    // With trusted keys, a product is only taken on with a valid signed
    // snapshot whose situation the version center's answers agree with.
    vesktrust::CSnapshot snapshot;
    std::string verified;
    if (m_trust.Enabled())
    {
        const int status = VerifySituation(snapshot, verified);
        if (status != Ok)
            return status;
    }
    if (!Save())
        return Failed;
    if (m_trust.Enabled() && RememberSnapshot(snapshot) != Ok)
        return Failed;
    std::fprintf(m_out, "Initialised %s\n", m_file.GetPath().c_str());
    PrintHeader();
    if (!verified.empty())
        std::fprintf(m_out, "%s\n", Printable(verified).c_str());
    return Ok;
}

int CHost::Check()
{
    if (!Load())
        return Failed;
    IVersionQuery* query = m_updater->GetVersionQuery();
    const IVersion* last = query->GetLastVersion();
    if (last == nullptr)
        return Unanswered("situation for the product");
    // With trusted keys the situation is believed only as the signed
    // snapshot gives it, and only when that snapshot is current.
    std::string verified;
    if (m_trust.Enabled())
    {
        vesktrust::CSnapshot snapshot;
        int status = VerifySituation(snapshot, verified);
        if (status == Ok)
            status = RememberSnapshot(snapshot);
        if (status != Ok)
            return status;
        last = query->GetLastVersion();
    }
    PrintHeader();
    if (!verified.empty())
        std::fprintf(m_out, "%s\n", Printable(verified).c_str());
    // All four point into the one cached situation.
    const IVersion* must = query->GetMustVersion();
    const IVersion* max = query->GetMaxVersion();
    const IVersion* will = query->GetWillVersion();
    std::fprintf(m_out, "Situation       last %s, must %s, max %s, will %s\n", last->ToString(), must->ToString(),
                 max->ToString(), will->ToString());

    const IVersion* local = m_updater->GetLocalQuery()->GetVersion();
    std::string lastText = last->ToString();
    if (local->Compare(must) < 0)
        std::fprintf(m_out, "Status          update required: %s is older than the required %s\n",
                     InstalledVersion().c_str(), must->ToString());
    else if (local->Compare(last) < 0)
        std::fprintf(m_out, "Status          update available: %s\n", lastText.c_str());
    else
        std::fprintf(m_out, "Status          up to date\n");

    if (local->Compare(last) < 0)
    {
        const IPatchList* route = query->GetPatchEvolution(InstalledVersion().c_str(), lastText.c_str());
        if (route->GetCount() > 0)
            std::fprintf(m_out, "Route           to %s: %s\n", lastText.c_str(),
                         report::JoinPatchNumbers(route).c_str());
        else
            std::fprintf(m_out,
                         "Route           no patch chain to %s; a version's package installs it "
                         "(vesk-host apply-version)\n",
                         lastText.c_str());
    }

    const std::string installed = InstalledVersion();
    const IPatchList* patches = query->GetPatchs(installed.c_str());
    std::fprintf(m_out, "Patches for %s\n", installed.c_str());
    if (patches == nullptr)
    {
        // The situation came, so the version center is there: it only does
        // not know this version (as on a first run without --installed).
        std::fprintf(m_out, "  (the version center does not know version %s)\n", installed.c_str());
        return Ok;
    }
    report::PrintPatchList(m_out, patches);
    return Ok;
}

int CHost::Versions()
{
    if (!Load())
        return Failed;
    const IVersionList* versions = m_updater->GetVersionQuery()->GetVersions();
    if (versions == nullptr)
        return Unanswered("version list");
    std::fprintf(m_out, "Versions of %s\n", Printable(m_updater->GetProductName()).c_str());
    report::PrintVersionList(m_out, versions);
    return Ok;
}

int CHost::Patches(const std::string& version)
{
    if (!Load())
        return Failed;
    const std::string asked = version.empty() ? InstalledVersion() : version;
    const IPatchList* patches = m_updater->GetVersionQuery()->GetPatchs(asked.c_str());
    if (patches == nullptr)
        return Unanswered("patches for version " + asked);
    std::fprintf(m_out, "Patches for %s\n", asked.c_str());
    report::PrintPatchList(m_out, patches);
    return Ok;
}

int CHost::Evolution(const std::string& from, const std::string& to)
{
    if (!Load())
        return Failed;
    IVersionQuery* query = m_updater->GetVersionQuery();
    const IVersionList* versions = query->GetVersionEvolution(from.c_str(), to.c_str());
    if (versions == nullptr)
        return Unanswered("versions from " + from + " to " + to);
    std::fprintf(m_out, "Versions after %s up to %s\n", from.c_str(), to.c_str());
    report::PrintVersionList(m_out, versions);
    // Never null: an unanswered request gives an empty chain.
    const IPatchList* chain = query->GetPatchEvolution(from.c_str(), to.c_str());
    std::fprintf(m_out, "Patch chain from %s to %s\n", from.c_str(), to.c_str());
    report::PrintPatchList(m_out, chain);
    return Ok;
}

int CHost::PatchPackage(const std::string& patch)
{
    if (!Load())
        return Failed;
    const IUpdatePackage* package = m_updater->GetVersionQuery()->GetPatchPackage(patch.c_str());
    if (package == nullptr)
        return Unanswered("package for patch '" + patch + "'");
    std::fprintf(m_out, "Package of patch %s\n", Printable(patch).c_str());
    report::PrintPackage(m_out, package);
    return Ok;
}

int CHost::VersionPackage(const std::string& version)
{
    if (!Load())
        return Failed;
    const IUpdatePackage* package = m_updater->GetVersionQuery()->GetVersionPackage(version.c_str());
    if (package == nullptr)
        return Unanswered("package for version " + version);
    std::fprintf(m_out, "Package of version %s\n", version.c_str());
    report::PrintPackage(m_out, package);
    return Ok;
}

int CHost::FileCheck(const std::string& version)
{
    if (!Load())
        return Failed;
    const IFileCheckerDef* check = m_updater->GetVersionQuery()->GetFileCheckDef(version.c_str());
    if (check == nullptr)
        return Unanswered("file check for version " + version);
    std::fprintf(m_out, "File check of version %s\n", version.c_str());
    report::PrintFileCheck(m_out, check);
    return Ok;
}

namespace
{

const IPatch* FindIn(const IPatchList* list, const std::string& number)
{
    for (int i = 0; list != nullptr && i < list->GetCount(); ++i)
        if (number == list->GetAt(i)->GetPatchNumber())
            return list->GetAt(i);
    return nullptr;
}

} // namespace

const IPatch* CHost::FindPatch(const std::string& number, bool preferDownloaded, std::string& source, int& status)
{
    status = Ok;
    if (preferDownloaded)
    {
        // What is installed is normally what was downloaded: the copy in the
        // local state needs no request.
        if (const IPatch* patch = FindIn(m_updater->GetLocalQuery()->GetPatchList(PatchListDownloaded), number))
        {
            source = "the downloaded list";
            return patch;
        }
    }
    IVersionQuery* query = m_updater->GetVersionQuery();
    const std::string installed = InstalledVersion();
    // Null as well when the version center does not know the installed
    // version; the chain below may still lead on from it.
    if (const IPatch* patch = FindIn(query->GetPatchs(installed.c_str()), number))
    {
        source = "the patches for " + installed;
        return patch;
    }
    // A patch further along the way to the newest version.
    const IVersion* last = query->GetLastVersion();
    if (last == nullptr)
    {
        status = Unanswered("situation for the product");
        return nullptr;
    }
    const std::string lastText = last->ToString();
    if (const IPatch* patch = FindIn(query->GetPatchEvolution(installed.c_str(), lastText.c_str()), number))
    {
        source = "the patch chain to " + lastText;
        return patch;
    }
    status = Error("the version center offers no patch '" + number + "' for " + installed +
                   " or on the way to the newest version");
    return nullptr;
}

int CHost::RecordDownloaded(const std::string& number)
{
    if (!Load())
        return Failed;
    if (FindIn(m_updater->GetLocalQuery()->GetPatchList(PatchListDownloaded), number) != nullptr)
    {
        std::fprintf(m_out, "Patch %s is already recorded as downloaded; nothing changed\n", Printable(number).c_str());
        return Ok;
    }
    std::string source;
    int status = Ok;
    const IPatch* patch = FindPatch(number, false, source, status);
    if (patch == nullptr)
        return status;
    std::string verified;
    if (m_trust.Enabled() && VerifyPatchRecord(*patch, false, verified) != Ok)
        return Failed;
    // The updater copies the patch; the query's list it came from may be
    // refilled afterwards without harm.
    m_updater->SetPatchDownloaded(patch);
    if (!Save())
        return Failed;
    std::fprintf(m_out, "Recorded patch %s (from %s) as downloaded\n", Printable(number).c_str(), source.c_str());
    if (!verified.empty())
        std::fprintf(m_out, "  %s\n", Printable(verified).c_str());
    report::PrintLocalState(m_out, m_updater->GetLocalQuery());
    return Ok;
}

int CHost::RecordInstalled(const std::string& number)
{
    if (!Load())
        return Failed;
    ILocalQuery* local = m_updater->GetLocalQuery();
    if (FindIn(local->GetPatchList(PatchListInstalled), number) != nullptr)
    {
        std::fprintf(m_out, "Patch %s is already recorded as installed; nothing changed\n", Printable(number).c_str());
        return Ok;
    }
    std::string source;
    int status = Ok;
    const IPatch* patch = FindPatch(number, true, source, status);
    if (patch == nullptr)
        return status;
    // With trusted keys only what the patch's signed manifest says is
    // recorded: it must be the patch described, apply to the installed
    // version and not lead to an older one unless that is allowed.
    std::string verified;
    if (m_trust.Enabled())
    {
        if (VerifyPatchRecord(*patch, true, verified) != Ok)
            return Failed;
        if (CompareVersions(patch->GetResultVersion()->ToString(), InstalledVersion()) < 0)
        {
            const int recorded = RecordDowngrade(*patch, number, source);
            if (recorded == Ok)
                std::fprintf(m_out, "  %s\n", Printable(verified).c_str());
            return recorded;
        }
    }

    // The patch may be lent by the local state's own downloaded list, which
    // the updater is about to work on: keep a copy of our own while it does.
    IPatch* copy = patch->Clone();
    const std::string before = InstalledVersion();
    const int installedBefore = local->GetPatchList(PatchListInstalled)->GetCount();
    m_updater->SetPatchInstalled(copy);
    const std::string result = copy->GetResultVersion()->ToString();
    copy->Release();

    const std::string after = InstalledVersion();
    if (before == after && local->GetPatchList(PatchListInstalled)->GetCount() == installedBefore)
    {
        std::fprintf(m_out, "Patch %s leads to %s, older than the installed %s; nothing changed\n",
                     Printable(number).c_str(), result.c_str(), after.c_str());
        return Ok;
    }
    // Installed only once it is recorded: nothing is reported before the save.
    if (!Save())
        return Failed;
    if (before != after)
        std::fprintf(m_out, "Installed patch %s (from %s): version %s -> %s\n", Printable(number).c_str(),
                     source.c_str(), before.c_str(), after.c_str());
    else
        std::fprintf(m_out, "Installed patch %s (from %s): added to the installed patches of %s\n",
                     Printable(number).c_str(), source.c_str(), after.c_str());
    if (!verified.empty())
        std::fprintf(m_out, "  %s\n", Printable(verified).c_str());
    report::PrintLocalState(m_out, local);
    return Ok;
}

int CHost::ShowState(bool raw)
{
    if (!Load())
        return Failed;
    std::fprintf(m_out, "State of %s (%s)\n", Printable(m_updater->GetProductName()).c_str(), m_file.GetPath().c_str());
    std::fprintf(m_out, "  version center      %s\n", Printable(VersionCenter()).c_str());
    report::PrintLocalState(m_out, m_updater->GetLocalQuery());
    if (raw)
        std::fprintf(m_out, "%s", PrintableLines(m_updater->ToString()).c_str());
    return Ok;
}
