#include "updater/CLocalQuery.h"

#include "json/jsonIO.h"
#include "model/RecordJson.h"

namespace kvrUpdate
{

using platform::CLockGuard;

CLocalQuery::CLocalQuery() = default;

CLocalQuery::~CLocalQuery() = default;

const char* CLocalQuery::ToString()
{
    CLockGuard guard(m_lock);
    try
    {
        Json::Value root;
        ToJson(root);
        // Half a document must not be stored as if it were the state.
        if (!jsonIO::FormatJson(root, m_text))
            m_text.clear();
    }
    catch (...)
    {
        // Half a document must not be stored as if it were the state.
        m_text.clear();
    }
    return m_text.c_str();
}

bool CLocalQuery::FromString(const char* text)
{
    CLockGuard guard(m_lock);
    try
    {
        // Parse into a value of our own first: the state is the host's only
        // record of what is installed, so text that does not parse (or parses
        // only in part) must not touch it.
        Json::Value root;
        if (!jsonIO::ParseJson(root, text))
            return false;
        return FromJson(root);
    }
    catch (...)
    {
        return false;
    }
}

void CLocalQuery::Release()
{
    delete this;
}

const char* CLocalQuery::GetProductName() const
{
    CLockGuard guard(m_lock);
    return m_productName.c_str();
}

const IVersion* CLocalQuery::GetVersion() const
{
    CLockGuard guard(m_lock);
    return &m_version;
}

const IPatchList* CLocalQuery::GetPatchList(int which) const
{
    CLockGuard guard(m_lock);
    switch (which)
    {
    case PatchListInstalled:
        return &m_installed;
    case PatchListDownloaded:
        return &m_downloaded;
    default:
        return nullptr;
    }
}

void CLocalQuery::ToJson(Json::Value& value)
{
    CLockGuard guard(m_lock);
    using Key = Json::StaticString; // literal keys need no copy
    jsonIO::SetString(value[Key("product_ame")], m_productName.c_str());
    jsonIO::WriteJson(value[Key("version")], m_version);
    jsonIO::WriteJson(value[Key("installed_patchs")], m_installed);
    jsonIO::WriteJson(value[Key("downloaded_patchs")], m_downloaded);
}

bool CLocalQuery::FromJson(Json::Value& value)
{
    CLockGuard guard(m_lock);
    // A root that is no object (an array, a number, a string) says nothing
    // about this state; reading it as an empty document would wipe the
    // installed record.
    if (!jsonIO::IsRecordValue(value))
        return false;
    try
    {
        // Each member reader is guarded and leaves its member at its default
        // when the member is missing or of the wrong type; a failing reader
        // does not stop the others.
        m_productName = jsonIO::GetString(value["product_ame"], "");
        jsonIO::ReadRecordMember(value["version"], m_version);
        jsonIO::ReadRecordMember(value["installed_patchs"], m_installed);
        jsonIO::ReadRecordMember(value["downloaded_patchs"], m_downloaded);
    }
    catch (...)
    {
        return false;
    }
    return true;
}

bool CLocalQuery::AddInstalledPatch(const IPatch* patch)
{
    return AddPatch(m_installed, patch);
}

bool CLocalQuery::AddDownloadedPatch(const IPatch* patch)
{
    return AddPatch(m_downloaded, patch);
}

bool CLocalQuery::RecordInstalledPatch(const IPatch* patch)
{
    CLockGuard guard(m_lock);
    if (patch == nullptr)
        return false;
    const IVersion* result = patch->GetResultVersion();
    const int order = m_version.Compare(result);
    if (order < 0)
    {
        // Taken over through the text form, so that any IVersion will do.
        m_version.FromString(result->ToString());
        return true;
    }
    if (order == 0)
        return AddPatch(m_installed, patch);
    return true; // a patch that leads to an older version changes nothing
}

bool CLocalQuery::AddPatch(CPatchList& list, const IPatch* patch)
{
    CLockGuard guard(m_lock);
    if (patch == nullptr)
        return false;
    try
    {
        list.Append(*patch);
    }
    catch (...)
    {
        return false;
    }
    return true;
}

void CLocalQuery::SetProductName(const char* name)
{
    CLockGuard guard(m_lock);
    try
    {
        m_productName = name != nullptr ? name : "";
    }
    catch (...)
    {
        // Out of memory: the old name stays.
    }
}

} // namespace kvrUpdate
