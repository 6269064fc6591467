#include "model/RecordBinding.h"

#include <stdexcept>

namespace kvrUpdate
{
namespace binding
{

// Texts kept are short (a version's dotted form is at most 43 bytes), so
// they share blocks. A block stays below 1 KiB: glibc's malloc answers a
// larger request by first tidying up every small block freed so far, which
// after a document's thousands of small blocks costs as much as a part of
// the writing.
struct CWriteContext::CBlock
{
    static constexpr std::size_t kSize = 1000 - sizeof(void*);

    CBlock* previous;
    char text[kSize];
};

CWriteContext::~CWriteContext()
{
    while (m_last != nullptr)
    {
        CBlock* previous = m_last->previous;
        delete m_last;
        m_last = previous;
    }
}

const char* CWriteContext::Keep(const char* begin, const char* end)
{
    const std::size_t length = static_cast<std::size_t>(end - begin);
    if (length >= CBlock::kSize)
        throw std::length_error("text too long to keep");
    if (m_last == nullptr || m_used + length + 1 > CBlock::kSize)
    {
        m_last = new CBlock{m_last, {}};
        m_used = 0;
    }
    char* text = m_last->text + m_used;
    std::memcpy(text, begin, length);
    text[length] = '\0';
    m_used += length + 1;
    return text;
}

} // namespace binding
} // namespace kvrUpdate
