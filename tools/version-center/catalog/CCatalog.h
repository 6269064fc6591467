// The catalog the version center serves: products, their versions, the
// version situation, patches, packages and file-check definitions, loaded
// from a JSON file and checked as a whole before anything is served.
#ifndef VERSIONCENTER_CCATALOG_H
#define VERSIONCENTER_CCATALOG_H

#include "catalog/CVersionNumber.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace versionCenter
{

struct CFileEntry
{
    std::string url;
    std::string md5;
    std::string path;
    std::int64_t length = 0;
};

struct CPackageEntry
{
    std::string baseUrl;
    std::string directType;
    CFileEntry directFile;
    std::vector<CFileEntry> resource;
};

struct CFileCheckEntry
{
    std::string url;
    std::string type;
};

struct CVersionEntry
{
    std::unique_ptr<CPackageEntry> package;
    std::unique_ptr<CFileCheckEntry> fileCheck;
};

struct CPatchEntry
{
    std::string number;
    std::string title;
    std::string comment;
    std::vector<CVersionNumber> apply;
    CVersionNumber result;
    std::string dependOn;
    std::string type = "version";
    std::string force = "common";
    std::unique_ptr<CPackageEntry> package;
};

struct CProductEntry
{
    std::string name;
    CVersionNumber last, must, max, will;
    /// Ascending by version.
    std::map<CVersionNumber, CVersionEntry> versions;
    /// In catalog order.
    std::vector<CPatchEntry> patches;

    /// The patch with that number, or null.
    const CPatchEntry* FindPatch(const std::string& number) const;
};

class CCatalog
{
public:
    /// Reads and checks a catalog file. On failure returns false and sets
    /// `error` to a message naming the file and the problem.
    bool LoadFile(const std::string& fileName, std::string& error);

    /// The same for catalog text already in memory; `origin` names it in
    /// messages.
    bool LoadText(const std::string& text, const std::string& origin, std::string& error);

    /// The product with that exact name, or null.
    const CProductEntry* FindProduct(const std::string& name) const;

    const std::map<std::string, CProductEntry>& Products() const { return m_products; }

    /// Whether any download address (a package's base url, a file's url, a
    /// file check's url) is relative to the download tree.
    bool HasTreeRelativeUrls() const;

private:
    std::map<std::string, CProductEntry> m_products;
};

} // namespace versionCenter

#endif // VERSIONCENTER_CCATALOG_H
