#include "FileAccess.h"

#include <limits>

namespace veskdelta
{
namespace
{

bool SeekTo(std::FILE* file, std::uint64_t offset, int whence)
{
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
        return false;
#ifdef _WIN32
    return _fseeki64(file, static_cast<__int64>(offset), whence) == 0;
#else
    return fseeko(file, static_cast<off_t>(offset), whence) == 0;
#endif
}

} // namespace

FilePtr OpenFile(const std::filesystem::path& path, const char* mode)
{
#ifdef _WIN32
    std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
    return FilePtr(_wfopen(path.c_str(), wideMode.c_str()));
#else
    return FilePtr(std::fopen(path.c_str(), mode));
#endif
}

bool FileLength(std::FILE* file, std::uint64_t& length)
{
    if (!SeekTo(file, 0, SEEK_END))
        return false;
#ifdef _WIN32
    const __int64 end = _ftelli64(file);
#else
    const off_t end = ftello(file);
#endif
    if (end < 0)
        return false;
    length = static_cast<std::uint64_t>(end);
    return true;
}

bool ReadAt(std::FILE* file, std::uint64_t offset, void* buffer, std::size_t count)
{
    if (!SeekTo(file, offset, SEEK_SET))
        return false;
    return std::fread(buffer, 1, count, file) == count;
}

bool ReadWholeFile(const std::filesystem::path& path, std::string& bytes, std::string& error)
{
    FilePtr file = OpenFile(path, "rb");
    std::uint64_t length = 0;
    if (!file || !FileLength(file.get(), length))
    {
        error = "cannot read " + path.string();
        return false;
    }
    if (length > std::numeric_limits<std::size_t>::max() / 2)
    {
        error = path.string() + " is too large";
        return false;
    }
    bytes.resize(static_cast<std::size_t>(length));
    if (length > 0 && !ReadAt(file.get(), 0, bytes.data(), bytes.size()))
    {
        error = "cannot read " + path.string();
        return false;
    }
    return true;
}

} // namespace veskdelta
