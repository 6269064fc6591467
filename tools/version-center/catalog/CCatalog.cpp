#include "catalog/CCatalog.h"

#include "catalog/DownloadUrl.h"
#include "catalog/Length.h"

#include <json/json.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <initializer_list>
#include <set>
#include <sstream>
#include <utility>

namespace versionCenter
{
namespace
{

const char* const kPatchTypes[] = {"bug", "resource", "function", "version"};
const char* const kPatchForces[] = {"wait", "common", "recommend", "must"};

// Whether a text can stand in a request path as it is: the library sends it
// unencoded, so '?' and '#' would end the path, '%' would be decoded, and a
// "." or ".." segment would be taken away by the client.
bool Requestable(const std::string& text)
{
    if (std::any_of(text.begin(), text.end(),
                    [](unsigned char c) { return c < 0x20 || c == 0x7f || c == '?' || c == '#' || c == '%'; }))
        return false;
    std::string::size_type start = 0;
    for (;;)
    {
        const std::string::size_type slash = text.find('/', start);
        const std::string segment = text.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        if (segment == "." || segment == "..")
            return false;
        if (slash == std::string::npos)
            return true;
        start = slash + 1;
    }
}

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Walks the parsed catalog and checks it. Every failure records one message
// that names where in the document the problem is.
class CCatalogReader
{
public:
    explicit CCatalogReader(std::string& error) : m_error(error) {}

    bool ReadCatalog(const Json::Value& root, std::map<std::string, CProductEntry>& products)
    {
        if (!Object(root, "the document") || !Keys(root, "the document", {"products"}))
            return false;
        const Json::Value& list = root["products"];
        if (!Object(list, "products"))
            return false;
        if (list.empty())
            return Fail("products", "the catalog names no product");
        for (const std::string& name : list.getMemberNames())
        {
            const std::string where = "products." + name;
            if (name.empty())
                return Fail("products", "a product name is empty");
            if (name.find('/') != std::string::npos || !Requestable(name))
                return Fail(where, "a product name must not contain '/', '?', '#', '%' or control characters, "
                                   "nor be '.' or '..'");
            CProductEntry& product = products[name];
            product.name = name;
            if (!ReadProduct(list[name], where, product))
                return false;
        }
        return true;
    }

private:
    bool Fail(const std::string& where, const std::string& problem)
    {
        m_error = where + ": " + problem;
        return false;
    }

    bool Object(const Json::Value& value, const std::string& where)
    {
        return value.isObject() || Fail(where, "expected a JSON object");
    }

    bool Keys(const Json::Value& value, const std::string& where, std::initializer_list<const char*> allowed)
    {
        for (const std::string& key : value.getMemberNames())
        {
            if (std::none_of(allowed.begin(), allowed.end(), [&](const char* a) { return key == a; }))
            {
                std::string names;
                for (const char* a : allowed)
                    names += std::string(names.empty() ? "" : ", ") + a;
                return Fail(where, "unknown member \"" + key + "\" (known: " + names.append(")"));
            }
        }
        return true;
    }

    // An optional text member; absent or null leaves `out` as it is.
    bool Text(const Json::Value& parent, const char* key, const std::string& where, std::string& out)
    {
        const Json::Value& value = parent[key];
        if (value.isNull())
            return true;
        if (!value.isString())
            return Fail(where + "." + key, "expected a text");
        out = value.asString();
        return true;
    }

    bool Version(const Json::Value& value, const std::string& where, CVersionNumber& out)
    {
        bool hasDigits = false;
        if (value.isString())
            out = CVersionNumber::Parse(value.asString(), &hasDigits);
        if (!hasDigits)
            return Fail(where, "expected a version text such as \"1.2.0.0\"");
        return true;
    }

    bool KnownVersion(const Json::Value& value, const std::string& where, const CProductEntry& product,
                      CVersionNumber& out)
    {
        if (!Version(value, where, out))
            return false;
        if (product.versions.count(out) == 0)
            return Fail(where, "version " + out.ToString() + " is not among the product's versions");
        return true;
    }

    bool Length(const Json::Value& value, const std::string& where, std::int64_t& out)
    {
        return ReadLength(value, out) ||
               Fail(where, "expected a length in bytes: a whole number of at least 0, or its decimal text");
    }

    bool Name(const Json::Value& parent, const char* key, const std::string& where, const char* const (&table)[4],
              std::string& out)
    {
        std::string text;
        if (!Text(parent, key, where, text))
            return false;
        if (parent[key].isNull())
            return true;
        text = Lower(text);
        for (const char* name : table)
        {
            if (text == name)
            {
                out = name;
                return true;
            }
        }
        return Fail(where + "." + key, "\"" + parent[key].asString() + "\" is not one of " + table[0] + ", " +
                                           table[1] + ", " + table[2] + ", " + table[3]);
    }

