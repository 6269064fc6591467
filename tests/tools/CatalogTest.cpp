// Loading the reference version center's catalog: what it refuses, and that
// every refusal names the file and the place.
#include "catalog/CCatalog.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

using versionCenter::CCatalog;

TEST(CCatalogTest, RefusesBrokenCatalogsNamingThePlace)
{
    struct
    {
        const char* text;
        const char* message; // expected inside the error, after "cat.json: "
    } const cases[] = {
        {"{\"products\": {", "not valid JSON: * Line 1, Column 15"},
        {R"({"products": {"E": {"versions": {"1": {}}}, "E": {}}})", "not valid JSON"}, // duplicate key
        {R"({"product": {}})", "the document: unknown member \"product\""},
        {R"({"products": {}})", "products: the catalog names no product"},
        {R"({"products": {"a/b": {"versions": {"1": {}}}}})", "products.a/b: a product name must not contain '/'"},
        {R"({"products": {"..": {"versions": {"1": {}}}}})",
         "products...: a product name must not"}, // ".." would name a folder
        {R"({"products": {"E": {"versions": {"1": {}}, "patches": [{"number": "P?1", "apply": ["1"], "result": "1"}]}}})",
         "products.E.patches[0].number: a patch number must not contain '?'"},
        {R"({"products": {"E": {"versions": {}}}})", "products.E.versions: the product has no version"},
        {R"({"products": {"E": {"versions": {"1": {}}, "patchs": []}}})", "products.E: unknown member \"patchs\""},
        {R"({"products": {"E": {"versions": {"beta": {}}}}})", "products.E.versions.beta: expected a version text"},
        {R"({"products": {"E": {"versions": {"1.0": {}, "1.0.0.0": {}}}}})",
         "products.E.versions.1.0.0.0: names version 1.0.0.0 a second time"},
        {R"({"products": {"E": {"versions": {"1": {}}, "situation": {"last": 1}}}})",
         "products.E.situation.last: expected a version text"},
        {R"({"products": {"E": {"versions": {"1": {"package": {"resource": [{"length": -1}]}}}}}})",
         "products.E.versions.1.package.resource[0].length: expected a length"},
        {R"({"products": {"E": {"versions": {"1": {"package": {"direct_file": {"length": "12kB"}}}}}}})",
         "products.E.versions.1.package.direct_file.length: expected a length"},
        {R"({"products": {"E": {"versions": {"1": {}}, "patches": [{"apply": ["1"], "result": "1"}]}}})",
         "products.E.patches[0].number: every patch needs a non-empty number"},
        {R"({"products": {"E": {"versions": {"1": {}}, "patches": [{"number": "P", "apply": ["1"], "result": "2"}]}}})",
         "products.E.patches[0].result: version 2.0.0.0 is not among the product's versions"},
        {R"({"products": {"E": {"versions": {"1": {}}, "patches": [{"number": "P", "apply": [], "result": "1"}]}}})",
         "products.E.patches[0].apply: expected a non-empty array"},
        {R"({"products": {"E": {"versions": {"1": {}}, "patches": [{"number": "P", "apply": ["1"], "result": "1", "type": "bugfix"}]}}})",
         "products.E.patches[0].type: \"bugfix\" is not one of bug, resource, function, version"},
        {R"({"products": {"E": {"versions": {"1": {}}, "patches": [{"number": "P", "apply": ["1"], "result": "1"},
                                                                {"number": "P", "apply": ["1"], "result": "1"}]}}})",
         "products.E.patches[1].number: patch number \"P\" is used twice"},
        {R"({"products": {"E": {"versions": {"1": {}}, "patches": [{"number": "P", "apply": ["1"], "result": "1", "dependon": "Q"}]}}})",
         "products.E.patches[0].dependon: no patch of the product has the number \"Q\""},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.text);
        CCatalog catalog;
        std::string error;
        EXPECT_FALSE(catalog.LoadText(c.text, "cat.json", error));
        EXPECT_EQ(error.rfind("cat.json: ", 0), 0u) << error;
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
    }
}

TEST(CCatalogTest, MissingFileIsNamed)
{
    CCatalog catalog;
    std::string error;
    EXPECT_FALSE(catalog.LoadFile("/nonexistent/catalog.json", error));
    EXPECT_EQ(error, "/nonexistent/catalog.json: cannot be opened for reading");
}

TEST(CCatalogTest, ReadsDefaultsAndLeniencies)
{
    CCatalog catalog;
    std::string error;
    ASSERT_TRUE(catalog.LoadText(R"(
        // comments are allowed
        {"products": {"E": {
            "versions": {"v1.9": {}, "1.10": {"package": {"direct_file": {"length": "5000000000"}}}},
            "patches": [{"number": "P", "apply": ["1.9"], "result": "1.10", "type": "BUG", "force": "Must"}]
        }}})",
                                 "cat.json", error))
        << error;
    const versionCenter::CProductEntry* product = catalog.FindProduct("E");
    ASSERT_NE(product, nullptr);
    EXPECT_EQ(catalog.FindProduct("e"), nullptr);
    // Without a situation, the newest version is "last" and "max".
    EXPECT_EQ(product->last.ToString(), "1.10.0.0");
    EXPECT_EQ(product->max.ToString(), "1.10.0.0");
    EXPECT_EQ(product->must.ToString(), "0.0.0.0");
    ASSERT_EQ(product->versions.size(), 2u);
    EXPECT_EQ(product->versions.begin()->first.ToString(), "1.9.0.0");
    EXPECT_EQ(product->versions.rbegin()->second.package->directFile.length, 5000000000LL);
    ASSERT_NE(product->FindPatch("P"), nullptr);
    EXPECT_EQ(product->FindPatch("P")->type, "bug");
    EXPECT_EQ(product->FindPatch("P")->force, "must");
}

} // namespace
