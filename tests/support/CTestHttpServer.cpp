#include "support/CTestHttpServer.h"

#include <chrono>
#include <functional>
#include <stdexcept>

namespace testsupport
{

CTestHttpServer::CTestHttpServer() : m_server(std::make_unique<httplib::Server>())
{
    Prepare();
}

CTestHttpServer::CTestHttpServer(const std::string& certificate, const std::string& key) : m_tls(true)
{
#ifdef CPPHTTPLIB_OPENSSL_SUPPORT
    auto server = std::make_unique<httplib::SSLServer>(certificate.c_str(), key.c_str());
    if (!server->is_valid())
        throw std::runtime_error("test server: cannot use the certificate " + certificate);
    m_server = std::move(server);
    Prepare();
#else
    (void)certificate;
    (void)key;
    throw std::runtime_error("test server: cpp-httplib was built without TLS");
#endif
}

void CTestHttpServer::Prepare()
{
    // A second request on a kept-alive connection (a redirect hop) would
    // otherwise wait about 40 ms for the delayed acknowledgement.
    m_server->set_tcp_nodelay(true);
    m_server->set_pre_routing_handler([this](const httplib::Request& request, httplib::Response&) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_targets.push_back(request.target);
        return httplib::Server::HandlerResponse::Unhandled;
    });
}

CTestHttpServer::~CTestHttpServer()
{
    Stop();
}

void CTestHttpServer::Start()
{
    if (m_started)
        throw std::logic_error("test server: started twice");
    m_port = m_server->bind_to_any_port("127.0.0.1");
    if (m_port <= 0)
        throw std::runtime_error("test server: cannot bind to 127.0.0.1");
    m_started = true;
    m_thread = std::thread([this] {
        m_server->listen_after_bind();
        m_finished = true;
    });
    // httplib's stop() does nothing until the accept loop has begun, so a
    // Stop() right after Start() would be lost and its join would wait
    // forever. Return only once the loop runs (or has already ended).
    while (!m_server->is_running() && !m_finished)
        std::this_thread::sleep_for(std::chrono::microseconds(100));
}

void CTestHttpServer::Stop()
{
    if (!m_thread.joinable())
        return;
    m_server->stop();
    m_thread.join();
}

std::string CTestHttpServer::Url(const std::string& path) const
{
    return (m_tls ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(m_port) + path;
}

std::vector<std::string> CTestHttpServer::Targets() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_targets;
}

void CTestHttpServer::ClearTargets()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_targets.clear();
}

void ServeStatuses(httplib::Server& server, const std::function<std::string(const std::string& status)>& body,
                   const std::string& contentType)
{
    server.Get(R"(/status/(\d+))", [body, contentType](const httplib::Request& request, httplib::Response& response) {
        response.status = std::stoi(request.matches[1]);
        if (response.status != 204)
            response.set_content(body(request.matches[1].str()), contentType);
    });
}

} // namespace testsupport
