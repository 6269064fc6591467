// The four versions the version center reports for a product.
#ifndef VESKUPDATE_CVERSIONSITUATION_H
#define VESKUPDATE_CVERSIONSITUATION_H

#include "json/jsonIO.h"
#include "model/CVersion.h"

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
    friend bool jsonIO::ReadJson(Json::Value& value, CVersionSituation& record);
    friend void jsonIO::WriteJson(Json::Value& value, const CVersionSituation& record);

    CVersion m_last;
    CVersion m_must;
    CVersion m_max;
    CVersion m_will;
};

} // namespace kvrUpdate

#endif // VESKUPDATE_CVERSIONSITUATION_H
