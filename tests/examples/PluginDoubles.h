// Doubles of the records the sample plug-ins read, and what the tests of the
// plug-ins share: digests, test data, a file server and the plug-ins loaded.
#ifndef VESKUPDATE_TESTS_EXAMPLES_PLUGINDOUBLES_H
#define VESKUPDATE_TESTS_EXAMPLES_PLUGINDOUBLES_H

#include <VeskUpdate.h>

#include "CMd5.h"

#include "support/Owners.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace plugintest
{

// ---------------------------------------------------------------------------
// Doubles of the records
// ---------------------------------------------------------------------------

class CFakeFileDef final : public kvrUpdate::IFileDef
{
public:
    CFakeFileDef(std::string url, std::string md5, long long length, std::string path = "")
        : m_url(std::move(url)), m_md5(std::move(md5)), m_path(std::move(path)), m_length(length)
    {
    }
    void Release() override { delete this; }
    kvrUpdate::IFileDef* Clone() const override { return new CFakeFileDef(*this); }
    const char* GetUrl() const override { return m_url.c_str(); }
    const char* GetMd5() const override { return m_md5.c_str(); }
    long long GetLength() const override { return m_length; }
    const char* GetName() const override
    {
        if (!m_path.empty())
            return m_path.c_str();
        if (m_url.find("://") == std::string::npos)
            return m_url.c_str();
        return m_url.c_str() + m_url.find_last_of("/\\") + 1;
    }

private:
    std::string m_url, m_md5, m_path;
    long long m_length;
};

class CFakeFileDefList final : public kvrUpdate::IFileDefList
{
public:
    CFakeFileDefList() = default;
    explicit CFakeFileDefList(std::vector<CFakeFileDef> files) : m_files(std::move(files)) {}
    void Release() override { delete this; }
    kvrUpdate::IFileDefList* Clone() const override { return new CFakeFileDefList(*this); }
    const kvrUpdate::IFileDef* GetAt(int index) const override
    {
        return index >= 0 && index < GetCount() ? &m_files[static_cast<std::size_t>(index)] : nullptr;
    }
    int GetCount() const override { return static_cast<int>(m_files.size()); }

private:
    std::vector<CFakeFileDef> m_files;
};

class CFakePackage final : public kvrUpdate::IUpdatePackage
{
public:
    CFakePackage(std::string baseUrl, CFakeFileDef direct, std::vector<CFakeFileDef> resource)
        : m_baseUrl(std::move(baseUrl)), m_direct(std::move(direct)), m_resource(std::move(resource))
    {
    }
    void Release() override { delete this; }
    kvrUpdate::IUpdatePackage* Clone() const override { return new CFakePackage(*this); }
    const char* GetBaseUrl() const override { return m_baseUrl.c_str(); }
    const kvrUpdate::IFileDef* GetDirectFile() const override { return &m_direct; }
    const char* GetDirectType() const override { return "download"; }
    const kvrUpdate::IFileDefList* GetResource() const override { return &m_resource; }

private:
    std::string m_baseUrl;
    CFakeFileDef m_direct;
    CFakeFileDefList m_resource;
};

// Collects the names of the files a plug-in reports as failed.
class CFailures final : public IEnumable<const kvrUpdate::IFileDef*>::IEnum
{
public:
    void OnItem(const kvrUpdate::IFileDef* item) override { m_names.insert(item->GetName()); }
    std::set<std::string> m_names;
};

// One progress call of a plug-in.
struct CProgressCall
{
    long long bytesDone, bytesTotal;
    int filesDone, filesTotal;
};

// A host's context: settings the test sets, reports and progress kept in
// order.
class CFakeContext final : public kvrUpdate::IExecutionContext
{
public:
    CFakeContext() = default;
    CFakeContext(const CFakeContext&) = delete;
    CFakeContext& operator=(const CFakeContext&) = delete;
    ~CFakeContext() = default;

    const char* GetSetting(const char* key) const override
    {
        const auto found = m_settings.find(key);
        return found != m_settings.end() ? found->second.c_str() : nullptr;
    }
    void OnProgress(long long bytesDone, long long bytesTotal, int filesDone, int filesTotal) override
    {
        m_progress.push_back(CProgressCall{bytesDone, bytesTotal, filesDone, filesTotal});
    }
    void OnReport(const char* line) override { m_reports.push_back(line); }

    std::map<std::string, std::string> m_settings;
    std::vector<std::string> m_reports;
    std::vector<CProgressCall> m_progress;
};

// ---------------------------------------------------------------------------
// Helpers
// ---------------------------------------------------------------------------

inline std::string Md5Of(const std::string& data)
{
    CMd5 md5;
    md5.Update(data.data(), data.size());
    return md5.HexDigest();
}

inline CFakeFileDef DefOf(const std::string& url, const std::string& data, const std::string& path = "")
{
    return CFakeFileDef(url, Md5Of(data), static_cast<long long>(data.size()), path);
}

inline std::string Pattern(std::size_t size)
{
    std::string data(size, '\0');
    unsigned state = 12345;
    for (char& c : data)
    {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 24);
    }
    return data;
}

// Serves /files/<name> from the table and /moved/<name> as a redirect to it.
inline void ServeFiles(httplib::Server& server, const std::map<std::string, std::string>& files)
{
    server.Get(R"(/files/(.+))", [files](const httplib::Request& request, httplib::Response& response) {
        const auto found = files.find(request.matches[1].str());
        if (found == files.end())
            response.status = 404;
        else
            response.set_content(found->second, "application/octet-stream");
    });
    server.Get(R"(/moved/(.+))", [](const httplib::Request& request, httplib::Response& response) {
        response.set_redirect("/files/" + request.matches[1].str());
    });
}

// ---------------------------------------------------------------------------
// Fixture base: both plug-ins loaded
// ---------------------------------------------------------------------------

// The "download" executor and the "md5" checker (the modules the build names
// in VESK_DOWNLOAD_EXECUTOR and VESK_MD5_CHECKER), registered with managers
// of their own and acquired by type. Members of a derived fixture end first,
// then the plug-ins' objects, then their managers.
class CLoadedPluginsTest : public ::testing::Test
{
protected:
    /// Registers both modules and acquires their objects; a fatal failure
    /// when either is missing.
    void LoadPlugins()
    {
        ASSERT_NE(nullptr, m_executors);
        ASSERT_NE(nullptr, m_checkers);
        ASSERT_EQ(0, m_executors->RegisterModule(VESK_DOWNLOAD_EXECUTOR, "CreateUpdateExecutor"));
        ASSERT_EQ(0, m_checkers->RegisterModule(VESK_MD5_CHECKER, "CreateFileChecker"));
        m_executor = testsupport::Acquire(m_executors.get(), "download");
        m_checker = testsupport::Acquire(m_checkers.get(), "md5");
        ASSERT_NE(nullptr, m_executor);
        ASSERT_NE(nullptr, m_checker);
    }

    testsupport::TOwnedPtr<kvrUpdate::IExecutorManager> m_executors = testsupport::Own(
        kvrUpdate::CreateExecutorManager());
    testsupport::TOwnedPtr<kvrUpdate::IFileCheckerManager> m_checkers = testsupport::Own(
        kvrUpdate::CreateFileCheckerManager());
    testsupport::TAcquiredPtr<kvrUpdate::IUpdateExecutor> m_executor;
    testsupport::TAcquiredPtr<kvrUpdate::IFileChecker> m_checker;
};

} // namespace plugintest

#endif // VESKUPDATE_TESTS_EXAMPLES_PLUGINDOUBLES_H
