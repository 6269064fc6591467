// A loopback HTTP server for tests: cpp-httplib on 127.0.0.1 with an
// ephemeral port, serving on a thread of its own and logging the target (path
// and query, as sent) of every request in arrival order.
//
//   CTestHttpServer server;
//   server.Server().Get("/a", handler); // handlers before Start()
//   server.Start();
//   ... server.Url("/a") ... server.Targets() ...
//
// The log is kept by the pre-routing handler: do not replace it. Given a
// certificate and its key (PEM files), it serves https instead.
#ifndef VESKUPDATE_TESTS_SUPPORT_CTESTHTTPSERVER_H
#define VESKUPDATE_TESTS_SUPPORT_CTESTHTTPSERVER_H

#include <httplib.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport
{

class CTestHttpServer
{
public:
    CTestHttpServer();
    /// Serves https with the certificate and key. Throws std::runtime_error
    /// when cpp-httplib was built without TLS or cannot read them.
    CTestHttpServer(const std::string& certificate, const std::string& key);
    /// Stops the server.
    ~CTestHttpServer();
    CTestHttpServer(const CTestHttpServer&) = delete;
    CTestHttpServer& operator=(const CTestHttpServer&) = delete;
    CTestHttpServer(CTestHttpServer&&) = delete;
    CTestHttpServer& operator=(CTestHttpServer&&) = delete;

    /// The server itself, for registering handlers.
    httplib::Server& Server() { return *m_server; }

    /// Binds to 127.0.0.1 and starts serving. When it returns, connections
    /// are accepted and Stop() takes effect. Throws std::runtime_error when
    /// no port can be bound, std::logic_error when started before.
    void Start();

    /// Stops serving and waits for the server's thread; connections to the
    /// port are refused from then on. Does nothing when not running.
    void Stop();

    int Port() const { return m_port; }

    /// "http://127.0.0.1:<port>" (https for a TLS server) followed by `path`.
    std::string Url(const std::string& path = "/") const;

    /// The targets of the requests so far, in arrival order.
    std::vector<std::string> Targets() const;
    void ClearTargets();

private:
    void Prepare();

    std::unique_ptr<httplib::Server> m_server;
    bool m_tls = false;
    std::thread m_thread;
    std::atomic<bool> m_finished{false};
    bool m_started = false;
    int m_port = 0;
    mutable std::mutex m_lock;
    std::vector<std::string> m_targets;
};

/// Routes GET /status/<N> to an answer with the status N and, unless N is
/// 204, the body `body(N)` (N as the path gives it) of `contentType`.
void ServeStatuses(httplib::Server& server, const std::function<std::string(const std::string& status)>& body,
                   const std::string& contentType);

} // namespace testsupport

#endif // VESKUPDATE_TESTS_SUPPORT_CTESTHTTPSERVER_H
