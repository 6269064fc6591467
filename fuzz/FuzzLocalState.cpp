// A free-standing local state's document: FromString, then the round trip of
// FuzzCheck.h.
#include <VeskUpdate.h>

#include "FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::CheckTextRoundTrip(data, size, [] { return kvrUpdate::CreateLocalQuery(); });
    return 0;
}
