// A version center that misbehaves: wrong statuses, broken connections,
// bytes that are not HTTP, bodies that are not answers. Every query
// operation fails cleanly (null; an empty list for the patch evolution), the
// updater's recorded state does not move, and the next good answer is read
// as if nothing had happened. Where the library's reading rules take an odd
// answer as a good one, the row says why.
#include <VeskUpdate.h>

#include "support/CRawHttpServer.h"
#include "support/Owners.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>

using namespace kvrUpdate;
using testsupport::CRawConnection;
using testsupport::CRawHttpServer;

namespace
{

// One document that answers every request well: each record reads its own
// members and ignores the others.
std::string Answer(const std::string& checkType = "md5", const std::string& length = "\"1048576\"")
{
    return R"({"last": {"v": "2.0"}, "must": {"v": "1.1"}, "max": {"v": "2.0"}, "will": {"v": "2.1"},
 "versions": [{"v": "1.0"}, {"v": "2.0"}],
 "patchs": [{"patch_number": "P-2", "title": "Two", "result_version": {"v": "2.0"},
             "apply_version": {"versions": [{"v": "1.0"}]}, "patch_type": "function", "patch_force": "must"}],
 "direct_type": "download", "base_url": "http://dl.example.invalid/2.0/",
 "direct_file": {"url": "http://dl.example.invalid/2.0/setup.bin", "md5": "0123", "length": )" +
           length + R"(},
 "resource": {"files": [{"url": "http://dl.example.invalid/2.0/app.bin", "path": "bin/app.bin", "length": 7}]},
 "url": "http://dl.example.invalid/2.0/files.md5", "type": ")" +
           checkType + "\"}\n";
}

std::string Response(const std::string& status, const std::string& body)
{
    return "HTTP/1.1 " + status +
           "\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

std::string Ok(const std::string& body)
{
    return Response("200 OK", body);
}

enum class Outcome
{
    Fails, // every operation fails
    Read,  // the answer is read as a good one
};

struct CHostileAnswer
{
    const char* name;
    Outcome outcome;
    std::function<void(CRawConnection&, const std::string& target)> answer;
    // What a Read answer gives for the file check's type and the direct
    // file's length.
    std::string checkType = "md5";
    long long length = 1048576;
};

// Failures name the row, not its bytes.
void PrintTo(const CHostileAnswer& row, std::ostream* out)
{
    *out << row.name;
}

// A good answer with `bytes` inserted right after its first member.
std::string WithBytesAfterFirstMember(const std::string& bytes)
{
    std::string body = Answer();
    return body.insert(body.find(", \"must\""), bytes);
}

const CHostileAnswer kHostileAnswers[] = {
    // Statuses. From 400 on the handle fails; a 399 body is refused by the
    // write gate; 300-398 and 1-199 fail on the status after the transfer.
    {"NotFoundWithAnswer", Outcome::Fails,
     [](CRawConnection& c, const std::string&) { c.Send(Response("404 Not Found", Answer())); }},
    {"ServerErrorWithAnswer", Outcome::Fails,
     [](CRawConnection& c, const std::string&) { c.Send(Response("500 Internal Server Error", Answer())); }},
    {"Status399WithAnswer", Outcome::Fails,
     [](CRawConnection& c, const std::string&) { c.Send(Response("399 Odd", Answer())); }},
    {"MovedWithoutLocation", Outcome::Fails,
     [](CRawConnection& c, const std::string&) { c.Send(Response("301 Moved Permanently", Answer())); }},
    {"NoContent", Outcome::Fails,
     [](CRawConnection& c, const std::string&) { c.Send("HTTP/1.1 204 No Content\r\n\r\n"); }},
    {"InformationalThenClose", Outcome::Fails,
     [](CRawConnection& c, const std::string&) { c.Send("HTTP/1.1 100 Continue\r\n\r\n"); }},
    // An interim response is no answer; the final one after it is.
    {"InformationalThenAnswer", Outcome::Read,
     [](CRawConnection& c, const std::string&) { c.Send("HTTP/1.1 100 Continue\r\n\r\n" + Ok(Answer())); }},
    // Redirects are followed up to the handle's limit, then the request fails.
    {"RedirectLoop", Outcome::Fails,
     [](CRawConnection& c, const std::string& target) {
         c.Send("HTTP/1.1 302 Found\r\nLocation: " + target + "\r\nContent-Length: 0\r\n\r\n");
     }},

    // Broken transfers.
    {"BodyShorterThanLength", Outcome::Fails,
     [](CRawConnection& c, const std::string&) {
         const std::string body = Answer();
         c.Send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size() + 100) + "\r\n\r\n" + body);
     }},
    {"ResetMidBody", Outcome::Fails,
     [](CRawConnection& c, const std::string&) {
         const std::string response = Ok(Answer());
         c.Send(response.substr(0, response.size() - 40));
         c.Reset();
     }},
    {"NotHttp", Outcome::Fails,
     [](CRawConnection& c, const std::string&) { c.Send("SSH-2.0-OpenSSH_9.2p1 Debian-2\r\n\x01\x02\xff"); }},
    {"MegabyteHeaderLine", Outcome::Fails,
     [](CRawConnection& c, const std::string&) {
         const std::string body = Answer();
         c.Send("HTTP/1.1 200 OK\r\nX-Padding: " + std::string(1 << 20, 'a') +
                "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
     }},
    {"SlowDripCutShort", Outcome::Fails,
     [](CRawConnection& c, const std::string&) {
         const std::string response = Ok(Answer());
         c.Drip(response.substr(0, response.size() - 1), 10, 15);
     }},
    // There is no time-out: a slow answer that arrives whole is an answer.
    {"SlowDripWhole", Outcome::Read, [](CRawConnection& c, const std::string&) { c.Drip(Ok(Answer()), 10, 15); }},

    // Bodies that are no answer.
    {"NotJson", Outcome::Fails,
     [](CRawConnection& c, const std::string&) { c.Send(Ok("<html><body>Service Unavailable</body></html>")); }},
    {"ArrayRoot", Outcome::Fails, [](CRawConnection& c, const std::string&) { c.Send(Ok("[" + Answer() + "]")); }},
    {"TextRoot", Outcome::Fails, [](CRawConnection& c, const std::string&) { c.Send(Ok("\"2.0\"")); }},
    {"DeepNesting", Outcome::Fails,
     [](CRawConnection& c, const std::string&) { c.Send(Ok(std::string(100000, '[') + std::string(100000, ']'))); }},
    // The text of a body ends at its first NUL byte; what is left is cut.
    {"NulInsideDocument", Outcome::Fails,
     [](CRawConnection& c, const std::string&) { c.Send(Ok(WithBytesAfterFirstMember(std::string(1, '\0')))); }},
    {"InvalidUtf8BetweenTokens", Outcome::Fails,
     [](CRawConnection& c, const std::string&) { c.Send(Ok(WithBytesAfterFirstMember("\xff\xfe"))); }},
    {"NumberBeyondDoubles", Outcome::Fails,
     [](CRawConnection& c, const std::string&) { c.Send(Ok(WithBytesAfterFirstMember(", \"x\": 1e999"))); }},
    // Texts need not be UTF-8: bytes that are not are kept as they came.
    {"InvalidUtf8InText", Outcome::Read,
     [](CRawConnection& c, const std::string&) { c.Send(Ok(Answer("md5\xff\xc3"))); }, "md5\xff\xc3"},
    // A length that is no number in the 64-bit range reads as 0.
    {"LengthBeyond64Bits", Outcome::Read,
     [](CRawConnection& c, const std::string&) { c.Send(Ok(Answer("md5", "18446744073709551616"))); }, "md5", 0},
};

class HostileCenterTest : public ::testing::TestWithParam<CHostileAnswer>
{
protected:
    // Requests under /hostile/ get the row's answer, all others a good one.
    HostileCenterTest()
        : m_server([row = &GetParam()](CRawConnection& connection, const std::string& target) {
              if (target.rfind("/hostile/", 0) == 0)
                  row->answer(connection, target);
              else
                  connection.Send(Ok(Answer()));
          })
    {
    }

