// Programs a test runs: one that runs to its end with its output collected,
// and one that runs in the background until the test stops it.
//
// The implementation is the platform's (posix/ChildProcess.cpp; a Windows one
// takes its place there); this interface is the same for both.
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
    /// Asks it to end (SIGTERM on POSIX) and waits for it. Returns its exit
    /// status, -1 when it did not exit normally (it was killed).
    int Stop();
    /// Waits for it to end by itself; returns the exit status as Stop() does.
    int Wait();
    // Once it has ended, Stop() and Wait() return the same status again.

private:
    class CProcess; // the platform's handles
    std::unique_ptr<CProcess> m_process;
};

} // namespace testsupport

#endif // VESKUPDATE_TESTS_SUPPORT_CHILDPROCESS_H
