// One downloadable file: its url, MD5 text, optional local path and length.
#ifndef VESKUPDATE_CFILEDEF_H
#define VESKUPDATE_CFILEDEF_H

#include <VeskUpdate.h>

#include "json/jsonIO.h"

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
    CFileDef& operator=(const CFileDef& other) = default;
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
    /// url ends with one). Texts end at their first NUL byte.
    const char* GetName() const override;

private:
    friend bool jsonIO::ReadJson(Json::Value& value, CFileDef& record);
    friend void jsonIO::WriteJson(Json::Value& value, const CFileDef& record);

    std::string m_url;
    std::string m_md5;
    std::string m_path;
    long long m_length = 0;
};

} // namespace kvrUpdate

#endif // VESKUPDATE_CFILEDEF_H
