#include "serving/Protocol.h"

#include <stdexcept>

namespace versionCenter
{
namespace
{

// The order matters where patterns overlap: "/patchs/evolution/1.0/package"
// is the package of the patch "evolution/1.0", as patch numbers may hold '/'.
const std::vector<CRequestKind> kKinds = {
    {ERequest::Situation, "situation", "/versions/situation", {}, "version situation"},
    {ERequest::Versions, "versions", "/versions", {}, "version list, ascending"},
    {ERequest::VersionEvolution,
     "version evolution",
     "/versions/evolution",
     {{"version_from", "from"}, {"version_to", "to"}},
     "version list: the versions after from up to to"},
    {ERequest::PatchList, "patches of a version", "/patchs", {{"version", "version"}}, "patch list"},
    {ERequest::PatchPackage, "patch package", "/patchs/{patch}/package", {}, "update package"},
    {ERequest::PatchEvolution,
     "patch evolution",
     "/patchs/evolution/{from}/{to}",
     {},
     "patch list: the shortest chain from to to"},
    {ERequest::VersionPackage, "version package", "/versions/{version}/package", {}, "update package"},
    {ERequest::FileCheck, "file check", "/versions/{version}/FileCheckDef", {}, "file-check definition"},
};

// Matches `text` from `at` against `pattern` from `from`; parameters go to
// `values`. A parameter takes at least one character; a version no '/'. A
// patch number takes as much as it can, so the last "/package" ends it.
// NOLINTNEXTLINE(misc-no-recursion): one level per parameter, two at most.
bool Match(const std::string& pattern, std::string::size_type from, const std::string& text, std::string::size_type at,
           CParameters& values)
{
    while (from < pattern.size() && pattern[from] != '{')
    {
        if (at >= text.size() || text[at] != pattern[from])
            return false;
        ++from;
        ++at;
    }
    if (from == pattern.size())
        return at == text.size();
    const std::string::size_type close = pattern.find('}', from);
    const std::string name = pattern.substr(from + 1, close - from - 1);
    std::string::size_type end = IsVersionParameter(name) ? text.find('/', at) : std::string::npos;
    if (end == std::string::npos)
        end = text.size();
    for (; end > at; --end)
    {
        if (Match(pattern, close + 1, text, end, values))
        {
            values[name] = text.substr(at, end - at);
            return true;
        }
    }
    return false;
}

} // namespace

const std::vector<CRequestKind>& RequestKinds()
{
    return kKinds;
}

const CRequestKind& RequestKind(ERequest request)
{
    for (const CRequestKind& kind : kKinds)
    {
        if (kind.request == request)
            return kind;
    }
    throw std::logic_error("a request kind is missing from the protocol table");
}

bool IsVersionParameter(const std::string& name)
{
    return name != "patch";
}

const CRequestKind* MatchPath(const std::string& path, CParameters& values)
{
    for (const CRequestKind& kind : kKinds)
    {
        CParameters found;
        if (Match(kind.path, 0, path, 0, found))
        {
            values = std::move(found);
            return &kind;
        }
    }
    return nullptr;
}

bool ReadQuery(const CRequestKind& kind, const std::multimap<std::string, std::string>& query, CParameters& values)
{
    for (const CQueryKey& key : kind.query)
    {
        const auto found = query.find(key.key);
        if (found == query.end())
            return false;
        values[key.parameter] = found->second;
    }
    return true;
}

std::string MissingQueryMessage(const CRequestKind& kind)
{
    std::string keys;
    for (std::size_t i = 0; i < kind.query.size(); ++i)
        keys += std::string(i == 0 ? "" : i + 1 == kind.query.size() ? " and " : ", ") + kind.query[i].key;
    return std::string("the request needs the query parameter") + (kind.query.size() > 1 ? "s " : " ") + keys;
}

std::vector<CPathPiece> PathPieces(const CRequestKind& kind)
{
    const std::string pattern = kind.path;
    std::vector<CPathPiece> pieces;
    for (std::string::size_type at = 0; at < pattern.size();)
    {
        const std::string::size_type open = pattern.find('{', at);
        if (open != at)
            pieces.push_back({pattern.substr(at, open == std::string::npos ? std::string::npos : open - at), false});
        if (open == std::string::npos)
            break;
        const std::string::size_type close = pattern.find('}', open);
        pieces.push_back({pattern.substr(open + 1, close - open - 1), true});
        at = close + 1;
    }
    return pieces;
}

std::vector<std::string> ParameterNames(const CRequestKind& kind)
{
    std::vector<std::string> names;
    for (const CPathPiece& piece : PathPieces(kind))
    {
        if (piece.parameter)
            names.push_back(piece.text);
    }
    for (const CQueryKey& key : kind.query)
        names.emplace_back(key.parameter);
    return names;
}

std::string RequestPath(const CRequestKind& kind, const CParameters& values)
{
    std::string path;
    for (const CPathPiece& piece : PathPieces(kind))
        path += piece.parameter ? values.at(piece.text) : piece.text;
    return path;
}

std::multimap<std::string, std::string> RequestQuery(const CRequestKind& kind, const CParameters& values)
{
    std::multimap<std::string, std::string> query;
    for (const CQueryKey& key : kind.query)
        query.emplace(key.key, values.at(key.parameter));
    return query;
}

std::string RequestTarget(const CRequestKind& kind, const CParameters& values)
{
    std::string target = RequestPath(kind, values);
    for (std::size_t i = 0; i < kind.query.size(); ++i)
        target.append(i == 0 ? "?" : "&")
            .append(kind.query[i].key)
            .append("=")
            .append(values.at(kind.query[i].parameter));
    return target;
}

std::string AnswerFile(const CRequestKind& kind, const CParameters& values)
{
    std::string file = RequestPath(kind, values).substr(1);
    if (kind.query.empty())
        return file + ".json";
    file += ".query";
    for (const CQueryKey& key : kind.query)
        file.append("/").append(values.at(key.parameter));
    return file;
}

} // namespace versionCenter
