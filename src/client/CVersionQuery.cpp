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

CVersionQuery::CVersionQuery() : m_situationStale(true)
{
}

CVersionQuery::~CVersionQuery() = default;

const char* CVersionQuery::ToString()
{
    try
    {
        Json::Value root;
        jsonIO::SetString(root["product"], m_product.c_str());
        jsonIO::SetString(root["version_center"], m_versionCenter.c_str());
        jsonIO::FormatJson(root, m_text);
    }
    catch (...)
    {
        // Memory exhaustion: the previous text stays.
    }
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
        std::string product = jsonIO::GetString(root["product"], "");
        std::string address = jsonIO::GetString(root["version_center"], "");
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
    try
    {
        if (m_product != Text(product))
        {
            m_situationStale = true;
            m_product = Text(product);
        }
    }
    catch (...)
    {
    }
}

const char* CVersionQuery::GetProduct() const
{
    return m_product.c_str();
}

void CVersionQuery::SetVersionCenter(const char* address)
{
    try
    {
        if (m_versionCenter != Text(address))
        {
            m_situationStale = true;
            m_versionCenter = Text(address);
        }
    }
    catch (...)
    {
    }
}

std::string CVersionQuery::Url(const std::string& path) const
{
    return m_versionCenter + m_product + path;
}

template <class T>
bool CVersionQuery::Fetch(T& record, const std::string& url)
{
    jsonIO::CJsonObject<T> adapter(record);
    return jsonIO::GetJsonObject(adapter, url.c_str());
}

const IVersion* CVersionQuery::SituationVersion(const CVersion& (CVersionSituation::*which)() const)
{
    try
    {
        if (m_situationStale)
        {
            if (!Fetch(m_situation, Url("/versions/situation")))
                return nullptr;
            m_situationStale = false;
        }
        return &(m_situation.*which)();
    }
    catch (...)
    {
        return nullptr;
    }
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
    try
    {
        return Fetch(m_versions, Url("/versions")) ? &m_versions : nullptr;
    }
    catch (...)
    {
        return nullptr;
    }
}

const IVersionList* CVersionQuery::GetVersionEvolution(const char* from, const char* to)
{
    try
    {
        const std::string url =
            Url("/versions/evolution?version_from=" + Canonical(from) + "&version_to=" + Canonical(to));
        return Fetch(m_evolutionVersions, url) ? &m_evolutionVersions : nullptr;
    }
    catch (...)
    {
        return nullptr;
    }
}

const IPatchList* CVersionQuery::GetPatchs(const char* version)
{
    try
    {
        return Fetch(m_patchs, Url("/patchs?version=" + Canonical(version))) ? &m_patchs : nullptr;
    }
    catch (...)
    {
        return nullptr;
    }
}

const IPatchList* CVersionQuery::GetPatchEvolution(const char* from, const char* to)
{
    // Never null: a failed request leaves the list empty.
    m_evolutionPatchs.Clear();
    try
    {
        Fetch(m_evolutionPatchs, Url("/patchs/evolution/" + Canonical(from) + "/" + Canonical(to)));
    }
    catch (...)
    {
    }
    return &m_evolutionPatchs;
}

const IUpdatePackage* CVersionQuery::GetPatchPackage(const char* patch)
{
    try
    {
        // The identifier goes in as given, not normalised like a version.
        const std::string url = Url(std::string("/patchs/") + Text(patch) + "/package");
        return Fetch(m_patchPackage, url) ? &m_patchPackage : nullptr;
    }
    catch (...)
    {
        return nullptr;
    }
}

const IUpdatePackage* CVersionQuery::GetVersionPackage(const char* version)
{
    try
    {
        const std::string url = Url("/versions/" + Canonical(version) + "/package");
        return Fetch(m_versionPackage, url) ? &m_versionPackage : nullptr;
    }
    catch (...)
    {
        return nullptr;
    }
}

const IFileCheckerDef* CVersionQuery::GetFileCheckDef(const char* version)
{
    try
    {
        const std::string url = Url("/versions/" + Canonical(version) + "/FileCheckDef");
        return Fetch(m_fileCheckDef, url) ? &m_fileCheckDef : nullptr;
    }
    catch (...)
    {
        return nullptr;
    }
}

} // namespace kvrUpdate
