// A four-part product version (a.b.c.d, each part an unsigned 32-bit number).
#ifndef VESKUPDATE_CVERSION_H
#define VESKUPDATE_CVERSION_H

#include <VeskUpdate.h>

#include "model/RecordBinding.h"

#include <cstdint>
#include <string>

namespace kvrUpdate
{

class CVersion final : public IVersion
{
public:
    /// 0.0.0.0.
    CVersion();
    /// Copies through the text form: FromString(other.ToString()).
    explicit CVersion(const IVersion& other);
    /// Copies the parts: allocates nothing, fails never.
    CVersion(const CVersion& other) noexcept;
    CVersion(CVersion&& other) noexcept = default;
    /// A CVersion's parts, any other version's text form (FromString of its
    /// ToString).
    CVersion& operator=(const IVersion& other);
    CVersion& operator=(const CVersion& other) noexcept;
    CVersion& operator=(CVersion&& other) noexcept = default;

    /// Room for the longest text, "4294967295.4294967295.4294967295.4294967295",
    /// and its NUL.
    static constexpr int kTextSize = 44;
    ~CVersion() = default;

    // ICloneable<IVersion>
    void Release() override;
    IVersion* Clone() const override;

    // IVersion
    int Compare(const IVersion* other) const override;
    const char* ToString() const override;
    bool FromString(const char* text) override;
    unsigned int GetPart(int index) const override;

private:
    friend binding::TFieldsOf<CVersion>;

    /// FromString of the text [text, end), which ends earlier at a NUL.
    /// With `plainOnly`, false as soon as a byte of 0x80 or above comes
    /// before the fourth part: such text needs converting first.
    bool Parse(const char* text, const char* end, bool plainOnly);

    std::uint32_t m_parts[4];
    // Written by ToString, also on a const version; held in place, so that
    // ToString allocates nothing and cannot fail.
    mutable char m_text[kTextSize];
};

/// The JSON form: an object whose member "v" holds the dotted text. A bare
/// value where that object belongs leaves the version as it was and gives
/// false (inside another record such a member reads as 0.0.0.0).
bool ReadJson(const Json::Value& value, CVersion& record);
void WriteJson(Json::Value& value, const CVersion& record);

template <>
struct binding::TFieldsOf<CVersion>
{
    /// The text of "v" (fallback "0.0.0.0") parsed by FromString.
    static bool ReadText(CVersion& record, const Json::Value& member, CReadContext& context);
    /// The text ToString gives, without touching the record's cached text.
    static void WriteText(const CVersion& record, Json::Value& member, CWriteContext& context);

    static constexpr TField<CVersion> List[] = {{"v", KeyLength("v"), &ReadText, &WriteText}};
};

} // namespace kvrUpdate

namespace jsonIO
{
using kvrUpdate::ReadJson;
using kvrUpdate::WriteJson;
} // namespace jsonIO

#endif // VESKUPDATE_CVERSION_H