    bool File(const Json::Value& value, const std::string& where, CFileEntry& file)
    {
        return Object(value, where) && Keys(value, where, {"url", "md5", "path", "length"}) &&
               Text(value, "url", where, file.url) && Text(value, "md5", where, file.md5) &&
               Text(value, "path", where, file.path) && Length(value["length"], where + ".length", file.length);
    }

    bool Package(const Json::Value& value, const std::string& where, std::unique_ptr<CPackageEntry>& out)
    {
        if (value.isNull())
            return true;
        out.reset(new CPackageEntry);
        if (!Object(value, where) || !Keys(value, where, {"base_url", "direct_type", "direct_file", "resource"}) ||
            !Text(value, "base_url", where, out->baseUrl) || !Text(value, "direct_type", where, out->directType))
            return false;
        if (!value["direct_file"].isNull() && !File(value["direct_file"], where + ".direct_file", out->directFile))
            return false;
        const Json::Value& resource = value["resource"];
        if (resource.isNull())
            return true;
        if (!resource.isArray())
            return Fail(where + ".resource", "expected an array of files");
        for (Json::ArrayIndex i = 0; i < resource.size(); ++i)
        {
            out->resource.emplace_back();
            if (!File(resource[i], where + ".resource[" + std::to_string(i) + "]", out->resource.back()))
                return false;
        }
        return true;
    }

    bool FileCheck(const Json::Value& value, const std::string& where, std::unique_ptr<CFileCheckEntry>& out)
    {
        if (value.isNull())
            return true;
        out.reset(new CFileCheckEntry);
        return Object(value, where) && Keys(value, where, {"url", "type"}) && Text(value, "url", where, out->url) &&
               Text(value, "type", where, out->type);
    }

    bool ReadProduct(const Json::Value& value, const std::string& where, CProductEntry& product)
    {
        return Object(value, where) && Keys(value, where, {"situation", "versions", "patches"}) &&
               ReadVersions(value["versions"], where + ".versions", product) &&
               ReadSituation(value["situation"], where + ".situation", product) &&
               ReadPatches(value["patches"], where + ".patches", product);
    }

    bool ReadVersions(const Json::Value& versions, const std::string& where, CProductEntry& product)
    {
        if (!Object(versions, where))
            return false;
        if (versions.empty())
            return Fail(where, "the product has no version");
        for (const std::string& text : versions.getMemberNames())
        {
            const std::string at = std::string(where).append(".").append(text);
            CVersionNumber number;
            if (!Version(Json::Value(text), at, number))
                return false;
            if (product.versions.count(number) != 0)
                return Fail(at, "names version " + number.ToString() + " a second time");
            CVersionEntry& entry = product.versions[number];
            const Json::Value& body = versions[text];
            if (!Object(body, at) || !Keys(body, at, {"package", "file_check"}) ||
                !Package(body["package"], at + ".package", entry.package) ||
                !FileCheck(body["file_check"], at + ".file_check", entry.fileCheck))
                return false;
        }
        return true;
    }

    // Without a situation, the newest version is both "last" and "max", and
    // nothing is required or announced.
    bool ReadSituation(const Json::Value& situation, const std::string& where, CProductEntry& product)
    {
        product.last = product.max = product.versions.rbegin()->first;
        if (situation.isNull())
            return true;
        if (!Object(situation, where) || !Keys(situation, where, {"last", "must", "max", "will"}))
            return false;
        const std::pair<const char*, CVersionNumber*> members[] = {
            {"last", &product.last}, {"must", &product.must}, {"max", &product.max}, {"will", &product.will}};
        for (const auto& member : members)
        {
            const Json::Value& value = situation[member.first];
            if (!value.isNull() && !Version(value, where + "." + member.first, *member.second))
                return false;
        }
        return true;
    }

    bool ReadPatches(const Json::Value& patches, const std::string& where, CProductEntry& product)
    {
        if (patches.isNull())
            return true;
        if (!patches.isArray())
            return Fail(where, "expected an array of patches");
        std::set<std::string> numbers;
        for (Json::ArrayIndex i = 0; i < patches.size(); ++i)
        {
            product.patches.emplace_back();
            if (!ReadPatch(patches[i], where + "[" + std::to_string(i) + "]", product, numbers, product.patches.back()))
                return false;
        }
        // A patch may name one further down the list, so this waits until all
        // numbers are known.
        for (std::size_t i = 0; i < product.patches.size(); ++i)
        {
            const std::string& dependOn = product.patches[i].dependOn;
            if (!dependOn.empty() && numbers.count(dependOn) == 0)
                return Fail(where + "[" + std::to_string(i) + "].dependon",
                            "no patch of the product has the number \"" + dependOn + "\"");
        }
        return true;
    }

