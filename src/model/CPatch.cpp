#include "model/CPatch.h"

#include "model/RecordJson.h"

#include <memory>

namespace kvrUpdate
{
namespace
{

// Host-made patches are read through their getters; a null text reads as
// empty rather than crashing the copy.
const char* TextOrEmpty(const char* text)
{
    return text != nullptr ? text : "";
}

} // namespace

CPatch::CPatch() : m_patchType(PatchTypeVersion), m_patchForce(PatchForceCommon)
{
}

CPatch::CPatch(const IPatch& other) : CPatch()
{
    CopyFrom(&other);
}

CPatch::CPatch(const CPatch& other) : CPatch()
{
    CopyFrom(&other);
}

CPatch& CPatch::operator=(const IPatch& other)
{
    CopyFrom(&other);
    return *this;
}

CPatch& CPatch::operator=(const CPatch& other)
{
    CopyFrom(&other);
    return *this;
}

void CPatch::CopyFrom(const IPatch* source)
{
    if (source == this || source == nullptr)
        return;
    m_title = TextOrEmpty(source->GetTitle());
    m_comment = TextOrEmpty(source->GetComment());
    m_patchNumber = TextOrEmpty(source->GetPatchNumber());
    m_applyVersions.CopyFrom(source->GetApplyVersions());
    const IVersion* result = source->GetResultVersion();
    if (result != nullptr)
        m_resultVersion = *result;
    else
        m_resultVersion = CVersion();
    m_dependOn = TextOrEmpty(source->GetDependOn());
    m_patchType = source->GetPatchType();
    m_patchForce = source->GetPatchForce();
}

void CPatch::Release()
{
    delete this;
}

IPatch* CPatch::Clone() const
{
    try
    {
        std::unique_ptr<CPatch> copy(new CPatch);
        copy->CopyFrom(this);
        return copy.release();
    }
    catch (...)
    {
        return nullptr;
    }
}

const char* CPatch::GetTitle() const
{
    return m_title.c_str();
}

const char* CPatch::GetComment() const
{
    return m_comment.c_str();
}

const char* CPatch::GetPatchNumber() const
{
    return m_patchNumber.c_str();
}

const IVersionList* CPatch::GetApplyVersions() const
{
    return &m_applyVersions;
}

const IVersion* CPatch::GetResultVersion() const
{
    return &m_resultVersion;
}

const char* CPatch::GetDependOn() const
{
    return m_dependOn.c_str();
}

int CPatch::GetPatchType() const
{
    return m_patchType;
}

int CPatch::GetPatchForce() const
{
    return m_patchForce;
}

} // namespace kvrUpdate

namespace jsonIO
{

bool ReadJson(Json::Value& value, kvrUpdate::CPatch& record)
{
    using kvrUpdate::PatchForce;
    using kvrUpdate::PatchType;

    // Every field is assigned by every read: a member missing from the JSON
    // clears its field (type and force become -1, not the constructor's
    // defaults). A value that is no object reads like an empty one.
    Json::Value absent;
    const bool usable = IsRecordValue(value);
    Json::Value& source = usable ? value : absent;

    record.m_title = GetString(source["title"], "");
    record.m_comment = GetString(source["comment"], "");
    record.m_patchNumber = GetString(source["patch_number"], "");
    ReadRecordMember(source["apply_version"], record.m_applyVersions);
    ReadRecordMember(source["result_version"], record.m_resultVersion);
    record.m_dependOn = GetString(source["dependon"], "");
    record.m_patchType = PatchType.ValueOf(GetString(source["patch_type"], "").c_str());
    record.m_patchForce = PatchForce.ValueOf(GetString(source["patch_force"], "").c_str());
    return usable;
}

void WriteJson(Json::Value& value, const kvrUpdate::CPatch& record)
{
    // Keys are literals and the type and force names live in fixed tables,
    // so both are stored as static strings: nothing to copy on the way in,
    // nothing to free when the value goes. The text written is the same.
    using Key = Json::StaticString;
    // Every member below is assigned, so a null value may start as an object
    // that already holds them all.
    static const Json::Value prototype =
        ObjectWithMembers({"title", "comment", "patch_number", "apply_version", "result_version",
                           "dependon", "patch_type", "patch_force"});
    if (value.isNull())
        value = prototype;
    SetString(value[Key("title")], record.m_title.c_str());
    SetString(value[Key("comment")], record.m_comment.c_str());
    SetAsText(value[Key("patch_number")], record.m_patchNumber);
    WriteJson(value[Key("apply_version")], record.m_applyVersions);
    WriteJson(value[Key("result_version")], record.m_resultVersion);
    SetString(value[Key("dependon")], record.m_dependOn.c_str());
    value[Key("patch_type")] = Key(kvrUpdate::PatchType.NameOf(record.m_patchType));
    value[Key("patch_force")] = Key(kvrUpdate::PatchForce.NameOf(record.m_patchForce));
}

} // namespace jsonIO
