// Programs run by the end-to-end tests: one that runs to its end with its
// output collected, and a server that runs in the background until stopped.
#ifndef VESKUPDATE_TESTS_CHILDPROCESS_H
#define VESKUPDATE_TESTS_CHILDPROCESS_H

#include <string>
#include <sys/types.h>
#include <vector>

struct CRunResult
{
    int status = -1;    // the exit status; -1 when it did not exit normally
    std::string output; // standard output and standard error, interleaved
};

/// Runs the program with the arguments and waits for it.
CRunResult RunProgram(const std::string& program, const std::vector<std::string>& args);

/// A program running in the background with its standard output on a pipe
/// (its standard error is discarded).
/// The destructor stops it with SIGTERM and waits for it.
class CBackgroundProgram
{
public:
    CBackgroundProgram(const std::string& program, const std::vector<std::string>& args);
    ~CBackgroundProgram();
    CBackgroundProgram(const CBackgroundProgram&) = delete;
    CBackgroundProgram& operator=(const CBackgroundProgram&) = delete;

    /// The next line of its standard output, without the newline; false when
    /// the output ended or nothing came within `seconds`.
    bool ReadLine(std::string& line, int seconds);
    /// Sends SIGTERM and returns the exit status (-1 if it was killed).
    int Stop();

private:
    pid_t m_pid = -1;
    int m_out = -1;
    std::string m_pending;
};

#endif // VESKUPDATE_TESTS_CHILDPROCESS_H
