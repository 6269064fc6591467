// Peak memory per megabyte of answer, for answers made of many patches with
// short texts (the case where a parsed tree outweighs its text the most) and
// with texts of release-note length:
//
//   GetPatchs     a version query fetching the answer from the reference
//                 version center (a process of its own), against the floor of
//                 a plain libcurl GET with the same options plus jsoncpp's
//                 parse of the body;
//   FromString    a fresh local state loading a stored document of such
//                 patches, against jsoncpp's parse of the same text.
//
// Each measurement runs in a new process of this program, which sets the
// kernel's peak resident-set mark back to the current size just before the
// operation (/proc/self/clear_refs) and reads the peak right after it: the
// figure is the most memory the operation held at once, the records it
// leaves behind included, per megabyte of answer text (the text a host holds
// for FromString is not counted). Not a timed benchmark; Linux only.
//
//   bench_answer_memory                    the table, for 1 and 16 MiB
//   bench_answer_memory --measure OP ARG   one measurement (run by the table)
#include "client/CVersionQuery.h"
#include "updater/CLocalQuery.h"

#include "PeakMemory.h"
#include "PlainGet.h"
#include "support/CScratchDir.h"
#include "support/ChildProcess.h"
#include "support/Files.h"

#include <json/json.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace
{

// One measurement: prints "<peak over the start in KiB> <answer bytes>".
int Measure(const std::string& operation, const std::string& argument)
{
    std::size_t answerBytes = 0;
    bool done = false;
    long start = 0;
    if (operation == "getpatchs" || operation == "getpatchs-floor")
    {
        // argument: the version center's address and the product, "ADDRESS PRODUCT".
        const std::string address = argument.substr(0, argument.find(' '));
        const std::string product = argument.substr(argument.find(' ') + 1);
        kvrUpdate::CVersionQuery query;
        query.SetVersionCenter(address.c_str());
        query.SetProduct(product.c_str());
        std::string url = address + product + "/patchs?version=1.0.0.0";
        std::string probe;
        if (!bench::PlainGet(url, probe))
            return 1;
        answerBytes = probe.size();
        probe = std::string();
        start = bench::ResetPeak();
        if (operation == "getpatchs")
        {
            done = query.GetPatchs("1.0") != nullptr;
        }
        else
        {
            std::string body;
            Json::Value root;
            done = bench::PlainGet(url, body) && Json::Reader().parse(body.data(), body.data() + body.size(), root);
        }
    }
    else
    {
        // argument: a stored local state document.
        const std::string text = testsupport::ReadFile(argument);
        answerBytes = text.size();
        start = bench::ResetPeak();
        if (operation == "fromstring")
        {
            kvrUpdate::CLocalQuery state;
            done = state.FromString(text.c_str()) && state.GetPatchList(0)->GetCount() > 0;
            // The peak is read while the records are alive.
            std::printf("%ld %zu\n", bench::PeakKiB() - start, answerBytes);
            return done ? 0 : 1;
        }
        Json::Value root;
        done = Json::Reader().parse(text.data(), text.data() + text.size(), root);
    }
    std::printf("%ld %zu\n", bench::PeakKiB() - start, answerBytes);
    return done ? 0 : 1;
}

// The texts of patch `index`: short ones, which a record keeps inside its
// strings (the case where a parsed tree outweighs its text the most), or
// release-note lengths, which a record keeps in blocks of their own.
struct CTexts
{
    std::string number;
    std::string title;
    std::string comment;
};

CTexts Texts(int index, bool longTexts)
{
    const std::string n = std::to_string(index);
    if (!longTexts)
        return {"KB-" + n, "Update " + n, "Fixes " + n + "."};
    return {"KB2024-" + n, "Fixes a crash when the project path contains spaces, in the editor (" + n + ")",
            "The editor could crash when the project path contains spaces. This patch changes how the editor "
            "handles such paths and adds a check at start-up. Restart the application after installing it; your "
            "settings and open projects are kept. (" +
                n + ")"};
}

// A patch as the catalog writes it.
std::string CatalogPatch(int index, bool longTexts)
{
    const CTexts t = Texts(index, longTexts);
    return R"({"number": ")" + t.number + R"(", "title": ")" + t.title + R"(", "comment": ")" + t.comment +
           R"(", "apply": ["1.0"], "result": "2.0", "type": "bug", "force": "must"})";
}

