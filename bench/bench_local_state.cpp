// The local state holding N installed patches (three apply versions each,
// realistic texts, a sixth of them with accented letters), each operation
// side by side with a floor that does the same work with jsoncpp alone:
//
//   loading     FromString into an empty state (a host's start-up) and into
//               a state that already holds the same patches, against
//               jsoncpp's parse of the same text;
//   storing     ToString, against writing a prebuilt Json::Value of the same
//               document ("write only") and against building that value from
//               plain structs holding the same texts and writing it ("build
//               and write");
//   adding      patches one by one up to 100,000: the mean and the worst
//               single add.
//
// Each side of a pair is one function named Measure_*, kept out of line, so
// that bench/ratios.sh counts the instructions of exactly that work. What a
// benchmark prepares, and one warm-up round of the same work (so that both
// sides start from a heap that has done the work once), happen outside it.
#include "json/jsonIO.h"
#include "model/CPatch.h"
#include "updater/CLocalQuery.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace
{

const char* const kAreas[] = {"installer",     "editor",        "renderer",  "network sync",   "licence check",
                              "spell checker", "print preview", "auto-save", "plug-in loader", "updater"};
const char* const kFixes[] = {"crash when",       "wrong result when", "slow start-up when",
                              "memory leak when", "hang when",         "garbled text when"};
const char* const kCauses[] = {"the project path contains spaces",
                               "a file is larger than 2 GB",
                               "the network drops during a transfer",
                               "two windows save at once",
                               "the user name has accents (Jos\xC3\xA9, M\xC3\xBCller)",
                               "the disk is almost full"};
const char* const kTypes[] = {"bug", "resource", "function", "version"};
const char* const kForces[] = {"wait", "common", "recommend", "must"};

std::string Version(int major, int minor, int build, int revision)
{
    return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(build) + "." +
           std::to_string(revision);
}

/// One patch as plain texts: what a store built on jsoncpp's tree would keep.
struct CPlainPatch
{
    std::string title;
    std::string comment;
    std::string number;
    std::vector<std::string> applies;
    std::string result;
    std::string dependOn;
    std::string type;
    std::string force;
};

CPlainPatch MakePlainPatch(int index)
{
    const std::string area = kAreas[index % 10];
    const std::string fix = kFixes[index % 6];
    const std::string cause = kCauses[(index / 7) % 6];
    char number[32];
    std::snprintf(number, sizeof number, "KB%04d-%06d", 2020 + index % 5, index);
    char previous[32];
    std::snprintf(previous, sizeof previous, "KB%04d-%06d", 2020 + (index + 4) % 5, index - 1);

    CPlainPatch patch;
    patch.title = "Fixes " + fix + " " + cause + " in the " + area;
    patch.comment = "The " + area + " could run into a " + fix + " " + cause + ". This patch changes how the " + area +
                    " handles that case and adds a check at start-up. Restart the application after "
                    "installing it; your settings and open projects are kept.";
    patch.number = number;
    for (int k = 0; k < 3; ++k)
        patch.applies.push_back(Version(3, index / 1000, index % 1000, k * 17));
    patch.result = Version(3, index / 1000, index % 1000 + 1, 0);
    patch.dependOn = index > 0 ? previous : "";
    patch.type = kTypes[index % 4];
    patch.force = kForces[(index / 3) % 4];
    return patch;
}

/// The patch's JSON object, built the plain way: member by member.
void BuildPatchValue(const CPlainPatch& patch, Json::Value& value)
{
    value["title"] = patch.title;
    value["comment"] = patch.comment;
    value["patch_number"] = patch.number;
    Json::Value& versions = value["apply_version"]["versions"];
    for (const std::string& apply : patch.applies)
        versions.append(Json::Value())["v"] = apply;
    value["result_version"]["v"] = patch.result;
    value["dependon"] = patch.dependOn;
    value["patch_type"] = patch.type;
    value["patch_force"] = patch.force;
}

kvrUpdate::CPatch MakePatch(const CPlainPatch& plain)
{
    Json::Value value;
    BuildPatchValue(plain, value);
    kvrUpdate::CPatch patch;
    jsonIO::ReadJson(value, patch);
    return patch;
}

const char* const kProductName = "Vesk Studio Professional";
const char* const kInstalledVersion = "3.9.999.1";

/// The state's document built the plain way from plain patches.
void BuildStateValue(const std::vector<CPlainPatch>& patches, Json::Value& root)
{
    root["product_ame"] = kProductName;
    root["version"]["v"] = kInstalledVersion;
    Json::Value& installed = root["installed_patchs"]["patchs"];
    for (const CPlainPatch& patch : patches)
        BuildPatchValue(patch, installed.append(Json::Value()));
    root["downloaded_patchs"]["patchs"];
}

struct CFixture
{
    std::vector<CPlainPatch> plain;
    std::vector<kvrUpdate::CPatch> patches;
    std::unique_ptr<kvrUpdate::CLocalQuery> state; // holds every patch
    std::string text;                              // its ToString
    Json::Value value;                             // its document, built the plain way
};

const CFixture& Fixture(int count)
{
    static std::map<int, std::unique_ptr<CFixture>> fixtures;
    std::unique_ptr<CFixture>& slot = fixtures[count];
    if (slot)
        return *slot;
    slot.reset(new CFixture);
    CFixture& f = *slot;
    f.state.reset(new kvrUpdate::CLocalQuery);
    f.state->FromString(
        (std::string(R"({"product_ame":")") + kProductName + R"(","version":{"v":")" + kInstalledVersion + "\"}}")
            .c_str());
    for (int index = 0; index < count; ++index)
    {
        f.plain.push_back(MakePlainPatch(index));
        f.patches.push_back(MakePatch(f.plain.back()));
        f.state->AddInstalledPatch(&f.patches.back());
    }
    f.text = f.state->ToString();
    BuildStateValue(f.plain, f.value);
    // Every floor must produce or read the very same text.
    std::string written;
    if (!jsonIO::FormatJson(f.value, written) || written != f.text)
    {
        std::fprintf(stderr, "bench_local_state: the plain document differs from the state's text\n");
        std::abort();
    }
    return f;
}

// ---------------------------------------------------------------------------
// Loading
// ---------------------------------------------------------------------------

[[gnu::noinline]] bool Measure_FromString(kvrUpdate::CLocalQuery& state, const std::string& text)
{
    return state.FromString(text.c_str());
}

// The floor of loading: what ParseJson does (Json::Reader with its default
// features) into a fresh value, which is destroyed again. It includes the
// parse and the freeing of the tree, and nothing of the records.
bool JsoncppParse(const std::string& text)
{
    Json::Value root;
    Json::Reader reader;
    return reader.parse(text.data(), text.data() + text.size(), root);
}

[[gnu::noinline]] bool Measure_JsoncppParse(const std::string& text)
{
    return JsoncppParse(text);
}

// A host's start-up: a fresh state loads the stored text. Making and
// destroying the state are not timed.
void BM_FromString_EmptyState(benchmark::State& bench)
{
    const CFixture& f = Fixture(static_cast<int>(bench.range(0)));
    kvrUpdate::CLocalQuery().FromString(f.text.c_str());
    for (auto _ : bench)
    {
        bench.PauseTiming();
        std::unique_ptr<kvrUpdate::CLocalQuery> state(new kvrUpdate::CLocalQuery);
        bench.ResumeTiming();
        if (!Measure_FromString(*state, f.text) || state->GetPatchList(0)->GetCount() != bench.range(0))
            bench.SkipWithError("the document did not load");
        bench.PauseTiming();
        state.reset();
        bench.ResumeTiming();
    }
    bench.SetBytesProcessed(static_cast<int64_t>(bench.iterations() * f.text.size()));
}

// Loading the same text again into a state that already holds it.
void BM_FromString_FullState(benchmark::State& bench)
{
    const CFixture& f = Fixture(static_cast<int>(bench.range(0)));
    kvrUpdate::CLocalQuery state;
    state.FromString(f.text.c_str());
    for (auto _ : bench)
    {
        if (!Measure_FromString(state, f.text))
            bench.SkipWithError("the document did not load");
    }
    bench.SetBytesProcessed(static_cast<int64_t>(bench.iterations() * f.text.size()));
}

void BM_Floor_Parse(benchmark::State& bench)
{
    const CFixture& f = Fixture(static_cast<int>(bench.range(0)));
    JsoncppParse(f.text);
    for (auto _ : bench)
        benchmark::DoNotOptimize(Measure_JsoncppParse(f.text));
    bench.SetBytesProcessed(static_cast<int64_t>(bench.iterations() * f.text.size()));
}

// ---------------------------------------------------------------------------
// Storing
// ---------------------------------------------------------------------------

[[gnu::noinline]] const char* Measure_ToString(kvrUpdate::CLocalQuery& state)
{
    return state.ToString();
}

// The floor "write only": the prebuilt document written by FormatJson, the
// step that ends ToString (StreamWriterBuilder with the same settings,
// through the same sink into a string kept from call to call). It includes
// the writing and nothing of building or freeing the tree.
[[gnu::noinline]] bool Measure_WriteOnly(const Json::Value& document, std::string& text)
{
    return jsonIO::FormatJson(document, text);
}

// The floor "build and write": the document built member by member from plain
// structs holding the same texts, written the same way, and freed: roughly
// what any store built on jsoncpp's tree pays.
bool BuildAndWrite(const std::vector<CPlainPatch>& patches, std::string& text)
{
    Json::Value root;
    BuildStateValue(patches, root);
    return jsonIO::FormatJson(root, text);
}

[[gnu::noinline]] bool Measure_BuildAndWrite(const std::vector<CPlainPatch>& patches, std::string& text)
{
    return BuildAndWrite(patches, text);
}

void BM_ToString(benchmark::State& bench)
{
    const CFixture& f = Fixture(static_cast<int>(bench.range(0)));
    f.state->ToString();
    for (auto _ : bench)
        benchmark::DoNotOptimize(Measure_ToString(*f.state));
    // The fixture checked the first text against the plain document; the
    // last must be the same.
    if (f.state->ToString() != f.text)
        bench.SkipWithError("ToString wrote another text");
    bench.SetBytesProcessed(static_cast<int64_t>(bench.iterations() * f.text.size()));
}

void BM_Floor_WriteOnly(benchmark::State& bench)
{
    const CFixture& f = Fixture(static_cast<int>(bench.range(0)));
    std::string text;
    jsonIO::FormatJson(f.value, text); // the string keeps its storage, as the state's does
    for (auto _ : bench)
        benchmark::DoNotOptimize(Measure_WriteOnly(f.value, text));
    if (text != f.text)
        bench.SkipWithError("the floor wrote another text");
    bench.SetBytesProcessed(static_cast<int64_t>(bench.iterations() * text.size()));
}

void BM_Floor_BuildAndWrite(benchmark::State& bench)
{
    const CFixture& f = Fixture(static_cast<int>(bench.range(0)));
    std::string text;
    BuildAndWrite(f.plain, text); // the string keeps its storage, as the state's does
    for (auto _ : bench)
        benchmark::DoNotOptimize(Measure_BuildAndWrite(f.plain, text));
    if (text != f.text)
        bench.SkipWithError("the floor wrote another text");
    bench.SetBytesProcessed(static_cast<int64_t>(bench.iterations() * text.size()));
}

// ---------------------------------------------------------------------------
// Adding
// ---------------------------------------------------------------------------

// Patches added one by one to a fresh state, each add timed on its own: the
// counters are the mean add and the worst single add of a run (a list that
// grows moves its patches to new storage; a preempted add also shows here).
void BM_AddOneByOne(benchmark::State& bench)
{
    using Clock = std::chrono::steady_clock;
    const CFixture& f = Fixture(static_cast<int>(bench.range(0)));
    double worstSum = 0;
    double meanSum = 0;
    for (auto _ : bench)
    {
        bench.PauseTiming();
        std::unique_ptr<kvrUpdate::CLocalQuery> state(new kvrUpdate::CLocalQuery);
        bench.ResumeTiming();
        Clock::duration worst{};
        const Clock::time_point start = Clock::now();
        for (const kvrUpdate::CPatch& patch : f.patches)
        {
            const Clock::time_point before = Clock::now();
            state->AddInstalledPatch(&patch);
            worst = std::max(worst, Clock::now() - before);
        }
        const Clock::duration total = Clock::now() - start;
        worstSum += std::chrono::duration<double, std::milli>(worst).count();
        meanSum += std::chrono::duration<double, std::micro>(total).count() / static_cast<double>(f.patches.size());
        bench.PauseTiming();
        state.reset();
        bench.ResumeTiming();
    }
    bench.counters["worst_add_ms"] = benchmark::Counter(worstSum, benchmark::Counter::kAvgIterations);
    bench.counters["mean_add_us"] = benchmark::Counter(meanSum, benchmark::Counter::kAvgIterations);
    bench.SetItemsProcessed(bench.iterations() * static_cast<int64_t>(f.patches.size()));
}

} // namespace

BENCHMARK(BM_FromString_EmptyState)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FromString_FullState)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Floor_Parse)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ToString)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Floor_WriteOnly)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Floor_BuildAndWrite)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AddOneByOne)->Arg(100000)->Unit(benchmark::kMillisecond);
