#include "updater/CLocalQuery.h"

#include "json/jsonIO.h"
#include "model/RecordBinding.h"

#include <utility>

namespace kvrUpdate
{

using platform::CLockGuard;

CLocalQuery::CLocalQuery() = default;

CLocalQuery::~CLocalQuery() = default;

const char* CLocalQuery::ToString()
{
    Json::Value root;
    FormatDocument(root, root, m_text);
    return m_text.c_str();
}

bool CLocalQuery::FormatDocument(Json::Value& document, Json::Value& member, std::string& text)
{
    CLockGuard guard(m_lock);
    // The context outlives the document's borrowed texts: `member` is emptied
    // before it goes, and before the lock is left.
    binding::CWriteContext context(true);
    bool written = false;
    try
    {
        binding::WriteRecord(member, m_record, context);
        written = jsonIO::FormatJson(document, text);
    }
    catch (...)
    {
    }
    member = Json::Value();
    // Half a document must not be stored as if it were the state.
    if (!written)
        text.clear();
    return written;
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
    return m_record.productName.c_str();
}

const IVersion* CLocalQuery::GetVersion() const
{
    CLockGuard guard(m_lock);
    return &m_record.version;
}

const IPatchList* CLocalQuery::GetPatchList(int which) const
{
    CLockGuard guard(m_lock);
    switch (which)
    {
    case PatchListInstalled:
        return &m_record.installed;
    case PatchListDownloaded:
        return &m_record.downloaded;
    default:
        return nullptr;
    }
}

void CLocalQuery::ToJson(Json::Value& value)
{
    CLockGuard guard(m_lock);
    binding::WriteRecord(value, m_record);
}

bool CLocalQuery::FromJson(Json::Value& value)
{
    CLockGuard guard(m_lock);
    try
    {
        CLocalRecord next;
        if (!ReadDocument(value, next))
            return false;
        std::swap(m_record, next);
    }
    catch (...)
    {
        return false; // memory exhausted: the state stays as it was
    }
    return true;
}

bool CLocalQuery::ReadDocument(const Json::Value& value, CLocalRecord& record)
{
    // A root that is no object (an array, a number, a string) says nothing
    // about this state; reading it as an empty document would wipe the
    // installed record.
    if (!value.isObject() && !value.isNull())
        return false;
    // A member that is missing or of the wrong type takes its default; a
    // member that fails does not stop the others.
    binding::ReadRecord(value, record);
    return true;
}

void CLocalQuery::Replace(CLocalRecord* record, std::string& name) noexcept
{
    CLockGuard guard(m_lock);
    if (record != nullptr)
        std::swap(m_record, *record);
    m_record.productName.swap(name);
}

bool CLocalQuery::AddInstalledPatch(const IPatch* patch)
{
    return AddPatch(m_record.installed, patch);
}

bool CLocalQuery::AddDownloadedPatch(const IPatch* patch)
{
    return AddPatch(m_record.downloaded, patch);
}

bool CLocalQuery::RecordInstalledPatch(const IPatch* patch)
{
    CLockGuard guard(m_lock);
    if (patch == nullptr)
        return false;
    const IVersion* result = patch->GetResultVersion();
    const int order = m_record.version.Compare(result);
    if (order < 0)
    {
        // Taken over through the text form, so that any IVersion will do.
        m_record.version = *result;
        return true;
    }
    if (order == 0)
        return AddPatch(m_record.installed, patch);
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

} // namespace kvrUpdate
