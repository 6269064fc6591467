// How to verify the files of an installed version: a url and a type text.
#ifndef VESKUPDATE_CFILECHECKERDEF_H
#define VESKUPDATE_CFILECHECKERDEF_H

#include <VeskUpdate.h>

#include "json/jsonIO.h"

#include <string>

namespace kvrUpdate
{

class CFileCheckerDef final : public IFileCheckerDef
{
public:
    CFileCheckerDef() = default;
    /// Member-by-member copy.
    CFileCheckerDef(const CFileCheckerDef& other) = default;
    CFileCheckerDef& operator=(const CFileCheckerDef& other) = default;
    ~CFileCheckerDef() = default;

    // ICloneable<IFileCheckerDef>
    void Release() override;
    /// A copy owned by the caller; null if it cannot be allocated.
    IFileCheckerDef* Clone() const override;

    // IFileCheckerDef
    const char* GetUrl() const override;
    const char* GetType() const override;

private:
    friend bool jsonIO::ReadJson(Json::Value& value, CFileCheckerDef& record);
    friend void jsonIO::WriteJson(Json::Value& value, const CFileCheckerDef& record);

    std::string m_url;
    std::string m_type;
};

} // namespace kvrUpdate

#endif // VESKUPDATE_CFILECHECKERDEF_H
