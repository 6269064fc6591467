#include "TransferPoolImpl.h"

#include "TransferRules.h"

#include <algorithm>
#include <cctype>

namespace
{

bool SameHex(const std::string& a, const std::string& b)
{
    if (a.size() != b.size() || a.empty())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
    {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

} // namespace

void CTransferPool::CImpl::Hold(CState& state, long long held)
{
    m_progress.bytesDone += held - state.job->held;
    state.job->held = held;
}

void CTransferPool::CImpl::Complete(CState& state, const std::string& error)
{
    CTransferJob& job = *state.job;
    job.ok = error.empty();
    job.error = error;
    if (state.owned && job.output != nullptr)
    {
        if (std::fclose(job.output) != 0 && job.ok)
        {
            job.ok = false;
            job.error = "cannot write the file";
        }
        job.output = nullptr;
        state.owned = false;
    }
    if (job.ok)
        ++m_progress.filesDone;
}

// Checks the first `kept` bytes of the output against a file of `length`
// bytes: when they are all of it, the job is done (or, when their digest is
// wrong, starts over); otherwise they are a start to resume from.
bool CTransferPool::CImpl::CheckKept(CState& state, long long kept)
{
    CTransferJob& job = *state.job;
    const long long size = transfer::SizeOf(job.output);
    if (kept <= 0 || kept > job.length || size < kept)
        return false;
    Hold(state, kept);
    if (kept < job.length)
        return true;
    if (!ReadBack(state, kept))
        return false;
    if (SameHex(state.hash->HexDigest(), job.digest))
    {
        job.ok = true; // Open completes it
        return true;
    }
    Hold(state, 0);
    state.hash.reset();
    state.hashed = 0;
    return false;
}

void CTransferPool::CImpl::Prepare(CState& state)
{
    CTransferJob& job = *state.job;
    job.ok = false;
    job.error.clear();
    job.attempts = 0;
    job.held = 0;
    job.resumed = false;
    job.refused = false;
    job.connections = 0;
    if (!transfer::IsHttpUrl(job.url))
        return Complete(state, "not an http or https url");
    if ((job.output == nullptr && !job.open) || job.length < 0)
        return Complete(state, "no file to write");
    if (job.open || Open(state))
        m_ready.push_back(&state);
}

// Makes the job's output ready and takes in the bytes it keeps; false when
// the job is over (done with them alone, or failed).
bool CTransferPool::CImpl::Open(CState& state)
{
    CTransferJob& job = *state.job;
    state.opened = true;
    if (job.open)
    {
        std::string error;
        job.present = 0;
        job.output = job.open(job.present, error);
        if (job.output == nullptr)
        {
            Complete(state, error.empty() ? "cannot open the file" : error);
            return false;
        }
        state.owned = true;
    }
    if (!CheckKept(state, job.present))
        Hold(state, 0);
    if (job.ok)
    {
        Complete(state, std::string()); // closes an output of its own
        return false;
    }
    return true;
}

// Feeds the first `bytes` bytes of the output into a new digest.
bool CTransferPool::CImpl::ReadBack(CState& state, long long bytes)
{
    state.hash = m_hashFactory();
    state.hashed = 0;
    if (!state.hash || !transfer::SeekTo(state.job->output, 0))
        return false;
    char buffer[64 * 1024];
    while (state.hashed < bytes)
    {
        const std::size_t want = static_cast<std::size_t>(std::min<long long>(sizeof buffer, bytes - state.hashed));
        const std::size_t got = std::fread(buffer, 1, want, state.job->output);
        if (got == 0)
            return false;
        state.hash->Update(buffer, got);
        state.hashed += static_cast<long long>(got);
    }
    return true;
}

// The answer's body begins: a 206 continues the bytes held, from exactly
// there; a 200 is the whole file, written again from its start.
bool CTransferPool::CImpl::BeginBody(CState& state)
{
    state.bodyStarted = true;
    CTransferJob& job = *state.job;
    long status = 0;
    curl_easy_getinfo(state.easy, CURLINFO_RESPONSE_CODE, &status);
    if (status == 206 && job.held > 0)
    {
        long long first = 0;
        long long last = 0;
        long long total = 0;
        if (!transfer::ParseContentRange(state.contentRange, first, last, total) || first != job.held ||
            (total >= 0 && total != job.length))
        {
            state.refusal = "the answer's range is not the one asked for";
            return false;
        }
        if (state.hashed != job.held && !ReadBack(state, job.held))
        {
            state.refusal = "cannot read back the bytes kept";
            return false;
        }
        job.resumed = true;
        state.wholeAnswer = false;
    }
    else if (status == 200)
    {
        Hold(state, 0);
        job.resumed = false;
        state.hash = m_hashFactory();
        state.hashed = 0;
        state.wholeAnswer = true;
        if (!state.hash)
        {
            state.refusal = "no digest";
            return false;
        }
    }
    else
    {
        state.refusal = "unexpected answer, HTTP " + std::to_string(status);
        return false;
    }
    if (!transfer::SeekTo(job.output, job.held))
    {
        state.refusal = "cannot write the file";
        return false;
    }
    return true;
}

std::size_t CTransferPool::CImpl::OnHeader(char* data, std::size_t size, std::size_t count, void* user)
{
    auto& state = *static_cast<CState*>(user);
    const std::size_t bytes = size * count;
    const std::string line(data, bytes);
    if (line.compare(0, 5, "HTTP/") == 0)
        state.contentRange.clear(); // a new answer (after a redirect, or a 100)
    else if (line.size() > 14)
    {
        std::string name = line.substr(0, 14);
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (name == "content-range:")
            state.contentRange = line.substr(14);
    }
    return bytes;
}

std::size_t CTransferPool::CImpl::OnBody(char* data, std::size_t size, std::size_t count, void* user)
{
    auto& state = *static_cast<CState*>(user);
    CImpl& pool = *state.pool;
    CTransferJob& job = *state.job;
    const std::size_t bytes = size * count;
    if (!state.bodyStarted && !pool.BeginBody(state))
        return 0; // libcurl ends the transfer with a write error
    if (static_cast<long long>(bytes) > job.length - job.held)
    {
        state.refusal = "sends more than the " + std::to_string(job.length) + " bytes " + pool.m_options.source +
                        " names";
        return 0;
    }
    pool.m_received += static_cast<long long>(bytes);
    if (pool.m_received > pool.m_budget)
    {
        pool.m_overBudget = true;
        state.refusal = "more bytes than the run may take";
        return 0;
    }
    if (std::fwrite(data, 1, bytes, job.output) != bytes)
    {
        state.refusal = "cannot write the file";
        return 0;
    }
    state.hash->Update(data, bytes);
    state.hashed += static_cast<long long>(bytes);
    pool.Hold(state, job.held + static_cast<long long>(bytes));
    return bytes;
}

void CTransferPool::CImpl::Finish(CURL* easy, CURLcode code)
{
    char* pointer = nullptr;
    curl_easy_getinfo(easy, CURLINFO_PRIVATE, &pointer);
    CState& state = *reinterpret_cast<CState*>(pointer);
    CTransferJob& job = *state.job;
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    curl_off_t declared = -1;
    curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &declared);
    long connections = 0;
    curl_easy_getinfo(easy, CURLINFO_NUM_CONNECTS, &connections);
    job.connections += static_cast<int>(connections);
    if (code == CURLE_OK && !state.bodyStarted)
        BeginBody(state); // an empty body
    curl_multi_remove_handle(m_multi, easy);
    m_idle.push_back(easy);
    state.easy = nullptr;
    --m_running;

    if (!state.refusal.empty())
        return Refuse(state, state.refusal);
    const auto afresh = [&](const std::string& why) {
        Hold(state, 0);
        state.hash.reset();
        state.hashed = 0;
        Again(state, why, false);
    };
    if (code == CURLE_OK)
    {
        if (std::fflush(job.output) != 0)
            return Complete(state, "cannot write the file");
        if (job.held < job.length)
        {
            // An answer of a declared length that was all there: the
            // server's file is shorter. Without one, the connection may
            // just have ended early.
            if (declared >= 0)
                return Refuse(state, "sent " + std::to_string(job.held) + " bytes, " + m_options.source + " names " +
                                         std::to_string(job.length));
            return Again(state, "the answer ended early", true);
        }
        if (SameHex(state.hash->HexDigest(), job.digest))
            return Complete(state, std::string());
        // Bytes kept from before may be what differs: once more, whole.
        const std::string wrong = "the " + m_options.digestName + " of what was sent does not match " +
                                  m_options.source;
        if (!state.wholeAnswer && !state.triedAfresh)
        {
            state.triedAfresh = true;
            return afresh(wrong);
        }
        return Refuse(state, wrong);
    }
    std::string error = state.curlError[0] != '\0' ? state.curlError : curl_easy_strerror(code);
    if (code == CURLE_FILESIZE_EXCEEDED)
        error = "sends more than the " + std::to_string(job.length) + " bytes " + m_options.source + " names";
    if (code == CURLE_UNSUPPORTED_PROTOCOL && transfer::IsHttpsUrl(job.url))
        error += " (a redirect from https to http is refused)";
    switch (transfer::AfterFailure(code, status))
    {
    case transfer::Next::kRestart:
        if (job.held > 0)
            return afresh(error);
        return Complete(state, error);
    case transfer::Next::kRetry:
        return Again(state, error, true);
    case transfer::Next::kGiveUp:
        break;
    }
    Refuse(state, error);
}

// Ends a job whose answer is final: what it holds is not kept for a later
// run, since it is not known to be the file's. Bytes stay only after a
// transfer that was cut short (see Again).
void CTransferPool::CImpl::Refuse(CState& state, const std::string& error)
{
    state.job->refused = true;
    Hold(state, 0);
    Complete(state, error);
}
