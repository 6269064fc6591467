#include "support/CTamperingProxy.h"

namespace testsupport
{

CTamperingProxy::CTamperingProxy()
{
    m_server.Server().Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
        int port = 0;
        Tamper tamper;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            port = m_upstream;
            tamper = m_tamper;
        }
        CAnswer answer;
        answer.status = 502;
        answer.contentType = "text/plain";
        if (port != 0)
        {
            httplib::Client client("127.0.0.1", port);
            if (const httplib::Result result = client.Get(request.target))
            {
                answer.status = result->status;
                answer.body = result->body;
                answer.contentType = result->get_header_value("Content-Type");
            }
        }
        if (tamper)
            tamper(request.target, answer);
        response.status = answer.status;
        response.set_content(answer.body, answer.contentType.empty() ? "application/octet-stream" : answer.contentType);
    });
    m_server.Start();
}

void CTamperingProxy::SetUpstream(int port)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_upstream = port;
}

void CTamperingProxy::SetTamper(Tamper tamper)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_tamper = std::move(tamper);
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to)
{
    if (from.empty())
        return text;
    for (std::string::size_type at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

} // namespace testsupport
