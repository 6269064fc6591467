// Helpers for the updater tests: updaters that end with the test, patches
// made from JSON, and the stored document parsed back.
#ifndef VESKUPDATE_TESTS_UPDATERTESTUTIL_H
#define VESKUPDATE_TESTS_UPDATERTESTUTIL_H

#include <VeskUpdate.h>

#include "json/jsonIO.h"
#include "model/CPatch.h"

#include "support/Json.h"
#include "support/Owners.h"

#include <gtest/gtest.h>

#include <string>

namespace updatertest
{

using testsupport::Parse;
using UpdaterPtr = testsupport::TOwnedPtr<kvrUpdate::IUpdater>;

inline UpdaterPtr NewUpdater()
{
    UpdaterPtr updater(kvrUpdate::CreateUpdater());
    EXPECT_NE(updater, nullptr);
    return updater;
}

/// A patch with the given number that leads to `result`.
inline kvrUpdate::CPatch MakePatch(const std::string& number, const std::string& result,
                                   const std::string& applies = "1.0")
{
    Json::Value value = Parse("{\"patch_number\": \"" + number + "\", \"title\": \"Patch " + number +
                              "\", \"result_version\": {\"v\": \"" + result +
                              "\"}, \"apply_version\": {\"versions\": [{\"v\": \"" + applies +
                              "\"}]}, \"patch_type\": \"bug\", \"patch_force\": \"must\"}");
    kvrUpdate::CPatch patch;
    EXPECT_TRUE(jsonIO::TryReadJson(value, patch));
    return patch;
}

/// The patch numbers of a list, joined with commas.
inline std::string Numbers(const kvrUpdate::IPatchList* list)
{
    std::string text;
    for (int i = 0; list != nullptr && i < list->GetCount(); ++i)
        text += (i ? "," : "") + std::string(list->GetAt(i)->GetPatchNumber());
    return text;
}

/// A configuration document whose local state has the given version.
inline std::string Document(const std::string& product, const std::string& center, const std::string& version)
{
    return "{\"porduct_name\": \"" + product + "\", \"version_center\": \"" + center +
           "\", \"local\": {\"product_ame\": \"" + product + "\", \"version\": {\"v\": \"" + version + "\"}}}";
}

} // namespace updatertest

#endif // VESKUPDATE_TESTS_UPDATERTESTUTIL_H
