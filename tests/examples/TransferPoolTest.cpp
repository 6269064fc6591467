// The transfer pool against loopback servers: many files at once from the
// reference version center's download tree (which answers ranges), and the
// faults a network and a server can bring, from a cpp-httplib server and
// from the raw one (a stall).
#include "CTransferPool.h"
#include "TransferRules.h"

#include "support/CRawHttpServer.h"
#include "support/CScratchDir.h"
#include "support/CTestHttpServer.h"
#include "support/ChildProcess.h"
#include "support/Files.h"
#include "support/TransferSha256.h"

#include <gtest/gtest.h>
#include <sodium.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace testsupport;
namespace fs = std::filesystem;

namespace
{

// Quick to give up, so that the faults cost little time.
CTransferOptions QuickOptions()
{
    CTransferOptions options;
    options.attempts = 3;
    options.backoffMs = 20;
    options.maxBackoffMs = 100;
    options.connectSeconds = 5;
    options.stallSeconds = 1;
    options.maxSeconds = 60;
    return options;
}

// The files a test writes into, each created holding the bytes kept from
// an earlier run. The pool opens them itself, through the job's hook, as
// the download plug-in has it do; with `given` the job gets the open file.
class COutputs
{
public:
    explicit COutputs(const fs::path& dir) : m_dir(dir) {}
    ~COutputs()
    {
        for (std::FILE* file : m_given)
            std::fclose(file);
    }
    COutputs(const COutputs&) = delete;
    COutputs& operator=(const COutputs&) = delete;

    CTransferJob Job(const std::string& url, const std::string& file, const std::string& kept = std::string(),
                     bool given = false)
    {
        const fs::path path = m_dir / ("out-" + std::to_string(m_paths.size()));
        WriteFile(path, kept);
        CTransferJob job;
        job.url = url;
        if (given)
        {
            job.output = std::fopen(path.string().c_str(), "r+b");
            job.present = static_cast<long long>(kept.size());
            m_given.push_back(job.output);
        }
        else
        {
            job.open = [path](long long& present, std::string& error) {
                std::FILE* opened = std::fopen(path.string().c_str(), "r+b");
                if (opened == nullptr)
                    error = "cannot open " + path.string();
                present = static_cast<long long>(fs::file_size(path));
                return opened;
            };
        }
        job.length = static_cast<long long>(file.size());
        job.digest = TransferSha256Hex(file);
        m_paths.push_back(path);
        return job;
    }

