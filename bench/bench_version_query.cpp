// GetPatchs of an answer of about 1 MB, side by side with its floor: a plain
// libcurl GET with the same options into a string, plus jsoncpp's parse of
// the body. The reference version center runs in a process of its own (the
// built version-center program on 127.0.0.1, a free port), so its work is
// counted on neither side. libcurl lets about the first megabyte of a
// transfer through at full speed, so the library's 5 MB/s reception cap
// (set on both sides) does not hold back an answer of this size.
//
// Each side of a pair is one function named Measure_*, kept out of line, so
// that bench/ratios.sh counts the instructions of exactly that work. What a
// benchmark prepares, and one warm-up round of the same work (so that both
// sides start from a heap that has done the work once), happen outside it.
#include "client/CVersionQuery.h"
#include "json/JsonObject.h"
#include "model/CPatchList.h"

#include "PlainGet.h"

#include <benchmark/benchmark.h>
#include <json/json.h>

#include "support/CScratchDir.h"
#include "support/ChildProcess.h"
#include "support/Files.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace
{

constexpr int kPatchCount = 3000;

// One product whose version 1.0 has kPatchCount patches, each applying to
// three versions, with realistic texts: an answer of about 1 MB.
std::string BigCatalog()
{
    std::string text =
        R"({"products": {"Editor": {"versions": {"1.0": {}, "1.1": {}, "1.2": {}, "2.0": {}}, "patches": [)";
    for (int i = 0; i < kPatchCount; ++i)
    {
        const std::string n = std::to_string(i);
        text += (i ? "," : "");
        text +=
            R"({"number": "KB-)" + n + R"(", "title": "Cumulative update )" + n +
            R"( for the editor", "comment": "Fixes a crash when saving large documents, improves start-up time and updates translations (build )" +
            n +
            R"().", "apply": ["1.0", "1.1", "1.2"], "result": "2.0", "dependon": "", "type": "bug", "force": "recommend"})";
    }
    return text + "]}}}";
}

/// The version-center program serving the big catalog, started once for the
/// whole run and stopped at its end.
class CCenter
{
public:
    static CCenter& Get()
    {
        static CCenter center;
        return center;
    }

    std::string address; // http://127.0.0.1:PORT/
    std::string url;     // the GetPatchs URL for version 1.0
    std::string body;    // the answer, fetched once

private:
    CCenter()
        : m_catalog(WriteCatalog(m_scratch)), m_program(VERSION_CENTER_EXE, {"--listen", "127.0.0.1:0", m_catalog})
    {
        // "version-center: serving 1 product from FILE at http://127.0.0.1:PORT/"
        std::string line;
        if (!m_program.ReadLine(line, 30) || line.find("http://") == std::string::npos)
            Fail("the version center did not start");
        address = line.substr(line.find("http://"));
        url = address + "Editor/patchs?version=1.0.0.0";
        if (!Fetch(body))
            Fail("the version center does not answer");
    }

    static std::string WriteCatalog(const testsupport::CScratchDir& scratch)
    {
        const std::string path = (scratch / "catalog.json").string();
        testsupport::WriteFile(path, BigCatalog());
        return path;
    }

    bool Fetch(std::string& text) const;

    [[noreturn]] static void Fail(const char* what)
    {
        std::fprintf(stderr, "bench_version_query: %s\n", what);
        std::exit(1);
    }

    testsupport::CScratchDir m_scratch{"vesk-bench"};
    std::string m_catalog;
    testsupport::CBackgroundProgram m_program;
};

bool CCenter::Fetch(std::string& text) const
{
    return bench::PlainGet(url, text);
}

bool GetPatchs(kvrUpdate::CVersionQuery& query)
{
    const kvrUpdate::IPatchList* list = query.GetPatchs("1.0");
    return list != nullptr && list->GetCount() == kPatchCount;
}

[[gnu::noinline]] bool Measure_GetPatchs(kvrUpdate::CVersionQuery& query)
{
    return GetPatchs(query);
}

// The floor of GetPatchs: the transfer with the same options into a string,
// and jsoncpp's parse of the body into a value, freed again. It includes
// neither the reading of records nor anything the server does.
bool CurlGetAndParse(const std::string& url)
{
    std::string body;
    if (!bench::PlainGet(url, body))
        return false;
    Json::Value root;
    return Json::Reader().parse(body.data(), body.data() + body.size(), root);
}

