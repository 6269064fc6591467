// The install directory on POSIX systems: a descriptor of the directory, and
// openat/mkdirat/renameat from there with O_NOFOLLOW, so no component below
// it is ever resolved through a symbolic link.
#include "CInstallDir.h"

#include "PluginFiles.h"

#include <cerrno>
#include <cstring>
#include <random>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace
{

// A descriptor, closed on every way out.
class CFd
{
public:
    CFd() = default;
    explicit CFd(int fd) : m_fd(fd) {}
    ~CFd() { Reset(); }
    CFd(const CFd&) = delete;
    CFd& operator=(const CFd&) = delete;
    CFd(CFd&& other) noexcept : m_fd(other.Release()) {}
    CFd& operator=(CFd&& other) noexcept
    {
        if (this != &other)
        {
            Reset();
            m_fd = other.Release();
        }
        return *this;
    }

    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }
    int Release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    void Reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd = -1;
};

const int kDirectoryFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

std::string Joined(const std::vector<std::string>& parts, std::size_t count)
{
    std::string text;
    for (std::size_t i = 0; i < count; ++i)
        text += (i == 0 ? "" : "/") + parts[i];
    return text;
}

// Why `part` in the folder `at` could not be opened as a folder or a file,
// with errno as the open left it. errno is left as the open left it, or
// ELOOP when `part` is a link.
std::string Refusal(int at, const std::string& part, const std::string& shown)
{
    const int error = errno;
    struct stat status;
    if (::fstatat(at, part.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0)
    {
        if (S_ISLNK(status.st_mode))
        {
            errno = ELOOP;
            return shown + " is a symbolic link inside the install directory; it is not followed";
        }
    }
    errno = error;
    return shown + ": " + std::strerror(error);
}

// Splits `name`, or says why it is refused.
bool Split(const std::string& name, std::vector<std::string>& parts, std::string& error)
{
    if (SplitInstallName(name.c_str(), parts))
        return true;
    error = "'" + name + "' is not a file name inside the install directory";
    return false;
}

// Opens the folder holding the last of `parts`, component by component from
// `root`, creating the missing ones when `create` is set.
CFd OpenParent(int root, const std::vector<std::string>& parts, bool create, std::string& error)
{
    CFd current(::fcntl(root, F_DUPFD_CLOEXEC, 0));
    if (!current.Valid())
    {
        error = std::string("the install directory: ") + std::strerror(errno);
        return CFd();
    }
    for (std::size_t i = 0; i + 1 < parts.size(); ++i)
    {
        const char* part = parts[i].c_str();
        int next = ::openat(current.Get(), part, kDirectoryFlags);
        if (next < 0 && errno == ENOENT && create)
        {
            // Another writer may create it at the same moment; its folder is
            // as good as ours, and it is checked like any other below.
            if (::mkdirat(current.Get(), part, 0777) == 0 || errno == EEXIST)
                next = ::openat(current.Get(), part, kDirectoryFlags);
        }
        if (next < 0)
        {
            error = Refusal(current.Get(), parts[i], Joined(parts, i + 1));
            return CFd();
        }
        current.Reset(next);
    }
    return current;
}

// Whether `key` may name a partial download: hex digits only, so that it
// can never make a path of its own.
bool IsPartialKey(const std::string& key)
{
    return !key.empty() && key.size() <= 64 && key.find_first_not_of("0123456789abcdef") == std::string::npos;
}

std::string RandomHex()
{
    std::random_device random;
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (int i = 0; i < 4; ++i)
    {
        const unsigned int bits = random();
        for (int shift = 0; shift < 32; shift += 8)
        {
            text += kDigits[(bits >> (shift + 4)) & 0xF];
            text += kDigits[(bits >> shift) & 0xF];
        }
    }
    return text;
}

} // namespace

struct CInstallDir::CNative
{
    CFd root;
};

CInstallDir::CInstallDir() = default;
CInstallDir::~CInstallDir() = default;
CInstallDir::CInstallDir(CInstallDir&&) noexcept = default;
CInstallDir& CInstallDir::operator=(CInstallDir&&) noexcept = default;

