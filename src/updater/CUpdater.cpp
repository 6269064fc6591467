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
        jsonIO::SetString(root["porduct_name"], m_versionQuery.GetProduct());
        jsonIO::SetString(root["version_center"], m_versionQuery.GetVersionCenterText().c_str());
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

        std::string name = jsonIO::TakeString(root["porduct_name"], "product");
        // A number, array or object is no address; the updater is left
        // without one rather than with a made-up text the query would build
        // URLs from.
        std::string address = jsonIO::TakeString(root["version_center"], "");
        std::string localName = name;
        // A "local" that is no object leaves the local state as it was,
        // anything else resets or replaces it.
        CLocalRecord local;
        const bool readLocal = CLocalQuery::ReadDocument(root["local"], local);

        // Everything is read: from here on nothing can fail.
        m_versionQuery.TakeSettings(name, address);
        m_localQuery.Replace(readLocal ? &local : nullptr, localName);
        return true;
    }
    catch (...)
    {
        return false; // memory exhausted: nothing was taken
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
        std::string product = name != nullptr ? name : "";
        std::string address = m_versionQuery.GetVersionCenterText();
        std::string localName = product;
        m_versionQuery.TakeSettings(product, address);
        m_localQuery.Replace(nullptr, localName);
    }
    catch (...)
    {
        // Out of memory: everything keeps the old name.
    }
}

const char* CUpdater::GetProductName() const
{
    return m_versionQuery.GetProduct();
}

void CUpdater::SetVersionCenter(const char* address)
{
    // The query keeps the old address when the copy cannot be made.
    m_versionQuery.SetVersionCenter(address);
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
