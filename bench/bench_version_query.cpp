// GetPatchs of an answer of about 1 MB from the reference version center,
// against the floor measured in the same run: a plain libcurl GET with the
// same options into a string, plus jsoncpp's parse. Both transfers are held
// to the library's reception cap of 5 MB/s, so the in-memory pair below shows
// the work the library adds to the body once it has arrived.
#include "CCatalog.h"
#include "CVersionCenter.h"

#include "client/CUrlHandle.h"
#include "client/CVersionQuery.h"
#include "client/GetJsonObject.h"
#include "json/JsonObject.h"
#include "model/CPatchList.h"

#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <httplib.h>
#include <json/json.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

namespace
{

constexpr int kPatchCount = 3000;

// One product whose version 1.0 has kPatchCount patches, each applying to
// three versions, with realistic texts: about 1 MB as answer.
std::string BigCatalog()
{
    std::string text = R"({"products": {"Editor": {"versions": {"1.0": {}, "1.1": {}, "1.2": {}, "2.0": {}}, "patches": [)";
    for (int i = 0; i < kPatchCount; ++i)
    {
        const std::string n = std::to_string(i);
        text += (i ? "," : "");
        text += R"({"number": "KB-)" + n + R"(", "title": "Cumulative update )" + n +
                R"( for the editor", "comment": "Fixes a crash when saving large documents, improves start-up time and updates translations (build )" +
                n + R"().", "apply": ["1.0", "1.1", "1.2"], "result": "2.0", "dependon": "", "type": "bug", "force": "recommend"})";
    }
    return text + "]}}}";
}

class CFixture
{
public:
    static CFixture& Get()
    {
        static CFixture fixture;
        return fixture;
    }

    std::string address;
    std::string url; // the GetPatchs URL for version 1.0
    std::string body;

private:
    CFixture()
    {
        versionCenter::CCatalog catalog;
        std::string error;
        if (!catalog.LoadText(BigCatalog(), "benchmark catalog", error))
        {
            std::fprintf(stderr, "%s\n", error.c_str());
            std::abort();
        }
        m_center.reset(new versionCenter::CVersionCenter(std::move(catalog)));
        m_server.set_tcp_nodelay(true);
        m_center->Mount(m_server);
        const int port = m_server.bind_to_any_port("127.0.0.1");
        if (port <= 0)
            std::abort();
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        address = "http://127.0.0.1:" + std::to_string(port) + "/";
        url = address + "Editor/patchs?version=1.0.0.0";
        body = m_center->Answer("/Editor/patchs", {{"version", "1.0.0.0"}}).body;
    }

    ~CFixture()
    {
        while (m_thread.joinable() && !m_server.is_running())
            std::this_thread::yield();
        m_server.stop();
        m_thread.join();
    }

    std::unique_ptr<versionCenter::CVersionCenter> m_center;
    httplib::Server m_server;
    std::thread m_thread;
};

std::size_t AppendToString(char* data, std::size_t size, std::size_t count, void* userdata)
{
    static_cast<std::string*>(userdata)->append(data, size * count);
    return size * count;
}

std::size_t IgnoreHeader(char*, std::size_t size, std::size_t count, void*)
{
    return size * count;
}

int IgnoreTrace(CURL*, curl_infotype, char*, std::size_t, void*)
{
    return 0;
}

void BM_GetPatchs(benchmark::State& state)
{
    CFixture& fixture = CFixture::Get();
    kvrUpdate::CVersionQuery query;
    query.SetVersionCenter(fixture.address.c_str());
    query.SetProduct("Editor");
    for (auto _ : state)
    {
        const kvrUpdate::IPatchList* list = query.GetPatchs("1.0");
        if (!list || list->GetCount() != kPatchCount)
        {
            state.SkipWithError("GetPatchs failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fixture.body.size()));
}

void BM_FloorCurlAndParse(benchmark::State& state)
{
    CFixture& fixture = CFixture::Get();
    for (auto _ : state)
    {
        CURL* curl = curl_easy_init();
        std::string body;
        curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
        curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 30L);
        curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &IgnoreHeader);
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl, CURLOPT_MAX_RECV_SPEED_LARGE, static_cast<curl_off_t>(5242880));
        curl_easy_setopt(curl, CURLOPT_DEBUGFUNCTION, &IgnoreTrace);
        curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L);
        curl_easy_setopt(curl, CURLOPT_URL, fixture.url.c_str());
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &AppendToString);
        const CURLcode code = curl_easy_perform(curl);
        curl_easy_cleanup(curl);
        Json::Value root;
        if (code != CURLE_OK || !Json::Reader().parse(body.data(), body.data() + body.size(), root))
        {
            state.SkipWithError("transfer or parse failed");
            break;
        }
        benchmark::DoNotOptimize(root);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fixture.body.size()));
}

// The fetch alone, into a target that only takes the parsed value: the
// transfer layer and GetJsonObject against the same floor, without the
// reading of the records.
class CDiscardingTarget : public jsonIO::IJsonObject
{
public:
    void ToJson(Json::Value&) override {}
    bool FromJson(Json::Value& value) override
    {
        benchmark::DoNotOptimize(value);
        return true;
    }
};

void BM_GetJsonObjectOnly(benchmark::State& state)
{
    CFixture& fixture = CFixture::Get();
    CDiscardingTarget target;
    for (auto _ : state)
    {
        if (!jsonIO::GetJsonObject(target, fixture.url.c_str()))
        {
            state.SkipWithError("GetJsonObject failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fixture.body.size()));
}

// The same two without the network: what the library does with a body that
// has arrived (parse through ParseJson, read into the patch list) against
// jsoncpp's parse alone.
void BM_BodyToPatchList(benchmark::State& state)
{
    const std::string& body = CFixture::Get().body;
    kvrUpdate::CPatchList list;
    for (auto _ : state)
    {
        Json::Value root;
        jsonIO::CJsonObject<kvrUpdate::CPatchList> adapter(list);
        if (!jsonIO::ParseJson(root, body.c_str()) || !adapter.FromJson(root))
        {
            state.SkipWithError("read failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
}

void BM_BodyParseOnly(benchmark::State& state)
{
    const std::string& body = CFixture::Get().body;
    for (auto _ : state)
    {
        Json::Value root;
        if (!Json::Reader().parse(body.data(), body.data() + body.size(), root))
        {
            state.SkipWithError("parse failed");
            break;
        }
        benchmark::DoNotOptimize(root);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
}

// The library's own parse step alone (ParseJson), to split parse from read.
void BM_BodyParseJson(benchmark::State& state)
{
    const std::string& body = CFixture::Get().body;
    for (auto _ : state)
    {
        Json::Value root;
        if (!jsonIO::ParseJson(root, body.c_str()))
        {
            state.SkipWithError("parse failed");
            break;
        }
        benchmark::DoNotOptimize(root);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
}

BENCHMARK(BM_FloorCurlAndParse)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_GetPatchs)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_GetJsonObjectOnly)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_BodyParseOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BodyParseJson)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BodyToPatchList)->Unit(benchmark::kMillisecond);

} // namespace
