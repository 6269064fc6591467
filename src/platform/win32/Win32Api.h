// <windows.h> as the Win32 platform sources include it: without the rarely
// used parts and without the min/max macros that break std::min/std::max.
#ifndef VESKUPDATE_PLATFORM_WIN32_API_H
#define VESKUPDATE_PLATFORM_WIN32_API_H

#ifndef WIN32_LEAN_AND_MEAN
#  define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#  define NOMINMAX
#endif
#include <windows.h>

#endif // VESKUPDATE_PLATFORM_WIN32_API_H
