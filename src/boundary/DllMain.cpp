// The dynamic library's entry routine. Loading the library creates no object
// and starts nothing, so it does no work and reports success for every reason
// it is called with.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

BOOL APIENTRY DllMain(HMODULE /*module*/, DWORD /*reason*/, LPVOID /*reserved*/)
{
    return TRUE;
}
