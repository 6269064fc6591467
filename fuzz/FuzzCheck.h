// What every fuzz target checks besides "no crash": a document the library
// wrote reads back into the same document. The input is read once; what the
// reader made of it is written (text A); A is read into a fresh object and
// into the object that read the input, and each is written again. Both must
// give A byte for byte, and A must be accepted. Reading may change the input
// (unknown members go, texts are converted), but after one round trip the
// text is a fixed point, and no reader keeps anything of an earlier read.
//
// The targets run in the C locale, where text read from JSON passes
// unchanged; in a single-byte locale a text whose bytes happen to form UTF-8
// is converted again on every read, by design.
#ifndef VESKUPDATE_FUZZ_FUZZCHECK_H
#define VESKUPDATE_FUZZ_FUZZCHECK_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzz
{

/// The fuzzer's bytes as NUL-terminated text: what a host or the fetch hands
/// to a reader, which stops at the first NUL byte.
inline std::string InputText(const std::uint8_t* data, std::size_t size)
{
    return std::string(reinterpret_cast<const char*>(data), size);
}

/// Stops the run (libFuzzer saves the input) with the property that failed.
[[noreturn]] inline void Fail(const char* property, const std::string& first, const std::string& second)
{
    std::fprintf(stderr, "fuzz property failed: %s\n--- first\n%s\n--- second\n%s\n", property, first.c_str(),
                 second.c_str());
    std::fflush(stderr);
    std::abort();
}

inline void Require(bool holds, const char* property, const std::string& first = std::string())
{
    if (!holds)
        Fail(property, first, std::string());
}

inline void RequireSame(const std::string& first, const std::string& second, const char* property)
{
    if (first != second)
        Fail(property, first, second);
}

/// The round trip for the three objects a host keeps as text (updater, local
/// state, version query), through their public FromString and ToString.
/// `make` creates a fresh object; the objects end through Release.
template <class Make>
void CheckTextRoundTrip(const std::uint8_t* data, std::size_t size, Make make)
{
    const std::string input = InputText(data, size);
    auto* object = make();
    if (object->FromString(input.c_str()))
    {
        const std::string written = object->ToString();
        Require(!written.empty(), "a document that was read is written");

        auto* fresh = make();
        Require(fresh->FromString(written.c_str()), "a written document reads back", written);
        RequireSame(written, fresh->ToString(), "written, read into a fresh object, written again");
        fresh->Release();

        Require(object->FromString(written.c_str()), "a written document reads back", written);
        RequireSame(written, object->ToString(), "written, read into the same object, written again");
    }
    object->Release();
}

} // namespace fuzz

#endif // VESKUPDATE_FUZZ_FUZZCHECK_H
