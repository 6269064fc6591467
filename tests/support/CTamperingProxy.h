// A hostile version center for tests: a loopback HTTP proxy in front of a
// real one (the reference center, serving its download tree too). Every GET
// is passed on as it came, and the answer goes back through a tamper
// function the test sets, which may change its status, body or type: what a
// man in the middle, a compromised mirror or a CDN could send.
//
//   CTamperingProxy proxy;                       // listening from here on
//   ... start the center with --download-url proxy.Url("/files/") ...
//   proxy.SetUpstream(centerPort);
//   proxy.SetTamper([](const std::string& target, CTamperingProxy::CAnswer& answer) {
//       if (target == "/Editor/versions/situation") answer.body = "...";
//   });
#ifndef VESKUPDATE_TESTS_SUPPORT_CTAMPERINGPROXY_H
#define VESKUPDATE_TESTS_SUPPORT_CTAMPERINGPROXY_H

#include "support/CTestHttpServer.h"

#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace testsupport
{

class CTamperingProxy
{
public:
    struct CAnswer
    {
        int status = 0;
        std::string body;
        std::string contentType;
    };
    /// Called for every answer before it is sent, on the proxy's thread,
    /// with the request's target (path and query, as sent).
    using Tamper = std::function<void(const std::string& target, CAnswer& answer)>;

    /// Binds to 127.0.0.1 and starts serving; until SetUpstream every
    /// request gets 502. Throws std::runtime_error when it cannot bind.
    CTamperingProxy();

    /// The real server, on 127.0.0.1.
    void SetUpstream(int port);
    /// Replaces the tamper function; an empty one passes answers unchanged.
    void SetTamper(Tamper tamper);

    std::string Url(const std::string& path = "/") const { return m_server.Url(path); }
    std::vector<std::string> Targets() const { return m_server.Targets(); }

private:
    CTestHttpServer m_server;
    mutable std::mutex m_lock;
    int m_upstream = 0;
    Tamper m_tamper;
};

/// Every occurrence of `from` in `text` replaced by `to`.
std::string ReplaceAll(std::string text, const std::string& from, const std::string& to);

} // namespace testsupport

#endif // VESKUPDATE_TESTS_SUPPORT_CTAMPERINGPROXY_H
