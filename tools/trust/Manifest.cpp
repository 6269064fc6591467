#include "Manifest.h"

#include "TrustJson.h"

#include <algorithm>
#include <cctype>
#include <set>

namespace vesktrust
{
namespace
{

// Whether `component` (no '/') is a name Windows gives a meaning of its own:
// a device ("CON", "com1.txt"), or one ending in a dot or a space.
bool IsReservedOnWindows(const std::string& component)
{
    if (component.back() == '.' || component.back() == ' ')
        return true;
    std::string stem = component.substr(0, component.find('.'));
    while (!stem.empty() && stem.back() == ' ')
        stem.pop_back();
    std::transform(stem.begin(), stem.end(), stem.begin(), [](unsigned char c) { return std::toupper(c); });
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    if (std::find(std::begin(kDevices), std::end(kDevices), stem) != std::end(kDevices))
        return true;
    return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) && stem[3] >= '0' &&
           stem[3] <= '9';
}

Json::Value DeltaJson(const CManifestDelta& delta)
{
    Json::Value value(Json::objectValue);
    value["from"] = delta.from;
    value["url"] = delta.url;
    value["length"] = Json::Int64(delta.length);
    value["sha256"] = delta.sha256;
    return value;
}

Json::Value FileJson(const CManifestFile& file)
{
    Json::Value value(Json::objectValue);
    value["name"] = file.name;
    value["length"] = Json::Int64(file.length);
    value["sha256"] = file.sha256;
    value["url"] = file.url;
    if (!file.deltas.empty())
    {
        Json::Value& deltas = value["deltas"] = Json::Value(Json::arrayValue);
        for (const CManifestDelta& delta : file.deltas)
            deltas.append(DeltaJson(delta));
    }
    return value;
}

bool Digest(const Json::Value& value, const std::string& where, std::string& out, std::string& error)
{
    if (!json::String(value, where, out, error))
        return false;
    return IsSha256Hex(out) || Fail(error, where + " is not 64 lower-case hex digits");
}

bool ReadDelta(const Json::Value& value, const std::string& where, CManifestDelta& delta, std::string& error)
{
    return json::Members(value, where, {"from", "url", "length", "sha256"}, {}, error) &&
           Digest(value["from"], where + ".from", delta.from, error) &&
           json::Label(value["url"], where + ".url", delta.url, error) &&
           json::Count(value["length"], where + ".length", delta.length, error) &&
           Digest(value["sha256"], where + ".sha256", delta.sha256, error);
}

bool ReadFile(const Json::Value& value, const std::string& where, CManifestFile& file, std::string& error)
{
    if (!json::Members(value, where, {"name", "length", "sha256", "url"}, {"deltas"}, error) ||
        !json::String(value["name"], where + ".name", file.name, error))
        return false;
    std::string problem;
    if (!CheckFileName(file.name, problem))
        return Fail(error, where + ".name: " + problem);
    if (!json::Count(value["length"], where + ".length", file.length, error) ||
        !Digest(value["sha256"], where + ".sha256", file.sha256, error) ||
        !json::Label(value["url"], where + ".url", file.url, error))
        return false;
    const Json::Value& deltas = value["deltas"];
    if (deltas.isNull())
        return true;
    if (!deltas.isArray())
        return Fail(error, where + ".deltas is not an array");
    for (Json::ArrayIndex i = 0; i < deltas.size(); ++i)
    {
        CManifestDelta delta;
        if (!ReadDelta(deltas[i], where + ".deltas[" + std::to_string(i) + "]", delta, error))
            return false;
        file.deltas.push_back(delta);
    }
    return true;
}

bool ReadFiles(const Json::Value& value, std::vector<CManifestFile>& files, std::string& error)
{
    if (!value.isArray())
        return Fail(error, "files is not an array");
    std::set<std::string> names;
    for (Json::ArrayIndex i = 0; i < value.size(); ++i)
    {
        CManifestFile file;
        if (!ReadFile(value[i], "files[" + std::to_string(i) + "]", file, error))
            return false;
        if (!names.insert(file.name).second)
            return Fail(error, "files names " + file.name + " twice");
        files.push_back(std::move(file));
    }
    return true;
}

bool ReadRemoved(const Json::Value& value, const std::vector<CManifestFile>& files, std::vector<std::string>& removed,
                 std::string& error)
{
    if (!value.isArray())
        return Fail(error, "removed is not an array");
    std::set<std::string> names;
    for (const CManifestFile& file : files)
        names.insert(file.name);
    std::set<std::string> seen;
    for (Json::ArrayIndex i = 0; i < value.size(); ++i)
    {
        const std::string where = "removed[" + std::to_string(i) + "]";
        std::string name;
        std::string problem;
        if (!json::String(value[i], where, name, error))
            return false;
        if (!CheckFileName(name, problem))
            return FailWith(error, where, ": ", problem);
        if (names.count(name) != 0)
            return FailWith(error, where, " names ", name, ", which files holds");
        if (!seen.insert(name).second)
            return Fail(error, "removed names " + name + " twice");
        removed.push_back(name);
    }
    return true;
}

} // namespace

