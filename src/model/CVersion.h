// A four-part product version (a.b.c.d, each part an unsigned 32-bit number).
#ifndef VESKUPDATE_CVERSION_H
#define VESKUPDATE_CVERSION_H

#include <VeskUpdate.h>

#include "json/jsonIO.h"

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
    CVersion(const IVersion& other);
    CVersion(const CVersion& other);
    CVersion& operator=(const IVersion& other);
    CVersion& operator=(const CVersion& other);
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
    friend void jsonIO::WriteJson(Json::Value& value, const CVersion& record);

    std::uint32_t m_parts[4];
    // Cache written by ToString, also on a const version.
    mutable std::string m_text;
};

} // namespace kvrUpdate

#endif // VESKUPDATE_CVERSION_H
