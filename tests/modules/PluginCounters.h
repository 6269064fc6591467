// Event counters shared by the module-manager tests and their plug-in
// libraries. They live in a library of their own, which the test program
// keeps loaded, so the counts survive every unload of a plug-in.
#ifndef VESKUPDATE_TESTS_PLUGINCOUNTERS_H
#define VESKUPDATE_TESTS_PLUGINCOUNTERS_H

#if defined(_WIN32)
#  define PLUGIN_COUNTERS_API __declspec(dllexport)
#else
#  define PLUGIN_COUNTERS_API __attribute__((visibility("default")))
#endif

/// What a test plug-in counts, per plug-in library.
enum PluginEvent
{
    kPluginLoaded,   // the library was mapped (its static constructor ran)
    kPluginUnloaded, // the library was unmapped (its static destructor ran)
    kPluginEntry,    // the entry was called
    kPluginCreated,  // the entry made an object
    kPluginReleased, // an object was released
    kPluginEventCount
};

/// The number of distinct plug-in ids (PLUGIN_ID of each test plug-in).
constexpr int kPluginIdCount = 8;

extern "C"
{
PLUGIN_COUNTERS_API void PluginCount(int plugin, int event);
PLUGIN_COUNTERS_API int PluginCountOf(int plugin, int event);
PLUGIN_COUNTERS_API void PluginCountersReset();
}

#endif // VESKUPDATE_TESTS_PLUGINCOUNTERS_H
