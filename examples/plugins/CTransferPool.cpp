#include "TransferPoolImpl.h"

#include "TransferRules.h"

#include <algorithm>
#include <utility>

using Clock = TransferClock;

CTransferPool::CImpl::CImpl(const CTransferOptions& options, TransferHashFactory hashFactory)
    : m_options(options), m_hashFactory(std::move(hashFactory))
{
    m_options.jobs = std::max(1, m_options.jobs);
    m_options.attempts = std::max(1, m_options.attempts);
    m_multi = curl_multi_init();
    if (m_multi != nullptr)
    {
        const long jobs = m_options.jobs;
        curl_multi_setopt(m_multi, CURLMOPT_MAX_HOST_CONNECTIONS, jobs);
        curl_multi_setopt(m_multi, CURLMOPT_MAX_TOTAL_CONNECTIONS, jobs);
        curl_multi_setopt(m_multi, CURLMOPT_MAXCONNECTS, jobs + 4);
        // Multiplexing only ever happens on HTTP/2, which is asked for on
        // https alone (see Start).
        curl_multi_setopt(m_multi, CURLMOPT_PIPELINING, static_cast<long>(CURLPIPE_MULTIPLEX));
    }
}

CTransferPool::CImpl::~CImpl()
{
    for (CURL* easy : m_easy)
        curl_easy_cleanup(easy);
    if (m_multi != nullptr)
        curl_multi_cleanup(m_multi);
}

void CTransferPool::CImpl::Start(CState& state)
{
    if (!state.opened && !Open(state))
        return;
    CURL* easy = nullptr;
    if (!m_idle.empty())
    {
        easy = m_idle.back();
        m_idle.pop_back();
        curl_easy_reset(easy); // keeps the connections, which belong to the multi handle
    }
    else if ((easy = curl_easy_init()) != nullptr)
        m_easy.push_back(easy);
    else
        return Complete(state, "cannot start a transfer");

    CTransferJob& job = *state.job;
    ++job.attempts;
    state.easy = easy;
    state.bodyStarted = false;
    state.contentRange.clear();
    state.refusal.clear();
    state.curlError[0] = '\0';
    const bool https = transfer::IsHttpsUrl(job.url);
    curl_easy_setopt(easy, CURLOPT_PRIVATE, &state);
    curl_easy_setopt(easy, CURLOPT_URL, job.url.c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    // A redirect never leaves https for plain http.
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, https ? "https" : "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(easy, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, m_options.connectSeconds);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, m_options.stallBytesPerSecond);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, m_options.stallSeconds);
    // HTTP/2 only where TLS negotiates it: its cleartext upgrade costs a
    // round trip and many servers get it wrong. On https it lets the files
    // share one connection, so the transfers wait for it (PIPEWAIT).
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION,
                     static_cast<long>(https ? CURL_HTTP_VERSION_2TLS : CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(easy, CURLOPT_PIPEWAIT, https ? 1L : 0L);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, state.curlError);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &CImpl::OnHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &state);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &CImpl::OnBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &state);
    if (job.length > 0)
        curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(job.length));
    if (job.held > 0)
        curl_easy_setopt(easy, CURLOPT_RANGE, (std::to_string(job.held) + "-").c_str());
    if (curl_multi_add_handle(m_multi, easy) != CURLM_OK)
    {
        state.easy = nullptr;
        m_idle.push_back(easy);
        return Complete(state, "cannot start a transfer");
    }
    ++m_running;
}

void CTransferPool::CImpl::Again(CState& state, const std::string& error, bool pause)
{
    const int attempts = state.job->attempts;
    if (attempts >= m_options.attempts)
        return Complete(state, error + " (" + std::to_string(attempts) + " attempts)");
    if (!pause)
    {
        m_ready.push_front(&state);
        return;
    }
    // A file of its own is closed while the job waits, so that a run of
    // many failing files does not hold them all open; it is opened again
    // (through the hook) before the next attempt.
    if (state.owned)
    {
        const bool closed = std::fclose(state.job->output) == 0;
        state.job->output = nullptr;
        state.owned = false;
        state.opened = false;
        if (!closed)
            return Complete(state, "cannot write the file");
    }
    state.notBefore = Clock::now() + std::chrono::milliseconds(transfer::BackoffMs(attempts + 1, m_options.backoffMs,
                                                                                   m_options.maxBackoffMs));
    m_waiting.push_back(&state);
}

