// What the three record lists (versions, patches, file definitions) share:
// an ordered sequence of records held by value, indexed access that lends
// the list's own elements, deep Clone and Release.
#ifndef VESKUPDATE_TRECORDLIST_H
#define VESKUPDATE_TRECORDLIST_H

#include "boundary/NewOrNull.h"

#include <cstddef>
#include <vector>

namespace kvrUpdate
{

/// `List` is the concrete list class (final, copyable element by element),
/// `Interface` its public interface, `Element` the record held and
/// `ElementInterface` the interface its elements are lent through.
template <class List, class Interface, class Element, class ElementInterface>
class TRecordList : public Interface
{
public:
    void Clear() { m_items.clear(); }

    // ICloneable<Interface>
    void Release() override { delete static_cast<List*>(this); }
    /// A deep copy owned by the caller; null if it cannot be allocated.
    Interface* Clone() const override { return NewOrNull<List>(static_cast<const List&>(*this)); }

    // IVectable<const ElementInterface*>
    const ElementInterface* GetAt(int index) const override
    {
        if (index < 0 || index >= GetCount())
            return nullptr;
        return &m_items[static_cast<std::size_t>(index)];
    }
    int GetCount() const override { return static_cast<int>(m_items.size()); }

protected:
    TRecordList() = default;
    TRecordList(const TRecordList&) = default;
    TRecordList(TRecordList&&) noexcept = default;
    TRecordList& operator=(const TRecordList&) = default;
    TRecordList& operator=(TRecordList&&) noexcept = default;
    ~TRecordList() = default;

    std::vector<Element> m_items;
};

} // namespace kvrUpdate

#endif // VESKUPDATE_TRECORDLIST_H
