// Programs a test runs: one that runs to its end with its output collected,
// and one that runs in the background until the test stops it.
//
// The implementation is the platform's (posix/ChildProcess.cpp,
// win32/ChildProcess.cpp); this interface is the same for both.
#ifndef VESKUPDATE_TESTS_SUPPORT_CHILDPROCESS_H
#define VESKUPDATE_TESTS_SUPPORT_CHILDPROCESS_H

#include <memory>
#include <string>
#include <vector>

namespace testsupport
{

struct CRunResult
{
    int status = -1;    // the exit status; -1 when it did not exit normally
    std::string output; // standard output and standard error, interleaved
};

/// Runs the program with the arguments and waits for it. Throws
/// std::runtime_error when it cannot be started.
CRunResult RunProgram(const std::string& program, const std::vector<std::string>& args);

/// A program running in the background with its standard output on a pipe
/// the test reads line by line. Its standard error goes to `errorFile`
/// (created or emptied) or, when that is empty, nowhere. The destructor
/// stops it.
class CBackgroundProgram
{
public:
    /// Starts it; throws std::runtime_error when it cannot be started.
    CBackgroundProgram(const std::string& program, const std::vector<std::string>& args,
                       const std::string& errorFile = "");
    ~CBackgroundProgram();
    CBackgroundProgram(const CBackgroundProgram&) = delete;
    CBackgroundProgram& operator=(const CBackgroundProgram&) = delete;
    CBackgroundProgram(CBackgroundProgram&&) = delete;
    CBackgroundProgram& operator=(CBackgroundProgram&&) = delete;

    /// The next line of its standard output, without the newline; false when
    /// the output ended or no whole line came within `seconds`. What it wrote
    /// before it ended can still be read after Stop() or Wait().
    bool ReadLine(std::string& line, int seconds);
    /// Asks it to end (SIGTERM on POSIX, its stop event on Windows: see
    /// StopEventName) and waits for it. Returns its exit status, -1 when it
    /// did not exit normally (it was killed). On Windows a program that has
    /// not ended 10 seconds after the request is killed.
    int Stop();
    /// Waits for it to end by itself; returns the exit status as Stop() does.
    int Wait();
    /// Its process id, for signals (0 once it has ended).
    unsigned long ProcessId() const;
    // Once it has ended, Stop() and Wait() return the same status again.

private:
    class CProcess; // the platform's handles
    std::unique_ptr<CProcess> m_process;
};

/// The event that asks the Windows program with this process id to end.
/// Windows has no SIGTERM, and console control events reach only programs on
/// the caller's console, often none: CBackgroundProgram creates this event
/// before the program runs and sets it in Stop(); a program that can be
/// stopped opens it and waits for it.
inline std::string StopEventName(unsigned long processId)
{
    return "Local\\vesk-stop-" + std::to_string(processId);
}

} // namespace testsupport

#endif // VESKUPDATE_TESTS_SUPPORT_CHILDPROCESS_H
