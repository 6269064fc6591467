// Peak memory per megabyte of answer, for answers made of many small
// records (the case where a parsed tree outweighs its text the most):
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
//   bench_answer_memory                    the table, for 1, 4 and 16 MB
//   bench_answer_memory --measure OP ARG   one measurement (run by the table)
#include "client/CVersionQuery.h"
#include "updater/CLocalQuery.h"

#include "PlainGet.h"
#include "support/CScratchDir.h"
#include "support/ChildProcess.h"
#include "support/Files.h"

#include <json/json.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace
{

// The resident-set figure `field` ("VmRSS:" or "VmHWM:") in KiB.
long StatusKiB(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
    {
        if (line.compare(0, std::char_traits<char>::length(field), field) == 0)
            return std::strtol(line.c_str() + std::char_traits<char>::length(field), nullptr, 10);
    }
    return -1;
}

// Sets the peak mark back to the current resident set; the RSS then.
long ResetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
    return StatusKiB("VmRSS:");
}

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
        start = ResetPeak();
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
        start = ResetPeak();
        if (operation == "fromstring")
        {
            kvrUpdate::CLocalQuery state;
            done = state.FromString(text.c_str()) && state.GetPatchList(0)->GetCount() > 0;
            // The peak is read while the records are alive.
            std::printf("%ld %zu\n", StatusKiB("VmHWM:") - start, answerBytes);
            return done ? 0 : 1;
        }
        Json::Value root;
        done = Json::Reader().parse(text.data(), text.data() + text.size(), root);
    }
    std::printf("%ld %zu\n", StatusKiB("VmHWM:") - start, answerBytes);
    return done ? 0 : 1;
}

// A small patch as the catalog writes it.
std::string CatalogPatch(int index)
{
    const std::string n = std::to_string(index);
    return R"({"number": "KB-)" + n + R"(", "title": "Update )" + n + R"(", "comment": "Fixes )" + n +
           R"(.", "apply": ["1.0"], "result": "2.0", "type": "bug", "force": "must"})";
}

// A small patch as a stored state holds it.
std::string StatePatch(int index)
{
    const std::string n = std::to_string(index);
    return R"({"apply_version": {"versions": [{"v": "1.0.0.0"}]}, "comment": "Fixes )" + n +
           R"(.", "dependon": "", "patch_force": "must", "patch_number": "KB-)" + n +
           R"(", "patch_type": "bug", "result_version": {"v": "2.0.0.0"}, "title": "Update )" + n + R"("})";
}

// Patches of about 200 bytes each: this many make about `megabytes` MB.
int PatchCount(int megabytes)
{
    return megabytes * 5200;
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

void Report(const char* operation, const CResult& measured, const CResult& floor)
{
    std::printf("%-12s %8.1f %10.1f %12.1f %14.1f\n", operation, measured.answerMiB, measured.peakMiB,
                measured.peakMiB / measured.answerMiB, floor.peakMiB / floor.answerMiB);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::string(argv[1]) == "--measure")
        return Measure(argv[2], argv[3]);

    const std::string self = "/proc/self/exe";
    const testsupport::CScratchDir scratch("vesk-memory");
    const std::vector<int> sizes = {1, 4, 16};

    std::string catalog = R"({"products": {)";
    for (const int megabytes : sizes)
    {
        catalog += (megabytes == sizes.front() ? "" : ",");
        catalog += "\"Small" + std::to_string(megabytes) + R"(": {"versions": {"1.0": {}, "2.0": {}}, "patches": [)";
        for (int index = 0; index < PatchCount(megabytes); ++index)
            catalog += (index ? "," : "") + CatalogPatch(index);
        catalog += "]}";

        std::string state = R"({"downloaded_patchs": {"patchs": null}, "installed_patchs": {"patchs": [)";
        for (int index = 0; index < PatchCount(megabytes); ++index)
            state += (index ? "," : "") + StatePatch(index);
        state += R"(]}, "product_ame": "Small", "version": {"v": "2.0.0.0"}})";
        testsupport::WriteFile(scratch / ("state" + std::to_string(megabytes) + ".json"), state);
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

    std::printf("Peak memory an operation holds, per MiB of answer text (answers of small patches).\n\n");
    std::printf("%-12s %8s %10s %12s %14s\n", "operation", "MiB", "peak MiB", "peak per MiB", "floor per MiB");
    for (const int megabytes : sizes)
    {
        const std::string product = address + " Small" + std::to_string(megabytes);
        Report("GetPatchs", Run(self, "getpatchs", product), Run(self, "getpatchs-floor", product));
    }
    for (const int megabytes : sizes)
    {
        const std::string file = (scratch / ("state" + std::to_string(megabytes) + ".json")).string();
        Report("FromString", Run(self, "fromstring", file), Run(self, "fromstring-floor", file));
    }
    return 0;
}
