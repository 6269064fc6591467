#include "platform/Platform.h"

#include "platform/win32/Win32Api.h"

#include <atomic>

namespace platform
{

namespace
{

// Windows offers no way to read an attribute back without the console
// itself, and there may be none; the last value set is kept here for the
// whole process.
std::atomic<std::uint16_t> g_consoleAttribute{0};

} // namespace

std::uint32_t TickCount()
{
    return GetTickCount();
}

void SetConsoleTextAttribute(std::uint16_t attribute)
{
    g_consoleAttribute.store(attribute, std::memory_order_relaxed);
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (output != nullptr && output != INVALID_HANDLE_VALUE)
        ::SetConsoleTextAttribute(output, attribute);
}

std::uint16_t GetConsoleTextAttribute()
{
    return g_consoleAttribute.load(std::memory_order_relaxed);
}

} // namespace platform
