// A delta from the network applied to a fixed old file: it must be refused
// or give a file of the length its header states, without a sanitizer report,
// a hang or memory beyond the applier's bounds.
#include "Delta.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace
{

// 4 KiB of text and numbers, the old file every input applies to (the seeds
// in corpus/delta were made against it).
const std::string& OldFile()
{
    static const std::string old = [] {
        std::string bytes;
        std::uint32_t state = 12345;
        while (bytes.size() < 4096)
        {
            state = state * 1103515245U + 12345U;
            bytes += "entry " + std::to_string(state % 1000) + '\0';
        }
        bytes.resize(4096);
        return bytes;
    }();
    return old;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string old = OldFile();
    std::string delta(reinterpret_cast<const char*>(data), size);
    std::FILE* oldFile = fmemopen(old.data(), old.size(), "rb");
    std::FILE* deltaFile = size > 0 ? fmemopen(delta.data(), delta.size(), "rb") : std::tmpfile();
    std::FILE* out = std::tmpfile();
    if (!oldFile || !deltaFile || !out)
        std::abort();
    std::string error;
    veskdelta::CApplyStats stats;
    if (veskdelta::ApplyDelta(oldFile, deltaFile, out, 1 << 20, error, &stats))
    {
        std::fflush(out);
        if (std::ftell(out) != stats.newLength)
        {
            std::fprintf(stderr, "fuzz property failed: %ld bytes written, %lld stated\n", std::ftell(out),
                         stats.newLength);
            std::abort();
        }
    }
    else if (error.empty())
    {
        std::fprintf(stderr, "fuzz property failed: refused without a reason\n");
        std::abort();
    }
    std::fclose(oldFile);
    std::fclose(deltaFile);
    std::fclose(out);
    return 0;
}
