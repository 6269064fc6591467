// The catalog the version center serves: products, their versions, the
// version situation, patches, packages and file-check definitions, loaded
// from a JSON file and checked as a whole before anything is served, and
// written back to one by the publisher after it edited the records.
//
// Every record carries its form (CRecordForm): what the file wrote beyond the
// record's values, so that writing the catalog keeps a person's comments and
// the members they named although they hold nothing.
#ifndef VERSIONCENTER_CCATALOG_H
#define VERSIONCENTER_CCATALOG_H

#include "catalog/CRecordForm.h"
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
    CRecordForm form;
};

struct CPackageEntry
{
    std::string baseUrl;
    std::string directType;
    CFileEntry directFile;
    std::vector<CFileEntry> resource;
    CRecordForm form;
};

struct CFileCheckEntry
{
    std::string url;
    std::string type;
    CRecordForm form;
};

struct CVersionEntry
{
    std::unique_ptr<CPackageEntry> package;
    std::unique_ptr<CFileCheckEntry> fileCheck;
    CRecordForm form;
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
    CRecordForm form;
};

struct CProductEntry
{
    std::string name;
    /// A member the catalog leaves out of the situation holds its default
    /// here and is left out when the catalog is written: the form says which
    /// ones the catalog names ("situation.last").
    CVersionNumber last, must, max, will;
    /// Ascending by version.
    std::map<CVersionNumber, CVersionEntry> versions;
    /// In catalog order.
    std::vector<CPatchEntry> patches;
    CRecordForm form;

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

    /// The product with that name to edit, added without versions when the
    /// catalog has none. A catalog is checked only when it is loaded: text
    /// written after an edit must be loaded again to know that it is good.
    CProductEntry& EditProduct(const std::string& name);

    /// The catalog as the JSON text LoadText reads back to the same records,
    /// comments included. Whoever writes it to a file replaces the file
    /// atomically.
    std::string Text() const;

    /// Whether any download address (a package's base url, a file's url, a
    /// file check's url) is relative to the download tree.
    bool HasTreeRelativeUrls() const;

private:
    std::map<std::string, CProductEntry> m_products;
    CRecordForm m_form; // the document's own comments
};

} // namespace versionCenter

#endif // VERSIONCENTER_CCATALOG_H
