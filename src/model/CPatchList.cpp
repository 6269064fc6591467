#include "model/CPatchList.h"

namespace kvrUpdate
{

void CPatchList::Append(const IPatch& patch)
{
    m_items.emplace_back(patch);
}

bool ReadJson(const Json::Value& value, CPatchList& record)
{
    return binding::ReadRecord(value, record);
}

void WriteJson(Json::Value& value, const CPatchList& record)
{
    binding::WriteRecord(value, record);
}

} // namespace kvrUpdate