std::string WriteManifest(const CManifest& manifest)
{
    Json::Value root(Json::objectValue);
    root["format"] = kManifestFormat;
    root["product"] = manifest.product;
    root["kind"] = manifest.kind;
    if (manifest.kind == "patch")
    {
        root["patch"] = manifest.patch;
        root["apply"] = json::Array(manifest.apply);
        root["result"] = manifest.result;
        std::vector<std::string> removed = manifest.removed;
        std::sort(removed.begin(), removed.end());
        root["removed"] = json::Array(removed);
    }
    else
    {
        root["version"] = manifest.version;
    }
    std::vector<const CManifestFile*> files;
    for (const CManifestFile& file : manifest.files)
        files.push_back(&file);
    std::sort(files.begin(), files.end(),
              [](const CManifestFile* a, const CManifestFile* b) { return a->name < b->name; });
    Json::Value& list = root["files"] = Json::Value(Json::arrayValue);
    for (const CManifestFile* file : files)
        list.append(FileJson(*file));
    return json::Render(root);
}

bool ReadManifest(const std::string& text, CManifest& manifest, std::string& error)
{
    Json::Value root;
    std::string problem;
    std::string format;
    CManifest read;
    bool ok = json::ParseObject(text, root, problem);
    if (ok && !(root["format"].isString() && root["format"].asString() == kManifestFormat))
        ok = Fail(problem, "its format is not " + std::string(kManifestFormat));
    ok = ok && json::Product(root["product"], "product", read.product, problem) &&
         json::String(root["kind"], "kind", read.kind, problem);
    if (ok && read.kind == "version")
    {
        ok = json::Members(root, "the manifest", {"format", "product", "kind", "version", "files"}, {}, problem) &&
             json::Version(root["version"], "version", false, read.version, problem);
    }
    else if (ok && read.kind == "patch")
    {
        ok = json::Members(root, "the manifest",
                           {"format", "product", "kind", "patch", "apply", "result", "removed", "files"}, {},
                           problem) &&
             json::Label(root["patch"], "patch", read.patch, problem) &&
             json::Versions(root["apply"], "apply", false, read.apply, problem) &&
             json::Version(root["result"], "result", false, read.result, problem);
    }
    else if (ok)
    {
        ok = Fail(problem, "kind is neither \"version\" nor \"patch\"");
    }
    ok = ok && ReadFiles(root["files"], read.files, problem);
    if (ok && read.kind == "patch")
        ok = ReadRemoved(root["removed"], read.files, read.removed, problem);
    if (!ok)
        return Fail(error, "manifest refused: " + problem);
    manifest = std::move(read);
    return true;
}

std::string ManifestPath(const std::string& product, const std::string& kind, const std::string& id)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string name = kind + "-";
    for (const unsigned char c : id)
    {
        if (std::isalnum(c) != 0 || c == '.' || c == '-')
        {
            name += static_cast<char>(c);
        }
        else
        {
            name += '_';
            name += kHex[c >> 4];
            name += kHex[c & 0x0f];
        }
    }
    return product + "/signed/" + name + ".json";
}

bool CheckFileName(const std::string& name, std::string& error)
{
    if (name.empty())
        return Fail(error, "the name is empty");
    if (std::any_of(name.begin(), name.end(), [](unsigned char c) { return c < 0x20 || c == 0x7f; }))
        return Fail(error, "the name holds a control character");
    if (name.find('\\') != std::string::npos || name.find(':') != std::string::npos)
        return Fail(error, "the name '" + name + "' holds '\\' or ':'");
    if (name.front() == '/')
        return Fail(error, "the name '" + name + "' is absolute");
    std::string::size_type start = 0;
    while (start <= name.size())
    {
        std::string::size_type end = name.find('/', start);
        if (end == std::string::npos)
            end = name.size();
        const std::string component = name.substr(start, end - start);
        if (component.empty() || component == "." || component == "..")
            return Fail(error, "the name '" + name + "' has an empty, '.' or '..' part");
        if (IsReservedOnWindows(component))
            return Fail(error, "the name '" + name + "' has a part Windows reserves");
        start = end + 1;
    }
    return true;
}

bool IsCanonicalVersion(const std::string& text)
{
    int parts = 0;
    std::string::size_type start = 0;
    while (start <= text.size())
    {
        std::string::size_type end = text.find('.', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string part = text.substr(start, end - start);
        if (part.empty() || part.size() > 10 || part.find_first_not_of("0123456789") != std::string::npos ||
            (part.size() > 1 && part[0] == '0') || std::stoull(part) > 0xffffffffULL)
            return false;
        ++parts;
        start = end + 1;
    }
    return parts == 4;
}

bool IsSha256Hex(const std::string& text)
{
    return text.size() == 64 && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

} // namespace vesktrust
