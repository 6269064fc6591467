#include "model/CVersionList.h"
#include "model/CVersionSituation.h"

#include "ModelTestUtil.h"

#include "support/Owners.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using kvrUpdate::CVersion;
using kvrUpdate::CVersionList;
using kvrUpdate::CVersionSituation;
using kvrUpdate::IVersion;
using kvrUpdate::IVersionList;
using modeltest::ReadText;
using testsupport::Own;
using testsupport::TOwnedPtr;

namespace
{

std::vector<std::string> Texts(const IVersionList& list)
{
    std::vector<std::string> texts;
    for (int index = 0; index < list.GetCount(); ++index)
        texts.push_back(list.GetAt(index)->ToString());
    return texts;
}

// A version list that is not a CVersionList, to show copies go through the
// interface only.
class CForeignList final : public IVersionList
{
public:
    explicit CForeignList(std::vector<CVersion> versions) : m_versions(std::move(versions)) {}
    void Release() override {}
    IVersionList* Clone() const override { return nullptr; }
    const IVersion* GetAt(int index) const override { return &m_versions.at(index); }
    int GetCount() const override { return static_cast<int>(m_versions.size()); }

private:
    std::vector<CVersion> m_versions;
};

CVersion MakeVersion(const char* text)
{
    CVersion version;
    version.FromString(text);
    return version;
}

} // namespace

TEST(CVersionListTest, ReadsTheVersionsMember)
{
    struct Case
    {
        const char* json;
        bool ok;
        std::vector<std::string> versions;
    };
    const Case cases[] = {
        {R"({"versions":[{"v":"1.2"},{"v":"3"},{"v":"0.0.0.9"}]})", true, {"1.2.0.0", "3.0.0.0", "0.0.0.9"}},
        {R"({})", true, {}},
        {R"({"versions":null})", true, {}},
        {R"({"versions":[{}, null]})", true, {"0.0.0.0", "0.0.0.0"}},
        {R"({"versions":{"v":"1"}})", false, {}},
        {R"({"versions":"1.2"})", false, {}},
        // Elements of the wrong type read as 0.0.0.0; their neighbours are still read.
        {R"({"versions":["1.2",{"v":"3"},5,[{"v":"4"}],{"v":"6"}]})",
         true,
         {"0.0.0.0", "3.0.0.0", "0.0.0.0", "0.0.0.0", "6.0.0.0"}},
        // A list document of the wrong type is a failed read.
        {R"(["x"])", false, {}},
        {R"("1.2")", false, {}},
    };
    for (const Case& c : cases)
    {
        CVersionList list;
        list.Append(MakeVersion("9.9")); // must not survive any read
        EXPECT_EQ(ReadText(c.json, list), c.ok) << c.json;
        EXPECT_EQ(Texts(list), c.versions) << c.json;
        EXPECT_EQ(list.GetAt(-1), nullptr);
        EXPECT_EQ(list.GetAt(list.GetCount()), nullptr);
    }

    // An array built in memory may have holes, which read as null elements.
    Json::Value holes;
    holes["versions"][2u]["v"] = "3";
    CVersionList list;
    EXPECT_TRUE(jsonIO::TryReadJson(holes, list));
    EXPECT_EQ(Texts(list), (std::vector<std::string>{"0.0.0.0", "0.0.0.0", "3.0.0.0"}));
}

TEST(CVersionListTest, WritesWhatItReads)
{
    CVersionList list;
    CVersionList back;
    back.Append(MakeVersion("7"));
    ASSERT_TRUE(modeltest::RoundTrip(list, back));
    EXPECT_EQ(back.GetCount(), 0);
    EXPECT_TRUE(modeltest::Written(list)["versions"].isNull());

    for (const char* text : {"1.2.3.4", "4294967295.0.0.1", "0.0.0.0"})
        list.Append(MakeVersion(text));
    ASSERT_TRUE(modeltest::RoundTrip(list, back));
    EXPECT_EQ(Texts(back), Texts(list));
}

TEST(CVersionListTest, CopiesThroughTheInterfaceAndClonesDeep)
{
    const CForeignList foreign({MakeVersion("1.1"), MakeVersion("2.2")});
    CVersionList list;
    list.Append(MakeVersion("5"));
    list.CopyFrom(&foreign);
    EXPECT_EQ(Texts(list), (std::vector<std::string>{"1.1.0.0", "2.2.0.0"}));

    list.CopyFrom(&list); // copying onto itself keeps the contents
    EXPECT_EQ(list.GetCount(), 2);

    TOwnedPtr<IVersionList> source = Own(list.Clone());
    ASSERT_NE(source, nullptr);
    const TOwnedPtr<IVersionList> clone = Own(source->Clone());
    ASSERT_NE(clone, nullptr);
    source.reset();
    EXPECT_EQ(Texts(*clone), (std::vector<std::string>{"1.1.0.0", "2.2.0.0"}));
}

TEST(CVersionSituationTest, ReadsEveryMemberOnItsOwn)
{
    CVersionSituation situation;
    ASSERT_TRUE(ReadText(R"({"last":{"v":"1"},"must":{"v":"2"},"max":{"v":"3"},"will":{"v":"4"}})", situation));
    EXPECT_STREQ(situation.GetLast().ToString(), "1.0.0.0");
    EXPECT_STREQ(situation.GetMust().ToString(), "2.0.0.0");
    EXPECT_STREQ(situation.GetMax().ToString(), "3.0.0.0");
    EXPECT_STREQ(situation.GetWill().ToString(), "4.0.0.0");

    CVersionSituation back;
    ASSERT_TRUE(modeltest::RoundTrip(situation, back));
    EXPECT_EQ(back.GetMax().Compare(&situation.GetMax()), 0);
    EXPECT_EQ(back.GetWill().Compare(&situation.GetWill()), 0);

    // Each read assigns all four: absent members and members of the wrong
    // type give 0.0.0.0 rather than keeping the previous answer.
    ASSERT_TRUE(ReadText(R"({"last":{"v":"5"},"must":"2.0","will":7})", situation));
    EXPECT_STREQ(situation.GetLast().ToString(), "5.0.0.0");
    EXPECT_STREQ(situation.GetMust().ToString(), "0.0.0.0");
    EXPECT_STREQ(situation.GetMax().ToString(), "0.0.0.0");
    EXPECT_STREQ(situation.GetWill().ToString(), "0.0.0.0");

    EXPECT_FALSE(ReadText(R"([1,2])", situation));
}
