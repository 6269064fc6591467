// Tells an unreachable version center, or one whose TLS connection fails,
// apart from one that answers but does not know what was asked. The library
// reports every failed request the same way (a null answer), so the host
// looks at the connection itself.
#ifndef VESK_HOST_REACHABILITY_H
#define VESK_HOST_REACHABILITY_H

#include <string>

/// Opens (and closes again) a TCP connection to the host and port of an
/// http:// or https:// address. True when the connection was accepted;
/// otherwise `reason` says why not. When the system offers no sockets it
/// answers true, so the caller falls back to its general message.
bool ProbeAddress(const std::string& address, std::string& reason);

/// For an https:// address: makes a TLS connection to it as the library's
/// requests do (libcurl, its default trust and checks) and closes it again.
/// False when the connection fails; `reason` then names the certificate or
/// TLS problem as libcurl reports it ("SSL certificate problem: certificate
/// has expired"). True for every other address and whenever the connection
/// was made, so the caller goes on with its other explanations.
bool ProbeTls(const std::string& address, std::string& reason);

#endif // VESK_HOST_REACHABILITY_H
