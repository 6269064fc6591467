// The raw test server on POSIX sockets: a listening socket on 127.0.0.1, a
// pipe that wakes the serving thread when the server ends, and one accepted
// connection at a time.
#include "support/CRawHttpServer.h"

#include "support/RawRequests.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <thread>
#include <utility>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace testsupport
{
namespace
{

class CPosixConnection final : public CRawConnection
{
public:
    explicit CPosixConnection(int socket) : m_socket(socket) {}
    ~CPosixConnection()
    {
        if (m_socket >= 0)
            ::close(m_socket);
    }
    CPosixConnection(const CPosixConnection&) = delete;
    CPosixConnection& operator=(const CPosixConnection&) = delete;

    bool Send(const std::string& bytes) override
    {
        std::size_t sent = 0;
        while (m_socket >= 0 && sent < bytes.size())
        {
            // MSG_NOSIGNAL: a client that hung up gives EPIPE, not SIGPIPE.
            const ssize_t count = ::send(m_socket, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (count < 0 && errno == EINTR)
                continue;
            if (count <= 0)
                return false;
            sent += static_cast<std::size_t>(count);
        }
        return m_socket >= 0;
    }

    void Reset() override
    {
        if (m_socket < 0)
            return;
        // A zero linger time makes close() send RST and drop unsent data.
        const linger abort{1, 0};
        ::setsockopt(m_socket, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        ::close(m_socket);
        m_socket = -1;
    }

    /// Reads up to the end of the request head.
    std::string ReadHead()
    {
        std::string head;
        char buffer[4096];
        while (head.find("\r\n\r\n") == std::string::npos && head.size() < CRawRequests::kMaxHead)
        {
            const ssize_t count = ::recv(m_socket, buffer, sizeof buffer, 0);
            if (count < 0 && errno == EINTR)
                continue;
            if (count <= 0)
                break;
            head.append(buffer, static_cast<std::size_t>(count));
        }
        return head;
    }

private:
    int m_socket;
};

} // namespace

class CRawHttpServer::CServer
{
public:
    explicit CServer(Handler handler) : m_requests(std::move(handler))
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        socklen_t length = sizeof address;
        if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(m_listener, SOMAXCONN) != 0 ||
            ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
            ::pipe2(m_wake, O_CLOEXEC) != 0)
        {
            const std::string reason = std::strerror(errno);
            Close();
            throw std::runtime_error("raw test server: cannot listen on 127.0.0.1: " + reason);
        }
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }

    ~CServer()
    {
        const char stop = 0;
        while (::write(m_wake[1], &stop, 1) < 0 && errno == EINTR)
        {
        }
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
        for (;;)
        {
            pollfd waits[2] = {{m_listener, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
            if (::poll(waits, 2, -1) < 0)
            {
                if (errno == EINTR)
                    continue;
                return;
            }
            if (waits[1].revents != 0)
                return;
            const int socket = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (socket < 0)
                continue;
            // A client that never finishes its request does not hold the
            // server for ever.
            const timeval limit{5, 0};
            ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
            CPosixConnection connection(socket);
            m_requests.Serve(connection, connection.ReadHead());
        }
    }

    void Close()
    {
        for (int* descriptor : {&m_listener, &m_wake[0], &m_wake[1]})
        {
            if (*descriptor >= 0)
                ::close(*descriptor);
            *descriptor = -1;
        }
    }

    CRawRequests m_requests;
    int m_listener = -1;
    int m_wake[2] = {-1, -1};
    int m_port = 0;
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
