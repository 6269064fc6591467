#include "model/CPatch.h"
#include "model/CFileCheckerDef.h"
#include "model/CNameTable.h"
#include "model/CPatchList.h"
#include "model/CUpdatePackage.h"
#include "model/CVersionList.h"

#include "ModelTestUtil.h"

#include "support/Owners.h"

#include <gtest/gtest.h>

#include <string>
#include <type_traits>
#include <vector>

using kvrUpdate::CNameTable;
using kvrUpdate::CPatch;
using kvrUpdate::CPatchList;
using kvrUpdate::IPatch;
using kvrUpdate::IPatchList;
using kvrUpdate::IVersion;
using kvrUpdate::IVersionList;
using kvrUpdate::PatchForce;
using kvrUpdate::PatchType;
using modeltest::ReadText;
using modeltest::Written;
using testsupport::Own;
using testsupport::TOwnedPtr;

namespace
{

// A list that grows moves its records instead of copying them (a version
// through its text), which it does only for moves that cannot throw; and a
// record is never made from an interface without saying so.
template <class... Records>
constexpr bool AllMoveWithoutThrowing()
{
    return (... &&
            (std::is_nothrow_move_constructible<Records>::value && std::is_nothrow_move_assignable<Records>::value));
}
static_assert(
    AllMoveWithoutThrowing<kvrUpdate::CVersion, kvrUpdate::CVersionList, CPatch, CPatchList, kvrUpdate::CFileDef,
                           kvrUpdate::CFileDefList, kvrUpdate::CUpdatePackage, kvrUpdate::CFileCheckerDef>(),
    "records move without throwing");
static_assert(!std::is_convertible<const kvrUpdate::IVersion&, kvrUpdate::CVersion>::value &&
                  !std::is_convertible<const IPatch&, CPatch>::value,
              "a record is made from an interface only explicitly");

const char* const FullPatch = R"({
    "title": "Fix", "comment": "Fixes the crash", "patch_number": "P-17",
    "apply_version": {"versions": [{"v": "1.0"}, {"v": "1.1"}]},
    "result_version": {"v": "1.2"},
    "dependon": "P-16", "patch_type": "Bug", "patch_force": "MUST"})";

// A host's own patch: every getter answers through the interface only, and a
// careless host may answer null.
class CHostPatch final : public IPatch
{
public:
    int m_type = 3;
    int m_force = 16;
    void Release() override {}
    IPatch* Clone() const override { return nullptr; }
    const char* GetTitle() const override { return "host"; }
    const char* GetComment() const override { return nullptr; }
    const char* GetPatchNumber() const override { return nullptr; }
    const IVersionList* GetApplyVersions() const override { return nullptr; }
    const IVersion* GetResultVersion() const override { return nullptr; }
    const char* GetDependOn() const override { return nullptr; }
    int GetPatchType() const override { return m_type; }
    int GetPatchForce() const override { return m_force; }
};

void ExpectFullPatch(const IPatch& patch)
{
    EXPECT_STREQ(patch.GetTitle(), "Fix");
    EXPECT_STREQ(patch.GetComment(), "Fixes the crash");
    EXPECT_STREQ(patch.GetPatchNumber(), "P-17");
    ASSERT_EQ(patch.GetApplyVersions()->GetCount(), 2);
    EXPECT_STREQ(patch.GetApplyVersions()->GetAt(1)->ToString(), "1.1.0.0");
    EXPECT_STREQ(patch.GetResultVersion()->ToString(), "1.2.0.0");
    EXPECT_STREQ(patch.GetDependOn(), "P-16");
    EXPECT_EQ(patch.GetPatchType(), 1);
    EXPECT_EQ(patch.GetPatchForce(), 3);
}

