// The platform-neutral parts of the raw test server.
#include "support/CRawHttpServer.h"

#include <algorithm>
#include <chrono>
#include <thread>

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

} // namespace testsupport
