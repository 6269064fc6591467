// Loading the reference version center's catalog: what it refuses, that
// every refusal names the file and the place, and that writing the records
// gives back what a person wrote.
#include "support/Json.h"

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

// Written and read again, a catalog gives the same text again; one written the
// way the writer writes keeps every member and comment, and one in the
// reader's lenient forms comes back in the writer's.
TEST(CCatalogTest, WritesWhatItReadsBack)
{
    const std::string handWritten = R"(// The shop's catalog.
{
  "products" : {
    // The editor.
    "Editor" : {
      "situation" : {"must" : "v1.9"},
      "versions" : {
        "v1.9" : {"file_check" : {}},
        "1.10" : {
          "file_check" : {"type" : "md5", "url" : "Editor/filecheck/1.10.json"},
          "package" : {
            "base_url" : "",
            "direct_file" : {"length" : "5000000000", "url" : "https://dl.test/editor.zip"},
            "direct_type" : "zip",
            "resource" : [
              {"length" : "0", "md5" : "", "path" : "bin/empty", "url" : "Editor/1.10/bin/empty"} // empty on purpose
            ]
          }
        },
        "2" : {"package" : {"resource" : []}}
      },
      "patches" : [
        {"apply" : ["v1.9"], "comment" : "", "dependon" : "", "force" : "must", "number" : "P-1",
         "result" : "1.10", "title" : "Crash fix", "type" : "bug"},
        /* translations */
        {"apply" : ["1.10", "v1.9"], "dependon" : "P-1", "force" : "common", "number" : "P-2",
         "package" : {}, "result" : "2.0.0", "type" : "resource"}
      ]
    },
    "Viewer" : {"patches" : [], "situation" : {}, "versions" : {"3" : {}}}
  }
}
// The end.
)";
    const std::string lenient = R"({"products": {"E": {"situation": {"last": "1", "will": "9"},
        "versions": {"1": {"package": {"resource": [{"url": "u", "length": 7, "md5": null}]}}, "2": {}},
        "patches": [{"number": "P", "apply": ["1"], "result": "2", "type": "BUG", "force": "Must", "title": null}]}}})";
    const std::string lenientWritten = R"({"products": {"E": {"situation": {"last": "1", "will": "9"},
        "versions": {"1": {"package": {"resource": [{"url": "u", "length": "7"}]}}, "2": {}},
        "patches": [{"number": "P", "apply": ["1"], "result": "2", "type": "bug", "force": "must"}]}}})";
    struct
    {
        const char* name;
        const std::string& text;
        const std::string& written; // as JSON
    } const cases[] = {
        {"written by hand as the writer writes", handWritten, handWritten},
        {"in the lenient forms", lenient, lenientWritten},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        CCatalog catalog;
        std::string error;
        ASSERT_TRUE(catalog.LoadText(c.text, "cat.json", error)) << error;
        const std::string text = catalog.Text();
        EXPECT_EQ(testsupport::Parse(text), testsupport::Parse(c.written)) << text;
        CCatalog again;
        ASSERT_TRUE(again.LoadText(text, "written", error)) << error << "\n" << text;
        EXPECT_EQ(again.Text(), text);
    }

    CCatalog catalog;
    std::string error;
    ASSERT_TRUE(catalog.LoadText(handWritten, "cat.json", error)) << error;
    const std::string text = catalog.Text();
    for (const char* comment :
         {"// The shop's catalog.", "// The editor.", "// empty on purpose", "/* translations */", "// The end."})
        EXPECT_NE(text.find(comment), std::string::npos) << comment << " in\n" << text;
}

} // namespace
