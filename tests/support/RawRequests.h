// What the platforms' raw test servers share: the request head's target, the
// log of targets, and the call of the handler. Internal to the support library.
#ifndef VESKUPDATE_TESTS_SUPPORT_RAWREQUESTS_H
#define VESKUPDATE_TESTS_SUPPORT_RAWREQUESTS_H

#include "support/CRawHttpServer.h"

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

namespace testsupport
{

class CRawRequests
{
public:
    /// The longest request head read before the handler is called anyway.
    static constexpr std::size_t kMaxHead = 64 * 1024;

    explicit CRawRequests(CRawHttpServer::Handler handler);

    /// Logs the target of the request head's first line (empty when there is
    /// none) and hands the connection to the handler; a handler's failure
    /// ends its connection, not the server.
    void Serve(CRawConnection& connection, const std::string& head);

    std::vector<std::string> Targets() const;

private:
    CRawHttpServer::Handler m_handler;
    mutable std::mutex m_lock;
    std::vector<std::string> m_targets;
};

} // namespace testsupport

#endif // VESKUPDATE_TESTS_SUPPORT_RAWREQUESTS_H
