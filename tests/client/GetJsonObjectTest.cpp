// The JSON fetch: the staging arithmetic of its body sink, and the status,
// body and parse rules against a real HTTP server.
#include "support/CScratchDir.h"
#include "support/CTestHttpServer.h"
#include "support/Files.h"

#include "client/CStringWriter.h"
#include "client/GetJsonObject.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

using jsonIO::CStringWriter;
using testsupport::CTestHttpServer;

std::string Pattern(std::size_t length)
{
    std::string text(length, '\0');
    for (std::size_t i = 0; i < length; ++i)
        text[i] = static_cast<char>('a' + i * 7 % 26);
    return text;
}

TEST(CStringWriterTest, FiveThousandBytesInOneBlock)
{
    const std::string data = Pattern(5000);
    CStringWriter writer;
    EXPECT_EQ(writer.Write(data.data(), 1, data.size()), 5000u);
    // Four full stagings of 1023 bytes were flushed during the block.
    EXPECT_EQ(writer.GetBody(), data.substr(0, 4 * 1023));
    writer.Flush(); // the last 908 bytes
    EXPECT_EQ(writer.GetBody(), data);
}

TEST(CStringWriterTest, BlockOfOneMoreThanTheThresholdFlushesAtOnce)
{
    const std::string data = Pattern(1009);
    CStringWriter writer;
    EXPECT_EQ(writer.Write(data.data(), 1, data.size()), 1009u);
    EXPECT_EQ(writer.GetBody(), data);
    writer.Flush(); // nothing left to move
    EXPECT_EQ(writer.GetBody(), data);
}

TEST(CStringWriterTest, ManySmallBlocksOfWideItemsKeepEveryByteInOrder)
{
    const std::string data = Pattern(10000);
    CStringWriter writer;
    // 4-byte items, 25 at a time: blocks straddle the staging buffer's end.
    for (std::size_t offset = 0; offset < data.size(); offset += 100)
        ASSERT_EQ(writer.Write(data.data() + offset, 4, 25), 100u);
    // Never more than the threshold waits in the staging buffer.
    EXPECT_GE(writer.GetBody().size(), data.size() - 1008);
    writer.Flush();
    EXPECT_EQ(writer.GetBody(), data);
}

// A target that keeps the value it was given.
class CCapturingTarget : public jsonIO::IJsonObject
{
public:
    explicit CCapturingTarget(bool accept = true) : m_accept(accept) {}
    void ToJson(Json::Value& value) override { value = m_value; }
    bool FromJson(Json::Value& value) override
    {
        ++m_calls;
        m_value = value;
        return m_accept;
    }
    bool m_accept;
    int m_calls = 0;
    Json::Value m_value;
};

class GetJsonObjectTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        httplib::Server& server = m_server.Server();
        testsupport::ServeStatuses(
            server, [](const std::string& status) { return R"({"status": ")" + status + R"("})"; }, "application/json");
        server.Get("/text", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("this is not JSON", "text/plain");
        });
        server.Get("/empty", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("", "application/json");
        });
        server.Get("/moved", [](const httplib::Request&, httplib::Response& response) {
            response.set_redirect("/status/200", 301);
        });
        server.Get("/loop",
                   [](const httplib::Request&, httplib::Response& response) { response.set_redirect("/loop", 302); });
        server.Get("/large", [](const httplib::Request&, httplib::Response& response) {
            response.set_content(LargeDocument(), "application/json");
        });
        m_server.Start();
    }

    static std::string LargeDocument()
    {
        // About 300 KB: many blocks from libcurl, many flushes.
        std::string text = "[";
        for (int i = 0; i < 20000; ++i)
            text += (i ? "," : "") + std::string("\"item") + std::to_string(i) + "\"";
        return text + "]";
    }

    CTestHttpServer m_server;
};

TEST_F(GetJsonObjectTest, AcceptsOnlyGoodAnswersThatParse)
{
    struct
    {
        const char* path;
        bool result;
    } const cases[] = {
        {"/status/200", true},  {"/status/299", true},  {"/moved", true}, // redirect followed to a 200
        {"/status/204", false},                                           // no body: empty text does not parse
        {"/status/301", false}, // not followed without Location, status refused
        {"/status/399", false}, // refused by the write gate
        {"/status/404", false}, {"/status/500", false}, {"/text", false},
        {"/empty", false},      {"/loop", false}, // the redirect limit ends it
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.path);
        CCapturingTarget target;
        EXPECT_EQ(jsonIO::GetJsonObject(target, m_server.Url(c.path).c_str()), c.result);
        EXPECT_EQ(target.m_calls, c.result ? 1 : 0) << "the target is read only for a good answer";
    }
    CCapturingTarget target;
    ASSERT_TRUE(jsonIO::GetJsonObject(target, m_server.Url("/moved").c_str()));
    EXPECT_EQ(target.m_value["status"].asString(), "200");
}

TEST_F(GetJsonObjectTest, ReportsTheTargetsOwnFailure)
{
    CCapturingTarget target(false);
    EXPECT_FALSE(jsonIO::GetJsonObject(target, m_server.Url("/status/200").c_str()));
    EXPECT_EQ(target.m_calls, 1);
}

TEST_F(GetJsonObjectTest, LargeBodyArrivesWhole)
{
    CCapturingTarget target;
    ASSERT_TRUE(jsonIO::GetJsonObject(target, m_server.Url("/large").c_str()));
    ASSERT_EQ(target.m_value.size(), 20000u);
    EXPECT_EQ(target.m_value[0].asString(), "item0");
    EXPECT_EQ(target.m_value[19999].asString(), "item19999");
}

TEST_F(GetJsonObjectTest, FailsWithoutAServerOrAUsableUrl)
{
    const int port = m_server.Port();
    m_server.Stop();
    const char* const urls[] = {
        "",
        "http://127.0.0.1:1/nothing-listens-here",
        "http://127.0.0.1/a b/package", // libcurl takes it but refuses to send it
        "gopher-like://x/y",
    };
    for (const char* url : urls)
    {
        SCOPED_TRACE(url);
        CCapturingTarget target;
        EXPECT_FALSE(jsonIO::GetJsonObject(target, url));
        EXPECT_EQ(target.m_calls, 0);
    }
    CCapturingTarget target;
    EXPECT_FALSE(jsonIO::GetJsonObject(target, ("http://127.0.0.1:" + std::to_string(port) + "/status/200").c_str()));
}

TEST(GetJsonObjectFileTest, AnswerWithoutStatusCounts)
{
    // A file:// transfer records no HTTP status (0), which is accepted.
    const testsupport::CScratchDir scratch;
    const std::string path = (scratch / "status0.json").string();
    testsupport::WriteFile(path, R"({"from": "file"})");
    CCapturingTarget target;
    EXPECT_TRUE(jsonIO::GetJsonObject(target, ("file://" + path).c_str()));
    EXPECT_EQ(target.m_value["from"].asString(), "file");
}

} // namespace
