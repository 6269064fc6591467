// The peak memory of one operation, for the benchmarks that measure it in a
// process of their own (Linux): the kernel's peak resident-set mark is set
// back to the current size just before the operation and read right after.
//
//   const long start = bench::ResetPeak();
//   ... the operation ...
//   const long held = bench::PeakKiB() - start;
#ifndef VESKUPDATE_BENCH_PEAKMEMORY_H
#define VESKUPDATE_BENCH_PEAKMEMORY_H

#include <cstdlib>
#include <fstream>
#include <string>

namespace bench
{

/// The resident-set figure `field` of /proc/self/status ("VmRSS:" or
/// "VmHWM:") in KiB; -1 when it is not there.
inline long StatusKiB(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
    {
        if (line.compare(0, std::char_traits<char>::length(field), field) == 0)
            return std::strtol(line.c_str() + std::char_traits<char>::length(field), nullptr, 10);
    }
    return -1;
}

/// Sets the peak mark back to the current resident set; the resident set
/// then, in KiB.
inline long ResetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
    return StatusKiB("VmRSS:");
}

/// The peak resident set since the last ResetPeak, in KiB.
inline long PeakKiB()
{
    return StatusKiB("VmHWM:");
}

} // namespace bench

#endif // VESKUPDATE_BENCH_PEAKMEMORY_H
