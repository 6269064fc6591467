// The transfer pool's inside, shared by its two halves: CTransferPool.cpp
// runs the transfers (starting, retrying, bounding them), TransferAnswers.cpp
// takes in what the servers answer (ranges, bodies, digests).
#ifndef VESKPLUGINS_TRANSFERPOOLIMPL_H
#define VESKPLUGINS_TRANSFERPOOLIMPL_H

#include "CTransferPool.h"

#include <curl/curl.h>

#include <chrono>
#include <deque>
#include <memory>
#include <string>
#include <vector>

using TransferClock = std::chrono::steady_clock;

class CTransferPool::CImpl
{
public:
    // One job across its attempts.
    struct CState
    {
        CImpl* pool = nullptr;
        CTransferJob* job = nullptr;
        CURL* easy = nullptr; // while an attempt runs
        std::unique_ptr<CTransferHash> hash;
        long long hashed = 0;     // bytes [0, hashed) of the output went into `hash`
        bool wholeAnswer = false; // the bytes held all came from one 200 answer
        bool triedAfresh = false; // a digest mismatch was already met by starting over
        bool opened = false;      // the output is there (given, or opened by the job's hook)
        bool owned = false;       // ... and the pool closes it
        TransferClock::time_point notBefore;
        // The attempt running now.
        bool bodyStarted = false;
        std::string contentRange;
        std::string refusal; // set by the callbacks: the answer is not the file
        char curlError[CURL_ERROR_SIZE] = {};
    };

    CImpl(const CTransferOptions& options, TransferHashFactory hashFactory);
    ~CImpl();
    CImpl(const CImpl&) = delete;
    CImpl& operator=(const CImpl&) = delete;

    bool Run(std::vector<CTransferJob>& jobs, const TransferProgressSink& progress);

private:
    static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user);
    static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user);

    void Prepare(CState& state);
    bool Open(CState& state);
    bool CheckKept(CState& state, long long kept);
    bool BeginBody(CState& state);
    bool ReadBack(CState& state, long long bytes);
    void Start(CState& state);
    void Finish(CURL* easy, CURLcode code);
    void Complete(CState& state, const std::string& error);
    void Refuse(CState& state, const std::string& error);
    void Again(CState& state, const std::string& error, bool pause);
    void Hold(CState& state, long long held);
    void Begin(std::vector<CTransferJob>& jobs);
    void Step();
    void StopAll(const std::string& reason);
    void Report(const TransferProgressSink& progress, bool last);

    CTransferOptions m_options;
    TransferHashFactory m_hashFactory;
    CURLM* m_multi = nullptr;
    std::vector<CURL*> m_easy; // every easy handle made; reused, never one per file
    std::vector<CURL*> m_idle;

    std::vector<CState> m_states;
    std::deque<CState*> m_ready;
    std::vector<CState*> m_waiting; // to try again after a pause
    int m_running = 0;
    long long m_received = 0; // over the whole run
    long long m_budget = 0;
    bool m_overBudget = false;
    CTransferProgress m_progress;
    CTransferProgress m_reported;
    TransferClock::time_point m_lastReport;
};

#endif // VESKPLUGINS_TRANSFERPOOLIMPL_H
