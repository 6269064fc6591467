// What verification costs when a package is applied: the download plug-in
// puts a 3,000-file version package (made up in a scratch directory,
// published signed by the reference center and served by it on loopback)
// into an empty directory, once as before (MD5s of the answer) and once with
// a trusted key (the signed manifest fetched and verified, every file
// downloaded aside, checked against its SHA-256 and then moved into place).
// The two are run in alternation, the order swapped every round; the ratio
// is the median of the rounds' ratios, each taken between two applies run
// one right after the other (the loopback's closed connections pile up
// between rounds, so single applies swing).
//
//   bench_verified_apply [--rounds N] [--files N]   (defaults 9, 3000)
//
// Not a test: the figures depend on the machine.
#include "support/CScratchDir.h"
#include "support/ChildProcess.h"
#include "support/Files.h"

#include <Manifest.h>
#include <Minisign.h>
#include <SignedFetch.h>
#include <VeskUpdate.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace kvrUpdate;
using testsupport::CBackgroundProgram;
using testsupport::CRunResult;
using testsupport::RunProgram;
using Clock = std::chrono::steady_clock;

namespace
{

class CContext final : public IExecutionContext
{
public:
    CContext() = default;
    CContext(const CContext&) = delete;
    CContext& operator=(const CContext&) = delete;
    ~CContext() = default;

    std::map<std::string, std::string> settings;
    std::string last;

    const char* GetSetting(const char* key) const override
    {
        const auto found = settings.find(key);
        return found != settings.end() ? found->second.c_str() : nullptr;
    }
    void OnProgress(long long, long long, int, int) override {}
    void OnReport(const char* line) override { last = line; }
};

// A release of `count` files of 1 to 16 KB in 30 folders, the bytes of each
// its own.
void MakeRelease(const fs::path& folder, int count, long long& bytes)
{
    unsigned state = 2463534242u;
    bytes = 0;
    for (int i = 0; i < count; ++i)
    {
        std::string data(static_cast<std::size_t>(1024 + (i * 7919) % (15 * 1024)), '\0');
        for (char& c : data)
        {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            c = static_cast<char>(state);
        }
        bytes += static_cast<long long>(data.size());
        testsupport::WriteFile(folder / ("dir" + std::to_string(i % 30)) / ("file" + std::to_string(i) + ".bin"), data);
    }
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

int Fail(const std::string& message)
{
    std::fprintf(stderr, "bench_verified_apply: %s\n", message.c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    int rounds = 9;
    int files = 3000;
    for (int i = 1; i + 1 < argc; i += 2)
    {
        if (std::strcmp(argv[i], "--rounds") == 0)
            rounds = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--files") == 0)
            files = std::max(1, std::atoi(argv[i + 1]));
    }

    testsupport::CScratchDir scratch("vesk-bench-verify");
    const fs::path dir = scratch.Path();
    long long bytes = 0;
    MakeRelease(dir / "releases" / "1.0", files, bytes);
    const std::string secret = (dir / "bench.key").string();
    const std::string publicKey = (dir / "bench.pub").string();
    CRunResult run = RunProgram(VERSION_CENTER_EXE, {"keygen", "--secret", secret, "--public", publicKey});
    if (run.status != 0)
        return Fail("keygen: " + run.output);
    const std::string catalog = (dir / "catalog.json").string();
    const std::string downloads = (dir / "downloads").string();
    run = RunProgram(VERSION_CENTER_EXE, {"publish", "--product", "Big", "--releases", (dir / "releases").string(),
                                          "--out", downloads, "--catalog", catalog, "--sign", secret});
    if (run.status != 0)
        return Fail("publish: " + run.output);
    CBackgroundProgram server(VERSION_CENTER_EXE, {"--listen", "127.0.0.1:0", "--files", downloads, catalog});
    std::string line;
    if (!server.ReadLine(line, 30) || line.find(" at http://") == std::string::npos)
        return Fail("the version center did not start");
    const std::string center = line.substr(line.find(" at http://") + 4);

    vesktrust::CPublicKey key;
    std::string error;
    if (!vesktrust::LoadPublicKey(publicKey, key, error))
        return Fail(error);

    IVersionQuery* query = CreateVersionQuery();
    query->SetProduct("Big");
    query->SetVersionCenter(center.c_str());
    const IUpdatePackage* package = query->GetVersionPackage("1.0");
    if (package == nullptr || package->GetResource()->GetCount() != files)
        return Fail("the package of version 1.0 did not come");

    IExecutorManager* manager = CreateExecutorManager();
    if (manager->RegisterModule(DOWNLOAD_EXECUTOR, "CreateUpdateExecutor") != 0)
        return Fail("cannot load the download executor");
    IUpdateExecutor* object = manager->AcquireObject("download");
    if (object == nullptr || !object->IsType(kContextAware))
        return Fail("the download executor takes no context");
    auto* executor = static_cast<IContextUpdateExecutor*>(object);

    CContext plain;
    CContext verified;
    verified.settings = {
        {"trust", key.Base64()},
        {"manifest",
         center + "files/" + vesktrust::EscapeUrlPath(vesktrust::ManifestPath("Big", "version", "1.0.0.0"))},
        {"expect.product", "Big"},
        {"expect.kind", "version"},
        {"expect.id", "1.0.0.0"},
        {"expect.installed", "0.0.0.0"},
    };

    const fs::path install = dir / "install";
    std::vector<double> times[2];
    int status = 0;
    for (int round = 0; round < rounds && status == 0; ++round)
    {
        for (int turn = 0; turn < 2; ++turn)
        {
            const int mode = (round + turn) % 2; // 0 without, 1 with verification
            fs::remove_all(install);
            fs::create_directories(install);
            CContext& context = mode == 0 ? plain : verified;
            const Clock::time_point start = Clock::now();
            const bool ok = executor->ExecuteWith(package, install.string().c_str(), nullptr, &context);
            times[mode].push_back(std::chrono::duration<double>(Clock::now() - start).count());
            if (!ok)
            {
                status = Fail("the apply failed: " + context.last);
                break;
            }
        }
    }
    if (status == 0)
    {
        const double without = Median(times[0]);
        const double with = Median(times[1]);
        std::vector<double> ratios;
        for (std::size_t i = 0; i < times[0].size(); ++i)
            ratios.push_back(times[1][i] / times[0][i]);
        std::printf("Applying a %d-file package (%.1f MB) into an empty directory, median of %d rounds\n", files,
                    static_cast<double>(bytes) / 1e6, rounds);
        const double fastestWithout = *std::min_element(times[0].begin(), times[0].end());
        const double fastestWith = *std::min_element(times[1].begin(), times[1].end());
        std::printf("                        median    fastest\n");
        std::printf("  without verification  %7.3f s  %7.3f s\n", without, fastestWithout);
        std::printf("  with verification     %7.3f s  %7.3f s   (%s)\n", with, fastestWith, verified.last.c_str());
        std::printf("  ratio                 %7.3fx  %7.3fx  (median: of the rounds' ratios; target <= 1.05x)\n",
                    Median(ratios), fastestWith / fastestWithout);
    }
    manager->ReleaseObject(object);
    manager->Release();
    query->Release();
    return status;
}
