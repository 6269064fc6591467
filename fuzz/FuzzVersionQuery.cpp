// The version query's configuration document: FromString, then the round
// trip of FuzzCheck.h. No request is made.
#include <VeskUpdate.h>

#include "FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::CheckTextRoundTrip(data, size, [] { return kvrUpdate::CreateVersionQuery(); });
    return 0;
}
