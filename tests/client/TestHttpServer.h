// An HTTP server for tests: cpp-httplib on 127.0.0.1 with an ephemeral port,
// running on its own thread, recording the target (path and query, as sent)
// of every request in arrival order. Register handlers on Server() before
// Start().
#ifndef VESKUPDATE_TESTS_TESTHTTPSERVER_H
#define VESKUPDATE_TESTS_TESTHTTPSERVER_H

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

class CTestHttpServer
{
public:
    CTestHttpServer()
    {
        m_server.set_tcp_nodelay(true);
        m_server.set_pre_routing_handler([this](const httplib::Request& request, httplib::Response&) {
            std::lock_guard<std::mutex> guard(m_lock);
            m_targets.push_back(request.target);
            return httplib::Server::HandlerResponse::Unhandled;
        });
    }

    ~CTestHttpServer() { Stop(); }

    CTestHttpServer(const CTestHttpServer&) = delete;
    CTestHttpServer& operator=(const CTestHttpServer&) = delete;

    httplib::Server& Server() { return m_server; }

    /// Binds and starts serving; the listening socket accepts connections
    /// from the moment this returns.
    void Start()
    {
        m_port = m_server.bind_to_any_port("127.0.0.1");
        if (m_port <= 0)
            throw std::runtime_error("test server: cannot bind to 127.0.0.1");
        m_thread = std::thread([this] {
            m_server.listen_after_bind();
            m_finished = true;
        });
    }

    void Stop()
    {
        if (!m_thread.joinable())
            return;
        // stop() is a no-op until the accept loop runs; repeat until it ends.
        while (!m_finished)
        {
            m_server.stop();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        m_thread.join();
    }

    int Port() const { return m_port; }

    /// "http://127.0.0.1:<port>" followed by `path`.
    std::string Url(const std::string& path = "/") const
    {
        return "http://127.0.0.1:" + std::to_string(m_port) + path;
    }

    std::vector<std::string> Targets() const
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_targets;
    }

    void ClearTargets()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_targets.clear();
    }

private:
    httplib::Server m_server;
    std::thread m_thread;
    std::atomic<bool> m_finished{false};
    int m_port = 0;
    mutable std::mutex m_lock;
    std::vector<std::string> m_targets;
};

#endif // VESKUPDATE_TESTS_TESTHTTPSERVER_H
