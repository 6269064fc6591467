// A trace point around a stretch of work: it measures the milliseconds the
// scope took and produces no output.
#ifndef VESKUPDATE_CSCOPETIMER_H
#define VESKUPDATE_CSCOPETIMER_H

#include "platform/Platform.h"

#include <cstdint>

namespace jsonIO
{

class CScopeTimer
{
public:
    /// `label` names what the scope measures; it is not copied and must
    /// outlive the timer.
    explicit CScopeTimer(const char* label) : m_start(platform::TickCount()), m_label(label) {}
    ~CScopeTimer() { Elapsed(); }
    CScopeTimer(const CScopeTimer&) = delete;
    CScopeTimer& operator=(const CScopeTimer&) = delete;

    /// Milliseconds since the scope opened; wraps like the tick count.
    std::uint32_t Elapsed() const { return platform::TickCount() - m_start; }

private:
    std::uint32_t m_start;
    // Nothing reads it: it names the scope for whoever inspects the timer in
    // a debugger or a core dump.
    [[maybe_unused]] const char* m_label;
};

} // namespace jsonIO

#endif // VESKUPDATE_CSCOPETIMER_H
