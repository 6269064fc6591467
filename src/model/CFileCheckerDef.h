// How to verify the files of an installed version: a url and a type text.
#ifndef VESKUPDATE_CFILECHECKERDEF_H
#define VESKUPDATE_CFILECHECKERDEF_H

#include <VeskUpdate.h>

#include "model/RecordBinding.h"

#include <string>

namespace kvrUpdate
{

class CFileCheckerDef final : public IFileCheckerDef
{
public:
    CFileCheckerDef() = default;
    /// Member-by-member copy.
    CFileCheckerDef(const CFileCheckerDef& other) = default;
    CFileCheckerDef(CFileCheckerDef&& other) noexcept = default;
    CFileCheckerDef& operator=(const CFileCheckerDef& other) = default;
    CFileCheckerDef& operator=(CFileCheckerDef&& other) noexcept = default;
    ~CFileCheckerDef() = default;

    // ICloneable<IFileCheckerDef>
    void Release() override;
    /// A copy owned by the caller; null if it cannot be allocated.
    IFileCheckerDef* Clone() const override;

    // IFileCheckerDef
    const char* GetUrl() const override;
    const char* GetType() const override;

private:
    friend binding::TFieldsOf<CFileCheckerDef>;

    std::string m_url;
    std::string m_type;
};

/// The JSON form: an object with the texts "url" and "type".
bool ReadJson(const Json::Value& value, CFileCheckerDef& record);
void WriteJson(Json::Value& value, const CFileCheckerDef& record);

template <>
struct binding::TFieldsOf<CFileCheckerDef>
{
    static constexpr TField<CFileCheckerDef> List[] = {
        binding::Text<&CFileCheckerDef::m_type>("type"),
        binding::Text<&CFileCheckerDef::m_url>("url"),
    };
};

} // namespace kvrUpdate

namespace jsonIO
{
using kvrUpdate::ReadJson;
using kvrUpdate::WriteJson;
} // namespace jsonIO

#endif // VESKUPDATE_CFILECHECKERDEF_H
