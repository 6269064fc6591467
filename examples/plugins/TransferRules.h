// The transfer pool's decisions that need no connection: which urls it
// fetches, how an answer's Content-Range is read, which failures are worth
// another attempt and how long to wait before it. Kept apart so that they
// can be checked on their own.
#ifndef VESKPLUGINS_TRANSFERRULES_H
#define VESKPLUGINS_TRANSFERRULES_H

#include <curl/curl.h>

#include <cstdio>
#include <string>

namespace transfer
{

/// True for an absolute http:// or https:// url (scheme in either case).
bool IsHttpUrl(const std::string& url);
bool IsHttpsUrl(const std::string& url);

/// Reads the value of a Content-Range header, "bytes FIRST-LAST/TOTAL" (TOTAL
/// may be "*", then `total` is -1). False when it is not of that form.
bool ParseContentRange(const std::string& value, long long& first, long long& last, long long& total);

/// What to do after a transfer ended with `code` and the HTTP status `status`.
enum class Next
{
    kRetry,   ///< a passing fault: the connection, the server's load, a stall
    kRestart, ///< the kept bytes do not fit the file (416): again from its start
    kGiveUp,  ///< the answer is final (404, a refused protocol, a local error)
};
Next AfterFailure(CURLcode code, long status);

/// The pause before attempt `attempt` (2, 3, ...): `first` doubled for each
/// attempt after the second, at most `longest`.
long BackoffMs(int attempt, long first, long longest);

/// Moves `file` to byte `offset` from its start; false when it cannot.
bool SeekTo(std::FILE* file, long long offset);
/// The size of `file` (its position is lost), -1 when unknown.
long long SizeOf(std::FILE* file);

} // namespace transfer

#endif // VESKPLUGINS_TRANSFERRULES_H
