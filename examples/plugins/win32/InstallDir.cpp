// The install directory on Windows. Windows has no openat, so every folder on
// the way to a file is opened in turn, as itself (a reparse point is opened,
// not resolved) and checked to be a plain folder, and it stays open, without
// sharing the right to delete, until the operation ends: while it is held no
// one can rename it or swap it for a link, so the full path built from the
// checked folders names what was checked.
#include "CInstallDir.h"

#include "PluginFiles.h"

#include <fcntl.h>
#include <io.h>

#ifndef WIN32_LEAN_AND_MEAN
#  define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <bcrypt.h>

#include <filesystem>
#include <vector>

namespace
{

// A handle, closed on every way out.
class CHandle
{
public:
    CHandle() = default;
    explicit CHandle(HANDLE handle) : m_handle(handle) {}
    ~CHandle()
    {
        if (Valid())
            ::CloseHandle(m_handle);
    }
    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;
    CHandle(CHandle&& other) noexcept : m_handle(other.Release()) {}
    CHandle& operator=(CHandle&& other) noexcept
    {
        if (this != &other)
        {
            if (Valid())
                ::CloseHandle(m_handle);
            m_handle = other.Release();
        }
        return *this;
    }

    HANDLE Get() const { return m_handle; }
    bool Valid() const { return m_handle != INVALID_HANDLE_VALUE && m_handle != nullptr; }
    HANDLE Release()
    {
        HANDLE handle = m_handle;
        m_handle = INVALID_HANDLE_VALUE;
        return handle;
    }

private:
    HANDLE m_handle = INVALID_HANDLE_VALUE;
};

// Shared with everyone but the right to delete, which renaming needs too.
const DWORD kShareButDelete = FILE_SHARE_READ | FILE_SHARE_WRITE;

std::string ErrorText(DWORD error)
{
    char text[256] = "";
    const DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                          text, sizeof text, nullptr);
    std::string message(text, length);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
        message.pop_back();
    return message.empty() ? "system error " + std::to_string(error) : message;
}

std::string Joined(const std::vector<std::string>& parts, std::size_t count)
{
    std::string text;
    for (std::size_t i = 0; i < count; ++i)
        text += (i == 0 ? "" : "/") + parts[i];
    return text;
}

bool Split(const std::string& name, std::vector<std::string>& parts, std::string& error)
{
    if (SplitInstallName(name.c_str(), parts))
        return true;
    error = "'" + name + "' is not a file name inside the install directory";
    return false;
}

// The text of a component as Windows names it, converted the way the
// standard library converts narrow paths.
std::wstring Wide(const std::string& part)
{
    return std::filesystem::path(part).wstring();
}

// Opens `path` as itself, even when it is a reparse point, and says what it is.
CHandle OpenAsItself(const std::wstring& path, DWORD access, DWORD share, DWORD flags, BY_HANDLE_FILE_INFORMATION& info)
{
    CHandle handle(::CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                                 flags | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (handle.Valid() && !::GetFileInformationByHandle(handle.Get(), &info))
        return CHandle();
    return handle;
}

// The path of what `handle` is open on, as the file system names it: links
// resolved, the file system's own letter case, without a trailing '\'. Empty
// when it cannot be asked.
std::wstring FinalPath(HANDLE handle)
{
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;)
    {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD length = ::GetFinalPathNameByHandleW(handle, buffer.data(), size, FILE_NAME_NORMALIZED);
        if (length == 0 || length > 32768)
            return std::wstring();
        if (length < size)
        {
            std::wstring path(buffer.data(), length);
            if (!path.empty() && path.back() == L'\\')
                path.pop_back();
            return path;
        }
        buffer.resize(length + 1); // the answer is the size needed
    }
}

// The install directory: the path it was opened by, and the path the file
// system gives the folder (empty when it gives none).
struct CRoot
{
    std::wstring path;
    std::wstring final;
};