    /// What the job's file holds now (after Run).
    std::string Held(std::size_t index)
    {
        for (std::FILE* file : m_given)
            std::fflush(file);
        return ReadFile(m_paths[index]);
    }

private:
    fs::path m_dir;
    std::vector<std::FILE*> m_given;
    std::vector<fs::path> m_paths;
};

TEST(TransferPoolTest, FetchesManyFilesAtOnceFromTheCenterResumingKeptBytes)
{
    ASSERT_GE(sodium_init(), 0);
    CScratchDir scratch("vesk-transfer");
    // A release of many small files and a few larger ones, published and
    // served with its download tree.
    const int count = 120;
    std::vector<std::string> files;
    for (int i = 0; i < count; ++i)
    {
        const std::size_t size = i == 0 ? 0 : (i % 10 == 0 ? 300000 : 500 + 97 * static_cast<std::size_t>(i));
        files.push_back(RandomBytes(size, static_cast<unsigned>(i)));
        WriteFile(scratch / "releases" / "1.0" / ("d" + std::to_string(i % 7)) / ("f" + std::to_string(i)), files[i]);
    }
    const CRunResult publish = RunProgram(
        VESK_VERSION_CENTER_PATH, {"publish", "--product", "P", "--releases", (scratch / "releases").string(), "--out",
                                   (scratch / "downloads").string(), "--catalog", (scratch / "catalog.json").string()});
    ASSERT_EQ(publish.status, 0) << publish.output;
    CBackgroundProgram center(
        VESK_VERSION_CENTER_PATH,
        {"--listen", "127.0.0.1:0", "--files", (scratch / "downloads").string(), (scratch / "catalog.json").string()});
    std::string line;
    ASSERT_TRUE(center.ReadLine(line, 30));
    const std::string base = line.substr(line.find(" at http://") + 4) + "files/P/1.0.0.0/";

    // Some files were begun before: half of one, all of another, and bytes
    // of a third that are not its own (its digest then fails, and it is
    // fetched again whole).
    COutputs outputs(scratch.Path());
    std::vector<CTransferJob> jobs;
    for (int i = 0; i < count; ++i)
    {
        std::string kept;
        if (i == 10)
            kept = files[i].substr(0, files[i].size() / 2);
        else if (i == 20)
            kept = files[i];
        else if (i == 30)
            kept = std::string(1000, 'x');
        const std::string url = base + "d" + std::to_string(i % 7) + "/f" + std::to_string(i);
        jobs.push_back(outputs.Job(url, files[i], kept));
    }
    std::vector<CTransferProgress> seen;
    {
        // Its connections close with it, before the center is stopped.
        CTransferPool pool(QuickOptions(), TransferSha256s());
        EXPECT_TRUE(pool.Run(jobs, [&](const CTransferProgress& progress) { seen.push_back(progress); }));
    }
    int connections = 0;
    for (int i = 0; i < count; ++i)
    {
        const CTransferJob& job = jobs[static_cast<std::size_t>(i)];
        EXPECT_TRUE(job.ok) << i << ": " << job.error;
        EXPECT_EQ(outputs.Held(static_cast<std::size_t>(i)), files[i]) << i;
        connections += job.connections;
    }
    EXPECT_TRUE(jobs[10].resumed);
    EXPECT_EQ(jobs[10].attempts, 1);
    EXPECT_EQ(jobs[20].attempts, 0) << "a file kept whole is not fetched";
    EXPECT_EQ(jobs[30].attempts, 2);
    // Kept-alive connections serve many files each (the center closes one
    // after a few requests).
    EXPECT_LT(connections, count / 2);

    // Progress only grows, and ends at the totals.
    ASSERT_FALSE(seen.empty());
    long long total = 0;
    for (const std::string& file : files)
        total += static_cast<long long>(file.size());
    for (std::size_t i = 1; i < seen.size(); ++i)
    {
        EXPECT_GE(seen[i].bytesDone, seen[i - 1].bytesDone);
        EXPECT_GE(seen[i].filesDone, seen[i - 1].filesDone);
        EXPECT_EQ(seen[i].bytesTotal, total);
        EXPECT_EQ(seen[i].filesTotal, count);
    }
    EXPECT_EQ(seen.back().bytesDone, total);
    EXPECT_EQ(seen.back().filesDone, count);
    EXPECT_EQ(center.Stop(), 0);
}

TEST(TransferPoolTest, FaultsAreRetriedResumedOrRefused)
{
    ASSERT_GE(sodium_init(), 0);
    CScratchDir scratch("vesk-transfer");
    const std::string file = RandomBytes(200000, 7);
    const std::string half = file.substr(0, file.size() / 2);
    std::string other = file;
    other[5000] = static_cast<char>(other[5000] ^ 1);

    std::mutex lock;
    std::map<std::string, int> calls;
    std::map<std::string, std::vector<std::string>> ranges;
    const auto count = [&](const httplib::Request& request) {
        std::lock_guard<std::mutex> guard(lock);
        ranges[request.path].push_back(request.get_header_value("Range"));
        return calls[request.path]++;
    };
    CTestHttpServer server;
    httplib::Server& http = server.Server();
    http.Get("/file", [&](const httplib::Request& request, httplib::Response& response) {
        count(request); // cpp-httplib answers the range itself
        response.set_content(file, "application/octet-stream");
    });
    // Half the body, then the connection ends; then ranges are answered.
    http.Get("/drop", [&](const httplib::Request& request, httplib::Response& response) {
        if (count(request) > 0)
        {
            response.set_content(file, "application/octet-stream");
            return;
        }
        response.set_content_provider(file.size(), "application/octet-stream",
                                      [&](std::size_t, std::size_t, httplib::DataSink& sink) {
                                          sink.write(half.data(), half.size());
                                          return false;
                                      });
    });
    http.Get("/always-drop", [&](const httplib::Request& request, httplib::Response& response) {
        count(request);
        response.set_content_provider(file.size(), "application/octet-stream",
                                      [&](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                          sink.write(file.data() + offset, 1000);
                                          return false;
                                      });
    });
    http.Get("/no-ranges", [&](const httplib::Request& request, httplib::Response& response) {
        count(request);
        const_cast<httplib::Request&>(request).ranges.clear(); // the whole file, always
        response.set_content(file, "application/octet-stream");
    });
    http.Get("/busy", [&](const httplib::Request& request, httplib::Response& response) {
        if (count(request) == 0)
            response.status = 503;
        else
            response.set_content(file, "application/octet-stream");
    });
    http.Get("/missing", [&](const httplib::Request& request, httplib::Response& response) {
        count(request);
        response.status = 404;
    });
    http.Get("/longer", [&](const httplib::Request& request, httplib::Response& response) {
        count(request);
        response.set_content(file + "tail", "application/octet-stream");
    });
    http.Get("/shorter", [&](const httplib::Request& request, httplib::Response& response) {
        count(request);
        response.set_content(half, "application/octet-stream");
    });
    http.Get("/other", [&](const httplib::Request& request, httplib::Response& response) {
        count(request);
        response.set_content(other, "application/octet-stream");
    });
    server.Start();

    // The first connection stalls half-way; the next one gets the file (as a
    // whole: this server never answers ranges).
    std::atomic<int> rawCalls{0};
    CRawHttpServer stalling([&](CRawConnection& connection, const std::string&) {
        const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(file.size()) + "\r\n\r\n";
        if (rawCalls++ == 0)
        {
            connection.Send(head + half);
            std::this_thread::sleep_for(std::chrono::milliseconds(2500));
            return;
        }
        connection.Send(head + file);
    });

    struct CCase
    {
        const char* name;
        std::string url;
        std::string kept;
        bool ok;
        const char* error; // part of the error text
        int attempts;
        bool resumed;
        const char* firstRange; // the first request's Range header
        bool given = false;     // the output is handed over open, not opened by the pool
        bool refused = false;   // the answer was not the file (not a transfer cut short)
    };
    const CCase cases[] = {
        {"resumed from kept bytes", server.Url("/file"), half, true, "", 1, true, "bytes=100000-", true},
        {"dropped mid-body, resumed", server.Url("/drop"), "", true, "", 2, true, ""},
        {"always dropped: bounded", server.Url("/always-drop"), "", false, "3 attempts", 3, true, ""},
        {"ranges ignored: whole again", server.Url("/no-ranges"), half, true, "", 1, false, "bytes=100000-"},
        {"kept bytes not the file's", server.Url("/file"), std::string(150000, 'k'), true, "", 2, false, ""},
        {"busy, then served", server.Url("/busy"), "", true, "", 2, false, ""},
        {"missing: not retried", server.Url("/missing"), "", false, "404", 1, false, "", false, true},
        {"longer than promised", server.Url("/longer"), "", false, "more than the 200000 bytes", 1, false, "", false,
         true},
        {"shorter than promised", server.Url("/shorter"), "", false, "bytes, the job names", 1, false, "", false, true},
        {"other bytes: digest refused", server.Url("/other"), "", false, "digest", 1, false, "", false, true},
        {"stalled, then served", stalling.Url("/stall"), "", true, "", 2, false, ""},
        {"not http", "file:///etc/hostname", "", false, "not an http", 0, false, nullptr},
    };
    COutputs outputs(scratch.Path());
    std::vector<CTransferJob> jobs;
    for (const CCase& c : cases)
        jobs.push_back(outputs.Job(c.url, file, c.kept, c.given));
    CTransferPool pool(QuickOptions(), TransferSha256s());
    EXPECT_FALSE(pool.Run(jobs, TransferProgressSink()));

    for (std::size_t i = 0; i < jobs.size(); ++i)
    {
        const CCase& c = cases[i];
        const CTransferJob& job = jobs[i];
        SCOPED_TRACE(c.name);
        EXPECT_EQ(job.ok, c.ok) << job.error;
        EXPECT_NE(job.error.find(c.error), std::string::npos) << job.error;
        EXPECT_EQ(job.attempts, c.attempts);
        EXPECT_EQ(job.resumed, c.resumed);
        EXPECT_EQ(job.refused, c.refused);
        if (c.ok)
        {
            EXPECT_EQ(outputs.Held(i), file);
        }
        const std::string path = c.url.substr(c.url.find('/', 8));
        if (c.firstRange != nullptr && path != "/stall" && path != "/file")
        {
            std::lock_guard<std::mutex> guard(lock);
            ASSERT_FALSE(ranges[path].empty());
            EXPECT_EQ(ranges[path].front(), c.firstRange);
        }
    }
    std::lock_guard<std::mutex> guard(lock);
    EXPECT_EQ(ranges["/drop"].at(1), "bytes=100000-") << "the retry asks for what is missing";
}

TEST(TransferPoolTest, OneTransferAtATimeKeepsItsConnection)
{
    ASSERT_GE(sodium_init(), 0);
    CScratchDir scratch("vesk-transfer");
    const std::string file = RandomBytes(5000, 3);
    CTestHttpServer server;
    server.Server().Get(R"(/f/\d+)", [&](const httplib::Request&, httplib::Response& response) {
        response.set_content(file, "application/octet-stream");
    });
    server.Start();
    COutputs outputs(scratch.Path());
    std::vector<CTransferJob> jobs;
    for (int i = 0; i < 4; ++i) // the server serves at most five requests a connection
        jobs.push_back(outputs.Job(server.Url("/f/" + std::to_string(i)), file, std::string(), true));
    CTransferOptions options = QuickOptions();
    options.jobs = 1;
    CTransferPool pool(options, TransferSha256s());
    ASSERT_TRUE(pool.Run(jobs, TransferProgressSink()));
    int connections = 0;
    for (const CTransferJob& job : jobs)
        connections += job.connections;
    EXPECT_EQ(connections, 1);

    // The byte budget bounds a run: here less than the file itself.
    options.maxBytes = 1000;
    CTransferPool bounded(options, TransferSha256s());
    std::vector<CTransferJob> more{outputs.Job(server.Url("/f/9"), file)};
    EXPECT_FALSE(bounded.Run(more, TransferProgressSink()));
    EXPECT_NE(more[0].error.find("more bytes"), std::string::npos) << more[0].error;
}

TEST(TransferRulesTest, ContentRangesAndFailures)
{
    struct CRange
    {
        const char* value;
        bool ok;
        long long first, last, total;
    };
    for (const CRange& c : std::vector<CRange>{
             {" bytes 100-199/200\r\n", true, 100, 199, 200},
             {"bytes 0-0/*", true, 0, 0, -1},
             {"bytes 100-199/150", false, 0, 0, 0}, // ends past the total
             {"bytes 200-100/300", false, 0, 0, 0},
             {"bytes */200", false, 0, 0, 0},
             {"items 0-1/2", false, 0, 0, 0},
             {"bytes 1-2/3 junk", false, 0, 0, 0},
             {"bytes 99999999999999999999-1/2", false, 0, 0, 0},
         })
    {
        long long first = 0;
        long long last = 0;
        long long total = 0;
        EXPECT_EQ(transfer::ParseContentRange(c.value, first, last, total), c.ok) << c.value;
        if (c.ok)
        {
            EXPECT_EQ(first, c.first) << c.value;
            EXPECT_EQ(last, c.last) << c.value;
            EXPECT_EQ(total, c.total) << c.value;
        }
    }

    using transfer::Next;
    struct CFailure
    {
        CURLcode code;
        long status;
        Next next;
    };
    for (const CFailure& c : std::vector<CFailure>{
             {CURLE_HTTP_RETURNED_ERROR, 404, Next::kGiveUp},
             {CURLE_HTTP_RETURNED_ERROR, 403, Next::kGiveUp},
             {CURLE_HTTP_RETURNED_ERROR, 408, Next::kRetry},
             {CURLE_HTTP_RETURNED_ERROR, 429, Next::kRetry},
             {CURLE_HTTP_RETURNED_ERROR, 502, Next::kRetry},
             {CURLE_HTTP_RETURNED_ERROR, 416, Next::kRestart},
             {CURLE_OPERATION_TIMEDOUT, 200, Next::kRetry},
             {CURLE_PARTIAL_FILE, 200, Next::kRetry},
             {CURLE_UNSUPPORTED_PROTOCOL, 0, Next::kGiveUp},
             {CURLE_TOO_MANY_REDIRECTS, 302, Next::kGiveUp},
             {CURLE_FILESIZE_EXCEEDED, 200, Next::kGiveUp},
         })
        EXPECT_EQ(transfer::AfterFailure(c.code, c.status), c.next) << c.code << " " << c.status;

    EXPECT_TRUE(transfer::IsHttpUrl("HTTPS://a/"));
    EXPECT_FALSE(transfer::IsHttpUrl("http://"));
    EXPECT_FALSE(transfer::IsHttpUrl("file:///etc/passwd"));
}

} // namespace
