// The platform-neutral parts of the raw test server.
#include "support/CRawHttpServer.h"

#include "support/RawRequests.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>

namespace testsupport
{

bool CRawConnection::Drip(const std::string& bytes, int pieces, int milliseconds)
{
    pieces = std::max(pieces, 1);
    const std::size_t size = (bytes.size() + static_cast<std::size_t>(pieces) - 1) / static_cast<std::size_t>(pieces);
    const auto pause = std::chrono::microseconds(milliseconds * 1000 / pieces);
    for (std::size_t offset = 0; offset < bytes.size(); offset += size)
    {
        if (offset > 0)
            std::this_thread::sleep_for(pause);
        if (!Send(bytes.substr(offset, size)))
            return false;
    }
    return true;
}

std::string CRawHttpServer::Url(const std::string& path) const
{
    return "http://127.0.0.1:" + std::to_string(Port()) + path;
}

CRawRequests::CRawRequests(CRawHttpServer::Handler handler) : m_handler(std::move(handler)) {}

void CRawRequests::Serve(CRawConnection& connection, const std::string& head)
{
    const std::size_t start = head.find(' ');
    const std::size_t end = start == std::string::npos ? start : head.find(' ', start + 1);
    const std::string target = end == std::string::npos ? std::string() : head.substr(start + 1, end - start - 1);
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_targets.push_back(target);
    }
    try
    {
        m_handler(connection, target);
    }
    catch (...)
    {
        // A handler's failure ends its connection, not the server.
    }
}

std::vector<std::string> CRawRequests::Targets() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_targets;
}

} // namespace testsupport
