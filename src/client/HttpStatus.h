// Which HTTP statuses the library accepts: decided here, once. A transfer
// meets the rule three times, and each time asks this header:
// - libcurl fails the transfer itself on a status of 400 or above
//   (CURLOPT_FAILONERROR, set on every handle from kLibcurlFailsHttpErrors),
//   before any body of such an answer reaches a writer;
// - the write callback lets a body through only while BodyMayPass: a status
//   still unknown (0), or 200 to 398, so that the body of an informational
//   or 399 answer never reaches the writer;
// - the fetch takes an answer only when IsGoodAnswer: no status at all (0, a
//   transfer that is not HTTP) or 200 to 299. A 3xx body that passed the
//   callback (a redirect without Location) is refused here.
#ifndef VESKUPDATE_HTTPSTATUS_H
#define VESKUPDATE_HTTPSTATUS_H

namespace curl_object
{

/// Whether handles fail on statuses of kFirstFailingStatus and above inside
/// libcurl (CURLOPT_FAILONERROR), whose threshold is fixed at 400.
constexpr bool kLibcurlFailsHttpErrors = true;
constexpr long kFirstFailingStatus = 400;

/// The write callback's gate. 399 is refused along with everything below
/// 200; statuses from kFirstFailingStatus on never get here.
constexpr bool BodyMayPass(long status)
{
    return status == 0 || (status >= 200 && status < 399);
}

/// The fetch's rule for a completed transfer.
constexpr bool IsGoodAnswer(long status)
{
    return status == 0 || (status >= 200 && status <= 299);
}

} // namespace curl_object

#endif // VESKUPDATE_HTTPSTATUS_H
