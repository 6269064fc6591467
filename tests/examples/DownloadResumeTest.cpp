// The download plug-in continuing what an earlier run left: the partial
// download beside a file's place is asked for no more than it lacks, checked
// whole, and gone once the file is in place; a refused answer leaves the
// install directory as it was.
#include "PluginDoubles.h"

#include "support/CScratchDir.h"
#include "support/CTestHttpServer.h"
#include "support/Files.h"
#include "support/Owners.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <vector>

using namespace kvrUpdate;
using namespace testsupport;
using namespace plugintest;
namespace fs = std::filesystem;

namespace
{

// Keeps the progress a plug-in reports; the host's settings are given.
class CContext final : public IExecutionContext
{
public:
    explicit CContext(std::map<std::string, std::string> settings = {}) : m_settings(std::move(settings)) {}
    const char* GetSetting(const char* key) const override
    {
        const auto found = m_settings.find(key);
        return found == m_settings.end() ? nullptr : found->second.c_str();
    }
    void OnProgress(long long bytesDone, long long bytesTotal, int filesDone, int filesTotal) override
    {
        m_last = {bytesDone, bytesTotal, filesDone, filesTotal};
        ++m_calls;
    }
    void OnReport(const char* line) override { m_lines += std::string(line) + "\n"; }

    std::map<std::string, std::string> m_settings;
    std::vector<long long> m_last;
    int m_calls = 0;
    std::string m_lines;
};

// Where the plug-in keeps the partial download of `name` (in the install
// directory's staging area) with the definition's digest and length.
std::string PartialName(const std::string& name, const std::string& data)
{
    return ".vesk-staging/.vesk-" + Md5Of(name + '\n' + Md5Of(data) + '\n' + std::to_string(data.size())) + ".partial";
}

// Every entry below `root` with its content.
std::map<std::string, std::string> Tree(const fs::path& root)
{
    std::map<std::string, std::string> tree;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        tree[entry.path().lexically_relative(root).generic_string()] = entry.is_directory() ? "/" : ReadFile(entry);
    return tree;
}

class DownloadResumeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        httplib::Server& http = m_server.Server();
        // Ranges answered (by cpp-httplib), ignored, or the file's length
        // of other bytes; "drop" sends half, then the connection ends.
        http.Get(
            R"(/(ranges|whole|wrong|drop)/(.+))", [this](const httplib::Request& request, httplib::Response& response) {
                const std::string mode = request.matches[1].str();
                {
                    std::lock_guard<std::mutex> guard(m_lock);
                    m_ranges.push_back(request.get_header_value("Range"));
                }
                if (mode == "whole")
                    const_cast<httplib::Request&>(request).ranges.clear();
                if (mode == "wrong")
                    response.set_content(std::string(m_data.size(), 'w'), "application/octet-stream");
                else if (mode == "drop")
                    response.set_content_provider(m_data.size(), "application/octet-stream",
                                                  [this](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                                      // Never more than the first half arrives.
                                                      const std::size_t half = m_data.size() / 2;
                                                      if (offset < half)
                                                          sink.write(m_data.data() + offset, half - offset);
                                                      return false;
                                                  });
                else
                    response.set_content(m_data, "application/octet-stream");
            });
        m_server.Start();
        ASSERT_EQ(0, m_executors->RegisterModule(VESK_DOWNLOAD_EXECUTOR, "CreateUpdateExecutor"));
        m_executor = Acquire(m_executors.get(), "download");
        ASSERT_NE(nullptr, m_executor);
    }

    bool Apply(const std::string& mode, CContext& context, CFailures& failures)
    {
        CFakePackage package(m_server.Url("/" + mode + "/"), CFakeFileDef("", "", 0), {DefOf("file.bin", m_data)});
        return static_cast<IContextUpdateExecutor*>(m_executor.get())
            ->ExecuteWith(&package, m_install.string().c_str(), &failures, &context);
    }

    std::vector<std::string> Ranges()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_ranges;
    }

    const std::string m_data = Pattern(300000);
    CTestHttpServer m_server;
    std::mutex m_lock;
    std::vector<std::string> m_ranges;
    TOwnedPtr<IExecutorManager> m_executors = Own(CreateExecutorManager());
    TAcquiredPtr<IUpdateExecutor> m_executor;
    CScratchDir m_temp{"vesk-resume"};
    fs::path m_install = m_temp / "install";
};

TEST_F(DownloadResumeTest, ContinuesWhatARunBeforeLeft)
{
    const std::string half = m_data.substr(0, m_data.size() / 2);
    const std::string asked = "bytes=" + std::to_string(half.size()) + "-";
    const struct
    {
        const char* what;
        std::string kept; // left by a run before
        const char* mode;
        bool ok;
        std::vector<std::string> ranges; // of the requests made, in order
    } cases[] = {
        {"half kept, ranges answered", half, "ranges", true, {asked}},
        {"half kept, ranges ignored", half, "whole", true, {asked}},
        {"kept bytes not the file's", std::string(half.size(), 'k'), "ranges", true, {asked, ""}},
        {"all of it kept", m_data, "ranges", true, {}},
        {"nothing kept, wrong bytes sent", "", "wrong", false, {""}},
    };
    const std::string partial = PartialName("file.bin", m_data);
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        fs::remove_all(m_install);
        WriteFile(m_install / "kept.txt", "installed before\n");
        if (!c.kept.empty())
            WriteFile(m_install / partial, c.kept);
        const auto before = Tree(m_install);
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_ranges.clear();
        }
        CContext context;
        CFailures failures;
        EXPECT_EQ(Apply(c.mode, context, failures), c.ok) << context.m_lines;
        EXPECT_EQ(Ranges(), c.ranges);
        if (c.ok)
        {
            EXPECT_EQ(ReadFile(m_install / "file.bin"), m_data);
            EXPECT_FALSE(fs::exists(m_install / partial));
            ASSERT_EQ(context.m_last.size(), 4u);
            EXPECT_EQ(context.m_last, (std::vector<long long>{300000, 300000, 1, 1}));
        }
        else
        {
            EXPECT_EQ(Tree(m_install), before) << "a refused answer leaves nothing behind";
        }
    }
}

TEST_F(DownloadResumeTest, AConnectionLostForGoodLeavesWhatArrivedForTheNextRun)
{
    CContext first(std::map<std::string, std::string>{{"jobs", "1"}});
    CFailures failures;
    EXPECT_FALSE(Apply("drop", first, failures));
    EXPECT_EQ(failures.m_names, std::set<std::string>{"file.bin"});
    EXPECT_FALSE(fs::exists(m_install / "file.bin"));
    const std::string partial = PartialName("file.bin", m_data);
    EXPECT_EQ(ReadFile(m_install / partial), m_data.substr(0, m_data.size() / 2));

    CContext second;
    EXPECT_TRUE(Apply("ranges", second, failures)) << second.m_lines;
    EXPECT_EQ(Ranges().back(), "bytes=" + std::to_string(m_data.size() / 2) + "-");
    EXPECT_EQ(ReadFile(m_install / "file.bin"), m_data);
    EXPECT_EQ(Tree(m_install).size(), 1u) << "only the file is left";
}

} // namespace
