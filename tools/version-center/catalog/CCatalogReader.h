// Reading the catalog file's JSON document into the catalog's records, with
// every check the center relies on.
#ifndef VERSIONCENTER_CCATALOGREADER_H
#define VERSIONCENTER_CCATALOGREADER_H

#include "catalog/CCatalog.h"

#include <map>
#include <string>

namespace Json
{
class Value;
}

namespace versionCenter
{

/// Reads the products of `root` into `products`, and the form of the document
/// itself (its comments) into `form`. On failure returns false and sets
/// `error` to one message naming the place in the document and the problem;
/// `products` may then hold part of the document.
bool ReadCatalog(const Json::Value& root, std::map<std::string, CProductEntry>& products, CRecordForm& form,
                 std::string& error);

} // namespace versionCenter

#endif // VERSIONCENTER_CCATALOGREADER_H
