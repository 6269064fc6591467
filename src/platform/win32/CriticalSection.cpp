#include "platform/Platform.h"

#include "platform/win32/Win32Api.h"

#include <new>

namespace platform
{

namespace
{

// The critical section lives in the object's storage, so the header stays
// free of <windows.h>.
CRITICAL_SECTION* Native(unsigned char* storage)
{
    return std::launder(reinterpret_cast<CRITICAL_SECTION*>(storage));
}

} // namespace

CCriticalSection::CCriticalSection()
{
    static_assert(sizeof(CRITICAL_SECTION) <= sizeof(m_storage), "storage too small for a critical section");
    static_assert(alignof(CRITICAL_SECTION) <= alignof(CCriticalSection),
                  "storage under-aligned for a critical section");
    InitializeCriticalSection(new (m_storage) CRITICAL_SECTION);
}

CCriticalSection::~CCriticalSection()
{
    DeleteCriticalSection(Native(m_storage));
}

void CCriticalSection::Enter()
{
    EnterCriticalSection(Native(m_storage));
}

void CCriticalSection::Leave()
{
    LeaveCriticalSection(Native(m_storage));
}

} // namespace platform