void CTransferPool::CImpl::StopAll(const std::string& reason)
{
    for (CState& state : m_states)
    {
        if (state.easy != nullptr)
        {
            curl_multi_remove_handle(m_multi, state.easy);
            m_idle.push_back(state.easy);
            state.easy = nullptr;
            --m_running;
            Complete(state, reason);
        }
    }
    for (CState* state : m_ready)
        Complete(*state, reason);
    for (CState* state : m_waiting)
        Complete(*state, reason);
    m_ready.clear();
    m_waiting.clear();
}

void CTransferPool::CImpl::Report(const TransferProgressSink& progress, bool last)
{
    if (!progress)
        return;
    const Clock::time_point now = Clock::now();
    const bool changed = m_progress.bytesDone != m_reported.bytesDone || m_progress.filesDone != m_reported.filesDone;
    if (!last && (!changed || now - m_lastReport < std::chrono::milliseconds(100)))
        return;
    m_lastReport = now;
    m_reported = m_progress;
    progress(m_progress);
}

void CTransferPool::CImpl::Begin(std::vector<CTransferJob>& jobs)
{
    m_states.clear();
    m_states.resize(jobs.size()); // never again until the next run: the states are pointed at
    m_ready.clear();
    m_waiting.clear();
    m_received = 0;
    m_overBudget = false;
    m_progress = CTransferProgress();
    m_progress.filesTotal = static_cast<int>(jobs.size());
    long long missing = 0;
    for (std::size_t i = 0; i < jobs.size(); ++i)
    {
        m_states[i].pool = this;
        m_states[i].job = &jobs[i];
        m_progress.bytesTotal += std::max(0LL, jobs[i].length);
        if (m_multi == nullptr)
        {
            Complete(m_states[i], "no transfers possible");
            continue;
        }
        Prepare(m_states[i]);
        if (!jobs[i].ok && jobs[i].error.empty())
            missing += jobs[i].length - jobs[i].held;
    }
    m_budget = m_options.maxBytes > 0 ? m_options.maxBytes : 2 * missing + (1LL << 20);
}

// Starts what may start, lets libcurl move the transfers on and takes in
// the ended ones; then waits for the sockets or the next retry's time,
// unless more can start at once.
void CTransferPool::CImpl::Step()
{
    const Clock::time_point now = Clock::now();
    auto due = std::stable_partition(m_waiting.begin(), m_waiting.end(),
                                     [&](const CState* state) { return state->notBefore > now; });
    m_ready.insert(m_ready.end(), due, m_waiting.end());
    m_waiting.erase(due, m_waiting.end());
    while (m_running < m_options.jobs && !m_ready.empty())
    {
        CState* state = m_ready.front();
        m_ready.pop_front();
        Start(*state);
    }

    int active = 0;
    curl_multi_perform(m_multi, &active);
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(m_multi, &left))
    {
        if (message->msg == CURLMSG_DONE)
            Finish(message->easy_handle, message->data.result);
    }
    if (!m_ready.empty() && m_running < m_options.jobs)
        return;

    long wait = 100;
    for (const CState* state : m_waiting)
    {
        const auto until = std::chrono::duration_cast<std::chrono::milliseconds>(state->notBefore - now);
        wait = std::min(wait, static_cast<long>(std::max<long long>(0, until.count())));
    }
    if (m_running > 0 || !m_waiting.empty())
        curl_multi_poll(m_multi, nullptr, 0, static_cast<int>(wait), nullptr);
}

bool CTransferPool::CImpl::Run(std::vector<CTransferJob>& jobs, const TransferProgressSink& progress)
{
    Begin(jobs);
    const Clock::time_point started = Clock::now();
    m_lastReport = started - std::chrono::seconds(1);
    Report(progress, false);
    while (m_running > 0 || !m_ready.empty() || !m_waiting.empty())
    {
        if (m_overBudget)
            StopAll("more bytes than the run may take");
        else if (m_options.maxSeconds > 0 && Clock::now() - started >= std::chrono::seconds(m_options.maxSeconds))
            StopAll("the run took too long");
        else
            Step();
        Report(progress, false);
    }
    Report(progress, true);
    return std::all_of(jobs.begin(), jobs.end(), [](const CTransferJob& job) { return job.ok; });
}

CTransferPool::CTransferPool(const CTransferOptions& options, TransferHashFactory hashFactory)
    : m_impl(new CImpl(options, std::move(hashFactory)))
{
}

CTransferPool::~CTransferPool() = default;

bool CTransferPool::Run(std::vector<CTransferJob>& jobs, const TransferProgressSink& progress)
{
    return m_impl->Run(jobs, progress);
}
