// Many downloads at once over few connections: libcurl's multi interface
// with one connection cache, so that files of one server share kept-alive
// connections, whether one transfer runs at a time or several.
//
// Each job writes into a file its caller opened (for reading and writing,
// binary), so the caller decides where and how it is created. A job may
// start from bytes already in that file (an earlier, interrupted run): they
// are asked for no more (`Range: bytes=K-`), and are read back and hashed so
// that the whole file is checked against its SHA-256 once complete. A server
// that ignores the range gets the file written again from its start.
//
//   CTransferPool pool(options, [] { return std::unique_ptr<CTransferHash>(new CMySha256); });
//   std::vector<CTransferJob> jobs = ...;       // url, output, present, length, digest
//   bool all = pool.Run(jobs, [](const CTransferProgress& p) { ... });
//
// Failed transfers are tried again with growing pauses, except when the
// server's answer says the file is not there or not what was promised; the
// whole run is bounded in attempts, bytes and time.
#ifndef VESKPLUGINS_CTRANSFERPOOL_H
#define VESKPLUGINS_CTRANSFERPOOL_H

#include <cstddef>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

/// A running SHA-256 (or any digest the expectation is written in).
class CTransferHash
{
public:
    virtual ~CTransferHash() = default;
    virtual void Update(const void* data, std::size_t size) = 0;
    /// The digest as hex digits; called once, at the end.
    virtual std::string HexDigest() = 0;
};

struct CTransferJob
{
    // What to fetch and where.
    std::string url;             ///< http or https only
    std::FILE* output = nullptr; ///< open for reading and writing, binary
    long long present = 0;       ///< bytes at the start of `output` already fetched
    /// Instead of `output` and `present`, for runs of more files than may be
    /// open at once: called just before the job's first request to open its
    /// file (as `output`) and say how many bytes it keeps from before; null,
    /// with the reason in `error`, when it cannot. The pool then closes that
    /// file itself when the job ends (a failed close fails the job), and
    /// while it waits to try again: the hook must open the same file again.
    std::function<std::FILE*(long long& present, std::string& error)> open;
    long long length = 0; ///< the file's promised length
    std::string digest;   ///< its promised digest (the hash the pool makes), hex

    // How it went, filled in by Run.
    bool ok = false;   ///< complete, with the length and the digest
    std::string error; ///< why not, when not
    int attempts = 0;  ///< requests made for it
    /// Bytes at the start of `output` that belong to the file: after a
    /// failure, those a later run may continue from. 0 after an answer that
    /// was refused (wrong length, digest or range, a final HTTP status).
    long long held = 0;
    /// It failed on an answer that was refused (not on a transfer cut
    /// short): the server, or someone between, sent what is not the file.
    bool refused = false;
    bool resumed = false; ///< some of it came by a range request
    int connections = 0;  ///< connections opened for its requests
};

struct CTransferProgress
{
    long long bytesDone = 0; ///< bytes of the files held so far, kept ones included
    long long bytesTotal = 0;
    int filesDone = 0; ///< files complete and checked
    int filesTotal = 0;
};

struct CTransferOptions
{
    int jobs = 8;                 ///< transfers at once
    int attempts = 4;             ///< requests per file at most
    long backoffMs = 500;         ///< pause before the first retry; doubles each time
    long maxBackoffMs = 8000;     ///< longest pause
    long connectSeconds = 30;     ///< to open a connection
    long stallSeconds = 30;       ///< a transfer slower than stallBytesPerSecond
    long stallBytesPerSecond = 1; ///<   for this long is given up (and retried)
    long maxSeconds = 3600;       ///< the whole run; 0: no limit
    /// Bytes received over the whole run at most; 0: twice what is missing,
    /// plus a megabyte, so that retries cannot make a hostile server's
    /// answers endless.
    long long maxBytes = 0;
    /// The hash's name, for the error of a file whose digest is wrong.
    std::string digestName = "digest";
    /// Where the lengths and digests come from, for the errors.
    std::string source = "the job";
};

using TransferHashFactory = std::function<std::unique_ptr<CTransferHash>()>;
using TransferProgressSink = std::function<void(const CTransferProgress&)>;

class CTransferPool
{
public:
    CTransferPool(const CTransferOptions& options, TransferHashFactory hashFactory);
    ~CTransferPool();
    CTransferPool(const CTransferPool&) = delete;
    CTransferPool& operator=(const CTransferPool&) = delete;

    /// Fetches every job, filling in their results; true when all are ok.
    /// `progress` (may be empty) is called on this thread as bytes arrive,
    /// at most about ten times a second, and once at the end. The pool's
    /// connections stay open for the next Run.
    bool Run(std::vector<CTransferJob>& jobs, const TransferProgressSink& progress);

private:
    class CImpl;
    std::unique_ptr<CImpl> m_impl;
};

#endif // VESKPLUGINS_CTRANSFERPOOL_H
