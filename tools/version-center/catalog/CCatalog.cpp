#include "catalog/CCatalog.h"

#include "catalog/CCatalogReader.h"
#include "catalog/CCatalogWriter.h"
#include "catalog/DownloadUrl.h"

#include <json/json.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <utility>

namespace versionCenter
{

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
    CRecordForm form;
    std::string problemAt;
    if (!ReadCatalog(root, products, form, problemAt))
    {
        error = origin + ": " + problemAt;
        return false;
    }
    m_products.swap(products);
    m_form = std::move(form);
    return true;
}

std::string CCatalog::Text() const
{
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "  ";
    builder["emitUTF8"] = true;
    builder["commentStyle"] = "All";
    return Json::writeString(builder, WriteCatalog(m_products, m_form)) + "\n";
}

CProductEntry& CCatalog::EditProduct(const std::string& name)
{
    CProductEntry& product = m_products[name];
    product.name = name;
    return product;
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
