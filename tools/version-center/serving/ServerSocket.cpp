#include "serving/ServerSocket.h"

#include <httplib.h>

#include <sys/socket.h>

#include <memory>

namespace versionCenter
{

int BindServer(httplib::Server& server, const std::string& host, int port)
{
    // The server library keeps its socket to itself; the option callback,
    // called for each socket it tries before binding it, tells which one.
    auto listening = std::make_shared<socket_t>(INVALID_SOCKET);
    // Without SO_REUSEPORT (the library's default), a port already in use is
    // reported instead of being shared silently with the other server.
    server.set_socket_options([listening](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        *listening = sock;
    });
    int bound = -1;
    if (port == 0)
        bound = server.bind_to_any_port(host);
    else if (server.bind_to_port(host, port))
        bound = port;
    if (bound <= 0 || *listening == INVALID_SOCKET)
        return -1;
    // The library listens with a backlog of 5, compiled in: with a few dozen
    // clients connecting at once, connections are dropped and the clients
    // retry for seconds. Listening again on the listening socket only sets
    // its backlog; the kernel caps it at net.core.somaxconn.
    if (::listen(*listening, SOMAXCONN) != 0)
        return -1;
    return bound;
}

} // namespace versionCenter