// Whether `handle`, opened on the entry `part` of the folder whose final path
// is `parent`, is open on that entry itself. Windows opens a reparse point as
// itself and flags it, but wine opens what a Unix symbolic link points to and
// flags only links to folders, and only in what it says of the path: there
// the handle's final path is the link's target, not the entry. Without the
// parent's final path only the attributes can tell.
bool IsEntryItself(HANDLE handle, const std::wstring& parent, const std::wstring& part)
{
    if (parent.empty())
        return true;
    const std::wstring expected = parent + L"\\" + part;
    const std::wstring found = FinalPath(handle);
    return !found.empty() && ::CompareStringOrdinal(found.c_str(), static_cast<int>(found.size()), expected.c_str(),
                                                    static_cast<int>(expected.size()), TRUE) == CSTR_EQUAL;
}

// The folders on the way to a file, held open for one operation, and the full
// path of the last of them, as it was opened and as the file system names it.
struct CWalk
{
    std::vector<CHandle> held;
    std::wstring folder;
    std::wstring final;
};

// Walks from the root to the folder of the last of `parts`, creating the
// missing folders when `create` is set.
bool WalkToParent(const CRoot& root, const std::vector<std::string>& parts, bool create, CWalk& walk,
                  std::string& error)
{
    walk.folder = root.path;
    walk.final = root.final;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i)
    {
        const std::wstring path = walk.folder + L"\\" + Wide(parts[i]);
        if (create && !::CreateDirectoryW(path.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS)
        {
            error = "cannot create " + Joined(parts, i + 1) + ": " + ErrorText(::GetLastError());
            return false;
        }
        BY_HANDLE_FILE_INFORMATION info;
        CHandle folder = OpenAsItself(path, FILE_READ_ATTRIBUTES, kShareButDelete, FILE_FLAG_BACKUP_SEMANTICS, info);
        if (!folder.Valid())
        {
            error = Joined(parts, i + 1) + ": " + ErrorText(::GetLastError());
            return false;
        }
        // The handle tells of a reparse point on Windows, the path of a
        // link to a folder under wine, the final path of any link there.
        const DWORD attributes = ::GetFileAttributesW(path.c_str());
        if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
            (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) ||
            !IsEntryItself(folder.Get(), walk.final, Wide(parts[i])))
        {
            error = Joined(parts, i + 1) + " is a link inside the install directory; it is not followed";
            return false;
        }
        if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        {
            error = Joined(parts, i + 1) + " is not a folder";
            return false;
        }
        walk.held.push_back(std::move(folder));
        walk.folder = path;
        if (!walk.final.empty())
            walk.final += L"\\" + Wide(parts[i]);
    }
    return true;
}

// Whether `key` may name a partial download: hex digits only, so that it
// can never make a path of its own.
bool IsPartialKey(const std::string& key)
{
    return !key.empty() && key.size() <= 64 && key.find_first_not_of("0123456789abcdef") == std::string::npos;
}

std::string RandomHex()
{
    unsigned char bytes[16] = {};
    if (::BCryptGenRandom(nullptr, bytes, sizeof bytes, BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0)
    {
        // Without the system's generator the name is still unique enough to
        // try; CREATE_NEW keeps it exclusive either way.
        const ULONGLONG ticks = ::GetTickCount64() ^ (static_cast<ULONGLONG>(::GetCurrentThreadId()) << 32);
        for (std::size_t i = 0; i < sizeof bytes; ++i)
            bytes[i] = static_cast<unsigned char>(ticks >> (8 * (i % 8)));
    }
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (const unsigned char byte : bytes)
    {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0xF];
    }
    return text;
}

// A stream over `handle`, which it then owns; null (and the handle closed)
// when the runtime cannot take it.
std::FILE* StreamOf(CHandle& handle, int flags, const char* mode)
{
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle.Get()), flags | _O_BINARY);
    if (fd < 0)
        return nullptr;
    handle.Release();
    std::FILE* stream = ::_fdopen(fd, mode);
    if (stream == nullptr)
        ::_close(fd);
    return stream;
}

} // namespace

struct CInstallDir::CNative
{
    CRoot root;
    CHandle held; // the root itself, so it is not renamed while in use
};

CInstallDir::CInstallDir() = default;
CInstallDir::~CInstallDir() = default;
CInstallDir::CInstallDir(CInstallDir&&) noexcept = default;
CInstallDir& CInstallDir::operator=(CInstallDir&&) noexcept = default;

