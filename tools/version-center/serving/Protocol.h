// The requests the version center answers, listed once: their path after the
// product name, their query keys and what they answer. The center's router,
// the export's list of answer files and the nginx locations the export writes
// are all made from this table.
//
// A path pattern is literal text with parameters in braces. `{version}`,
// `{from}` and `{to}` stand for a version (one path segment); `{patch}` for a
// patch number, which may span several segments. A query key names the
// parameter it carries; the keys stand in the order the library sends them.
#ifndef VERSIONCENTER_PROTOCOL_H
#define VERSIONCENTER_PROTOCOL_H

#include <map>
#include <string>
#include <vector>

namespace versionCenter
{

enum class ERequest
{
    Situation,
    Versions,
    VersionEvolution,
    PatchList,
    PatchPackage,
    PatchEvolution,
    VersionPackage,
    FileCheck,
};

struct CQueryKey
{
    const char* key;       // as it stands in the query: "version_from"
    const char* parameter; // the parameter it carries: "from"
};

struct CRequestKind
{
    ERequest request;
    const char* name;             // "patch evolution"
    const char* path;             // "/patchs/evolution/{from}/{to}"
    std::vector<CQueryKey> query; // empty for requests without a query
    const char* answer;           // "patch list"
};

/// Parameter name -> value ("from" -> "1.0.0.0").
using CParameters = std::map<std::string, std::string>;

/// A piece of a path pattern: literal text, or a parameter's name.
struct CPathPiece
{
    std::string text;
    bool parameter;
};

/// The pieces of the path pattern of `kind`, in order.
std::vector<CPathPiece> PathPieces(const CRequestKind& kind);

/// The names of every parameter of `kind`: the path's, then the query's.
std::vector<std::string> ParameterNames(const CRequestKind& kind);

/// Every request, in the order the router tries them: the first whose path
/// pattern matches takes the request.
const std::vector<CRequestKind>& RequestKinds();

/// The row of `request`.
const CRequestKind& RequestKind(ERequest request);

/// Whether the parameter `name` is a version (rather than a patch number).
bool IsVersionParameter(const std::string& name);

/// The kind whose path pattern matches `path` (what follows the product
/// name), with the path's parameters in `values`; null when none matches.
const CRequestKind* MatchPath(const std::string& path, CParameters& values);

/// Adds the parameters carried by the query keys of `kind` to `values`,
/// each from the first value its key has; false when a key is missing.
bool ReadQuery(const CRequestKind& kind, const std::multimap<std::string, std::string>& query, CParameters& values);

/// What the center says when a query key is missing: "the request needs the
/// query parameter version".
std::string MissingQueryMessage(const CRequestKind& kind);

/// The path of `kind` with `values` put in (after the product name).
std::string RequestPath(const CRequestKind& kind, const CParameters& values);

/// The query of `kind` with `values` put in, as the decoded key/value pairs
/// a server reads.
std::multimap<std::string, std::string> RequestQuery(const CRequestKind& kind, const CParameters& values);

/// The path and query as the library sends them: "/patchs?version=1.0.0.0".
std::string RequestTarget(const CRequestKind& kind, const CParameters& values);

/// The file (relative to the product's folder, no leading '/') the export
/// keeps the answer in: the path plus ".json" for a request without a query;
/// for one with a query, the path plus ".query/" and the query's values
/// joined by '/' ("versions/evolution.query/1.0.0.0/2.0.0.0"). No request
/// without a query can name such a file, since those all end in ".json".
std::string AnswerFile(const CRequestKind& kind, const CParameters& values);

} // namespace versionCenter

#endif // VERSIONCENTER_PROTOCOL_H
