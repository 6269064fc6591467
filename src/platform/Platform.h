// The platform layer: the few operating-system services the library needs,
// behind one narrow interface. posix/ and win32/ hold the implementations;
// CMake compiles exactly one of them.
#ifndef VESKUPDATE_PLATFORM_H
#define VESKUPDATE_PLATFORM_H

#include <cstdint>
#include <string>

namespace platform
{

// ---------------------------------------------------------------------------
// Re-entrant lock
// ---------------------------------------------------------------------------

/// A lock the owning thread may enter again while it holds it (a Win32
/// critical section; a recursive mutex elsewhere). Not copyable.
class CCriticalSection
{
public:
    CCriticalSection();
    ~CCriticalSection();
    CCriticalSection(const CCriticalSection&) = delete;
    CCriticalSection& operator=(const CCriticalSection&) = delete;

    void Enter();
    void Leave();

private:
    // Storage for the native object, sized for the largest of them.
    alignas(16) unsigned char m_storage[64];
};

/// Enters a critical section for the guard's lifetime and leaves it on every
/// way out, exceptions included.
class CLockGuard
{
public:
    explicit CLockGuard(CCriticalSection& section) : m_section(section) { m_section.Enter(); }
    ~CLockGuard() { m_section.Leave(); }
    CLockGuard(const CLockGuard&) = delete;
    CLockGuard& operator=(const CLockGuard&) = delete;

private:
    CCriticalSection& m_section;
};

// ---------------------------------------------------------------------------
// Dynamic libraries
// ---------------------------------------------------------------------------

/// An opaque handle of a loaded library; null means "not loaded".
using LibraryHandle = void*;

/// Loads a library by name (the system's search rules apply) or by path.
/// Returns null when it cannot be loaded. Every successful call must be
/// matched by CloseLibrary.
LibraryHandle OpenLibrary(const char* nameOrPath);

/// The address of the export `name`, or null when the library has none.
void* LookupSymbol(LibraryHandle library, const char* name);

/// Drops one reference to the library; it is unloaded with its last one.
void CloseLibrary(LibraryHandle library);

/// The full path of the file the loader opened for this library: absolute and
/// normalised, as the system reports it. Empty when it cannot be learned.
std::string LibraryFullPath(LibraryHandle library);

// ---------------------------------------------------------------------------
// Code pages
// ---------------------------------------------------------------------------

/// Windows code-page number of UTF-8, the one code page MultiByteToWide must
/// support everywhere.
constexpr unsigned int kCodePageUtf8 = 65001;

/// Converts NUL-terminated text in the given code page to UTF-16; the text
/// ends at its first NUL byte. Ill-formed input is converted as the system
/// converts it (invalid sequences become U+FFFD).
std::u16string MultiByteToWide(unsigned int codePage, const char* text);

/// Converts UTF-16 text to the system's ANSI code page (on POSIX: the
/// character set of the current LC_CTYPE locale, UTF-8 in the plain C
/// locale). Characters the code page cannot hold become '?'.
std::string WideToAnsi(const std::u16string& text);

/// Whether the system's ANSI code page is UTF-8 itself (on POSIX also the
/// plain C locale, which passes UTF-8 through): well-formed UTF-8 then
/// converts to itself and needs no conversion.
bool AnsiCodePageIsUtf8();

// ---------------------------------------------------------------------------
// Time and console
// ---------------------------------------------------------------------------

/// Milliseconds from a monotonic clock; wraps around at 2^32.
std::uint32_t TickCount();

/// Sets the text attribute (colour bits) of the process's standard output
/// console. Where there is no console, the value is only remembered.
void SetConsoleTextAttribute(std::uint16_t attribute);

/// The attribute last set through SetConsoleTextAttribute in this process
/// (0 before the first call). The library itself never reads it. It stays
/// because the colour is the libcurl trace callback's only effect, and where
/// there is no console (always outside Windows, and for a Windows process
/// without one) this remembered value is the only place that effect can be
/// seen: the tests of the callback read it here.
std::uint16_t GetConsoleTextAttribute();

} // namespace platform

#endif // VESKUPDATE_PLATFORM_H
