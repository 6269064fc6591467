// The version center's download tree over HTTP: lengths, content types,
// byte ranges, and nothing outside the tree.
#include "support/CScratchDir.h"
#include "support/CTestHttpServer.h"
#include "support/Files.h"

#include "serving/CDownloadTree.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <filesystem>
#include <memory>
#include <string>

namespace fs = std::filesystem;

namespace
{

class CDownloadTreeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_dir = m_scratch.Path();
        for (int i = 0; i < 1000; ++i)
            m_content += static_cast<char>('a' + i % 26);
        testsupport::WriteFile(m_dir / "tree/Editor/1.0.0.0/setup.zip", m_content);
        testsupport::WriteFile(m_dir / "tree/read me.txt", "hello\n");
        testsupport::WriteFile(m_dir / "secret.txt", "outside\n");
        fs::create_symlink(m_dir / "secret.txt", m_dir / "tree/leak.txt");
        fs::create_symlink("Editor/1.0.0.0/setup.zip", m_dir / "tree/latest.zip");
        m_tree.reset(new versionCenter::CDownloadTree(m_dir / "tree"));
        m_tree->Mount(m_server.Server(), "/files/");
        m_server.Start();
    }

    httplib::Result Get(const std::string& path, const std::string& range = std::string())
    {
        httplib::Client client("127.0.0.1", m_server.Port());
        httplib::Headers headers;
        if (!range.empty())
            headers.emplace("Range", "bytes=" + range);
        return client.Get(path.c_str(), headers);
    }

    testsupport::CScratchDir m_scratch{"vesk-tree"};
    fs::path m_dir;
    std::string m_content;
    testsupport::CTestHttpServer m_server;
    std::unique_ptr<versionCenter::CDownloadTree> m_tree;
};

TEST_F(CDownloadTreeTest, ServesFilesWithLengthsTypesAndRanges)
{
    auto whole = Get("/files/Editor/1.0.0.0/setup.zip");
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->status, 200);
    EXPECT_EQ(whole->body, m_content);
    EXPECT_EQ(whole->get_header_value("Content-Type"), "application/zip");
    EXPECT_EQ(whole->get_header_value("Accept-Ranges"), "bytes");
    auto text = Get("/files/read%20me.txt");
    ASSERT_TRUE(text);
    EXPECT_EQ(text->body, "hello\n");
    EXPECT_EQ(text->get_header_value("Content-Type"), "text/plain");
    auto linked = Get("/files/latest.zip"); // a link inside the tree
    ASSERT_TRUE(linked);
    EXPECT_EQ(linked->body, m_content);

    struct
    {
        const char* range;
        int status;
        const char* contentRange;
        std::size_t start, length;
    } const ranges[] = {
        {"10-19", 206, "bytes 10-19/1000", 10, 10},
        {"-5", 206, "bytes 995-999/1000", 995, 5},
        {"990-", 206, "bytes 990-999/1000", 990, 10},
        {"990-5000", 206, "bytes 990-999/1000", 990, 10}, // the end is cut to the file's
        {"1000-", 416, "bytes */1000", 0, 0},
        {"2000-3000", 416, "bytes */1000", 0, 0},
    };
    for (const auto& r : ranges)
    {
        SCOPED_TRACE(r.range);
        auto part = Get("/files/Editor/1.0.0.0/setup.zip", r.range);
        ASSERT_TRUE(part);
        EXPECT_EQ(part->status, r.status);
        EXPECT_EQ(part->get_header_value("Content-Range"), r.contentRange);
        if (r.status == 206)
        {
            EXPECT_EQ(part->body, m_content.substr(r.start, r.length));
        }
    }
}

TEST_F(CDownloadTreeTest, NothingOutsideTheTree)
{
    for (const char* path : {"/files/%2e%2e/secret.txt", "/files/Editor/..%2f..%2fsecret.txt", "/files/leak.txt",
                             "/files/Editor", "/files/", "/files/nothing.zip"})
    {
        SCOPED_TRACE(path);
        auto answer = Get(path);
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->status, 404);
        EXPECT_EQ(answer->body.find("outside"), std::string::npos);
        EXPECT_EQ(answer->get_header_value("Content-Type"), "application/json");
    }
}

} // namespace