bool CInstallDir::Open(const std::string& directory, std::string& error)
{
    CFd root(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!root.Valid())
    {
        error = "cannot open the install directory " + directory + ": " + std::strerror(errno);
        return false;
    }
    m_native = std::make_unique<CNative>();
    m_native->root = std::move(root);
    return true;
}

bool CInstallDir::IsOpen() const
{
    return m_native != nullptr;
}

bool CInstallDir::CreateParents(const std::string& name, std::string& error) const
{
    std::vector<std::string> parts;
    if (!IsOpen())
    {
        error = "the install directory is not open";
        return false;
    }
    return Split(name, parts, error) && OpenParent(m_native->root.Get(), parts, true, error).Valid();
}

std::FILE* CInstallDir::CreateTemp(const std::string& name, std::string& temp, std::string& error) const
{
    std::vector<std::string> parts;
    if (!IsOpen())
    {
        error = "the install directory is not open";
        return nullptr;
    }
    if (!Split(name, parts, error))
        return nullptr;
    const CFd parent = OpenParent(m_native->root.Get(), parts, false, error);
    if (!parent.Valid())
        return nullptr;
    // A name already taken is never opened; a fresh one is drawn instead.
    for (int attempt = 0; attempt < 16; ++attempt)
    {
        const std::string file = ".vesk-" + RandomHex() + ".part";
        CFd fd(::openat(parent.Get(), file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
        if (!fd.Valid())
        {
            if (errno == EEXIST)
                continue;
            error = "cannot create a file beside " + name + ": " + std::strerror(errno);
            return nullptr;
        }
        std::FILE* stream = ::fdopen(fd.Get(), "wb");
        if (stream == nullptr)
        {
            error = std::string("cannot write a new file: ") + std::strerror(errno);
            ::unlinkat(parent.Get(), file.c_str(), 0);
            return nullptr;
        }
        fd.Release();
        parts.back() = file;
        temp = Joined(parts, parts.size());
        return stream;
    }
    error = "cannot find a free name for a new file beside " + name;
    return nullptr;
}

std::FILE* CInstallDir::OpenPartial(const std::string& name, const std::string& key, std::string& partial,
                                    long long& kept, std::string& error) const
{
    std::vector<std::string> parts;
    if (!IsOpen())
    {
        error = "the install directory is not open";
        return nullptr;
    }
    if (!Split(name, parts, error))
        return nullptr;
    if (!IsPartialKey(key))
    {
        error = "'" + key + "' cannot name a partial download";
        return nullptr;
    }
    const CFd parent = OpenParent(m_native->root.Get(), parts, false, error);
    if (!parent.Valid())
        return nullptr;
    const std::string file = ".vesk-" + key + ".partial";
    // O_NONBLOCK: a planted FIFO must not hang the writer; it is refused below.
    CFd fd(::openat(parent.Get(), file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666));
    if (!fd.Valid())
    {
        error = Refusal(parent.Get(), file, "the partial download of " + name);
        return nullptr;
    }
    // A file with another name elsewhere (a hard link) or of another user
    // would let this download write where it must not.
    struct stat status;
    if (::fstat(fd.Get(), &status) != 0 || !S_ISREG(status.st_mode) || status.st_nlink != 1 ||
        status.st_uid != ::geteuid())
    {
        error = "the partial download of " + name + " is not a plain file of this user's";
        return nullptr;
    }
    std::FILE* stream = ::fdopen(fd.Get(), "r+b");
    if (stream == nullptr)
    {
        error = std::string("cannot write a partial download: ") + std::strerror(errno);
        return nullptr;
    }
    fd.Release();
    kept = static_cast<long long>(status.st_size);
    parts.back() = file;
    partial = Joined(parts, parts.size());
    return stream;
}

void CInstallDir::Remove(const std::string& name) const
{
    std::vector<std::string> parts;
    std::string ignored;
    if (!IsOpen() || !SplitInstallName(name.c_str(), parts))
        return;
    const CFd parent = OpenParent(m_native->root.Get(), parts, false, ignored);
    if (parent.Valid())
        ::unlinkat(parent.Get(), parts.back().c_str(), 0);
}

std::FILE* CInstallDir::OpenRead(const std::string& name, std::string& error) const
{
    std::vector<std::string> parts;
    if (!IsOpen())
    {
        error = "the install directory is not open";
        return nullptr;
    }
    if (!Split(name, parts, error))
        return nullptr;
    const CFd parent = OpenParent(m_native->root.Get(), parts, false, error);
    if (!parent.Valid())
        return nullptr;
    // O_NONBLOCK: a planted FIFO must not hang the reader; it is refused below.
    CFd fd(::openat(parent.Get(), parts.back().c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd.Valid())
    {
        error = Refusal(parent.Get(), parts.back(), name);
        return nullptr;
    }
    struct stat status;
    if (::fstat(fd.Get(), &status) != 0 || !S_ISREG(status.st_mode))
    {
        error = name + " is not a regular file";
        return nullptr;
    }
    std::FILE* stream = ::fdopen(fd.Get(), "rb");
    if (stream == nullptr)
    {
        error = name + ": " + std::strerror(errno);
        return nullptr;
    }
    fd.Release();
    return stream;
}

bool CInstallDir::FreeBytes(unsigned long long& bytes, std::string& error) const
{
    struct statvfs status;
    if (!IsOpen() || ::fstatvfs(m_native->root.Get(), &status) != 0)
    {
        error = std::string("cannot learn the free space of the install directory: ") + std::strerror(errno);
        return false;
    }
    bytes = static_cast<unsigned long long>(status.f_bavail) * static_cast<unsigned long long>(status.f_frsize);
    return true;
}

namespace
{

CInstallDir::EKind KindOf(const struct stat& status)
{
    if (S_ISREG(status.st_mode))
        return CInstallDir::EKind::File;
    if (S_ISDIR(status.st_mode))
        return CInstallDir::EKind::Folder;
    return CInstallDir::EKind::Other;
}

// Opens the folder `name` itself (the root when `name` is empty), never
// through a link.
CFd OpenFolder(int root, const std::string& name, std::string& error)
{
    if (name.empty())
    {
        CFd copy(::fcntl(root, F_DUPFD_CLOEXEC, 0));
        if (!copy.Valid())
            error = std::string("the install directory: ") + std::strerror(errno);
        return copy;
    }
    std::vector<std::string> parts;
    if (!Split(name, parts, error))
        return CFd();
    const CFd parent = OpenParent(root, parts, false, error);
    if (!parent.Valid())
        return CFd();
    CFd folder(::openat(parent.Get(), parts.back().c_str(), kDirectoryFlags));
    if (!folder.Valid())
        error = Refusal(parent.Get(), parts.back(), name);
    return folder;
}

} // namespace

bool CInstallDir::Lookup(const std::string& name, EKind& kind, std::string& error) const
{
    std::vector<std::string> parts;
    if (!IsOpen())
    {
        error = "the install directory is not open";
        return false;
    }
    if (!Split(name, parts, error))
        return false;
    kind = EKind::Missing;
    const CFd parent = OpenParent(m_native->root.Get(), parts, false, error);
    // A folder on the way that is missing, or is a file, means no such name;
    // a link there is refused.
    if (!parent.Valid())
        return errno == ENOENT || errno == ENOTDIR;
    struct stat status;
    if (::fstatat(parent.Get(), parts.back().c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
    {
        if (errno == ENOENT)
            return true;
        error = name + ": " + std::strerror(errno);
        return false;
    }
    kind = KindOf(status);
    return true;
}

bool CInstallDir::Rename(const std::string& from, const std::string& to, std::string& error) const
{
    std::vector<std::string> source;
    std::vector<std::string> target;
    if (!IsOpen())
    {
        error = "the install directory is not open";
        return false;
    }
    if (!Split(from, source, error) || !Split(to, target, error))
        return false;
    const CFd sourceFolder = OpenParent(m_native->root.Get(), source, false, error);
    if (!sourceFolder.Valid())
        return false;
    const CFd targetFolder = OpenParent(m_native->root.Get(), target, false, error);
    if (!targetFolder.Valid())
        return false;
    // Only a regular file moves: a link planted at `from` stays where it is.
    struct stat status;
    if (::fstatat(sourceFolder.Get(), source.back().c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
    {
        error = "cannot move " + from + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISREG(status.st_mode))
    {
        error = from + " is not a regular file; it is not moved";
        return false;
    }
    if (::renameat(sourceFolder.Get(), source.back().c_str(), targetFolder.Get(), target.back().c_str()) != 0)
    {
        error = "cannot move " + from + " to " + to + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool CInstallDir::CreateFolder(const std::string& name, std::string& error) const
{
    return CreateParents(name + "/x", error);
}

bool CInstallDir::RemoveFolder(const std::string& name) const
{
    std::vector<std::string> parts;
    std::string ignored;
    if (!IsOpen() || !SplitInstallName(name.c_str(), parts))
        return false;
    const CFd parent = OpenParent(m_native->root.Get(), parts, false, ignored);
    return parent.Valid() && ::unlinkat(parent.Get(), parts.back().c_str(), AT_REMOVEDIR) == 0;
}

bool CInstallDir::List(const std::string& name, std::vector<std::pair<std::string, EKind>>& entries,
                       std::string& error) const
{
    entries.clear();
    if (!IsOpen())
    {
        error = "the install directory is not open";
        return false;
    }
    CFd folder = OpenFolder(m_native->root.Get(), name, error);
    if (!folder.Valid())
        return false;
    DIR* listing = ::fdopendir(folder.Get());
    if (listing == nullptr)
    {
        error = name + ": " + std::strerror(errno);
        return false;
    }
    const int fd = folder.Release();
    bool ok = true;
    while (const struct dirent* entry = ::readdir(listing))
    {
        const std::string child = entry->d_name;
        if (child == "." || child == "..")
            continue;
        struct stat status;
        if (::fstatat(fd, child.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
        {
            if (errno == ENOENT)
                continue; // gone meanwhile
            error = name;
            error += "/" + child + ": " + std::strerror(errno);
            ok = false;
            break;
        }
        entries.emplace_back(child, KindOf(status));
    }
    ::closedir(listing);
    return ok;
}

bool CInstallDir::SyncFile(const std::string& name, std::string& error) const
{
    std::vector<std::string> parts;
    if (!IsOpen())
    {
        error = "the install directory is not open";
        return false;
    }
    if (!Split(name, parts, error))
        return false;
    const CFd parent = OpenParent(m_native->root.Get(), parts, false, error);
    if (!parent.Valid())
        return false;
    const CFd fd(::openat(parent.Get(), parts.back().c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd.Valid() || ::fsync(fd.Get()) != 0)
    {
        error = "cannot make " + name + " durable: " + std::strerror(errno);
        return false;
    }
    return true;
}

bool CInstallDir::SyncFolder(const std::string& name, std::string& error) const
{
    if (!IsOpen())
    {
        error = "the install directory is not open";
        return false;
    }
    const CFd folder = OpenFolder(m_native->root.Get(), name, error);
    if (!folder.Valid())
        return false;
    if (::fsync(folder.Get()) != 0)
    {
        error = "cannot make the folder " + (name.empty() ? std::string(".") : name) +
                " durable: " + std::strerror(errno);
        return false;
    }
    return true;
}

bool CInstallDir::SyncFiles(const std::vector<std::string>& names, std::string& error) const
{
    if (!IsOpen())
    {
        error = "the install directory is not open";
        return false;
    }
#if defined(__linux__)
    if (names.size() > 1)
    {
        if (::syncfs(m_native->root.Get()) == 0)
            return true;
        error = std::string("cannot make the new files durable: ") + std::strerror(errno);
        return false;
    }
#endif
    for (const std::string& name : names)
    {
        if (!SyncFile(name, error))
            return false;
    }
    return true;
}
