#include "model/CPatch.h"

#include "boundary/NewOrNull.h"

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

CPatch::CPatch() : m_patchType(PatchTypeVersion), m_patchForce(PatchForceCommon) {}

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
    return NewOrNull<CPatch>(*this);
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

bool ReadJson(const Json::Value& value, CPatch& record)
{
    return binding::ReadRecord(value, record);
}

void WriteJson(Json::Value& value, const CPatch& record)
{
    binding::WriteRecord(value, record);
}

} // namespace kvrUpdate
