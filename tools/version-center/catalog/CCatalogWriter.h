// Writing the catalog's records as the catalog file's JSON document, the
// form the reader accepts.
#ifndef VERSIONCENTER_CCATALOGWRITER_H
#define VERSIONCENTER_CCATALOGWRITER_H

#include "catalog/CCatalog.h"

#include <map>
#include <string>

namespace Json
{
class Value;
}

namespace versionCenter
{

/// The document of `products`, with the comments of every record and those
/// of the document itself (`form`) where they stood. A member is written when
/// it holds something other than what leaving it out means, or when the
/// record's form says the file named it; a patch's number, versions, type and
/// force and a file's length are always written, and versions are named by
/// the text they were read from.
Json::Value WriteCatalog(const std::map<std::string, CProductEntry>& products, const CRecordForm& form);

} // namespace versionCenter

#endif // VERSIONCENTER_CCATALOGWRITER_H
