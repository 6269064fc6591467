#include "CExporter.h"

#include "CDownloadTree.h"
#include "FileDigest.h"

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace versionCenter
{
namespace
{

using CQuery = std::multimap<std::string, std::string>;

// The folders of the document root that hold the answers to the requests
// with query parameters. Every other answer is a file whose name ends in
// ".json", so no request without parameters reaches these files.
const char kVersionEvolutionFolder[] = "/versions/evolution.query/";
const char kPatchsFolder[] = "/patchs.query/";

// Calls `visit(path, query, file)` for every request the library makes for
// `product`, with the file (relative to the document root) its answer is
// kept in.
template <class TVisit>
void ForEachRequest(const CProductEntry& product, const std::string& basePath, TVisit visit)
{
    const std::string root = basePath + product.name;
    const auto path = [&](const std::string& rest) { visit(root + rest, CQuery(), (root + rest).substr(1) + ".json"); };
    path("/versions/situation");
    path("/versions");
    for (const auto& patch : product.patches)
        path("/patchs/" + patch.number + "/package");
    for (const auto& version : product.versions)
    {
        const std::string v = version.first.ToString();
        path("/versions/" + v + "/package");
        path("/versions/" + v + "/FileCheckDef");
        visit(root + "/patchs", CQuery{{"version", v}}, root.substr(1) + kPatchsFolder + v);
        for (const auto& other : product.versions)
        {
            const std::string to = other.first.ToString();
            const std::string pair = std::string(v).append("/").append(to);
            path("/patchs/evolution/" + pair);
            visit(root + "/versions/evolution", CQuery{{"version_from", v}, {"version_to", to}},
                  root.substr(1).append(kVersionEvolutionFolder).append(pair));
        }
    }
}

// Whether `text` can stand in nginx's configuration as it is, between
// double quotes: no variables, quotes, escapes or control characters.
bool NginxSafe(const std::string& text)
{
    return text.find_first_of("$\"'\\;{}") == std::string::npos &&
           std::none_of(text.begin(), text.end(), [](unsigned char c) { return c < 0x20 || c == 0x7f; });
}

std::string NginxConfig(const CVersionCenter& center, const CExportRequest& request, const fs::path& answers,
                        const fs::path& files)
{
    const std::string& base = center.BasePath();
    std::string text;
    // The text is laid out as the configuration it writes, one of its lines
    // per line here; the formatter would split these lines at every '+'.
    // clang-format off
    text += "# The version center for nginx, written by `version-center export`. Include this\n"
            "# file in nginx's http block. Every answer is a file under the root; the\n"
            "# requests with query parameters are mapped onto files named after them.\n"
            "server {\n"
            "    listen " + request.listen + ";\n"
            "    server_name _;\n"
            "    root \"" + answers.string() + "\";\n"
            "    types { }\n"
            "    default_type application/json;\n"
            "\n"
            "    error_page 404 @vc_not_found;\n"
            "    error_page 400 @vc_bad_request;\n"
            "    error_page 405 @vc_refused;\n"
            "    location @vc_not_found { return 404 '{\"error\":\"no such request\"}'; }\n"
            "    location @vc_bad_request { return 400 '{\"error\":\"request refused with status 400\"}'; }\n"
            "    location @vc_refused { return 405 '{\"error\":\"request refused with status 405\"}'; }\n"
            "\n";
    if (base != "/")
        text += "    location / { return 404; }\n";
    text += "    location " + base + " { try_files $uri.json =404; }\n";
    const std::string version = "\"^[0-9]+[.][0-9]+[.][0-9]+[.][0-9]+$\"";
    text += "\n"
            "    # <product>/versions/evolution?version_from=A&version_to=B\n"
            "    location ~ \"^" + base + "(?<vc_product>[^/]+)/versions/evolution$\" {\n"
            "        if ($args !~ \"(^|&)version_from=\") { return 400 '{\"error\":\"the request needs the query "
            "parameters version_from and version_to\"}'; }\n"
            "        if ($args !~ \"(^|&)version_to=\") { return 400 '{\"error\":\"the request needs the query "
            "parameters version_from and version_to\"}'; }\n"
            "        if ($arg_version_from !~ " + version + ") { return 404; }\n"
            "        if ($arg_version_to !~ " + version + ") { return 404; }\n"
            "        try_files " + base + "$vc_product" + kVersionEvolutionFolder +
            "$arg_version_from/$arg_version_to =404;\n"
            "    }\n"
            "    # <product>/patchs?version=V\n"
            "    location ~ \"^" + base + "(?<vc_product>[^/]+)/patchs$\" {\n"
            "        if ($args !~ \"(^|&)version=\") { return 400 '{\"error\":\"the request needs the query "
            "parameter version\"}'; }\n"
            "        if ($arg_version !~ " + version + ") { return 404; }\n"
            "        try_files " + base + "$vc_product" + kPatchsFolder + "$arg_version =404;\n"
            "    }\n";
    if (!files.empty())
    {
        text += "\n"
                "    # The download tree.\n"
                "    location ^~ " + base + "files/ {\n"
                "        alias \"" + files.string() + "/\";\n"
                "        types {";
        for (const CContentType& type : DownloadContentTypes())
            text += std::string(" ") + type.type + " " + (type.extension + 1) + ";";
        text += " }\n"
                "        default_type application/octet-stream;\n"
                "        error_page 404 @vc_no_file;\n"
                "    }\n"
                "    location @vc_no_file { return 404 '{\"error\":\"no such file in the download tree\"}'; }\n";
    }
    // clang-format on
    text += "}\n";
    return text;
}

// Writes the answers under `root` (or only counts them).
class CAnswerWriter
{
public:
    CAnswerWriter(const fs::path& root, bool dryRun, CExportSummary& summary, std::string& error)
        : m_root(root), m_dryRun(dryRun), m_summary(summary), m_error(error)
    {
    }

    bool Write(const std::string& file, const std::string& body)
    {
        ++m_summary.files;
        m_summary.bytes += static_cast<std::int64_t>(body.size());
        if (m_dryRun)
            return true;
        const fs::path path = m_root / file;
        if (m_folders.insert(path.parent_path()).second)
        {
            std::error_code failure;
            fs::create_directories(path.parent_path(), failure);
            if (failure)
                return Fail("cannot create " + path.parent_path().string() + ": " + failure.message());
        }
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << body;
        out.close();
        return out ? true : Fail("cannot write " + path.string());
    }

private:
    bool Fail(const std::string& message)
    {
        m_error = message;
        return false;
    }

    fs::path m_root;
    bool m_dryRun;
    CExportSummary& m_summary;
    std::string& m_error;
    std::set<fs::path> m_folders;
};

// Puts the new answers in the place of the previous ones.
bool Replace(const fs::path& fresh, const fs::path& answers, std::string& error)
{
    std::error_code failure;
    const fs::path old = answers.parent_path() / ("answers.old-" + std::to_string(::getpid()));
    const bool hadAnswers = fs::exists(answers, failure);
    if (hadAnswers)
        fs::rename(answers, old, failure);
    if (!failure)
        fs::rename(fresh, answers, failure);
    if (failure)
    {
        error = "cannot put the answers in place in " + answers.parent_path().string() + ": " + failure.message();
        return false;
    }
    if (hadAnswers)
        fs::remove_all(old, failure);
    return true;
}

} // namespace

bool Export(const CVersionCenter& center, const CExportRequest& request, CExportSummary& summary, std::string& error)
{
    summary = CExportSummary();
    std::error_code failure;
    const fs::path directory = fs::absolute(request.directory, failure).lexically_normal();
    const fs::path answers = directory / "answers";
    const fs::path files = request.files.empty() ? fs::path() : fs::absolute(request.files, failure).lexically_normal();
    if (!NginxSafe(answers.string()) || !NginxSafe(files.string()) || !NginxSafe(request.listen) ||
        !NginxSafe(center.BasePath()) || center.BasePath().find_first_of(" ()[]^|*+?") != std::string::npos)
    {
        error = "the folders, the base path and the listen address must not hold quotes, '$', '\\\\', ';', braces "
                "or control characters (nor regular-expression characters in the base path)";
        return false;
    }
    const fs::path fresh = directory / ("answers.new-" + std::to_string(::getpid()));
    if (!request.dryRun)
    {
        fs::create_directories(directory, failure);
        fs::remove_all(fresh, failure);
    }
    CAnswerWriter writer(fresh, request.dryRun, summary, error);
    bool written = true;
    for (const auto& item : center.Catalog().Products())
    {
        ForEachRequest(item.second, center.BasePath(),
                       [&](const std::string& path, const CQuery& query, const std::string& file) {
                           if (!written)
                               return;
                           const CAnswer answer = center.Answer(path, query);
                           if (answer.status == 200)
                               written = writer.Write(file, answer.body);
                       });
    }
    if (request.dryRun)
        return true;
    if (written && WriteFileAtomically(directory / "nginx.conf", NginxConfig(center, request, answers, files), error) &&
        Replace(fresh, answers, error))
        return true;
    fs::remove_all(fresh, failure);
    return false;
}

} // namespace versionCenter
