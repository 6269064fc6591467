// Signed metadata from the network: the same bytes read as a manifest, as a
// snapshot and as a signature over them. Each reader must refuse with a
// reason or accept; what it accepts must write back to a text that reads
// again into the same text; a signature must never verify, since no input
// can be signed by the fixed key.
#include "Manifest.h"
#include "Minisign.h"
#include "Snapshot.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace
{

void Fail(const char* what)
{
    std::fprintf(stderr, "fuzz property failed: %s\n", what);
    std::abort();
}

// A fixed public key (its secret half was thrown away).
const vesktrust::CPublicKey& Key()
{
    static const vesktrust::CPublicKey key = [] {
        vesktrust::CPublicKey parsed;
        std::string error;
        if (!vesktrust::ParsePublicKey("RWTAMOdi/stl8npM7ptobzaK9rmSYbZWfN8qIyd0GF+wvjpreK518A6g", parsed, error))
            Fail("the fixed key does not parse");
        return parsed;
    }();
    return key;
}

template <class TRecord, class TRead, class TWrite>
void RoundTrip(const std::string& text, TRead read, TWrite write)
{
    TRecord record;
    std::string error;
    if (!read(text, record, error))
    {
        if (error.empty())
            Fail("refused without a reason");
        if (error.find('\n') != std::string::npos)
            Fail("a reason of more than one line");
        return;
    }
    const std::string written = write(record);
    TRecord again;
    if (!read(written, again, error))
        Fail("what was written does not read back");
    if (write(again) != written)
        Fail("what was written does not read back the same");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    RoundTrip<vesktrust::CManifest>(text, vesktrust::ReadManifest, vesktrust::WriteManifest);
    RoundTrip<vesktrust::CSnapshot>(text, vesktrust::ReadSnapshot, vesktrust::WriteSnapshot);
    vesktrust::CVerified verified;
    std::string error;
    if (vesktrust::VerifySignature({Key()}, "data", text, verified, error))
        Fail("a signature verified without the secret key");
    if (error.empty() || error.find('\n') != std::string::npos)
        Fail("a signature refused without a one-line reason");
    vesktrust::CPublicKey key;
    if (!vesktrust::ParsePublicKey(text, key, error) && error.empty())
        Fail("a key refused without a reason");
    return 0;
}
