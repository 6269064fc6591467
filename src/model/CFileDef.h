// One downloadable file: its url, MD5 text, optional local path and length.
#ifndef VESKUPDATE_CFILEDEF_H
#define VESKUPDATE_CFILEDEF_H

#include <VeskUpdate.h>

#include "model/RecordBinding.h"

#include <string>

namespace kvrUpdate
{

class CFileDef final : public IFileDef
{
public:
    /// Empty texts, length 0.
    CFileDef() = default;
    /// Member-by-member copy.
    CFileDef(const CFileDef& other) = default;
    CFileDef(CFileDef&& other) noexcept = default;
    CFileDef& operator=(const CFileDef& other) = default;
    CFileDef& operator=(CFileDef&& other) noexcept = default;
    ~CFileDef() = default;

    // ICloneable<IFileDef>
    void Release() override;
    /// A copy owned by the caller; null if it cannot be allocated.
    IFileDef* Clone() const override;

    // IFileDef
    const char* GetUrl() const override;
    const char* GetMd5() const override;
    long long GetLength() const override;
    /// The path when it is not empty; else the url when it has no "://";
    /// else the url's text after its last slash or backslash (empty when the
    /// url ends with one).
    const char* GetName() const override;

private:
    friend binding::TFieldsOf<CFileDef>;

    std::string m_url;
    std::string m_md5;
    std::string m_path;
    long long m_length = 0;
};

/// The JSON form: an object with the texts "url", "md5" and "path" and the
/// "length", a number or decimal text, written as decimal text.
bool ReadJson(const Json::Value& value, CFileDef& record);
void WriteJson(Json::Value& value, const CFileDef& record);

template <>
struct binding::TFieldsOf<CFileDef>
{
    static constexpr TField<CFileDef> List[] = {
        // Read at 64 bits, so that files of 2 GiB and more keep their length.
        binding::Length<&CFileDef::m_length>("length"),
        binding::Text<&CFileDef::m_md5>("md5"),
        binding::Text<&CFileDef::m_path>("path"),
        binding::Text<&CFileDef::m_url>("url"),
    };
};

} // namespace kvrUpdate

namespace jsonIO
{
using kvrUpdate::ReadJson;
using kvrUpdate::WriteJson;
} // namespace jsonIO

#endif // VESKUPDATE_CFILEDEF_H
