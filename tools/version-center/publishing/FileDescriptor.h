// An open file descriptor, closed on every way out.
#ifndef VERSIONCENTER_FILEDESCRIPTOR_H
#define VERSIONCENTER_FILEDESCRIPTOR_H

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>

namespace versionCenter
{

class CFileDescriptor
{
public:
    /// Opens `path` with open(2)'s `flags` (close-on-exec added); Fd() is
    /// negative when that failed.
    CFileDescriptor(const std::filesystem::path& path, int flags, mode_t mode = 0)
        : m_fd(::open(path.c_str(), flags | O_CLOEXEC, mode))
    {
    }
    ~CFileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    CFileDescriptor(const CFileDescriptor&) = delete;
    CFileDescriptor& operator=(const CFileDescriptor&) = delete;
    CFileDescriptor(CFileDescriptor&&) = delete;
    CFileDescriptor& operator=(CFileDescriptor&&) = delete;

    int Fd() const { return m_fd; }

    /// Closes now, so that a failure to write back is seen.
    bool Close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd >= 0 && ::close(fd) == 0;
    }

private:
    int m_fd;
};

} // namespace versionCenter

#endif // VERSIONCENTER_FILEDESCRIPTOR_H
