#include "tools/NginxServer.h"

#include "support/Files.h"

#include <httplib.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;

std::string FindNginx()
{
    for (const char* place : {"/usr/sbin/nginx", "/usr/local/sbin/nginx", "/usr/bin/nginx"})
    {
        if (::access(place, X_OK) == 0)
            return place;
    }
    return std::string();
}

int FreePort()
{
    const int sock = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    int port = 0;
    if (::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(sock, reinterpret_cast<sockaddr*>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    ::close(sock);
    return port;
}

CNginxServer::CNginxServer(const std::string& program, const fs::path& dir, const fs::path& serverBlock, int port)
    : m_dir(dir)
{
    const std::string temporary = (dir / "tmp").string();
    // master_process off: no workers, so no switch to another user when the
    // tests run as root, and nothing outside `dir` is written.
    std::ofstream(dir / "nginx-main.conf")
        << "daemon off;\nmaster_process off;\npid " << (dir / "nginx.pid").string() << ";\nerror_log "
        << (dir / "nginx.log").string() << " warn;\nevents { worker_connections 4096; }\nhttp {\n    access_log off;\n"
        << "    client_body_temp_path " << temporary << ";\n    proxy_temp_path " << temporary
        << ";\n    fastcgi_temp_path " << temporary << ";\n    uwsgi_temp_path " << temporary
        << ";\n    scgi_temp_path " << temporary << ";\n    include " << serverBlock.string() << ";\n}\n";
    m_process.reset(new testsupport::CBackgroundProgram(
        program, {"-p", dir.string(), "-c", (dir / "nginx-main.conf").string(), "-e", (dir / "nginx.log").string()},
        (dir / "nginx.stderr").string()));
    for (int i = 0; i < 250; ++i)
    {
        httplib::Client client("127.0.0.1", port);
        client.set_connection_timeout(1);
        if (client.Get("/"))
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    m_process.reset();
}

std::string CNginxServer::Log() const
{
    return testsupport::ReadFile(m_dir / "nginx.log") + testsupport::ReadFile(m_dir / "nginx.stderr");
}
