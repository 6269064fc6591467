// Catalogs of many versions for the tests and benchmarks that serve them at
// scale: generated from a seed, so a failure can be repeated, and shaped like
// a product's history (a chain of releases with one patch per step, some
// shortcuts and patches of their own, packages and file checks on most
// versions, a situation that may announce an unreleased version).
#ifndef VESKUPDATE_TESTS_SUPPORT_RANDOMCATALOG_H
#define VESKUPDATE_TESTS_SUPPORT_RANDOMCATALOG_H

#include <json/json.h>

#include <cstdint>
#include <string>

namespace testsupport
{

struct CCatalogShape
{
    std::uint32_t seed = 1;
    int versions = 200;
    /// Only a chain: one patch per step, every version and patch with a
    /// package and file check; the newest version is last and max, the
    /// middle one must, and will is not released yet.
    bool chainOnly = false;
    /// Put into every title, so that two catalogs of one shape differ in
    /// their answers' bytes and in nothing else.
    std::string edition;
};

/// One product's entry for a catalog's "products".
Json::Value RandomProduct(const CCatalogShape& shape);

/// A whole catalog's text with `product` under `name`.
std::string CatalogText(const std::string& name, const Json::Value& product);

} // namespace testsupport

#endif // VESKUPDATE_TESTS_SUPPORT_RANDOMCATALOG_H