    // A host's recorded state: 1.1 with one patch installed, one downloaded.
    std::string StateDocument() const
    {
        return R"({"porduct_name": "Editor", "version_center": ")" + m_server.Url("/good/") +
               R"(", "local": {"product_ame": "Editor", "version": {"v": "1.1"},
 "installed_patchs": {"patchs": [{"patch_number": "P-11", "result_version": {"v": "1.1"}}]},
 "downloaded_patchs": {"patchs": [{"patch_number": "P-2", "result_version": {"v": "2.0"}}]}}})";
    }

    std::size_t HostileRequests() const
    {
        std::size_t count = 0;
        for (const std::string& target : m_server.Targets())
            count += target.rfind("/hostile/", 0) == 0 ? 1 : 0;
        return count;
    }

    CRawHttpServer m_server;
};

void ExpectEveryOperationFails(IVersionQuery& query)
{
    EXPECT_EQ(query.GetLastVersion(), nullptr);
    EXPECT_EQ(query.GetMustVersion(), nullptr);
    EXPECT_EQ(query.GetMaxVersion(), nullptr);
    EXPECT_EQ(query.GetWillVersion(), nullptr);
    EXPECT_EQ(query.GetVersions(), nullptr);
    EXPECT_EQ(query.GetVersionEvolution("1.0", "2.0"), nullptr);
    EXPECT_EQ(query.GetPatchs("1.0"), nullptr);
    const IPatchList* chain = query.GetPatchEvolution("1.0", "2.0");
    ASSERT_NE(chain, nullptr);
    EXPECT_EQ(chain->GetCount(), 0);
    EXPECT_EQ(query.GetPatchPackage("P-2"), nullptr);
    EXPECT_EQ(query.GetVersionPackage("2.0"), nullptr);
    EXPECT_EQ(query.GetFileCheckDef("2.0"), nullptr);
}

