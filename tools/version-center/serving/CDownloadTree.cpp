#include "serving/CDownloadTree.h"

#include "publishing/FileDescriptor.h"

#include <httplib.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <system_error>

namespace fs = std::filesystem;

namespace versionCenter
{
namespace
{

void SetError(httplib::Response& response, int status, const char* message)
{
    response.status = status;
    response.set_content(std::string("{\"error\":\"") + message + "\"}", "application/json");
}

std::string RegexEscaped(const std::string& text)
{
    std::string escaped;
    for (const char c : text)
    {
        if (std::string("\\^$.|?*+()[]{}").find(c) != std::string::npos)
            escaped += '\\';
        escaped += c;
    }
    return escaped;
}

struct CSlice
{
    int status = 200;
    std::int64_t start = 0;
    std::int64_t length = 0;
};

// What to send of a file of `size` bytes for the request's ranges: all of it
// (no range, or several, which may be answered with the whole), one range
// (206), or nothing (416: the range lies outside the file).
CSlice Slice(const httplib::Ranges& ranges, std::int64_t size)
{
    CSlice slice{200, 0, size};
    if (ranges.size() != 1)
        return slice;
    const std::int64_t first = ranges.front().first;
    const std::int64_t last = ranges.front().second;
    std::int64_t start = 0;
    std::int64_t end = size - 1;
    if (first < 0)
        start = last > 0 ? std::max<std::int64_t>(0, size - last) : size; // the last `last` bytes
    else
    {
        start = first;
        if (last >= 0 && last < end)
            end = last;
    }
    if (size == 0 || start >= size || end < start)
        return CSlice{416, 0, 0};
    return CSlice{206, start, end - start + 1};
}

void SendFile(const fs::path& path, const httplib::Request& request, httplib::Response& response)
{
    // Open for the time the answer is sent.
    auto file = std::make_shared<CFileDescriptor>(path, O_RDONLY);
    struct stat info
    {
    };
    if (file->Fd() < 0 || ::fstat(file->Fd(), &info) != 0)
    {
        SetError(response, 404, "the file cannot be read");
        return;
    }
    const std::int64_t size = info.st_size;
    const CSlice slice = Slice(request.ranges, size);
    // cpp-httplib 0.11.4 would apply the ranges to the answer again, without
    // checking them against the length (a range past the end promises bytes
    // that do not exist); they are answered here, so take them off.
    const_cast<httplib::Request&>(request).ranges.clear();
    if (slice.status == 416)
    {
        response.set_header("Content-Range", "bytes */" + std::to_string(size));
        SetError(response, 416, "the range lies outside the file");
        return;
    }
    response.status = slice.status;
    if (!response.has_header("Accept-Ranges"))
        response.set_header("Accept-Ranges", "bytes");
    if (slice.status == 206)
        response.set_header("Content-Range", "bytes " + std::to_string(slice.start) + "-" +
                                                 std::to_string(slice.start + slice.length - 1) + "/" +
                                                 std::to_string(size));
    const std::int64_t start = slice.start;
    response.set_content_provider(static_cast<std::size_t>(slice.length), DownloadContentType(path.filename().string()),
                                  [file, start](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                                      char buffer[65536];
                                      const ssize_t got = ::pread(
                                          file->Fd(), buffer, std::min(length, sizeof buffer),
                                          static_cast<off_t>(start + static_cast<std::int64_t>(offset)));
                                      // A file cut short while it is sent ends the connection.
                                      return got > 0 && sink.write(buffer, static_cast<std::size_t>(got));
                                  });
}

} // namespace

const std::vector<CContentType>& DownloadContentTypes()
{
    static const std::vector<CContentType> types = {
        {".json", "application/json"}, {".txt", "text/plain"},      {".html", "text/html"},
        {".xml", "application/xml"},   {".zip", "application/zip"}, {".gz", "application/gzip"},
        {".tar", "application/x-tar"}, {".xz", "application/x-xz"}, {".7z", "application/x-7z-compressed"},
        {".msi", "application/x-msi"}, {".png", "image/png"},       {".svg", "image/svg+xml"},
    };
    return types;
}

const char* DownloadContentType(const std::string& name)
{
    for (const CContentType& type : DownloadContentTypes())
    {
        const std::string extension = type.extension;
        if (name.size() > extension.size() &&
            name.compare(name.size() - extension.size(), extension.size(), extension) == 0)
            return type.type;
    }
    return "application/octet-stream";
}

CDownloadTree::CDownloadTree(const fs::path& root)
{
    std::error_code failure;
    m_root = fs::canonical(root, failure);
    if (failure)
        m_root = fs::absolute(root, failure).lexically_normal();
}

bool CDownloadTree::Resolve(const std::string& relative, fs::path& file) const
{
    if (relative.empty() || relative.find('\0') != std::string::npos)
        return false;
    const fs::path asked(relative);
    if (asked.is_absolute())
        return false;
    for (const fs::path& part : asked)
    {
        if (part == "..")
            return false;
    }
    std::error_code failure;
    // Links are followed, but only to a place inside the tree.
    const fs::path found = fs::canonical(m_root / asked, failure);
    if (failure || !fs::is_regular_file(found, failure))
        return false;
    const auto inside = std::mismatch(m_root.begin(), m_root.end(), found.begin(), found.end());
    if (inside.first != m_root.end())
        return false;
    file = found;
    return true;
}

void CDownloadTree::Serve(const std::string& relative, const httplib::Request& request,
                          httplib::Response& response) const
{
    fs::path file;
    if (!Resolve(relative, file))
    {
        SetError(response, 404, "no such file in the download tree");
        return;
    }
    SendFile(file, request, response);
}

std::string CDownloadTree::Route(const std::string& prefix)
{
    return RegexEscaped(prefix) + "(.*)";
}

void CDownloadTree::Mount(httplib::Server& server, const std::string& prefix) const
{
    server.Get(Route(prefix), [this](const httplib::Request& request, httplib::Response& response) {
        Serve(request.matches[1].str(), request, response);
    });
}

} // namespace versionCenter