    // `numbers` collects the numbers of the patches read so far.
    bool ReadPatch(const Json::Value& body, const std::string& at, const CProductEntry& product,
                   std::set<std::string>& numbers, CPatchEntry& patch)
    {
        if (!Object(body, at) ||
            !Keys(body, at,
                  {"number", "title", "comment", "apply", "result", "dependon", "type", "force", "package"}) ||
            !Text(body, "number", at, patch.number))
            return false;
        if (patch.number.empty())
            return Fail(at + ".number", "every patch needs a non-empty number");
        if (!Requestable(patch.number))
            return Fail(at + ".number", "a patch number must not contain '?', '#', '%' or control characters, "
                                        "nor '.' or '..' between slashes");
        if (!numbers.insert(patch.number).second)
            return Fail(at + ".number", "patch number \"" + patch.number + "\" is used twice");
        return Text(body, "title", at, patch.title) && Text(body, "comment", at, patch.comment) &&
               Text(body, "dependon", at, patch.dependOn) && Name(body, "type", at, kPatchTypes, patch.type) &&
               Name(body, "force", at, kPatchForces, patch.force) &&
               KnownVersion(body["result"], at + ".result", product, patch.result) &&
               Package(body["package"], at + ".package", patch.package) &&
               ReadApply(body["apply"], at + ".apply", product, patch.apply);
    }

    bool ReadApply(const Json::Value& apply, const std::string& where, const CProductEntry& product,
                   std::vector<CVersionNumber>& out)
    {
        if (!apply.isArray() || apply.empty())
            return Fail(where, "expected a non-empty array of the versions the patch applies to");
        for (Json::ArrayIndex j = 0; j < apply.size(); ++j)
        {
            out.emplace_back();
            if (!KnownVersion(apply[j], where + "[" + std::to_string(j) + "]", product, out.back()))
                return false;
        }
        return true;
    }

    std::string& m_error;
};

} // namespace

const CPatchEntry* CProductEntry::FindPatch(const std::string& number) const
{
    for (const CPatchEntry& patch : patches)
    {
        if (patch.number == number)
            return &patch;
    }
    return nullptr;
}

bool CCatalog::LoadFile(const std::string& fileName, std::string& error)
{
    std::ifstream file(fileName, std::ios::binary);
    if (!file)
    {
        error = fileName + ": cannot be opened for reading";
        return false;
    }
    std::ostringstream text;
    text << file.rdbuf();
    if (file.bad())
    {
        error = fileName + ": cannot be read";
        return false;
    }
    return LoadText(text.str(), fileName, error);
}

bool CCatalog::LoadText(const std::string& text, const std::string& origin, std::string& error)
{
    Json::CharReaderBuilder builder;
    builder["allowComments"] = true;
    builder["rejectDupKeys"] = true;
    builder["failIfExtra"] = true;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value root;
    std::string problem;
    if (!reader->parse(text.data(), text.data() + text.size(), &root, &problem))
    {
        // jsoncpp formats its messages over several lines; keep one line.
        std::string line;
        for (char c : problem)
        {
            if (c == '\n')
                c = ' ';
            if (!(c == ' ' && (line.empty() || line.back() == ' ')))
                line += c;
        }
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        error = origin + ": not valid JSON: " + line;
        return false;
    }
    std::map<std::string, CProductEntry> products;
    std::string problemAt;
    CCatalogReader reader2(problemAt);
    if (!reader2.ReadCatalog(root, products))
    {
        error = origin + ": " + problemAt;
        return false;
    }
    m_products.swap(products);
    return true;
}

namespace
{

bool RelativeIn(const CPackageEntry* package)
{
    if (!package)
        return false;
    return IsTreeRelative(package->baseUrl) || IsTreeRelative(package->directFile.url) ||
           std::any_of(package->resource.begin(), package->resource.end(),
                       [](const CFileEntry& file) { return IsTreeRelative(file.url); });
}

bool RelativeIn(const CProductEntry& product)
{
    for (const auto& version : product.versions)
    {
        if (RelativeIn(version.second.package.get()) ||
            (version.second.fileCheck && IsTreeRelative(version.second.fileCheck->url)))
            return true;
    }
    return std::any_of(product.patches.begin(), product.patches.end(),
                       [](const CPatchEntry& patch) { return RelativeIn(patch.package.get()); });
}

} // namespace

bool CCatalog::HasTreeRelativeUrls() const
{
    return std::any_of(m_products.begin(), m_products.end(),
                       [](const std::pair<const std::string, CProductEntry>& item) { return RelativeIn(item.second); });
}

const CProductEntry* CCatalog::FindProduct(const std::string& name) const
{
    const auto found = m_products.find(name);
    return found == m_products.end() ? nullptr : &found->second;
}

} // namespace versionCenter
