#include "updater/CUpdater.h"

#include "json/jsonIO.h"

namespace kvrUpdate
{

CUpdater::CUpdater() = default;

CUpdater::~CUpdater() = default;

const char* CUpdater::ToString()
{
    try
    {
        Json::Value root;
        jsonIO::SetString(root["porduct_name"], m_productName.c_str());
        jsonIO::SetString(root["version_center"], m_versionCenter.c_str());
        m_localQuery.FormatDocument(root, root["local"], m_text);
    }
    catch (...)
    {
        // The host stores this text as its only record of what is installed;
        // half a document must not look like a whole one.
        m_text.clear();
    }
    return m_text.c_str();
}

bool CUpdater::FromString(const char* text)
{
    if (text == nullptr)
        return false;
    try
    {
        Json::Value root;
        if (!jsonIO::ParseJson(root, text))
            return false;
        // Only an object is a configuration document. Anything else (an
        // array, a string, a number, a boolean, null) is refused rather than
        // read as an empty document, which would reset the installed record.
        if (!root.isObject())
            return false;

        m_productName = jsonIO::GetString(root["porduct_name"], "product");
        // A number, array or object is no address; the updater is left
        // without one rather than with a made-up text the query would build
        // URLs from.
        m_versionCenter = jsonIO::GetString(root["version_center"], "");
        m_versionQuery.SetProduct(m_productName.c_str());
        m_versionQuery.SetVersionCenter(m_versionCenter.c_str());
        // The result is not consulted: a "local" that is no object leaves the
        // local state as it was, anything else resets or replaces it.
        m_localQuery.FromJson(root["local"]);
        m_localQuery.SetProductName(m_productName.c_str());
        return true;
    }
    catch (...)
    {
        // Memory exhausted part-way; what was taken so far stays.
        return false;
    }
}

void CUpdater::Release()
{
    delete this;
}

void CUpdater::SetProductName(const char* name)
{
    try
    {
        m_productName = name != nullptr ? name : "";
    }
    catch (...)
    {
        return; // out of memory: everything keeps the old name
    }
    m_versionQuery.SetProduct(m_productName.c_str());
    m_localQuery.SetProductName(m_productName.c_str());
}

const char* CUpdater::GetProductName() const
{
    return m_productName.c_str();
}

void CUpdater::SetVersionCenter(const char* address)
{
    try
    {
        m_versionCenter = address != nullptr ? address : "";
    }
    catch (...)
    {
        return; // out of memory: the query keeps the old address as well
    }
    m_versionQuery.SetVersionCenter(m_versionCenter.c_str());
}

IVersionQuery* CUpdater::GetVersionQuery()
{
    return &m_versionQuery;
}

ILocalQuery* CUpdater::GetLocalQuery()
{
    return &m_localQuery;
}

void CUpdater::SetPatchDownloaded(const IPatch* patch)
{
    if (patch != nullptr)
        m_localQuery.AddDownloadedPatch(patch);
}

void CUpdater::SetPatchInstalled(const IPatch* patch)
{
    m_localQuery.RecordInstalledPatch(patch);
}

} // namespace kvrUpdate
