// The cpp-httplib classes the serving headers name, declared without the
// library's header: only the sources that serve include all of it.
#ifndef VERSIONCENTER_HTTPLIBDECLARATIONS_H
#define VERSIONCENTER_HTTPLIBDECLARATIONS_H

namespace httplib
{
class Server;
struct Request;
struct Response;
} // namespace httplib

#endif // VERSIONCENTER_HTTPLIBDECLARATIONS_H
