#include "catalog/CCatalogWriter.h"

#include "catalog/Length.h"

#include <json/json.h>

#include <utility>

namespace versionCenter
{
namespace
{

// Sets a text member unless it is empty and the file did not name it.
void PutText(Json::Value& object, const CRecordForm& form, const char* key, const std::string& text)
{
    if (!text.empty() || form.Named(key))
        object[key] = text;
}

Json::Value VersionJson(const CVersionNumber& version)
{
    return Json::Value(version.Text());
}

Json::Value FileJson(const CFileEntry& file)
{
    Json::Value value(Json::objectValue);
    PutText(value, file.form, "url", file.url);
    PutText(value, file.form, "md5", file.md5);
    PutText(value, file.form, "path", file.path);
    WriteLength(value, file.length);
    file.form.PutComments(value);
    return value;
}

bool IsEmpty(const CFileEntry& file)
{
    return file.url.empty() && file.md5.empty() && file.path.empty() && file.length == 0;
}

Json::Value PackageJson(const CPackageEntry& package)
{
    Json::Value value(Json::objectValue);
    PutText(value, package.form, "base_url", package.baseUrl);
    PutText(value, package.form, "direct_type", package.directType);
    if (!IsEmpty(package.directFile) || package.form.Named("direct_file"))
        value["direct_file"] = FileJson(package.directFile);
    if (!package.resource.empty() || package.form.Named("resource"))
    {
        Json::Value& resource = value["resource"] = Json::Value(Json::arrayValue);
        for (const CFileEntry& file : package.resource)
            resource.append(FileJson(file));
    }
    package.form.PutComments(value);
    return value;
}

Json::Value FileCheckJson(const CFileCheckEntry& check)
{
    Json::Value value(Json::objectValue);
    PutText(value, check.form, "url", check.url);
    PutText(value, check.form, "type", check.type);
    check.form.PutComments(value);
    return value;
}

Json::Value VersionEntryJson(const CVersionEntry& entry)
{
    Json::Value value(Json::objectValue);
    if (entry.package)
        value["package"] = PackageJson(*entry.package);
    if (entry.fileCheck)
        value["file_check"] = FileCheckJson(*entry.fileCheck);
    entry.form.PutComments(value);
    return value;
}

Json::Value PatchJson(const CPatchEntry& patch)
{
    Json::Value value(Json::objectValue);
    value["number"] = patch.number;
    PutText(value, patch.form, "title", patch.title);
    PutText(value, patch.form, "comment", patch.comment);
    Json::Value& apply = value["apply"] = Json::Value(Json::arrayValue);
    for (const CVersionNumber& version : patch.apply)
        apply.append(VersionJson(version));
    value["result"] = VersionJson(patch.result);
    PutText(value, patch.form, "dependon", patch.dependOn);
    value["type"] = patch.type;
    value["force"] = patch.force;
    if (patch.package)
        value["package"] = PackageJson(*patch.package);
    patch.form.PutComments(value);
    return value;
}

Json::Value ProductJson(const CProductEntry& product)
{
    Json::Value value(Json::objectValue);
    if (product.form.Named("situation"))
    {
        Json::Value& situation = value["situation"] = Json::Value(Json::objectValue);
        const std::pair<const char*, const CVersionNumber*> members[] = {
            {"last", &product.last}, {"must", &product.must}, {"max", &product.max}, {"will", &product.will}};
        for (const auto& member : members)
        {
            if (product.form.Named(std::string("situation.") + member.first))
                situation[member.first] = VersionJson(*member.second);
        }
    }
    Json::Value& versions = value["versions"] = Json::Value(Json::objectValue);
    for (const auto& version : product.versions)
        versions[version.first.Text()] = VersionEntryJson(version.second);
    if (!product.patches.empty() || product.form.Named("patches"))
    {
        Json::Value& patches = value["patches"] = Json::Value(Json::arrayValue);
        for (const CPatchEntry& patch : product.patches)
            patches.append(PatchJson(patch));
    }
    product.form.PutComments(value);
    return value;
}

} // namespace

Json::Value WriteCatalog(const std::map<std::string, CProductEntry>& products, const CRecordForm& form)
{
    Json::Value root(Json::objectValue);
    Json::Value& list = root["products"] = Json::Value(Json::objectValue);
    for (const auto& product : products)
        list[product.first] = ProductJson(product.second);
    form.PutComments(root);
    return root;
}

} // namespace versionCenter
