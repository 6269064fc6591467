#include "publishing/FileDigest.h"

#include "publishing/FileDescriptor.h"

#include <openssl/evp.h>

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

namespace fs = std::filesystem;

namespace versionCenter
{
namespace
{

constexpr std::size_t kChunk = 1 << 16;

class CMd5
{
public:
    CMd5() : m_context(EVP_MD_CTX_new(), EVP_MD_CTX_free)
    {
        if (m_context)
            EVP_DigestInit_ex(m_context.get(), EVP_md5(), nullptr);
    }

    void Update(const char* data, std::size_t size) { EVP_DigestUpdate(m_context.get(), data, size); }

    std::string Hex()
    {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int size = 0;
        EVP_DigestFinal_ex(m_context.get(), digest, &size);
        static const char kHex[] = "0123456789abcdef";
        std::string text;
        for (unsigned int i = 0; i < size; ++i)
        {
            text += kHex[digest[i] >> 4];
            text += kHex[digest[i] & 0x0f];
        }
        return text;
    }

private:
    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> m_context;
};

std::string Reason(const std::string& what, const fs::path& path)
{
    return what + " " + path.string() + ": " + std::strerror(errno);
}

// Reads `fd` to its end, giving each chunk to `use` (which returns false to
// stop). Returns false on a read error.
template <class TUse>
bool ReadAll(int fd, TUse use)
{
    std::vector<char> buffer(kChunk);
    for (;;)
    {
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got == 0)
            return true;
        if (got < 0)
        {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (!use(buffer.data(), static_cast<std::size_t>(got)))
            return false;
    }
}

bool WriteAll(int fd, const char* data, std::size_t size)
{
    while (size > 0)
    {
        const ssize_t put = ::write(fd, data, size);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        data += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

// The new file beside `target` that a replacement is written to first.
fs::path PartName(const fs::path& target)
{
    return target.parent_path() / ("." + target.filename().string() + ".part-" + std::to_string(::getpid()));
}

// Flushes and closes `file` (written at `part`) and renames it to `target`;
// removes `part` when anything fails.
bool Finish(CFileDescriptor& file, const fs::path& part, const fs::path& target, std::string& error)
{
    if (::fsync(file.Fd()) != 0 || !file.Close())
        error = Reason("cannot write", target);
    else if (::rename(part.c_str(), target.c_str()) != 0)
        error = Reason("cannot replace", target);
    else
        return true;
    ::unlink(part.c_str());
    return false;
}

} // namespace

bool DigestFile(const fs::path& path, CFileDigest& digest, std::string& error)
{
    CFileDescriptor file(path, O_RDONLY);
    if (file.Fd() < 0)
    {
        error = Reason("cannot open", path);
        return false;
    }
    CMd5 md5;
    std::int64_t length = 0;
    if (!ReadAll(file.Fd(), [&](const char* data, std::size_t size) {
            md5.Update(data, size);
            length += static_cast<std::int64_t>(size);
            return true;
        }))
    {
        error = Reason("cannot read", path);
        return false;
    }
    digest.length = length;
    digest.md5 = md5.Hex();
    return true;
}

bool CopyFileChecked(const fs::path& source, const fs::path& target, const CFileDigest& expected, std::string& error)
{
    CFileDescriptor in(source, O_RDONLY);
    if (in.Fd() < 0)
    {
        error = Reason("cannot open", source);
        return false;
    }
    const fs::path part = PartName(target);
    CFileDescriptor out(part, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out.Fd() < 0)
    {
        error = Reason("cannot create", part);
        return false;
    }
    CMd5 md5;
    std::int64_t length = 0;
    bool written = true;
    const bool read = ReadAll(in.Fd(), [&](const char* data, std::size_t size) {
        md5.Update(data, size);
        length += static_cast<std::int64_t>(size);
        written = WriteAll(out.Fd(), data, size);
        return written;
    });
    if (!read || !written)
        error = written ? Reason("cannot read", source) : Reason("cannot write", part);
    else if (length != expected.length || md5.Hex() != expected.md5)
        error = source.string() + " changed while it was published";
    else
        return Finish(out, part, target, error);
    ::unlink(part.c_str());
    return false;
}

bool WriteFileAtomically(const fs::path& target, const std::string& text, std::string& error)
{
    const fs::path part = PartName(target);
    CFileDescriptor out(part, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out.Fd() < 0)
    {
        error = Reason("cannot create", part);
        return false;
    }
    if (!WriteAll(out.Fd(), text.data(), text.size()))
    {
        error = Reason("cannot write", part);
        ::unlink(part.c_str());
        return false;
    }
    return Finish(out, part, target, error);
}

} // namespace versionCenter
