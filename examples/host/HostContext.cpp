#include "HostContext.h"

const char* CHostContext::GetSetting(const char* key) const
{
    if (key == nullptr)
        return nullptr;
    const auto found = m_settings.find(key);
    return found != m_settings.end() ? found->second.c_str() : nullptr;
}

void CHostContext::OnProgress(long long bytesDone, long long bytesTotal, int filesDone, int filesTotal)
{
    if (m_progress)
        m_progress->Update(bytesDone, bytesTotal, filesDone, filesTotal);
}

void CHostContext::OnReport(const char* line)
{
    if (line != nullptr)
        m_reports.emplace_back(line);
}

std::string CHostContext::Joined() const
{
    std::string text;
    for (const std::string& line : m_reports)
        text += (text.empty() ? "" : "; ") + line;
    return text;
}
