// The updater's stored document, as a host hands it back: FromString, then
// the round trip of FuzzCheck.h.
#include <VeskUpdate.h>

#include "FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::CheckTextRoundTrip(data, size, [] { return kvrUpdate::CreateUpdater(); });
    return 0;
}
