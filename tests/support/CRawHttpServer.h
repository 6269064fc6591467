// A loopback server for tests that must answer what no HTTP library would
// send: a status line and nothing else, a body shorter than its
// Content-Length, a connection reset in the middle of a body, bytes that are
// not HTTP at all, a slow drip. It listens on 127.0.0.1 with an ephemeral
// port and serves one connection at a time on a thread of its own: it reads
// the request head, logs its target and hands the connection to the handler,
// which writes whatever bytes it likes; when the handler returns the
// connection is closed.
//
//   CRawHttpServer server([](CRawConnection& connection, const std::string& target) {
//       connection.Send("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n{}");
//   }); // serving from here on
//   ... server.Url("/a") ... server.Targets() ...
//
// The implementation is the platform's (posix/ and win32/CRawHttpServer.cpp);
// this interface is the same everywhere.
#ifndef VESKUPDATE_TESTS_SUPPORT_CRAWHTTPSERVER_H
#define VESKUPDATE_TESTS_SUPPORT_CRAWHTTPSERVER_H

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace testsupport
{

/// One accepted connection, lent to the handler for the length of its call.
class CRawConnection
{
public:
    /// Writes the bytes; false when the peer has gone (never a signal).
    virtual bool Send(const std::string& bytes) = 0;
    /// Sends the bytes a few at a time, pausing between the pieces: `pieces`
    /// pieces in about `milliseconds` in all. False when the peer has gone.
    bool Drip(const std::string& bytes, int pieces, int milliseconds);
    /// Ends the connection with a reset (RST) instead of an orderly close.
    virtual void Reset() = 0;

protected:
    ~CRawConnection() = default;
};

class CRawHttpServer
{
public:
    /// Called for every request, on the server's thread, with the request's
    /// target (path and query, as sent).
    using Handler = std::function<void(CRawConnection& connection, const std::string& target)>;

    /// Binds to 127.0.0.1 and starts serving; throws std::runtime_error when
    /// it cannot.
    explicit CRawHttpServer(Handler handler);
    /// Stops serving and waits for the server's thread.
    ~CRawHttpServer();
    CRawHttpServer(const CRawHttpServer&) = delete;
    CRawHttpServer& operator=(const CRawHttpServer&) = delete;

    int Port() const;
    /// "http://127.0.0.1:<port>" followed by `path`.
    std::string Url(const std::string& path = "/") const;
    /// The targets of the requests so far, in arrival order.
    std::vector<std::string> Targets() const;

private:
    class CServer; // the platform's sockets and thread
    std::unique_ptr<CServer> m_server;
};

} // namespace testsupport

#endif // VESKUPDATE_TESTS_SUPPORT_CRAWHTTPSERVER_H
