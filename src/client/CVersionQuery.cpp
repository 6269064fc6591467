#include "client/CVersionQuery.h"

#include "client/GetJsonObject.h"
#include "json/JsonObject.h"

namespace kvrUpdate
{
namespace
{

// Hosts may hand in a null text; it is taken as the empty text.
const char* Text(const char* text)
{
    return text ? text : "";
}

// The canonical a.b.c.d form of a version text, parsed leniently: "1.2" is
// sent as 1.2.0.0, a text without digits as 0.0.0.0.
std::string Canonical(const char* text)
{
    CVersion version;
    version.FromString(Text(text));
    return version.ToString();
}

} // namespace

CVersionQuery::CVersionQuery() : m_situationStale(true) {}

CVersionQuery::~CVersionQuery() = default;

const char* CVersionQuery::ToString()
{
    bool written = false;
    try
    {
        Json::Value root;
        jsonIO::SetString(root["product"], m_product.c_str());
        jsonIO::SetString(root["version_center"], m_versionCenter.c_str());
        written = jsonIO::FormatJson(root, m_text);
    }
    catch (...)
    {
    }
    // Half a document must not pass for the settings.
    if (!written)
        m_text.clear();
    return m_text.c_str();
}

bool CVersionQuery::FromString(const char* text)
{
    try
    {
        Json::Value root;
        if (!text || !jsonIO::ParseJson(root, text))
            return false;
        // Member access on an array or a scalar is not defined; such a root
        // is refused like text that does not parse.
        if (!root.isObject() && !root.isNull())
            return false;
        std::string product = jsonIO::TakeString(root["product"], "");
        std::string address = jsonIO::TakeString(root["version_center"], "");
        m_product.swap(product);
        m_versionCenter.swap(address);
        return true;
    }
    catch (...)
    {
        return false;
    }
}

void CVersionQuery::Release()
{
    delete this;
}

void CVersionQuery::SetProduct(const char* product)
{
    ChangeSetting(m_product, product);
}

const char* CVersionQuery::GetProduct() const
{
    return m_product.c_str();
}

void CVersionQuery::SetVersionCenter(const char* address)
{
    ChangeSetting(m_versionCenter, address);
}

void CVersionQuery::ChangeSetting(std::string& setting, const char* text)
{
    try
    {
        if (setting != Text(text))
        {
            m_situationStale = true;
            setting = Text(text);
        }
    }
    catch (...)
    {
        // Out of memory: the old text stays, and a stale mark set is harmless.
    }
}

void CVersionQuery::TakeSettings(std::string& product, std::string& address) noexcept
{
    if (product != m_product || address != m_versionCenter)
        m_situationStale = true;
    m_product.swap(product);
    m_versionCenter.swap(address);
}

template <class T, class MakePath>
T* CVersionQuery::Fetch(T& record, MakePath makePath) const
{
    try
    {
        jsonIO::CJsonObject<T> adapter(record);
        const std::string url = m_versionCenter + m_product + makePath();
        return jsonIO::GetJsonObject(adapter, url.c_str()) ? &record : nullptr;
    }
    catch (...)
    {
        return nullptr; // out of memory building the URL
    }
}

const IVersion* CVersionQuery::SituationVersion(const CVersion& (CVersionSituation::*which)() const)
{
    if (m_situationStale)
    {
        if (Fetch(m_situation, [] { return std::string("/versions/situation"); }) == nullptr)
            return nullptr;
        m_situationStale = false;
    }
    return &(m_situation.*which)();
}

const IVersion* CVersionQuery::GetLastVersion()
{
    return SituationVersion(&CVersionSituation::GetLast);
}

const IVersion* CVersionQuery::GetMustVersion()
{
    return SituationVersion(&CVersionSituation::GetMust);
}

const IVersion* CVersionQuery::GetMaxVersion()
{
    return SituationVersion(&CVersionSituation::GetMax);
}

const IVersion* CVersionQuery::GetWillVersion()
{
    return SituationVersion(&CVersionSituation::GetWill);
}

const IVersionList* CVersionQuery::GetVersions()
{
    return Fetch(m_versions, [] { return std::string("/versions"); });
}

const IVersionList* CVersionQuery::GetVersionEvolution(const char* from, const char* to)
{
    return Fetch(m_evolutionVersions, [from, to] {
        return "/versions/evolution?version_from=" + Canonical(from) + "&version_to=" + Canonical(to);
    });
}

const IPatchList* CVersionQuery::GetPatchs(const char* version)
{
    return Fetch(m_patchs, [version] { return "/patchs?version=" + Canonical(version); });
}

const IPatchList* CVersionQuery::GetPatchEvolution(const char* from, const char* to)
{
    // Never null: a failed request leaves the list empty.
    m_evolutionPatchs.Clear();
    if (Fetch(m_evolutionPatchs, [from, to] { return "/patchs/evolution/" + Canonical(from) + "/" + Canonical(to); }) ==
        nullptr)
        m_evolutionPatchs.Clear(); // also what a read cut short left
    return &m_evolutionPatchs;
}

const IUpdatePackage* CVersionQuery::GetPatchPackage(const char* patch)
{
    // The identifier goes in as given, not normalised like a version.
    return Fetch(m_patchPackage, [patch] { return std::string("/patchs/") + Text(patch) + "/package"; });
}

const IUpdatePackage* CVersionQuery::GetVersionPackage(const char* version)
{
    return Fetch(m_versionPackage, [version] { return "/versions/" + Canonical(version) + "/package"; });
}

const IFileCheckerDef* CVersionQuery::GetFileCheckDef(const char* version)
{
    return Fetch(m_fileCheckDef, [version] { return "/versions/" + Canonical(version) + "/FileCheckDef"; });
}

} // namespace kvrUpdate
