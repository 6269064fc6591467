#include "serving/CVersionCenter.h"

#include "catalog/DownloadUrl.h"
#include "catalog/Length.h"
#include "serving/Protocol.h"

#include <httplib.h>
#include <json/json.h>

#include <algorithm>
#include <deque>
#include <memory>

namespace versionCenter
{
namespace
{

// Compact JSON; text stays UTF-8 rather than \u escapes.
std::string Render(const Json::Value& value)
{
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    builder["emitUTF8"] = true;
    return Json::writeString(builder, value);
}

CAnswer Error(int status, const std::string& message)
{
    Json::Value body(Json::objectValue);
    body["error"] = message;
    return CAnswer{status, Render(body)};
}

CAnswer Ok(const std::string& body)
{
    return CAnswer{200, body};
}

Json::Value VersionJson(const CVersionNumber& version)
{
    Json::Value value(Json::objectValue);
    value["v"] = version.ToString();
    return value;
}

Json::Value VersionListJson(const std::vector<CVersionNumber>& versions)
{
    Json::Value list(Json::arrayValue);
    for (const CVersionNumber& version : versions)
        list.append(VersionJson(version));
    Json::Value value(Json::objectValue);
    value["versions"] = list;
    return value;
}

Json::Value PatchJson(const CPatchEntry& patch)
{
    Json::Value value(Json::objectValue);
    value["title"] = patch.title;
    value["comment"] = patch.comment;
    value["patch_number"] = patch.number;
    value["apply_version"] = VersionListJson(patch.apply);
    value["result_version"] = VersionJson(patch.result);
    value["dependon"] = patch.dependOn;
    value["patch_type"] = patch.type;
    value["patch_force"] = patch.force;
    return value;
}

// The patch list answer from the patches' JSON objects rendered before: the
// same text as rendering the whole list, without rendering each patch again
// for every list it is in.
std::string PatchListText(const std::vector<const CPatchEntry*>& patches,
                          const std::map<const CPatchEntry*, std::string>& rendered)
{
    std::string text = "{\"patchs\":[";
    for (std::size_t i = 0; i < patches.size(); ++i)
    {
        if (i > 0)
            text += ',';
        text += rendered.at(patches[i]);
    }
    return text + "]}";
}

Json::Value FileJson(const CFileEntry& file, const std::string& downloadUrl)
{
    Json::Value value(Json::objectValue);
    value["url"] = CompleteUrl(file.url, downloadUrl);
    value["md5"] = file.md5;
    value["path"] = file.path;
    WriteLength(value, file.length);
    return value;
}

std::string PackageText(const CPackageEntry& package, const std::string& downloadUrl)
{
    Json::Value files(Json::arrayValue);
    for (const CFileEntry& file : package.resource)
        files.append(FileJson(file, downloadUrl));
    Json::Value value(Json::objectValue);
    value["direct_file"] = FileJson(package.directFile, downloadUrl);
    value["direct_type"] = package.directType;
    value["base_url"] = CompleteUrl(package.baseUrl, downloadUrl);
    value["resource"]["files"] = files;
    return Render(value);
}

bool StartsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

// Looks a version text up among the product's versions.
const CVersionNumber* FindVersion(const CProductEntry& product, const std::string& text)
{
    bool hasDigits = false;
    const CVersionNumber version = CVersionNumber::Parse(text, &hasDigits);
    const auto found = product.versions.find(version);
    return hasDigits && found != product.versions.end() ? &found->first : nullptr;
}

CAnswer UnknownVersion(const CProductEntry& product, const std::string& text)
{
    return Error(404, "unknown version '" + text + "' of product '" + product.name + "'");
}

CAnswer NoSuchRequest(const CProductEntry& product)
{
    return Error(404, "no such request for product '" + product.name + "'");
}

// The patches whose versions to apply to include `version`, in catalog order.
std::vector<const CPatchEntry*> PatchesApplyingTo(const CProductEntry& product, const CVersionNumber& version)
{
    std::vector<const CPatchEntry*> applying;
    for (const CPatchEntry& patch : product.patches)
    {
        if (std::find(patch.apply.begin(), patch.apply.end(), version) != patch.apply.end())
            applying.push_back(&patch);
    }
    return applying;
}

} // namespace

CVersionCenter::CVersionCenter(CCatalog catalog, std::string basePath, const std::string& downloadUrl)
    : m_catalog(std::move(catalog)), m_basePath(std::move(basePath))
{
    if (m_basePath.empty() || m_basePath.front() != '/')
        m_basePath.insert(m_basePath.begin(), '/');
    if (m_basePath.back() != '/')
        m_basePath += '/';
    for (const auto& item : m_catalog.Products())
        m_rendered[item.first] = RenderProduct(item.second, downloadUrl.empty() ? downloadUrl : WithSlash(downloadUrl));
}

CVersionCenter::CRendered CVersionCenter::RenderProduct(const CProductEntry& product, const std::string& downloadUrl)
{
    CRendered rendered;
    Json::Value situation(Json::objectValue);
    situation["last"] = VersionJson(product.last);
    situation["must"] = VersionJson(product.must);
    situation["max"] = VersionJson(product.max);
    situation["will"] = VersionJson(product.will);
    rendered.situation = Render(situation);

    for (const CPatchEntry& patch : product.patches)
        rendered.patch[&patch] = Render(PatchJson(patch));
    std::vector<CVersionNumber> all;
    for (const auto& version : product.versions)
    {
        all.push_back(version.first);
        rendered.applying[version.first] = PatchesApplyingTo(product, version.first);
        rendered.patchsFor[version.first] = PatchListText(rendered.applying[version.first], rendered.patch);
        if (version.second.package)
            rendered.versionPackage[version.first] = PackageText(*version.second.package, downloadUrl);
        if (version.second.fileCheck)
        {
            Json::Value check(Json::objectValue);
            check["url"] = CompleteUrl(version.second.fileCheck->url, downloadUrl);
            check["type"] = version.second.fileCheck->type;
            rendered.fileCheck[version.first] = Render(check);
        }
    }
    rendered.versions = Render(VersionListJson(all));
    for (const CPatchEntry& patch : product.patches)
    {
        if (patch.package)
            rendered.patchPackage[patch.number] = PackageText(*patch.package, downloadUrl);
    }
    return rendered;
}

CAnswer CVersionCenter::Answer(const std::string& path, const std::multimap<std::string, std::string>& query) const
{
    if (!StartsWith(path, m_basePath))
        return Error(404, "no such request: the path does not start with " + m_basePath);
    const std::string rest = path.substr(m_basePath.size());
    const std::string::size_type slash = rest.find('/');
    const std::string name = rest.substr(0, slash);
    if (name.empty())
        return Error(404, "no such request: the path names no product");
    const CProductEntry* product = m_catalog.FindProduct(name);
    if (!product)
        return Error(404, "unknown product '" + name + "'");
    if (slash == std::string::npos)
        return Error(404, "no such request for product '" + name + "'");
    return ProductAnswer(*product, m_rendered.at(name), rest.substr(slash), query);
}

CAnswer CVersionCenter::ProductAnswer(const CProductEntry& product, const CRendered& rendered, const std::string& rest,
                                      const std::multimap<std::string, std::string>& query)
{
    CParameters values;
    const CRequestKind* kind = MatchPath(rest, values);
    if (!kind)
        return NoSuchRequest(product);
    if (!ReadQuery(*kind, query, values))
        return Error(400, MissingQueryMessage(*kind));
    switch (kind->request)
    {
    case ERequest::Situation:
        return Ok(rendered.situation);
    case ERequest::Versions:
        return Ok(rendered.versions);
    case ERequest::PatchList:
        return PatchsFor(product, rendered, values.at("version"));
    case ERequest::PatchPackage:
        return PatchPackage(product, rendered, values.at("patch"));
    case ERequest::VersionEvolution:
    case ERequest::PatchEvolution:
    {
        // Both run between two versions the product has.
        const std::string& fromText = values.at("from");
        const std::string& toText = values.at("to");
        const CVersionNumber* from = FindVersion(product, fromText);
        if (!from)
            return UnknownVersion(product, fromText);
        const CVersionNumber* to = FindVersion(product, toText);
        if (!to)
            return UnknownVersion(product, toText);
        return kind->request == ERequest::VersionEvolution ? VersionEvolution(product, *from, *to)
                                                           : PatchEvolution(rendered, *from, *to);
    }
    case ERequest::VersionPackage:
        return VersionResource(product, rendered.versionPackage, values.at("version"), "package");
    case ERequest::FileCheck:
        return VersionResource(product, rendered.fileCheck, values.at("version"), "file-check definition");
    }
    return NoSuchRequest(product);
}

CAnswer CVersionCenter::PatchsFor(const CProductEntry& product, const CRendered& rendered, const std::string& version)
{
    const CVersionNumber* found = FindVersion(product, version);
    return found ? Ok(rendered.patchsFor.at(*found)) : UnknownVersion(product, version);
}

CAnswer CVersionCenter::PatchPackage(const CProductEntry& product, const CRendered& rendered, const std::string& number)
{
    if (!product.FindPatch(number))
        return Error(404, "unknown patch '" + number + "' of product '" + product.name + "'");
    const auto found = rendered.patchPackage.find(number);
    if (found == rendered.patchPackage.end())
        return Error(404, "patch '" + number + "' has no package");
    return Ok(found->second);
}

CAnswer CVersionCenter::VersionResource(const CProductEntry& product,
                                        const std::map<CVersionNumber, std::string>& answers, const std::string& text,
                                        const char* what)
{
    const CVersionNumber* version = FindVersion(product, text);
    if (!version)
        return UnknownVersion(product, text);
    const auto found = answers.find(*version);
    if (found == answers.end())
        return Error(404, "version " + version->ToString() + " has no " + what);
    return Ok(found->second);
}

CAnswer CVersionCenter::VersionEvolution(const CProductEntry& product, const CVersionNumber& from,
                                         const CVersionNumber& to)
{
    std::vector<CVersionNumber> between;
    for (auto it = product.versions.upper_bound(from); it != product.versions.end() && !(to < it->first); ++it)
        between.push_back(it->first);
    return Ok(Render(VersionListJson(between)));
}

CAnswer CVersionCenter::PatchEvolution(const CRendered& rendered, const CVersionNumber& from, const CVersionNumber& to)
{
    // Breadth-first over versions, one patch per step, patches tried in
    // catalog order: the chain found is a shortest one, and always the same.
    struct CStep
    {
        const CPatchEntry* patch; // null for the start
        CVersionNumber previous;  // the version the patch was applied to
    };
    std::map<CVersionNumber, CStep> via;
    via[from] = CStep{nullptr, from};
    std::deque<CVersionNumber> pending{from};
    while (!pending.empty() && via.count(to) == 0)
    {
        const CVersionNumber current = pending.front();
        pending.pop_front();
        for (const CPatchEntry* patch : rendered.applying.at(current))
        {
            if (via.emplace(patch->result, CStep{patch, current}).second)
                pending.push_back(patch->result);
        }
    }
    if (via.count(to) == 0)
        return Error(404, "no chain of patches leads from " + from.ToString() + " to " + to.ToString());

    std::vector<const CPatchEntry*> chain;
    for (const CStep* step = &via.at(to); step->patch; step = &via.at(step->previous))
        chain.push_back(step->patch);
    std::reverse(chain.begin(), chain.end());
    return Ok(PatchListText(chain, rendered.patch));
}

void CVersionCenter::Respond(const httplib::Request& request, httplib::Response& response) const
{
    const CAnswer answer = Answer(request.path, request.params);
    response.status = answer.status;
    response.set_content(answer.body, "application/json");
}

void CVersionCenter::Mount(httplib::Server& server) const
{
    server.Get(R"(/.*)",
               [this](const httplib::Request& request, httplib::Response& response) { Respond(request, response); });
    MountErrorBodies(server);
}

void CVersionCenter::MountErrorBodies(httplib::Server& server)
{
    // Statuses the server library produces itself (other methods, malformed
    // requests) get a JSON body too.
    server.set_error_handler(
        httplib::Server::HandlerWithResponse([](const httplib::Request&, httplib::Response& response) {
            if (!response.body.empty())
                return httplib::Server::HandlerResponse::Unhandled;
            response.set_content(
                Error(response.status, "request refused with status " + std::to_string(response.status)).body,
                "application/json");
            return httplib::Server::HandlerResponse::Handled;
        }));
}

} // namespace versionCenter