bool CInstallDir::Open(const std::string& directory, std::string& error)
{
    std::error_code failure;
    std::wstring root = std::filesystem::absolute(std::filesystem::path(directory), failure).wstring();
    while (root.size() > 3 && (root.back() == L'\\' || root.back() == L'/'))
        root.pop_back();
    // The root may be reached through a link: that is the host's choice.
    CHandle held(::CreateFileW(root.c_str(), FILE_READ_ATTRIBUTES, kShareButDelete, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (failure || !held.Valid() || !::GetFileInformationByHandle(held.Get(), &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
    {
        error = "cannot open the install directory " + directory +
                (failure        ? ": " + failure.message()
                 : held.Valid() ? ": not a folder"
                                : ": " + ErrorText(::GetLastError()));
        return false;
    }
    m_native = std::make_unique<CNative>();
    m_native->root.final = FinalPath(held.Get());
    m_native->root.path = std::move(root);
    m_native->held = std::move(held);
    return true;
}

bool CInstallDir::IsOpen() const
{
    return m_native != nullptr;
}

bool CInstallDir::CreateParents(const std::string& name, std::string& error) const
{
    std::vector<std::string> parts;
    CWalk walk;
    if (!IsOpen())
    {
        error = "the install directory is not open";
        return false;
    }
    return Split(name, parts, error) && WalkToParent(m_native->root, parts, true, walk, error);
}

std::FILE* CInstallDir::CreateTemp(const std::string& name, std::string& temp, std::string& error) const
{
    std::vector<std::string> parts;
    CWalk walk;
    if (!IsOpen())
    {
        error = "the install directory is not open";
        return nullptr;
    }
    if (!Split(name, parts, error) || !WalkToParent(m_native->root, parts, false, walk, error))
        return nullptr;
    for (int attempt = 0; attempt < 16; ++attempt)
    {
        const std::string file = ".vesk-" + RandomHex() + ".part";
        const std::wstring path = walk.folder + L"\\" + Wide(file);
        // CREATE_NEW opens nothing that exists, a planted link included.
        CHandle handle(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!handle.Valid())
        {
            const DWORD failure = ::GetLastError();
            if (failure == ERROR_FILE_EXISTS || failure == ERROR_ALREADY_EXISTS)
                continue;
            error = "cannot create a file beside " + name + ": " + ErrorText(failure);
            return nullptr;
        }
        std::FILE* stream = StreamOf(handle, _O_WRONLY, "wb");
        if (stream == nullptr)
        {
            error = "cannot write a new file beside " + name;
            handle = CHandle();
            ::DeleteFileW(path.c_str());
            return nullptr;
        }
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
    CWalk walk;
    if (!IsOpen())
    {
        error = "the install directory is not open";
        return nullptr;
    }
    if (!Split(name, parts, error) || !WalkToParent(m_native->root, parts, false, walk, error))
        return nullptr;
    if (!IsPartialKey(key))
    {
        error = "'" + key + "' cannot name a partial download";
        return nullptr;
    }
    const std::string file = ".vesk-" + key + ".partial";
    const std::wstring path = walk.folder + L"\\" + Wide(file);
    // FILE_FLAG_OPEN_REPARSE_POINT opens a planted link as itself, and it is
    // refused below. A missing file is made with CREATE_NEW, never by opening
    // whatever is there: wine would create the target of a dangling Unix
    // link, outside the directory.
    const auto open = [&path](DWORD disposition) {
        return CHandle(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, disposition,
                                     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    };
    CHandle handle = open(OPEN_EXISTING);
    if (!handle.Valid() && ::GetLastError() == ERROR_FILE_NOT_FOUND)
        handle = open(CREATE_NEW);
    BY_HANDLE_FILE_INFORMATION info;
    if (!handle.Valid() || !::GetFileInformationByHandle(handle.Get(), &info))
    {
        error = "the partial download of " + name + ": " + ErrorText(::GetLastError());
        return nullptr;
    }
    if ((info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0 ||
        info.nNumberOfLinks != 1 || !IsEntryItself(handle.Get(), walk.final, Wide(file)))
    {
        error = "the partial download of " + name + " is not a plain file";
        return nullptr;
    }
    std::FILE* stream = StreamOf(handle, _O_RDWR, "r+b");
    if (stream == nullptr)
    {
        error = "cannot write a partial download of " + name;
        return nullptr;
    }
    kept = static_cast<long long>((static_cast<ULONGLONG>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
    parts.back() = file;
    partial = Joined(parts, parts.size());
    return stream;
}

void CInstallDir::Remove(const std::string& name) const
{
    std::vector<std::string> parts;
    CWalk walk;
    std::string ignored;
    if (IsOpen() && SplitInstallName(name.c_str(), parts) && WalkToParent(m_native->root, parts, false, walk, ignored))
        ::DeleteFileW((walk.folder + L"\\" + Wide(parts.back())).c_str());
}

std::FILE* CInstallDir::OpenRead(const std::string& name, std::string& error) const
{
    std::vector<std::string> parts;
    CWalk walk;
    if (!IsOpen())
    {
        error = "the install directory is not open";
        return nullptr;
    }
    if (!Split(name, parts, error) || !WalkToParent(m_native->root, parts, false, walk, error))
        return nullptr;
    BY_HANDLE_FILE_INFORMATION info;
    CHandle handle = OpenAsItself(walk.folder + L"\\" + Wide(parts.back()), GENERIC_READ, FILE_SHARE_READ,
                                  FILE_FLAG_SEQUENTIAL_SCAN, info);
    if (!handle.Valid())
    {
        error = name + ": " + ErrorText(::GetLastError());
        return nullptr;
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
        !IsEntryItself(handle.Get(), walk.final, Wide(parts.back())))
    {
        error = name + " is a link inside the install directory; it is not followed";
        return nullptr;
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    {
        error = name + " is not a regular file";
        return nullptr;
    }
    std::FILE* stream = StreamOf(handle, _O_RDONLY, "rb");
    if (stream == nullptr)
        error = "cannot read " + name;
    return stream;
}

bool CInstallDir::FreeBytes(unsigned long long& bytes, std::string& error) const
{
    ULARGE_INTEGER available;
    if (!IsOpen() || !::GetDiskFreeSpaceExW((m_native->root.path + L"\\").c_str(), &available, nullptr, nullptr))
    {
        error = "cannot learn the free space of the install directory: " + ErrorText(::GetLastError());
        return false;
    }
    bytes = available.QuadPart;
    return true;
}

namespace
{

CInstallDir::EKind KindOfAttributes(DWORD attributes)
{
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return CInstallDir::EKind::Other;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return CInstallDir::EKind::Folder;
    if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0)
        return CInstallDir::EKind::Other;
    return CInstallDir::EKind::File;
}

// Walks to the folder `name` itself (the root when it is empty).
bool WalkToFolder(const CRoot& root, const std::string& name, CWalk& walk, std::string& error)
{
    std::vector<std::string> parts;
    if (name.empty())
    {
        walk.folder = root.path;
        walk.final = root.final;
        return true;
    }
    if (!Split(name, parts, error))
        return false;
    parts.emplace_back("x");
    return WalkToParent(root, parts, false, walk, error);
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
    // GetFileAttributesW tells of a reparse point itself, never of its target.
    kind = EKind::Missing;
    std::wstring path = m_native->root.path;
    for (std::size_t i = 0; i < parts.size(); ++i)
    {
        path += L"\\" + Wide(parts[i]);
        const DWORD attributes = ::GetFileAttributesW(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES)
        {
            const DWORD failure = ::GetLastError();
            if (failure == ERROR_FILE_NOT_FOUND || failure == ERROR_PATH_NOT_FOUND)
                return true;
            error = Joined(parts, i + 1) + ": " + ErrorText(failure);
            return false;
        }
        const EKind found = KindOfAttributes(attributes);
        if (i + 1 == parts.size())
        {
            kind = found;
            return true;
        }
        if (found == EKind::Other)
        {
            error = Joined(parts, i + 1) + " is a link inside the install directory; it is not followed";
            return false;
        }
        if (found != EKind::Folder)
            return true; // a file on the way: no such name
    }
    return true;
}

bool CInstallDir::Rename(const std::string& from, const std::string& to, std::string& error) const
{
    std::vector<std::string> source;
    std::vector<std::string> target;
    CWalk sourceWalk;
    CWalk targetWalk;
    if (!IsOpen())
    {
        error = "the install directory is not open";
        return false;
    }
    if (!Split(from, source, error) || !Split(to, target, error) ||
        !WalkToParent(m_native->root, source, false, sourceWalk, error) ||
        !WalkToParent(m_native->root, target, false, targetWalk, error))
        return false;
    const std::wstring sourcePath = sourceWalk.folder + L"\\" + Wide(source.back());
    const std::wstring targetPath = targetWalk.folder + L"\\" + Wide(target.back());
    // Only a regular file moves; were it swapped for a link meanwhile, the
    // move would take the link itself, never what it points to.
    const DWORD attributes = ::GetFileAttributesW(sourcePath.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
    {
        error = "cannot move " + from + ": " + ErrorText(::GetLastError());
        return false;
    }
    if (KindOfAttributes(attributes) != EKind::File)
    {
        error = from + " is not a regular file; it is not moved";
        return false;
    }
    if (!::MoveFileExW(sourcePath.c_str(), targetPath.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    {
        error = "cannot move " + from + " to " + to + ": " + ErrorText(::GetLastError());
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
    CWalk walk;
    std::string ignored;
    if (!IsOpen() || !SplitInstallName(name.c_str(), parts) ||
        !WalkToParent(m_native->root, parts, false, walk, ignored))
        return false;
    const std::wstring path = walk.folder + L"\\" + Wide(parts.back());
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && KindOfAttributes(attributes) == EKind::Folder &&
           ::RemoveDirectoryW(path.c_str());
}

bool CInstallDir::List(const std::string& name, std::vector<std::pair<std::string, EKind>>& entries,
                       std::string& error) const
{
    entries.clear();
    CWalk walk;
    if (!IsOpen())
    {
        error = "the install directory is not open";
        return false;
    }
    if (!WalkToFolder(m_native->root, name, walk, error))
        return false;
    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileExW((walk.folder + L"\\*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                       nullptr, 0);
    if (search == INVALID_HANDLE_VALUE)
    {
        const DWORD failure = ::GetLastError();
        if (failure == ERROR_FILE_NOT_FOUND)
            return true;
        error = name + ": " + ErrorText(failure);
        return false;
    }
    bool ok = true;
    do
    {
        const std::wstring child = found.cFileName;
        if (child == L"." || child == L"..")
            continue;
        try
        {
            entries.emplace_back(std::filesystem::path(child).string(), KindOfAttributes(found.dwFileAttributes));
        }
        catch (const std::exception&)
        {
            error = name + " holds a name that cannot be converted";
            ok = false;
            break;
        }
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return ok;
}

bool CInstallDir::SyncFile(const std::string& name, std::string& error) const
{
    std::vector<std::string> parts;
    CWalk walk;
    if (!IsOpen())
    {
        error = "the install directory is not open";
        return false;
    }
    if (!Split(name, parts, error) || !WalkToParent(m_native->root, parts, false, walk, error))
        return false;
    BY_HANDLE_FILE_INFORMATION info;
    const CHandle handle = OpenAsItself(walk.folder + L"\\" + Wide(parts.back()), GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_ATTRIBUTE_NORMAL, info);
    if (!handle.Valid() || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
        !::FlushFileBuffers(handle.Get()))
    {
        error = "cannot make " + name + " durable: " + ErrorText(::GetLastError());
        return false;
    }
    return true;
}

bool CInstallDir::SyncFolder(const std::string& name, std::string& error) const
{
    CWalk walk;
    if (!IsOpen())
    {
        error = "the install directory is not open";
        return false;
    }
    // NTFS journals its folders itself; the folder is only checked to be one.
    return WalkToFolder(m_native->root, name, walk, error);
}

bool CInstallDir::SyncFiles(const std::vector<std::string>& names, std::string& error) const
{
    for (const std::string& name : names)
    {
        if (!SyncFile(name, error))
            return false;
    }
    return true;
}
