#include "platform/Platform.h"

#include <atomic>
#include <chrono>

namespace platform
{

namespace
{

// There is no console attribute to set outside Windows; the value is kept so
// that callers can read back what they set. It belongs to the whole process.
std::atomic<std::uint16_t> g_consoleAttribute{0};

} // namespace

std::uint32_t TickCount()
{
    const auto sinceStart = std::chrono::steady_clock::now().time_since_epoch();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(sinceStart).count();
    // Keep the low 32 bits: the count wraps like the Windows tick count.
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ms));
}

void SetConsoleTextAttribute(std::uint16_t attribute)
{
    g_consoleAttribute.store(attribute, std::memory_order_relaxed);
}

std::uint16_t GetConsoleTextAttribute()
{
    return g_consoleAttribute.load(std::memory_order_relaxed);
}

} // namespace platform
