// A loopback TCP proxy that delays every byte by a fixed time in each
// direction, so that transfer benchmarks can see what a round trip costs.
// A new connection costs one round trip before its first byte goes on, as a
// TCP handshake does over a real network. It listens on 127.0.0.1 only,
// serves a bounded number of connections at once, and ends by itself after
// a given time (or on SIGTERM/SIGINT).
//
//   latency_proxy --to PORT [--delay-ms MS] [--listen-port PORT]
//                 [--max-connections N] [--seconds S]
//
// Prints "latency_proxy: listening on 127.0.0.1:PORT" once it accepts.
// Linux only: the benchmarks that use it run there.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

using Clock = std::chrono::steady_clock;

namespace
{

volatile std::sig_atomic_t g_stop = 0;

void OnSignal(int)
{
    g_stop = 1;
}

// Bytes read on one side, to be written on the other once due. An empty
// chunk is the end of the stream (passed on as a half-close).
struct CChunk
{
    Clock::time_point due;
    std::string bytes;
};

// One direction of a connection pair.
struct CFlow
{
    int from = -1;
    int to = -1;
    std::deque<CChunk> queue;
    std::size_t queued = 0;
    std::size_t sentOfFront = 0;
    bool ended = false;  // the end was read from `from`
    bool closed = false; // ... and passed on
};

struct CPair
{
    Clock::time_point opened;
    CFlow up;   // client to server
    CFlow down; // server to client
    bool dead = false;
};

const std::size_t kMaxQueued = 4 << 20; // read no more from a side that far ahead

int Listen(int port)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, SOMAXCONN) != 0)
        return -1;
    return listener;
}

