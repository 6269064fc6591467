#include "ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace
{

// Starts the program with standard output (and, when `mergeErrors`, standard
// error) on a new pipe; returns the pid and the reading end.
pid_t Spawn(const std::string& program, const std::vector<std::string>& args, bool mergeErrors, int& readEnd)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    if (mergeErrors)
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    pid_t pid = -1;
    int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
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
    pid_t pid = Spawn(program, args, true, out);
    CRunResult result;
    char buffer[4096];
    for (;;)
    {
        ssize_t got = ::read(out, buffer, sizeof buffer);
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

CBackgroundProgram::CBackgroundProgram(const std::string& program, const std::vector<std::string>& args)
{
    m_pid = Spawn(program, args, false, m_out);
}

CBackgroundProgram::~CBackgroundProgram()
{
    Stop();
}

bool CBackgroundProgram::ReadLine(std::string& line, int seconds)
{
    for (;;)
    {
        std::string::size_type newline = m_pending.find('\n');
        if (newline != std::string::npos)
        {
            line = m_pending.substr(0, newline);
            m_pending.erase(0, newline + 1);
            return true;
        }
        if (m_out < 0)
            return false;
        pollfd wait = {m_out, POLLIN, 0};
        if (::poll(&wait, 1, seconds * 1000) <= 0)
            return false;
        char buffer[1024];
        ssize_t got = ::read(m_out, buffer, sizeof buffer);
        if (got <= 0)
            return false;
        m_pending.append(buffer, static_cast<size_t>(got));
    }
}

int CBackgroundProgram::Stop()
{
    if (m_pid <= 0)
        return -1;
    ::kill(m_pid, SIGTERM);
    int status = WaitFor(m_pid);
    m_pid = -1;
    if (m_out >= 0)
        ::close(m_out);
    m_out = -1;
    return status;
}
