#include "platform/Platform.h"

#include <mutex>
#include <new>

namespace platform
{

namespace
{

// The native lock lives in the section's storage, so the header stays free of
// system headers.
using NativeLock = std::recursive_mutex;

NativeLock& Native(unsigned char* storage)
{
    return *std::launder(reinterpret_cast<NativeLock*>(storage));
}

} // namespace

CCriticalSection::CCriticalSection()
{
    static_assert(sizeof(NativeLock) <= sizeof(m_storage), "storage too small for the native lock");
    static_assert(alignof(NativeLock) <= alignof(CCriticalSection), "storage under-aligned for the native lock");
    new (m_storage) NativeLock();
}

CCriticalSection::~CCriticalSection()
{
    Native(m_storage).~NativeLock();
}

void CCriticalSection::Enter()
{
    Native(m_storage).lock();
}

void CCriticalSection::Leave()
{
    Native(m_storage).unlock();
}

} // namespace platform
