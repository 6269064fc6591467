#include "support/RandomCatalog.h"

#include <random>
#include <vector>

namespace testsupport
{
namespace
{

const char* const kTypes[] = {"bug", "resource", "function", "version"};
const char* const kForces[] = {"wait", "common", "recommend", "must"};

Json::Value FileOf(const std::string& url, std::mt19937& random)
{
    Json::Value file(Json::objectValue);
    file["url"] = url;
    file["md5"] = "d41d8cd98f00b204e9800998ecf8427e";
    file["length"] = static_cast<Json::Int64>(random() % 5000000000U);
    return file;
}

Json::Value PackageOf(const std::string& base, std::mt19937& random, bool withResources)
{
    Json::Value package(Json::objectValue);
    package["base_url"] = base;
    package["direct_type"] = "download";
    package["direct_file"] = FileOf(base + "all.zip", random);
    package["resource"] = Json::Value(Json::arrayValue);
    for (unsigned i = 0; withResources && i < random() % 4; ++i)
    {
        Json::Value file = FileOf(base + "bin/f" + std::to_string(i) + ".dll", random);
        file["path"] = "bin/f" + std::to_string(i) + ".dll";
        package["resource"].append(file);
    }
    return package;
}

} // namespace

Json::Value RandomProduct(const CCatalogShape& shape)
{
    std::mt19937 random(shape.seed);
    const bool chain = shape.chainOnly;
    // Versions ascending: minor releases with a major one now and then, and
    // sometimes a third part, so that the texts are of several lengths.
    std::vector<std::string> versions;
    unsigned major = 1, minor = 0, build = 0;
    for (int i = 0; i < shape.versions; ++i)
    {
        versions.push_back(std::to_string(major) + "." + std::to_string(minor) +
                           (build > 0 ? "." + std::to_string(build) : ""));
        if (!chain && random() % 10 == 0)
            build += 1 + random() % 3;
        else if (random() % 25 == 0)
            ++major, minor = 0, build = 0;
        else
            ++minor, build = 0;
    }
    Json::Value product(Json::objectValue);
    Json::Value& entries = product["versions"] = Json::Value(Json::objectValue);
    for (const std::string& version : versions)
    {
        Json::Value entry(Json::objectValue);
        const std::string base = "http://dl.test/" + version + "/";
        if (chain || random() % 5 != 0)
            entry["package"] = PackageOf(base, random, true);
        if (chain || random() % 4 != 0)
        {
            entry["file_check"]["url"] = base + "files.json";
            entry["file_check"]["type"] = "md5";
        }
        entries[version] = entry;
    }

    Json::Value& patches = product["patches"] = Json::Value(Json::arrayValue);
    const auto addPatch = [&](const std::string& number, std::vector<std::string> apply, const std::string& result) {
        Json::Value patch(Json::objectValue);
        patch["number"] = number;
        // Quotes, a backslash and text beyond ASCII travel through every answer.
        patch["title"] = "Step to " + result + shape.edition +
                         (random() % 7 == 0 ? " \"quoted\" \\ \xc3\xa9t\xc3\xa9" : "");
        patch["comment"] = chain ? "" : "Comment " + std::to_string(random() % 1000);
        patch["apply"] = Json::Value(Json::arrayValue);
        for (const std::string& version : apply)
            patch["apply"].append(version);
        patch["result"] = result;
        if (!chain && random() % 6 == 0 && patches.size() > 0)
            patch["dependon"] = patches[static_cast<Json::ArrayIndex>(random() % patches.size())]["number"];
        patch["type"] = kTypes[random() % 4];
        patch["force"] = kForces[random() % 4];
        if (chain || random() % 8 != 0)
            patch["package"] = PackageOf("http://dl.test/p/" + number + "/", random, !chain);
        patches.append(patch);
    };
    for (std::size_t i = 0; i + 1 < versions.size(); ++i)
    {
        std::vector<std::string> apply{versions[i]};
        // Some patches apply to the version before too.
        if (!chain && i > 0 && random() % 10 == 0)
            apply.insert(apply.begin(), versions[i - 1]);
        addPatch("P-" + versions[i] + "-" + versions[i + 1], apply, versions[i + 1]);
        if (chain)
            continue;
        // Shortcuts over several versions, patches that keep the version
        // (translations), and now and then a patch number holding a '/'.
        if (random() % 8 == 0)
        {
            const std::size_t to = std::min(versions.size() - 1, i + 2 + random() % 20);
            addPatch("S-" + versions[i] + "/" + versions[to], {versions[i]}, versions[to]);
        }
        if (random() % 15 == 0)
            addPatch("T-" + versions[i], {versions[i]}, versions[i]);
    }

    Json::Value& situation = product["situation"];
    const std::size_t count = versions.size();
    if (chain)
    {
        // The newest version is the one to reach; hosts older than the
        // middle one must update.
        situation["must"] = versions[count / 2];
        situation["will"] = std::to_string(major + 1) + ".0";
    }
    else
    {
        situation["last"] = versions[count - 1 - random() % 3];
        situation["must"] = versions[random() % (count / 2)];
        situation["max"] = versions[count - 1];
        // An announced version that is not released yet, or a released one.
        situation["will"] = random() % 2 == 0 ? std::to_string(major + 1) + ".0" : versions[count - 1];
    }
    return product;
}

std::string CatalogText(const std::string& name, const Json::Value& product)
{
    Json::Value catalog(Json::objectValue);
    catalog["products"][name] = product;
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    return Json::writeString(builder, catalog);
}

} // namespace testsupport