void ExpectClearedPatch(const IPatch& patch)
{
    EXPECT_STREQ(patch.GetTitle(), "");
    EXPECT_STREQ(patch.GetComment(), "");
    EXPECT_STREQ(patch.GetPatchNumber(), "");
    EXPECT_EQ(patch.GetApplyVersions()->GetCount(), 0);
    EXPECT_STREQ(patch.GetResultVersion()->ToString(), "0.0.0.0");
    EXPECT_STREQ(patch.GetDependOn(), "");
    EXPECT_EQ(patch.GetPatchType(), -1);
    EXPECT_EQ(patch.GetPatchForce(), -1);
}

} // namespace

TEST(CNameTableTest, MapsEveryTableEntryBothWays)
{
    struct Case
    {
        const CNameTable& table;
        int value;
        const char* name;
    };
    const Case cases[] = {
        {PatchType, 1, "bug"},   {PatchType, 2, "resource"}, {PatchType, 4, "function"},   {PatchType, 8, "version"},
        {PatchForce, 0, "wait"}, {PatchForce, 1, "common"},  {PatchForce, 2, "recommend"}, {PatchForce, 3, "must"},
    };
    for (const Case& c : cases)
    {
        EXPECT_STREQ(c.table.NameOf(c.value), c.name);
        EXPECT_EQ(c.table.ValueOf(c.name), c.value) << c.name;
        std::string upper = c.name;
        for (char& letter : upper)
            letter = static_cast<char>(letter - 'a' + 'A');
        EXPECT_EQ(c.table.ValueOf(upper.c_str()), c.value) << upper;
    }
    EXPECT_EQ(PatchType.ValueOf("Bug"), 1);
    for (const char* name : {"bugs", "bu", "", " bug"})
        EXPECT_EQ(PatchType.ValueOf(name), -1) << name;
    EXPECT_EQ(PatchForce.ValueOf(nullptr), -1);
    for (int value : {3, 16, -1, 0})
        EXPECT_STREQ(PatchType.NameOf(value), "") << value;
    EXPECT_STREQ(PatchForce.NameOf(-1), "");
}

TEST(CPatchTest, ReadsTypeAndForceByName)
{
    struct Case
    {
        const char* members;
        int type;
        int force;
    };
    const Case cases[] = {
        {R"("patch_type":"BUG","patch_force":"wait")", 1, 0},
        {R"("patch_type":"bugs","patch_force":"later")", -1, -1},
        {R"("patch_type":1,"patch_force":3)", -1, -1},
    };
    for (const Case& c : cases)
    {
        CPatch patch;
        ASSERT_TRUE(ReadText(std::string("{") + c.members + "}", patch));
        EXPECT_EQ(patch.GetPatchType(), c.type) << c.members;
        EXPECT_EQ(patch.GetPatchForce(), c.force) << c.members;
    }
}

TEST(CPatchTest, EveryReadAssignsEveryField)
{
    const CPatch fresh;
    EXPECT_EQ(Written(fresh)["patch_type"].asString(), "version");
    EXPECT_EQ(Written(fresh)["patch_force"].asString(), "common");

    CPatch patch;
    ASSERT_TRUE(ReadText(FullPatch, patch));
    ExpectFullPatch(patch);
    ASSERT_TRUE(ReadText("{}", patch));
    ExpectClearedPatch(patch);
    EXPECT_EQ(Written(patch)["patch_type"].asString(), "");
    EXPECT_EQ(Written(patch)["patch_force"].asString(), "");

    // Nested members of the wrong type are failed reads of those members
    // only; a patch document of the wrong type reads as an empty one.
    ASSERT_TRUE(ReadText(FullPatch, patch));
    ASSERT_TRUE(ReadText(R"({"title":"T","apply_version":"1.0","result_version":["1.2"],
                             "patch_number":17,"patch_type":"version"})",
                         patch));
    EXPECT_STREQ(patch.GetTitle(), "T");
    EXPECT_STREQ(patch.GetPatchNumber(), "");
    EXPECT_EQ(patch.GetApplyVersions()->GetCount(), 0);
    EXPECT_STREQ(patch.GetResultVersion()->ToString(), "0.0.0.0");
    EXPECT_EQ(patch.GetPatchType(), 8);
    ASSERT_TRUE(ReadText(FullPatch, patch));
    EXPECT_FALSE(ReadText(R"("P-17")", patch));
    ExpectClearedPatch(patch);
}

