// Tells an unreachable version center apart from one that answers but does
// not know what was asked. The library reports every failed request the same
// way (a null answer), so the host looks at the connection itself.
#ifndef VESK_HOST_REACHABILITY_H
#define VESK_HOST_REACHABILITY_H

#include <string>

/// Opens (and closes again) a TCP connection to the host and port of an
/// http:// or https:// address. True when the connection was accepted;
/// otherwise `reason` says why not. When the system offers no sockets it
/// answers true, so the caller falls back to its general message.
bool ProbeAddress(const std::string& address, std::string& reason);

#endif // VESK_HOST_REACHABILITY_H
