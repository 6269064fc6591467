// The transfer layer against a real HTTP server: the status gate, redirects,
// header and trace handling.
#include "support/CTestHttpServer.h"

#include "client/CUrlHandle.h"
#include "client/CUrlWriter.h"
#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace
{

using curl_object::CUrlHandle;
using curl_object::CUrlWriter;
using testsupport::CTestHttpServer;

class CRecordingWriter : public CUrlWriter
{
public:
    std::size_t Write(const char* data, std::size_t size, std::size_t count) override
    {
        ++m_calls;
        m_body.append(data, size * count);
        return size * count;
    }
    std::string m_body;
    int m_calls = 0;
};

class CThrowingWriter : public CUrlWriter
{
public:
    std::size_t Write(const char*, std::size_t, std::size_t) override { throw std::runtime_error("sink full"); }
};

struct CResult
{
    CURLcode code;
    long status;
};

// One request in the calling order the fetch uses.
CResult Perform(const std::string& url, CUrlWriter& writer)
{
    CUrlHandle handle;
    EXPECT_NE(handle.GetHandle(), nullptr);
    EXPECT_EQ(handle.SetUrl(url.c_str()), CURLE_OK);
    EXPECT_EQ(writer.Attach(handle.GetHandle()), CURLE_OK);
    CResult result{curl_easy_perform(handle.GetHandle()), 0};
    curl_easy_getinfo(handle.GetHandle(), CURLINFO_RESPONSE_CODE, &result.status);
    return result;
}

class CUrlTransferTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        httplib::Server& server = m_server.Server();
        testsupport::ServeStatuses(
            server, [](const std::string& status) { return "body of " + status; }, "text/plain");
        server.Get("/moved", [](const httplib::Request&, httplib::Response& response) {
            response.set_redirect("/status/200", 302);
        });
        server.Get("/loop/a",
                   [](const httplib::Request&, httplib::Response& response) { response.set_redirect("/loop/b", 302); });
        server.Get("/loop/b",
                   [](const httplib::Request&, httplib::Response& response) { response.set_redirect("/loop/a", 302); });
        m_server.Start();
    }

    CTestHttpServer m_server;
};

TEST_F(CUrlTransferTest, StatusGateDecidesWhatReachesTheWriter)
{
    struct
    {
        int status;
        CURLcode code;
        const char* body; // what the writer receives
    } const cases[] = {
        {200, CURLE_OK, "body of 200"},
        {299, CURLE_OK, "body of 299"},
        // A 301 without Location is not followed; its body passes the gate
        // (the fetch rejects the status afterwards).
        {301, CURLE_OK, "body of 301"},
        {398, CURLE_OK, "body of 398"},
        {399, CURLE_WRITE_ERROR, ""},
        {400, CURLE_HTTP_RETURNED_ERROR, ""},
        {404, CURLE_HTTP_RETURNED_ERROR, ""},
        {500, CURLE_HTTP_RETURNED_ERROR, ""},
        {204, CURLE_OK, ""},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.status);
        CRecordingWriter writer;
        const CResult result = Perform(m_server.Url("/status/" + std::to_string(c.status)), writer);
        EXPECT_EQ(result.code, c.code);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(writer.m_body, c.body);
    }
}

TEST_F(CUrlTransferTest, FollowsRedirectAndDeliversOnlyTheFinalBody)
{
    CRecordingWriter writer;
    const CResult result = Perform(m_server.Url("/moved"), writer);
    EXPECT_EQ(result.code, CURLE_OK);
    EXPECT_EQ(result.status, 200);
    EXPECT_EQ(writer.m_body, "body of 200");
    EXPECT_EQ(m_server.Targets(), (std::vector<std::string>{"/moved", "/status/200"}));
}

TEST_F(CUrlTransferTest, RedirectLoopEndsAfterTheRedirectLimit)
{
    CRecordingWriter writer;
    const CResult result = Perform(m_server.Url("/loop/a"), writer);
    EXPECT_EQ(result.code, CURLE_TOO_MANY_REDIRECTS);
    EXPECT_EQ(writer.m_calls, 0);
    // The first request and one per redirect followed.
    EXPECT_EQ(m_server.Targets().size(), static_cast<std::size_t>(curl_object::kMaxRedirects + 1));
}

TEST_F(CUrlTransferTest, HeadersNeitherReachTheWriterNorPrintAnything)
{
    CRecordingWriter writer;
    ::testing::internal::CaptureStderr();
    ::testing::internal::CaptureStdout();
    const CResult result = Perform(m_server.Url("/status/200"), writer);
    const std::string out = ::testing::internal::GetCapturedStdout();
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(result.code, CURLE_OK);
    EXPECT_EQ(writer.m_body, "body of 200");
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "");
}

TEST_F(CUrlTransferTest, TraceLeavesTheIncomingHeaderColour)
{
    platform::SetConsoleTextAttribute(7);
    CRecordingWriter writer;
    ASSERT_EQ(Perform(m_server.Url("/status/200"), writer).code, CURLE_OK);
    EXPECT_EQ(platform::GetConsoleTextAttribute(), 137);

    // The trace callback itself: outgoing headers 138, other traffic nothing.
    curl_object::DebugTraceCallback(nullptr, CURLINFO_HEADER_OUT, nullptr, 0, nullptr);
    EXPECT_EQ(platform::GetConsoleTextAttribute(), 138);
    curl_object::DebugTraceCallback(nullptr, CURLINFO_DATA_IN, nullptr, 0, nullptr);
    curl_object::DebugTraceCallback(nullptr, CURLINFO_TEXT, nullptr, 0, nullptr);
    EXPECT_EQ(platform::GetConsoleTextAttribute(), 138);
}

TEST_F(CUrlTransferTest, WriterThatThrowsAbortsTheTransfer)
{
    CThrowingWriter writer;
    EXPECT_EQ(Perform(m_server.Url("/status/200"), writer).code, CURLE_WRITE_ERROR);
}

TEST(UrlWriteCallbackTest, RefusesWithoutAWriter)
{
    char data[4] = "abc";
    EXPECT_EQ(curl_object::UrlWriteCallback(data, 1, 3, nullptr), 0u);
}

TEST(UrlWriteCallbackTest, UnknownStatusPassesTheGate)
{
    // A handle that has made no transfer reports status 0.
    CUrlHandle handle;
    CRecordingWriter writer;
    writer.Attach(handle.GetHandle());
    char data[4] = "abc";
    EXPECT_EQ(curl_object::UrlWriteCallback(data, 1, 3, &writer), 3u);
    EXPECT_EQ(writer.m_body, "abc");
}

} // namespace