// A patch as a stored state holds it.
std::string StatePatch(int index, bool longTexts)
{
    const CTexts t = Texts(index, longTexts);
    return R"({"apply_version": {"versions": [{"v": "1.0.0.0"}]}, "comment": ")" + t.comment +
           R"(", "dependon": "", "patch_force": "must", "patch_number": ")" + t.number +
           R"(", "patch_type": "bug", "result_version": {"v": "2.0.0.0"}, "title": ")" + t.title + R"("})";
}

// One answer measured: its product name in the catalog and its state file.
struct CAnswer
{
    int megabytes;
    bool longTexts;

    std::string Name() const { return (longTexts ? "Long" : "Short") + std::to_string(megabytes); }
};

// Patches until the text holds about `megabytes` MiB.
template <class MakePatch>
std::string PatchArray(const CAnswer& answer, MakePatch makePatch)
{
    const std::size_t bytes = static_cast<std::size_t>(answer.megabytes) << 20;
    std::string array;
    for (int index = 0; array.size() < bytes; ++index)
        array += (index ? "," : "") + makePatch(index, answer.longTexts);
    return array;
}

struct CResult
{
    double peakMiB = 0;
    double answerMiB = 0;
};

CResult Run(const std::string& self, const std::string& operation, const std::string& argument)
{
    const testsupport::CRunResult run = testsupport::RunProgram(self, {"--measure", operation, argument});
    CResult result;
    long peakKiB = 0;
    std::size_t bytes = 0;
    if (run.status != 0 || std::sscanf(run.output.c_str(), "%ld %zu", &peakKiB, &bytes) != 2)
    {
        std::fprintf(stderr, "bench_answer_memory: %s failed: %s\n", operation.c_str(), run.output.c_str());
        std::exit(1);
    }
    result.peakMiB = static_cast<double>(peakKiB) / 1024.0;
    result.answerMiB = static_cast<double>(bytes) / (1024.0 * 1024.0);
    return result;
}

void Report(const char* operation, const CAnswer& answer, const CResult& measured, const CResult& floor)
{
    std::printf("%-12s %-6s %8.1f %10.1f %12.1f %14.1f\n", operation, answer.longTexts ? "long" : "short",
                measured.answerMiB, measured.peakMiB, measured.peakMiB / measured.answerMiB,
                floor.peakMiB / floor.answerMiB);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::string(argv[1]) == "--measure")
        return Measure(argv[2], argv[3]);

    const std::string self = "/proc/self/exe";
    const testsupport::CScratchDir scratch("vesk-memory");
    const std::vector<CAnswer> answers = {{1, false}, {16, false}, {1, true}, {16, true}};

    std::string catalog = R"({"products": {)";
    for (const CAnswer& answer : answers)
    {
        catalog += (&answer == &answers.front() ? "" : ",");
        catalog += "\"" + answer.Name() + R"(": {"versions": {"1.0": {}, "2.0": {}}, "patches": [)" +
                   PatchArray(answer, &CatalogPatch) + "]}";
        const std::string state = R"({"downloaded_patchs": {"patchs": null}, "installed_patchs": {"patchs": [)" +
                                  PatchArray(answer, &StatePatch) +
                                  R"(]}, "product_ame": "Vesk", "version": {"v": "2.0.0.0"}})";
        testsupport::WriteFile(scratch / (answer.Name() + ".json"), state);
    }
    catalog += "}}";
    testsupport::WriteFile(scratch / "catalog.json", catalog);

    testsupport::CBackgroundProgram center(VERSION_CENTER_EXE,
                                           {"--listen", "127.0.0.1:0", (scratch / "catalog.json").string()});
    std::string line;
    if (!center.ReadLine(line, 60) || line.find("http://") == std::string::npos)
    {
        std::fprintf(stderr, "bench_answer_memory: the version center did not start\n");
        return 1;
    }
    const std::string address = line.substr(line.find("http://"));

    std::printf("Peak memory an operation holds, per MiB of answer text.\n\n");
    std::printf("%-12s %-6s %8s %10s %12s %14s\n", "operation", "texts", "MiB", "peak MiB", "peak per MiB",
                "floor per MiB");
    for (const CAnswer& answer : answers)
    {
        const std::string product = address + " " + answer.Name();
        Report("GetPatchs", answer, Run(self, "getpatchs", product), Run(self, "getpatchs-floor", product));
    }
    for (const CAnswer& answer : answers)
    {
        const std::string file = (scratch / (answer.Name() + ".json")).string();
        Report("FromString", answer, Run(self, "fromstring", file), Run(self, "fromstring-floor", file));
    }
    return 0;
}