TEST(CPatchTest, WritesWhatItReads)
{
    CPatch patch;
    ASSERT_TRUE(ReadText(FullPatch, patch));
    CPatch back;
    ASSERT_TRUE(modeltest::RoundTrip(patch, back));
    ExpectFullPatch(back);

    const Json::Value written = Written(patch);
    EXPECT_EQ(written["patch_type"].asString(), "bug");
    EXPECT_EQ(written["patch_force"].asString(), "must");
    EXPECT_EQ(written["dependon"].asString(), "P-16");
    EXPECT_EQ(written["result_version"]["v"].asString(), "1.2.0.0");
}

// A null value is filled from a ready-made object with every member; a value
// that already is an object gets the members added. Both must give the same
// members, and writing into a fresh value twice the same text.
TEST(CPatchTest, WritesTheSameMembersIntoNullAndIntoAnObject)
{
    CPatch patch;
    ASSERT_TRUE(ReadText(FullPatch, patch));

    Json::Value fresh;
    jsonIO::WriteJson(fresh, patch);
    Json::Value existing;
    existing["extra"] = 1;
    existing["title"] = "old";
    existing["result_version"]["w"] = true;
    jsonIO::WriteJson(existing, patch);

    EXPECT_EQ(fresh.size(), 8u);
    EXPECT_EQ(existing.size(), 9u);
    EXPECT_EQ(existing["extra"], 1);
    EXPECT_EQ(existing["result_version"]["w"], true);
    existing.removeMember("extra");
    existing["result_version"].removeMember("w");
    EXPECT_EQ(existing, fresh);

    std::string first;
    std::string second;
    ASSERT_TRUE(jsonIO::FormatJson(fresh, first));
    Json::Value again;
    jsonIO::WriteJson(again, patch);
    ASSERT_TRUE(jsonIO::FormatJson(again, second));
    EXPECT_EQ(first, second);

    // A member of the wrong kind still throws, as member access does.
    Json::Value text("not an object");
    EXPECT_ANY_THROW(jsonIO::WriteJson(text, patch));
}

TEST(CPatchTest, CopiesThroughTheSourceGetters)
{
    CHostPatch host;
    CPatch patch;
    ASSERT_TRUE(ReadText(FullPatch, patch));
    patch = host;
    EXPECT_STREQ(patch.GetTitle(), "host");
    EXPECT_STREQ(patch.GetComment(), "");
    EXPECT_EQ(patch.GetApplyVersions()->GetCount(), 0);
    EXPECT_STREQ(patch.GetResultVersion()->ToString(), "0.0.0.0");
    // Values outside the tables are kept, and written as empty names.
    EXPECT_EQ(patch.GetPatchType(), 3);
    EXPECT_EQ(Written(patch)["patch_type"].asString(), "");
    EXPECT_EQ(Written(patch)["patch_force"].asString(), "");
    host.m_type = 16;
    EXPECT_EQ(Written(CPatch(host))["patch_type"].asString(), "");

    ASSERT_TRUE(ReadText(FullPatch, patch));
    CPatch& same = patch;
    patch = same; // assigning a record to itself keeps it
    ExpectFullPatch(patch);
    TOwnedPtr<IPatch> source = Own(patch.Clone());
    ASSERT_NE(source, nullptr);
    const TOwnedPtr<IPatch> clone = Own(source->Clone());
    ASSERT_NE(clone, nullptr);
    source.reset();
    ExpectFullPatch(*clone);
}

