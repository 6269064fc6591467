// What the host hands a plug-in beyond the package: its settings (the trusted
// keys, the signed manifest's address, what the package must be for, the
// transfers at once), a progress line on a terminal, and a place for the
// plug-in's report lines, kept for the host to print.
#ifndef VESK_HOST_HOSTCONTEXT_H
#define VESK_HOST_HOSTCONTEXT_H

#include "ProgressLine.h"

#include <VeskUpdate.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

class CHostContext final : public kvrUpdate::IExecutionContext
{
public:
    CHostContext() = default;
    CHostContext(const CHostContext&) = delete;
    CHostContext& operator=(const CHostContext&) = delete;
    ~CHostContext() = default;

    void Set(const std::string& key, const std::string& value) { m_settings[key] = value; }
    /// Shows the plug-in's progress on `out` (when it is a terminal) until
    /// EndProgress.
    void ShowProgress(std::FILE* out) { m_progress = std::make_unique<CProgressLine>(out); }
    /// Ends the progress line, so that what is printed next has a line of
    /// its own.
    void EndProgress() { m_progress.reset(); }

    const char* GetSetting(const char* key) const override;
    void OnProgress(long long bytesDone, long long bytesTotal, int filesDone, int filesTotal) override;
    void OnReport(const char* line) override;

    /// The plug-in's report lines, in order, as it sent them: pass them
    /// through Printable before they are shown.
    const std::vector<std::string>& Reports() const { return m_reports; }
    /// The report lines joined with "; ", or empty.
    std::string Joined() const;

private:
    std::map<std::string, std::string> m_settings;
    std::vector<std::string> m_reports;
    std::unique_ptr<CProgressLine> m_progress;
};

#endif // VESK_HOST_HOSTCONTEXT_H
