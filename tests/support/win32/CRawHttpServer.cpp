// The raw test server on Windows sockets: a listening socket on 127.0.0.1,
// checked for a connection or for the end of the server a few times a
// second, and one accepted connection at a time.
#include "support/CRawHttpServer.h"

#include "support/RawRequests.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <utility>

namespace testsupport
{
namespace
{

class CWinsockConnection final : public CRawConnection
{
public:
    explicit CWinsockConnection(SOCKET socket) : m_socket(socket) {}
    ~CWinsockConnection()
    {
        if (m_socket != INVALID_SOCKET)
            ::closesocket(m_socket);
    }
    CWinsockConnection(const CWinsockConnection&) = delete;
    CWinsockConnection& operator=(const CWinsockConnection&) = delete;

    bool Send(const std::string& bytes) override
    {
        std::size_t sent = 0;
        while (m_socket != INVALID_SOCKET && sent < bytes.size())
        {
            const int count = ::send(m_socket, bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
            if (count <= 0)
                return false;
            sent += static_cast<std::size_t>(count);
        }
        return m_socket != INVALID_SOCKET;
    }

    void Reset() override
    {
        if (m_socket == INVALID_SOCKET)
            return;
        // A zero linger time makes closesocket() send RST and drop unsent data.
        const linger abort{1, 0};
        ::setsockopt(m_socket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof abort);
        ::closesocket(m_socket);
        m_socket = INVALID_SOCKET;
    }

    /// Reads up to the end of the request head.
    std::string ReadHead()
    {
        std::string head;
        char buffer[4096];
        while (head.find("\r\n\r\n") == std::string::npos && head.size() < CRawRequests::kMaxHead)
        {
            const int count = ::recv(m_socket, buffer, sizeof buffer, 0);
            if (count <= 0)
                break;
            head.append(buffer, static_cast<std::size_t>(count));
        }
        return head;
    }

private:
    SOCKET m_socket;
};

} // namespace

class CRawHttpServer::CServer
{
public:
    explicit CServer(Handler handler) : m_requests(std::move(handler))
    {
        WSADATA data;
        m_started = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
        m_listener = m_started ? ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP) : INVALID_SOCKET;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        int length = sizeof address;
        if (m_listener == INVALID_SOCKET ||
            ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(m_listener, SOMAXCONN) != 0 ||
            ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        {
            const int error = m_started ? ::WSAGetLastError() : 0;
            Close();
            throw std::runtime_error("raw test server: cannot listen on 127.0.0.1 (error " + std::to_string(error) +
                                     ")");
        }
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }

    ~CServer()
    {
        m_stopping = true;
        m_thread.join();
        Close();
    }

    CServer(const CServer&) = delete;
    CServer& operator=(const CServer&) = delete;

    int Port() const { return m_port; }

    std::vector<std::string> Targets() const { return m_requests.Targets(); }

private:
    void Serve()
    {
        while (!m_stopping)
        {
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(m_listener, &readable);
            timeval wait{0, 50000};
            if (::select(0, &readable, nullptr, nullptr, &wait) <= 0)
                continue;
            const SOCKET socket = ::accept(m_listener, nullptr, nullptr);
            if (socket == INVALID_SOCKET)
                continue;
            // A client that never finishes its request does not hold the
            // server for ever.
            const DWORD limit = 5000;
            ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&limit), sizeof limit);
            CWinsockConnection connection(socket);
            m_requests.Serve(connection, connection.ReadHead());
        }
    }

    void Close()
    {
        if (m_listener != INVALID_SOCKET)
            ::closesocket(m_listener);
        m_listener = INVALID_SOCKET;
        if (m_started)
            ::WSACleanup();
        m_started = false;
    }

    CRawRequests m_requests;
    bool m_started = false;
    SOCKET m_listener = INVALID_SOCKET;
    int m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
};

CRawHttpServer::CRawHttpServer(Handler handler) : m_server(new CServer(std::move(handler))) {}

CRawHttpServer::~CRawHttpServer() = default;

int CRawHttpServer::Port() const
{
    return m_server->Port();
}

std::vector<std::string> CRawHttpServer::Targets() const
{
    return m_server->Targets();
}

} // namespace testsupport
