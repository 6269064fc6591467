#include "StateFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>

#if defined(_WIN32)
#  define WIN32_LEAN_AND_MEAN
#  include <windows.h>
#  include <fcntl.h>
#  include <io.h>
#  include <process.h>
#  include <sys/stat.h>
#else
#  include <fcntl.h>
#  include <signal.h>
#  include <sys/stat.h>
#  include <unistd.h>
#endif

namespace
{

std::string ErrnoText(const char* what, const std::string& path, int code)
{
    return std::string(what) + " " + path + ": " + std::strerror(code);
}

// The directory that holds `path`, for flushing the rename to the disk.
std::string DirectoryOf(const std::string& path)
{
    std::string::size_type slash = path.find_last_of("/\\");
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

#if defined(_WIN32)

int OpenNew(const std::string& path)
{
    return _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
}
int WriteSome(int fd, const char* data, size_t size)
{
    return _write(fd, data, static_cast<unsigned>(size));
}
int Flush(int fd)
{
    return _commit(fd);
}
int CloseFile(int fd)
{
    return _close(fd);
}
int ProcessId()
{
    return _getpid();
}

bool Replace(const std::string& from, const std::string& to, std::string& error)
{
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    error = "cannot rename the new state over " + to + ": Windows error " + std::to_string(GetLastError());
    return false;
}

void FlushDirectory(const std::string&) {}
void KeepMode(int, const std::string&) {}

bool ProcessRuns(int pid)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (process == nullptr)
        return GetLastError() == ERROR_ACCESS_DENIED;
    DWORD code = 0;
    const bool runs = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    CloseHandle(process);
    return runs;
}

#else

int OpenNew(const std::string& path)
{
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
}
int WriteSome(int fd, const char* data, size_t size)
{
    return static_cast<int>(::write(fd, data, size));
}
int Flush(int fd)
{
    return ::fsync(fd);
}
int CloseFile(int fd)
{
    return ::close(fd);
}
int ProcessId()
{
    return static_cast<int>(::getpid());
}

bool Replace(const std::string& from, const std::string& to, std::string& error)
{
    if (::rename(from.c_str(), to.c_str()) == 0)
        return true;
    error = ErrnoText("cannot rename the new state over", to, errno);
    return false;
}

// Makes the rename itself durable. Failure here is not reported: the new
// content is complete either way, only its survival of a power cut is less
// certain.
void FlushDirectory(const std::string& dir)
{
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0)
    {
        ::fsync(fd);
        ::close(fd);
    }
}

// The new file takes over the permissions of the file it replaces, so a state
// file a user has made private stays private.
void KeepMode(int fd, const std::string& oldPath)
{
    struct stat info;
    if (::stat(oldPath.c_str(), &info) == 0)
        ::fchmod(fd, info.st_mode & 07777);
}

// A process we may not signal still runs.
bool ProcessRuns(int pid)
{
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

#endif

// A write's new file is "PATH.new-PID": one per process, next to the target
// so that the rename stays within one file system.
const char kNewFileMark[] = ".new-";

std::string TemporaryName(const std::string& path, int pid)
{
    return path + kNewFileMark + std::to_string(pid);
}

// The process number that `digits` (the end of a new file's name) spell, or
// -1 when they spell none.
int ProcessNumber(const std::string& digits)
{
    if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos)
        return -1;
    return std::stoi(digits);
}

// Removes the new files that writes killed before their rename left behind.
// Only those of processes that no longer run go: a running one may be in the
// middle of its write. (A process number taken over by another process keeps
// its file until a later save.) Failures are not reported; the save itself
// succeeded.
void RemoveStaleTemporaries(const std::string& path)
{
    namespace fs = std::filesystem;
    const fs::path target(path);
    const std::string stem = target.filename().string() + kNewFileMark;
    const fs::path directory = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::error_code error;
    for (fs::directory_iterator it(directory, error), end; !error && it != end; it.increment(error))
    {
        const std::string name = it->path().filename().string();
        if (name.compare(0, stem.size(), stem) != 0)
            continue;
        const int pid = ProcessNumber(name.substr(stem.size()));
        if (pid <= 0 || pid == ProcessId() || ProcessRuns(pid))
            continue;
        std::error_code ignored;
        fs::remove(it->path(), ignored);
    }
}

} // namespace

CStateFile::CStateFile(std::string path) : m_path(std::move(path)) {}

CStateFile::ReadResult CStateFile::Read(std::string& text, std::string& error) const
{
    std::ifstream in(m_path, std::ios::binary);
    if (!in)
    {
        int code = errno;
        if (code == ENOENT)
            return Missing;
        error = ErrnoText("cannot open", m_path, code);
        return Failed;
    }
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad())
    {
        error = "cannot read " + m_path;
        return Failed;
    }
    text = content.str();
    return Loaded;
}

bool CStateFile::Write(const std::string& text, std::string& error) const
{
    const std::string temp = TemporaryName(m_path, ProcessId());

    int fd = OpenNew(temp);
    if (fd < 0)
    {
        error = ErrnoText("cannot create", temp, errno);
        return false;
    }
    KeepMode(fd, m_path);

    const char* data = text.data();
    size_t left = text.size();
    while (left > 0)
    {
        int written = WriteSome(fd, data, left);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
        {
            error = ErrnoText("cannot write", temp, written < 0 ? errno : ENOSPC);
            CloseFile(fd);
            std::remove(temp.c_str());
            return false;
        }
        data += written;
        left -= static_cast<size_t>(written);
    }
    if (Flush(fd) != 0)
    {
        error = ErrnoText("cannot flush", temp, errno);
        CloseFile(fd);
        std::remove(temp.c_str());
        return false;
    }
    if (CloseFile(fd) != 0)
    {
        error = ErrnoText("cannot close", temp, errno);
        std::remove(temp.c_str());
        return false;
    }
    if (!Replace(temp, m_path, error))
    {
        std::remove(temp.c_str());
        return false;
    }
    FlushDirectory(DirectoryOf(m_path));
    RemoveStaleTemporaries(m_path);
    return true;
}
