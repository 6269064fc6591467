// Many library clients at once against one version center, for the load
// benchmarks: each client its own version query and its own random numbers,
// asking request after request until the time is up, every request timed.
#ifndef VESKUPDATE_BENCH_LOADCLIENTS_H
#define VESKUPDATE_BENCH_LOADCLIENTS_H

#include <VeskUpdate.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace bench
{

using LoadClock = std::chrono::steady_clock;

struct CLoadFigures
{
    long failures = 0;
    double seconds = 0;            // from the start until the last client ended
    std::vector<double> latencies; // milliseconds, sorted
};

/// One request of a host, the client's `turn`-th (from 0): true when it was
/// answered as expected.
using LoadRequest = std::function<bool(kvrUpdate::IVersionQuery& query, std::mt19937& random, std::size_t turn)>;

/// Runs `clients` clients of `product` at `address` for `seconds`, all set
/// going at once; `during`, when given, runs on the calling thread
/// meanwhile, with the start time (to publish again while they ask, say).
inline CLoadFigures DriveClients(const std::string& address, const char* product, int clients, double seconds,
                                 const LoadRequest& ask,
                                 const std::function<void(LoadClock::time_point start)>& during = {})
{
    std::vector<CLoadFigures> perClient(static_cast<std::size_t>(clients));
    std::atomic<bool> go{false};
    const LoadClock::time_point start = LoadClock::now();
    const LoadClock::time_point end = start + std::chrono::duration_cast<LoadClock::duration>(
                                                  std::chrono::duration<double>(seconds));
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < perClient.size(); ++i)
    {
        threads.emplace_back([&, i] {
            CLoadFigures& figures = perClient[i];
            std::mt19937 random(static_cast<std::uint32_t>(i));
            kvrUpdate::IVersionQuery* query = kvrUpdate::CreateVersionQuery();
            query->SetVersionCenter(address.c_str());
            query->SetProduct(product);
            while (!go)
                std::this_thread::yield();
            for (std::size_t turn = 0; LoadClock::now() < end; ++turn)
            {
                const LoadClock::time_point asked = LoadClock::now();
                const bool ok = ask(*query, random, turn);
                figures.latencies.push_back(
                    std::chrono::duration<double, std::milli>(LoadClock::now() - asked).count());
                if (!ok)
                    ++figures.failures;
            }
            query->Release();
        });
    }
    go = true;
    if (during)
        during(start);
    for (std::thread& thread : threads)
        thread.join();
    CLoadFigures total;
    total.seconds = std::chrono::duration<double>(LoadClock::now() - start).count();
    for (CLoadFigures& figures : perClient)
    {
        total.failures += figures.failures;
        total.latencies.insert(total.latencies.end(), figures.latencies.begin(), figures.latencies.end());
    }
    std::sort(total.latencies.begin(), total.latencies.end());
    return total;
}

/// The value below which the fraction `p` of the sorted values lies; 0 for
/// none.
inline double Percentile(const std::vector<double>& sorted, double p)
{
    if (sorted.empty())
        return 0;
    return sorted[std::min(sorted.size() - 1, static_cast<std::size_t>(p * static_cast<double>(sorted.size())))];
}

} // namespace bench

#endif // VESKUPDATE_BENCH_LOADCLIENTS_H
