// Binding the version center's HTTP server to its address.
#ifndef VERSIONCENTER_SERVERSOCKET_H
#define VERSIONCENTER_SERVERSOCKET_H

#include "serving/HttplibDeclarations.h"

#include <string>

namespace versionCenter
{

/// Binds `server` to `host`:`port` (port 0 picks a free one) and returns the
/// port, or -1 when the address is in use or not available. A port another
/// server listens on is reported, never shared. The listening socket's queue
/// of connections not yet accepted is as long as the system allows, so a
/// burst of clients waits instead of being refused or retried for seconds.
int BindServer(httplib::Server& server, const std::string& host, int port);

} // namespace versionCenter

#endif // VERSIONCENTER_SERVERSOCKET_H
