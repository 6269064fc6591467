// The four versions the version center reports for a product.
#ifndef VESKUPDATE_CVERSIONSITUATION_H
#define VESKUPDATE_CVERSIONSITUATION_H

#include "model/CVersion.h"
#include "model/RecordBinding.h"

namespace kvrUpdate
{

/// A plain record: all four versions are 0.0.0.0 until read; copying copies
/// the four versions.
class CVersionSituation
{
public:
    const CVersion& GetLast() const { return m_last; }
    const CVersion& GetMust() const { return m_must; }
    const CVersion& GetMax() const { return m_max; }
    const CVersion& GetWill() const { return m_will; }

private:
    friend binding::TFieldsOf<CVersionSituation>;

    CVersion m_last;
    CVersion m_must;
    CVersion m_max;
    CVersion m_will;
};

/// The JSON form: an object with the version objects "last", "must", "max"
/// and "will", each read on its own.
bool ReadJson(const Json::Value& value, CVersionSituation& record);
void WriteJson(Json::Value& value, const CVersionSituation& record);

template <>
struct binding::TFieldsOf<CVersionSituation>
{
    static constexpr TField<CVersionSituation> List[] = {
        binding::Nested<&CVersionSituation::m_last>("last"),
        binding::Nested<&CVersionSituation::m_max>("max"),
        binding::Nested<&CVersionSituation::m_must>("must"),
        binding::Nested<&CVersionSituation::m_will>("will"),
    };
};

} // namespace kvrUpdate

namespace jsonIO
{
using kvrUpdate::ReadJson;
using kvrUpdate::WriteJson;
} // namespace jsonIO

#endif // VESKUPDATE_CVERSIONSITUATION_H
