// Child processes on POSIX: posix_spawn with standard output on a pipe,
// waitpid for the status, SIGTERM to stop.
#include "support/ChildProcess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace testsupport
{

namespace
{

// Where a child's standard error goes.
enum class EErrors
{
    kMerged,  // onto the output pipe
    kFile,    // into a file
    kDiscard, // nowhere
};

// Starts the program with standard output on a new pipe; returns the pid and
// the reading end.
pid_t Spawn(const std::string& program, const std::vector<std::string>& args, EErrors errors,
            const std::string& errorFile, int& readEnd)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    if (errors == EErrors::kMerged)
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
    else if (errors == EErrors::kFile)
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
    else
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    pid_t pid = -1;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (rc != 0)
    {
        ::close(fds[0]);
        throw std::runtime_error("cannot start " + program);
    }
    readEnd = fds[0];
    return pid;
}

int WaitFor(pid_t pid)
{
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

CRunResult RunProgram(const std::string& program, const std::vector<std::string>& args)
{
    int out = -1;
    const pid_t pid = Spawn(program, args, EErrors::kMerged, "", out);
    CRunResult result;
    char buffer[4096];
    for (;;)
    {
        const ssize_t got = ::read(out, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        result.output.append(buffer, static_cast<size_t>(got));
    }
    ::close(out);
    result.status = WaitFor(pid);
    return result;
}

class CBackgroundProgram::CProcess
{
public:
    pid_t pid = -1;
    int out = -1;
    int status = -1;
    std::string pending;

    // Waits for the ended (or ending) process, once.
    int Reap()
    {
        if (pid > 0)
        {
            status = WaitFor(pid);
            pid = -1;
        }
        return status;
    }

    ~CProcess()
    {
        if (out >= 0)
            ::close(out);
    }
    CProcess() = default;
    CProcess(const CProcess&) = delete;
    CProcess& operator=(const CProcess&) = delete;
    CProcess(CProcess&&) = delete;
    CProcess& operator=(CProcess&&) = delete;
};

CBackgroundProgram::CBackgroundProgram(const std::string& program, const std::vector<std::string>& args,
                                       const std::string& errorFile)
    : m_process(new CProcess)
{
    m_process->pid = Spawn(program, args, errorFile.empty() ? EErrors::kDiscard : EErrors::kFile, errorFile,
                           m_process->out);
}

CBackgroundProgram::~CBackgroundProgram()
{
    Stop();
}

bool CBackgroundProgram::ReadLine(std::string& line, int seconds)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(seconds);
    std::string& pending = m_process->pending;
    for (;;)
    {
        const std::string::size_type newline = pending.find('\n');
        if (newline != std::string::npos)
        {
            line = pending.substr(0, newline);
            pending.erase(0, newline + 1);
            return true;
        }
        if (m_process->out < 0)
            return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd wait = {m_process->out, POLLIN, 0};
        const int ready = left > 0 ? ::poll(&wait, 1, static_cast<int>(left)) : 0;
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        char buffer[1024];
        const ssize_t got = ::read(m_process->out, buffer, sizeof buffer);
        if (got <= 0)
            return false;
        pending.append(buffer, static_cast<size_t>(got));
    }
}

int CBackgroundProgram::Stop()
{
    if (m_process->pid > 0)
        ::kill(m_process->pid, SIGTERM);
    return m_process->Reap();
}

int CBackgroundProgram::Wait()
{
    return m_process->Reap();
}

unsigned long CBackgroundProgram::ProcessId() const
{
    return m_process->pid > 0 ? static_cast<unsigned long>(m_process->pid) : 0;
}

} // namespace testsupport
