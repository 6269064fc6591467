// The local state with 10,000 installed patches (three apply versions each,
// realistic texts): FromString against jsoncpp's parse of the same text, and
// ToString against jsoncpp writing the same value with the same settings.
// Goal: each within 1.5x of jsoncpp alone. Also: adding 10,000 patches one by
// one to a fresh state.
#include "json/jsonIO.h"
#include "model/CPatch.h"
#include "updater/CLocalQuery.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace
{

constexpr int kPatches = 10000;

const char* const kAreas[] = {"installer", "editor", "renderer", "network sync", "licence check",
                              "spell checker", "print preview", "auto-save", "plug-in loader", "updater"};
const char* const kFixes[] = {"crash when", "wrong result when", "slow start-up when", "memory leak when",
                              "hang when", "garbled text when"};
const char* const kCauses[] = {"the project path contains spaces", "a file is larger than 2 GB",
                               "the network drops during a transfer", "two windows save at once",
                               "the user name has accents (Jos\xC3\xA9, M\xC3\xBCller)",
                               "the disk is almost full"};
const char* const kTypes[] = {"bug", "resource", "function", "version"};
const char* const kForces[] = {"wait", "common", "recommend", "must"};

std::string Version(int major, int minor, int build, int revision)
{
    return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(build) + "." +
           std::to_string(revision);
}

// One patch as the version center describes it.
kvrUpdate::CPatch MakePatch(int index)
{
    const std::string area = kAreas[index % 10];
    const std::string fix = kFixes[index % 6];
    const std::string cause = kCauses[(index / 7) % 6];
    char number[32];
    std::snprintf(number, sizeof number, "KB%04d-%06d", 2020 + index % 5, index);
    char previous[32];
    std::snprintf(previous, sizeof previous, "KB%04d-%06d", 2020 + (index + 4) % 5, index - 1);

    Json::Value value;
    value["title"] = "Fixes " + fix + " " + cause + " in the " + area;
    value["comment"] = "The " + area + " could run into a " + fix + " " + cause +
                       ". This patch changes how the " + area +
                       " handles that case and adds a check at start-up. Restart the application after "
                       "installing it; your settings and open projects are kept.";
    value["patch_number"] = number;
    Json::Value& versions = value["apply_version"]["versions"];
    for (int k = 0; k < 3; ++k)
        versions.append(Json::Value())["v"] = Version(3, index / 1000, index % 1000, k * 17);
    value["result_version"]["v"] = Version(3, index / 1000, index % 1000 + 1, 0);
    value["dependon"] = index > 0 ? previous : "";
    value["patch_type"] = kTypes[index % 4];
    value["patch_force"] = kForces[(index / 3) % 4];

    kvrUpdate::CPatch patch;
    jsonIO::ReadJson(value, patch);
    return patch;
}

struct CFixture
{
    std::vector<kvrUpdate::CPatch> patches;
    std::unique_ptr<kvrUpdate::CLocalQuery> state;
    std::string text;
    Json::Value value; // the text parsed by jsoncpp
};

const CFixture& Fixture()
{
    static const CFixture fixture = [] {
        CFixture f;
        f.state.reset(new kvrUpdate::CLocalQuery);
        f.state->FromString(R"({"version": {"v": "3.9.999.1"}})");
        f.state->SetProductName("Vesk Studio Professional");
        f.patches.reserve(kPatches);
        for (int index = 0; index < kPatches; ++index)
        {
            f.patches.push_back(MakePatch(index));
            f.state->AddInstalledPatch(&f.patches.back());
        }
        f.text = f.state->ToString();
        Json::Reader reader;
        reader.parse(f.text, f.value);
        return f;
    }();
    return fixture;
}

void BM_LocalState_FromString(benchmark::State& bench)
{
    const CFixture& f = Fixture();
    kvrUpdate::CLocalQuery state;
    for (auto _ : bench)
        benchmark::DoNotOptimize(state.FromString(f.text.c_str()));
    if (state.GetPatchList(0)->GetCount() != kPatches)
        bench.SkipWithError("the document did not load");
    bench.SetBytesProcessed(static_cast<int64_t>(bench.iterations() * f.text.size()));
    bench.counters["document_bytes"] = static_cast<double>(f.text.size());
}

// What ParseJson does, without the state: Json::Reader with its default
// features, into a fresh value that is destroyed again.
void BM_Jsoncpp_Parse(benchmark::State& bench)
{
    const CFixture& f = Fixture();
    for (auto _ : bench)
    {
        Json::Value root;
        Json::Reader reader;
        benchmark::DoNotOptimize(reader.parse(f.text.c_str(), f.text.c_str() + f.text.size(), root));
    }
    bench.SetBytesProcessed(static_cast<int64_t>(bench.iterations() * f.text.size()));
}

void BM_LocalState_ToString(benchmark::State& bench)
{
    kvrUpdate::CLocalQuery& state = *Fixture().state;
    std::size_t size = 0;
    for (auto _ : bench)
        size = std::string(state.ToString()).size();
    bench.SetBytesProcessed(static_cast<int64_t>(bench.iterations() * size));
}

// Writing the same value with the writer settings FormatJson uses.
void BM_Jsoncpp_Write(benchmark::State& bench)
{
    const CFixture& f = Fixture();
    Json::StreamWriterBuilder builder;
    builder["emitUTF8"] = true;
    builder["indentation"] = "\t";
    builder["commentStyle"] = "None";
    std::size_t size = 0;
    for (auto _ : bench)
    {
        std::ostringstream stream;
        const std::unique_ptr<Json::StreamWriter> writer(builder.newStreamWriter());
        writer->write(f.value, &stream);
        stream << '\n';
        const std::string text = stream.str();
        size = text.size();
    }
    bench.SetBytesProcessed(static_cast<int64_t>(bench.iterations() * size));
}

void BM_LocalState_Add10000(benchmark::State& bench)
{
    const CFixture& f = Fixture();
    for (auto _ : bench)
    {
        std::unique_ptr<kvrUpdate::CLocalQuery> state(new kvrUpdate::CLocalQuery);
        for (const kvrUpdate::CPatch& patch : f.patches)
            state->AddInstalledPatch(&patch);
        bench.PauseTiming();
        state.reset();
        bench.ResumeTiming();
    }
    bench.SetItemsProcessed(bench.iterations() * kPatches);
}

} // namespace

BENCHMARK(BM_LocalState_FromString)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Jsoncpp_Parse)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LocalState_ToString)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Jsoncpp_Write)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LocalState_Add10000)->Unit(benchmark::kMillisecond);