[[gnu::noinline]] bool Measure_CurlGetAndParse(const std::string& url)
{
    return CurlGetAndParse(url);
}

std::unique_ptr<kvrUpdate::CVersionQuery> NewQuery()
{
    std::unique_ptr<kvrUpdate::CVersionQuery> query(new kvrUpdate::CVersionQuery);
    query->SetVersionCenter(CCenter::Get().address.c_str());
    query->SetProduct("Editor");
    return query;
}

// A query asking again: the answer refills the patch list it read before.
void BM_GetPatchs(benchmark::State& bench)
{
    CCenter& center = CCenter::Get();
    const std::unique_ptr<kvrUpdate::CVersionQuery> query = NewQuery();
    GetPatchs(*query);
    for (auto _ : bench)
    {
        if (!Measure_GetPatchs(*query))
        {
            bench.SkipWithError("GetPatchs failed");
            break;
        }
    }
    bench.SetBytesProcessed(static_cast<int64_t>(bench.iterations() * center.body.size()));
}

// A query asking for the first time: the answer fills an empty list. Making
// and destroying the query are not timed.
void BM_GetPatchs_NewQuery(benchmark::State& bench)
{
    CCenter& center = CCenter::Get();
    GetPatchs(*NewQuery());
    for (auto _ : bench)
    {
        bench.PauseTiming();
        std::unique_ptr<kvrUpdate::CVersionQuery> query = NewQuery();
        bench.ResumeTiming();
        if (!Measure_GetPatchs(*query))
        {
            bench.SkipWithError("GetPatchs failed");
            break;
        }
        bench.PauseTiming();
        query.reset();
        bench.ResumeTiming();
    }
    bench.SetBytesProcessed(static_cast<int64_t>(bench.iterations() * center.body.size()));
}

void BM_Floor_CurlGetAndParse(benchmark::State& bench)
{
    CCenter& center = CCenter::Get();
    CurlGetAndParse(center.url);
    for (auto _ : bench)
    {
        if (!Measure_CurlGetAndParse(center.url))
        {
            bench.SkipWithError("transfer or parse failed");
            break;
        }
    }
    bench.SetBytesProcessed(static_cast<int64_t>(bench.iterations() * center.body.size()));
}

// The same without the network: what the library does with a body that has
// arrived (ParseJson, then the patch list's read) against jsoncpp's parse.
bool BodyToPatchList(const std::string& body, kvrUpdate::CPatchList& list)
{
    Json::Value root;
    jsonIO::CJsonObject<kvrUpdate::CPatchList> adapter(list);
    return jsonIO::ParseJson(root, body.c_str()) && adapter.FromJson(root);
}

[[gnu::noinline]] bool Measure_BodyToPatchList(const std::string& body, kvrUpdate::CPatchList& list)
{
    return BodyToPatchList(body, list);
}

bool BodyParse(const std::string& body)
{
    Json::Value root;
    return Json::Reader().parse(body.data(), body.data() + body.size(), root);
}

[[gnu::noinline]] bool Measure_BodyParse(const std::string& body)
{
    return BodyParse(body);
}

void BM_BodyToPatchList(benchmark::State& bench)
{
    const std::string& body = CCenter::Get().body;
    kvrUpdate::CPatchList list;
    BodyToPatchList(body, list); // the list is refilled from here on
    for (auto _ : bench)
    {
        if (!Measure_BodyToPatchList(body, list))
        {
            bench.SkipWithError("read failed");
            break;
        }
    }
    bench.SetBytesProcessed(static_cast<int64_t>(bench.iterations() * body.size()));
}

void BM_Floor_BodyParse(benchmark::State& bench)
{
    const std::string& body = CCenter::Get().body;
    BodyParse(body);
    for (auto _ : bench)
    {
        if (!Measure_BodyParse(body))
        {
            bench.SkipWithError("parse failed");
            break;
        }
    }
    bench.SetBytesProcessed(static_cast<int64_t>(bench.iterations() * body.size()));
}

} // namespace

BENCHMARK(BM_GetPatchs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetPatchs_NewQuery)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Floor_CurlGetAndParse)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BodyToPatchList)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Floor_BodyParse)->Unit(benchmark::kMillisecond);
