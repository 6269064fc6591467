#include "PluginCounters.h"

#include <atomic>

namespace
{
std::atomic<int> g_counts[kPluginIdCount][kPluginEventCount];

bool InRange(int plugin, int event)
{
    return plugin >= 0 && plugin < kPluginIdCount && event >= 0 && event < kPluginEventCount;
}
} // namespace

void PluginCount(int plugin, int event)
{
    if (InRange(plugin, event))
        ++g_counts[plugin][event];
}

int PluginCountOf(int plugin, int event)
{
    return InRange(plugin, event) ? g_counts[plugin][event].load() : 0;
}

void PluginCountersReset()
{
    for (auto& plugin : g_counts)
    {
        for (auto& count : plugin)
            count = 0;
    }
}
