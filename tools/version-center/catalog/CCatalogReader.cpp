#include "catalog/CCatalogReader.h"

#include "catalog/Length.h"

#include <json/json.h>

#include <algorithm>
#include <cctype>
#include <initializer_list>
#include <set>
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

    bool ReadCatalog(const Json::Value& root, std::map<std::string, CProductEntry>& products, CRecordForm& form)
    {
        if (!Object(root, "the document") || !Keys(root, "the document", {"products"}))
            return false;
        form.Read(root, {"products/*"});
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
        file.form.Read(value, {});
        return Object(value, where) && Keys(value, where, {"url", "md5", "path", "length"}) &&
               Text(value, "url", where, file.url) && Text(value, "md5", where, file.md5) &&
               Text(value, "path", where, file.path) && Length(value["length"], where + ".length", file.length);
    }

    bool Package(const Json::Value& value, const std::string& where, std::unique_ptr<CPackageEntry>& out)
    {
        if (value.isNull())
            return true;
        out.reset(new CPackageEntry);
        out->form.Read(value, {"direct_file", "resource/*"});
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
        out->form.Read(value, {});
        return Object(value, where) && Keys(value, where, {"url", "type"}) && Text(value, "url", where, out->url) &&
               Text(value, "type", where, out->type);
    }

    bool ReadProduct(const Json::Value& value, const std::string& where, CProductEntry& product)
    {
        product.form.Read(value, {"versions/*", "patches/*"});
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
            entry.form.Read(body, {"package", "file_check"});
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
        // A member left out takes a default that follows the versions, so the
        // writer must know which ones the catalog names, whatever they hold.
        product.form.Name("situation");
        for (const auto& member : members)
        {
            const Json::Value& value = situation[member.first];
            if (value.isNull())
                continue;
            if (!Version(value, where + "." + member.first, *member.second))
                return false;
            product.form.Name(std::string("situation.") + member.first);
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
        patch.form.Read(body, {"package"});
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

bool ReadCatalog(const Json::Value& root, std::map<std::string, CProductEntry>& products, CRecordForm& form,
                 std::string& error)
{
    return CCatalogReader(error).ReadCatalog(root, products, form);
}

} // namespace versionCenter