void ExpectVersion(const IVersion* version, const char* text)
{
    ASSERT_NE(version, nullptr);
    EXPECT_STREQ(version->ToString(), text);
}

void ExpectPackage(const IUpdatePackage* package, long long length)
{
    ASSERT_NE(package, nullptr);
    EXPECT_STREQ(package->GetDirectType(), "download");
    EXPECT_EQ(package->GetDirectFile()->GetLength(), length);
    ASSERT_EQ(package->GetResource()->GetCount(), 1);
    EXPECT_STREQ(package->GetResource()->GetAt(0)->GetName(), "bin/app.bin");
}

// Every operation reads Answer(checkType, length).
void ExpectEveryOperationReads(IVersionQuery& query, const std::string& checkType, long long length)
{
    ExpectVersion(query.GetLastVersion(), "2.0.0.0");
    ExpectVersion(query.GetMustVersion(), "1.1.0.0");
    ExpectVersion(query.GetMaxVersion(), "2.0.0.0");
    ExpectVersion(query.GetWillVersion(), "2.1.0.0");
    for (const IVersionList* versions : {query.GetVersions(), query.GetVersionEvolution("1.0", "2.0")})
    {
        ASSERT_NE(versions, nullptr);
        ASSERT_EQ(versions->GetCount(), 2);
        EXPECT_STREQ(versions->GetAt(1)->ToString(), "2.0.0.0");
    }
    for (const IPatchList* patches : {query.GetPatchs("1.0"), query.GetPatchEvolution("1.0", "2.0")})
    {
        ASSERT_NE(patches, nullptr);
        ASSERT_EQ(patches->GetCount(), 1);
        EXPECT_STREQ(patches->GetAt(0)->GetPatchNumber(), "P-2");
        ExpectVersion(patches->GetAt(0)->GetResultVersion(), "2.0.0.0");
    }
    ExpectPackage(query.GetPatchPackage("P-2"), length);
    ExpectPackage(query.GetVersionPackage("2.0"), length);
    const IFileCheckerDef* check = query.GetFileCheckDef("2.0");
    ASSERT_NE(check, nullptr);
    EXPECT_EQ(std::string(check->GetType()), checkType);
    EXPECT_STREQ(check->GetUrl(), "http://dl.example.invalid/2.0/files.md5");
}

} // namespace

// Good answers, then the hostile one, then good answers again. The address
// changes between the phases so that the cached situation is asked again.
TEST_P(HostileCenterTest, FailsCleanlyKeepsTheStateAndRecovers)
{
    const CHostileAnswer& row = GetParam();
    auto updater = testsupport::Own(CreateUpdater());
    ASSERT_TRUE(updater->FromString(StateDocument().c_str()));
    IVersionQuery& query = *updater->GetVersionQuery();
    const std::string stored = updater->ToString();
    const std::string local = updater->GetLocalQuery()->ToString();
    ExpectEveryOperationReads(query, "md5", 1048576);

    updater->SetVersionCenter(m_server.Url("/hostile/").c_str());
    if (row.outcome == Outcome::Fails)
        ExpectEveryOperationFails(query);
    else
        ExpectEveryOperationReads(query, row.checkType, row.length);
    EXPECT_EQ(updater->GetLocalQuery()->ToString(), local);
    EXPECT_GE(HostileRequests(), 8u); // one or more for each kind of request

    updater->SetVersionCenter(m_server.Url("/good/").c_str());
    ExpectEveryOperationReads(query, "md5", 1048576);
    EXPECT_EQ(updater->ToString(), stored);
}

INSTANTIATE_TEST_SUITE_P(Answer, HostileCenterTest, ::testing::ValuesIn(kHostileAnswers),
                         [](const ::testing::TestParamInfo<CHostileAnswer>& info) { return info.param.name; });