int Connect(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
    {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    return fd;
}

void Tune(int fd)
{
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

// Reads what `flow.from` has; false when the pair must end.
bool ReadSide(CFlow& flow, Clock::time_point due)
{
    char buffer[64 * 1024];
    const ssize_t count = ::recv(flow.from, buffer, sizeof buffer, 0);
    if (count < 0)
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    if (count == 0)
    {
        flow.ended = true;
        flow.queue.push_back({due, std::string()});
        return true;
    }
    flow.queue.push_back({due, std::string(buffer, static_cast<std::size_t>(count))});
    flow.queued += static_cast<std::size_t>(count);
    return true;
}

// Writes what is due of `flow`; false when the pair must end.
bool WriteSide(CFlow& flow, Clock::time_point now)
{
    while (!flow.queue.empty() && flow.queue.front().due <= now)
    {
        CChunk& chunk = flow.queue.front();
        if (chunk.bytes.empty())
        {
            ::shutdown(flow.to, SHUT_WR);
            flow.closed = true;
            flow.queue.pop_front();
            continue;
        }
        const ssize_t count = ::send(flow.to, chunk.bytes.data() + flow.sentOfFront,
                                     chunk.bytes.size() - flow.sentOfFront, MSG_NOSIGNAL);
        if (count < 0)
            return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
        flow.sentOfFront += static_cast<std::size_t>(count);
        if (flow.sentOfFront < chunk.bytes.size())
            return true; // the socket is full
        flow.queued -= chunk.bytes.size();
        flow.sentOfFront = 0;
        flow.queue.pop_front();
    }
    return true;
}

void Usage()
{
    std::fprintf(stderr, "usage: latency_proxy --to PORT [--delay-ms MS] [--listen-port PORT] "
                         "[--max-connections N] [--seconds S]\n");
}

} // namespace

int main(int argc, char** argv)
{
    int target = 0;
    int listenPort = 0;
    long delayMs = 25;
    std::size_t maxConnections = 64;
    long seconds = 900;
    for (int i = 1; i + 1 < argc; i += 2)
    {
        const std::string option = argv[i];
        const long value = std::strtol(argv[i + 1], nullptr, 10);
        if (option == "--to")
            target = static_cast<int>(value);
        else if (option == "--delay-ms")
            delayMs = value;
        else if (option == "--listen-port")
            listenPort = static_cast<int>(value);
        else if (option == "--max-connections")
            maxConnections = static_cast<std::size_t>(value);
        else if (option == "--seconds")
            seconds = value;
        else
            return Usage(), 2;
    }
    if (target <= 0 || target > 65535 || delayMs < 0 || delayMs > 10000 || maxConnections < 1 ||
        maxConnections > 1024 || seconds < 1 || seconds > 24 * 3600 || argc % 2 == 0)
        return Usage(), 2;

    std::signal(SIGTERM, OnSignal);
    std::signal(SIGINT, OnSignal);
    const int listener = Listen(listenPort);
    if (listener < 0)
    {
        std::fprintf(stderr, "latency_proxy: cannot listen: %s\n", std::strerror(errno));
        return 1;
    }
    sockaddr_in address{};
    socklen_t length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    std::printf("latency_proxy: listening on 127.0.0.1:%d\n", ntohs(address.sin_port));
    std::fflush(stdout);

    const auto delay = std::chrono::milliseconds(delayMs);
    const Clock::time_point end = Clock::now() + std::chrono::seconds(seconds);
    std::vector<std::unique_ptr<CPair>> pairs;
    while (g_stop == 0 && Clock::now() < end)
    {
        std::vector<pollfd> waits{{listener, POLLIN, 0}};
        std::vector<CFlow*> flows;
        Clock::time_point next = Clock::now() + std::chrono::milliseconds(100);
        for (auto& pair : pairs)
        {
            for (CFlow* flow : {&pair->up, &pair->down})
            {
                const bool reading = !flow->ended && flow->queued < kMaxQueued;
                bool writing = false;
                if (!flow->queue.empty())
                {
                    if (flow->queue.front().due <= Clock::now())
                        writing = true;
                    else if (flow->queue.front().due < next)
                        next = flow->queue.front().due;
                }
                // A side with nothing to wait for is left out (-1), so that
                // a closed socket's hang-up does not wake the loop for ever.
                waits.push_back({reading ? flow->from : -1, POLLIN, 0});
                waits.push_back({writing ? flow->to : -1, POLLOUT, 0});
                flows.push_back(flow);
            }
        }
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now()).count();
        if (::poll(waits.data(), waits.size(), static_cast<int>(std::max<long long>(0, wait) + 1)) < 0 &&
            errno != EINTR)
            break;
        const Clock::time_point now = Clock::now();

        if ((waits[0].revents & POLLIN) != 0)
        {
            const int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            const int server = client >= 0 && pairs.size() < maxConnections ? Connect(target) : -1;
            if (server < 0)
            {
                if (client >= 0)
                    ::close(client);
            }
            else
            {
                Tune(client);
                Tune(server);
                auto pair = std::make_unique<CPair>();
                pair->opened = now;
                pair->up.from = pair->down.to = client;
                pair->up.to = pair->down.from = server;
                pairs.push_back(std::move(pair));
            }
        }
        for (std::size_t i = 0; i < flows.size(); ++i)
        {
            CFlow& flow = *flows[i];
            CPair& pair = *pairs[i / 2];
            const short fromEvents = waits[1 + 2 * i].revents;
            // A new connection's first bytes wait for the round trip its
            // handshake would have cost.
            const Clock::time_point due = std::max(now, pair.opened + 2 * delay) + delay;
            if ((fromEvents & (POLLIN | POLLHUP)) != 0 && !flow.ended && !ReadSide(flow, due))
                pair.dead = true;
            if ((fromEvents & POLLERR) != 0)
                pair.dead = true;
            if (!pair.dead && !WriteSide(flow, now))
                pair.dead = true;
        }
        for (auto it = pairs.begin(); it != pairs.end();)
        {
            CPair& pair = **it;
            if (pair.dead || (pair.up.closed && pair.down.closed))
            {
                ::close(pair.up.from);
                ::close(pair.up.to);
                it = pairs.erase(it);
            }
            else
                ++it;
        }
    }
    for (auto& pair : pairs)
    {
        ::close(pair->up.from);
        ::close(pair->up.to);
    }
    ::close(listener);
    return 0;
}