TEST(CPatchListTest, ReadsThePatchsMember)
{
    const std::vector<modeltest::CListCase> cases = {
        {R"({})", true, 0},
        {R"({"patchs":null})", true, 0},
        {R"({"patchs":[{},{}]})", true, 2},
        {R"({"patchs":{"title":"x"}})", false, 0},
        {R"({"patchs":"x"})", false, 0},
        {R"([{"title":"x"}])", false, 0},
    };
    modeltest::ExpectListReads<CPatchList>(R"({"patchs":[{"title":"old"}]})", cases);

    // Elements of the wrong type read as empty patches; neighbours still read.
    CPatchList list;
    ASSERT_TRUE(ReadText(std::string(R"({"patchs":[5,)") + FullPatch + R"(,"x",{"title":"last"}]})", list));
    ASSERT_EQ(list.GetCount(), 4);
    ExpectClearedPatch(*list.GetAt(0));
    ExpectFullPatch(*list.GetAt(1));
    ExpectClearedPatch(*list.GetAt(2));
    EXPECT_STREQ(list.GetAt(3)->GetTitle(), "last");
    EXPECT_EQ(list.GetAt(-1), nullptr);
    EXPECT_EQ(list.GetAt(4), nullptr);
}

// A move hands over the storage: the records stay where they were, so a
// list that grows copies nothing.
TEST(CPatchListTest, MovesKeepTheRecordsInPlace)
{
    CPatch patch;
    ASSERT_TRUE(ReadText(FullPatch, patch));
    const IVersion* applies = patch.GetApplyVersions()->GetAt(0);
    const CPatch taken(std::move(patch));
    EXPECT_EQ(taken.GetApplyVersions()->GetAt(0), applies);
    ExpectFullPatch(taken);

    CPatchList list;
    ASSERT_TRUE(ReadText(std::string(R"({"patchs":[)") + FullPatch + "]}", list));
    const IPatch* first = list.GetAt(0);
    const CPatchList moved(std::move(list));
    EXPECT_EQ(moved.GetAt(0), first);
}

TEST(CPatchListTest, WritesReadsAndClones)
{
    const std::string json = std::string(R"({"patchs":[)") + FullPatch + R"(,{"title":"B"}]})";
    CPatchList list;
    ASSERT_TRUE(ReadText(json, list));

    CPatchList back;
    ASSERT_TRUE(modeltest::RoundTrip(list, back));
    ASSERT_EQ(back.GetCount(), 2);
    ExpectFullPatch(*back.GetAt(0));
    EXPECT_STREQ(back.GetAt(1)->GetTitle(), "B");

    {
        const TOwnedPtr<IPatchList> clone = Own(list.Clone());
        ASSERT_NE(clone, nullptr);
        list.Clear();
        ASSERT_EQ(clone->GetCount(), 2);
        ExpectFullPatch(*clone->GetAt(0));
    }

    EXPECT_TRUE(Written(list)["patchs"].isNull());
    ASSERT_TRUE(modeltest::RoundTrip(list, back));
    EXPECT_EQ(back.GetCount(), 0);

    list.Append(CHostPatch());
    EXPECT_STREQ(list.GetAt(0)->GetTitle(), "host");
}

// A writer may lend the records' texts to the tree and keep the versions'
// texts it makes in blocks of its own; what it writes must not differ from
// what the copying writer writes, over many such blocks.
TEST(CPatchListTest, LendingWriterWritesTheSameText)
{
    std::string json = R"({"patchs":[)";
    for (int index = 0; index < 400; ++index)
        json += std::string(index ? "," : "") + R"({"title":"T)" + std::to_string(index) +
                R"(é","apply_version":{"versions":[{"v":"1.)" + std::to_string(index) +
                R"("},{"v":"4294967295.4294967295.4294967295.4294967295"}]},"patch_type":"bug"})";
    json += "]}";
    CPatchList list;
    ASSERT_TRUE(ReadText(json, list));

    std::string copied;
    ASSERT_TRUE(jsonIO::FormatJson(Written(list), copied));
    std::string lent;
    {
        kvrUpdate::binding::CWriteContext context(true);
        Json::Value value;
        kvrUpdate::binding::WriteRecord(value, list, context);
        ASSERT_TRUE(jsonIO::FormatJson(value, lent));
    }
    EXPECT_EQ(lent, copied);
}
