// Deltas made and applied: every kind of change comes back byte for byte
// with a delta of the expected size, and a delta that was cut, altered or
// made by hand to point outside the files is refused without touching
// memory it does not own (the tests also run under the sanitizers).
#include "Delta.h"
#include "DeltaFormat.h"
#include "ZstdStream.h"

#include "support/CScratchDir.h"
#include "support/Files.h"

#include <gtest/gtest.h>
#include <zstd.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace
{

using testsupport::RandomBytes;
using testsupport::ReadFile;
using testsupport::WriteFile;

// Something like a program: text, small numbers and repeated structure.
std::string ProgramLike(std::size_t length, unsigned seed)
{
    std::mt19937 generator(seed);
    std::string bytes;
    while (bytes.size() < length)
    {
        const std::uint32_t value = generator() % 4096;
        bytes += "call " + std::to_string(value) + '\0';
        bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
    }
    bytes.resize(length);
    return bytes;
}

// Every 997th byte moved by the same amount, as relocated addresses are.
std::string Relocated(std::string bytes)
{
    for (std::size_t i = 0; i < bytes.size(); i += 997)
        bytes[i] = static_cast<char>(bytes[i] + 16);
    return bytes;
}

class DeltaTest : public ::testing::Test
{
protected:
    testsupport::CScratchDir m_dir{"vesk-delta"};

    // Applies `delta` to `old` with the path form; the output, or why not.
    bool Apply(const std::string& old, const std::string& delta, std::string& result, std::string& error,
               long long maxNewLength = 1LL << 30)
    {
        WriteFile(m_dir / "old", old);
        WriteFile(m_dir / "delta", delta);
        const bool applied = veskdelta::ApplyDelta(m_dir / "old", m_dir / "delta", m_dir / "new", maxNewLength, error);
        result = ReadFile(m_dir / "new");
        return applied;
    }
};

TEST_F(DeltaTest, RoundTripsEveryKindOfChange)
{
    const std::string base = ProgramLike(300000, 1);
    // A real binary of the build: the delta library's own archive.
    const std::string program = ReadFile(VESK_REAL_BINARY);
    ASSERT_GT(program.size(), 100000U);
    struct CCase
    {
        const char* name;
        std::string old;
        std::string changed;
        std::size_t maxDelta; // what a working matcher stays under
    } cases[] = {
        {"both empty", "", "", 100},
        {"empty old", "", base, base.size() / 2},
        {"empty new", base, "", 100},
        {"identical", base, base, 300},
        {"unrelated random", RandomBytes(100000, 2), RandomBytes(100000, 3), 101000},
        {"one byte to one byte", "a", "b", 100},
        {"shifted by an insert at the start", base, RandomBytes(1000, 4) + base, 1500},
        {"block inserted in the middle", base, base.substr(0, 150000) + RandomBytes(5000, 5) + base.substr(150000),
         5600},
        {"appended", base, base + RandomBytes(3000, 6), 3500},
        {"middle removed", base, base.substr(0, 100000) + base.substr(140000), 300},
        {"relocated", base, Relocated(base), 1500},
        {"long zero runs", std::string(1 << 20, '\0'), std::string(1 << 19, '\0') + "x" + std::string(1 << 19, '\0'),
         300},
        {"a real binary, relocated and grown", program.substr(0, 2000000),
         Relocated(program.substr(0, 2000000)) + program.substr(0, 5000), 12000},
    };
    for (const CCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        std::string delta;
        std::string error;
        ASSERT_TRUE(veskdelta::MakeDelta(c.old, c.changed, delta, error)) << error;
        EXPECT_LE(delta.size(), c.maxDelta);
        std::string result;
        ASSERT_TRUE(Apply(c.old, delta, result, error, static_cast<long long>(c.changed.size()))) << error;
        EXPECT_TRUE(result == c.changed);
    }
}

TEST_F(DeltaTest, AppliesBetweenFilesGivenOpen)
{
    // The file forms: paths for making, open files (positioned anywhere) for
    // applying, the new file written from where it stands.
    const std::string old = ProgramLike(50000, 7);
    const std::string changed = Relocated(old) + "tail";
    WriteFile(m_dir / "old", old);
    WriteFile(m_dir / "changed", changed);
    std::string error;
    ASSERT_TRUE(veskdelta::MakeDelta(m_dir / "old", m_dir / "changed", m_dir / "delta", error)) << error;

    std::FILE* oldFile = std::fopen((m_dir / "old").string().c_str(), "rb");
    std::FILE* delta = std::fopen((m_dir / "delta").string().c_str(), "rb");
    std::FILE* out = std::fopen((m_dir / "out").string().c_str(), "wb");
    ASSERT_TRUE(oldFile && delta && out);
    std::fputs("head:", out);
    std::fseek(oldFile, 100, SEEK_SET);
    veskdelta::CApplyStats stats;
    EXPECT_TRUE(veskdelta::ApplyDelta(oldFile, delta, out, 1 << 20, error, &stats)) << error;
    std::fclose(oldFile);
    std::fclose(delta);
    std::fclose(out);
    EXPECT_TRUE(ReadFile(m_dir / "out") == "head:" + changed);
    EXPECT_EQ(stats.newLength, static_cast<long long>(changed.size()));
    EXPECT_GT(stats.decoderBytes, 0);
}

// A delta put together from raw streams, as a hostile server could.
std::string HandMade(std::uint64_t oldLength, std::uint64_t newLength, const std::string& control,
                     const std::string& diff, const std::string& extra)
{
    veskdelta::CHeader header;
    header.oldLength = oldLength;
    header.newLength = newLength;
    std::string streams[3];
    const std::string raw[3] = {control, diff, extra};
    std::string error;
    for (int i = 0; i < 3; ++i)
    {
        EXPECT_TRUE(veskdelta::Compress(raw[i], 19, streams[i], error));
        header.streamLength[i] = streams[i].size();
    }
    return veskdelta::WriteHeader(header) + streams[0] + streams[1] + streams[2];
}

// A delta whose new file is `extra` as it is, in a frame made with a window
// of 16 MiB.
std::string WideWindow(std::uint64_t oldLength, const std::string& extra)
{
    ZSTD_CCtx* context = ZSTD_createCCtx();
    ZSTD_CCtx_setParameter(context, ZSTD_c_windowLog, 24);
    std::string frame(ZSTD_compressBound(extra.size()), '\0');
    frame.resize(ZSTD_compress2(context, frame.data(), frame.size(), extra.data(), extra.size()));
    ZSTD_freeCCtx(context);
    std::string control;
    for (std::uint64_t number : {std::uint64_t(0), std::uint64_t(0), std::uint64_t(extra.size())})
        veskdelta::PutVarint(control, number);
    std::string streams[2];
    std::string error;
    EXPECT_TRUE(veskdelta::Compress(control, 19, streams[0], error));
    EXPECT_TRUE(veskdelta::Compress("", 19, streams[1], error));
    veskdelta::CHeader header;
    header.oldLength = oldLength;
    header.newLength = extra.size();
    header.streamLength = {streams[0].size(), streams[1].size(), frame.size()};
    return veskdelta::WriteHeader(header) + streams[0] + streams[1] + frame;
}

// Steps as varints: seek, add, extra each.
std::string Steps(const std::vector<std::int64_t>& numbers)
{
    std::string control;
    for (std::size_t i = 0; i < numbers.size(); ++i)
        veskdelta::PutVarint(control,
                             i % 3 == 0 ? veskdelta::ZigZag(numbers[i]) : static_cast<std::uint64_t>(numbers[i]));
    return control;
}

TEST_F(DeltaTest, RefusesDeltasThatDoNotAddUp)
{
    const std::string old = ProgramLike(20000, 8);
    const std::string changed = old.substr(0, 8000) + "inserted" + Relocated(old.substr(8000));
    std::string good;
    std::string error;
    ASSERT_TRUE(veskdelta::MakeDelta(old, changed, good, error));
    std::string result;
    ASSERT_TRUE(Apply(old, good, result, error));
    ASSERT_TRUE(result == changed);

    const auto patched = [&](std::size_t at, const std::string& bytes) {
        return good.substr(0, at) + bytes + good.substr(at + bytes.size());
    };
    const auto le64 = [](std::uint64_t value) {
        std::string bytes;
        for (int i = 0; i < 8; ++i)
            bytes.push_back(static_cast<char>(value >> (8 * i)));
        return bytes;
    };
    const auto lengthAt = [&](std::size_t at) {
        std::uint64_t value = 0;
        for (int i = 7; i >= 0; --i)
            value = (value << 8) | static_cast<unsigned char>(good[at + i]);
        return value;
    };
    const std::string fill(16, 'x');
    const std::string zeros(1 << 24, '\0');
    struct CCase
    {
        const char* name;
        std::string delta;
        std::string old;
        long long maxNewLength;
    } cases[] = {
        {"empty", "", old, 1 << 20},
        {"cut inside the header", good.substr(0, 30), old, 1 << 20},
        {"header only", good.substr(0, veskdelta::kHeaderBytes), old, 1 << 20},
        {"cut in half", good.substr(0, good.size() / 2), old, 1 << 20},
        {"last byte missing", good.substr(0, good.size() - 1), old, 1 << 20},
        {"a byte after the end", good + "x", old, 1 << 20},
        {"wrong magic", patched(0, "VKDELTB"), old, 1 << 20},
        {"unknown version", patched(8, std::string("\x02", 1)), old, 1 << 20},
        {"unknown flags", patched(12, std::string("\x01", 1)), old, 1 << 20},
        {"old file of another length", good, old + "x", 1 << 20},
        {"new length one more", patched(24, le64(changed.size() + 1)), old, 1 << 20},
        {"new length one less", patched(24, le64(changed.size() - 1)), old, 1 << 20},
        {"new length impossible", patched(24, le64(~std::uint64_t(0))), old, 1LL << 62},
        {"new file longer than allowed", good, old, static_cast<long long>(changed.size()) - 1},
        {"stream lengths shifted", patched(32, le64(lengthAt(32) + 1) + le64(lengthAt(40) - 1)), old, 1 << 20},
        {"seek before the start", HandMade(16, 4, Steps({-1, 4, 0}), "\0\0\0\0", ""), fill, 1 << 20},
        {"most negative seek", HandMade(16, 4, Steps({INT64_MIN, 4, 0}), "\0\0\0\0", ""), fill, 1 << 20},
        {"seek past the end", HandMade(16, 4, Steps({17, 0, 4}), "", "abcd"), fill, 1 << 20},
        {"add past the old end", HandMade(16, 8, Steps({12, 8, 0}), std::string(8, '\0'), ""), fill, 1 << 20},
        {"add past the new end", HandMade(16, 4, Steps({0, 5, 0}), std::string(5, '\0'), ""), fill, 1 << 20},
        {"extra past the new end", HandMade(16, 4, Steps({0, 2, 3}), "\0\0", "abc"), fill, 1 << 20},
        {"add and extra overflowing", HandMade(16, 4, Steps({0, 2, -2}), "\0\0", ""), fill, 1 << 20},
        {"a step that writes nothing", HandMade(16, 4, Steps({1, 0, 0, 0, 0, 4}), "", "abcd"), fill, 1 << 20},
        {"a number of eleven bytes", HandMade(16, 4, std::string(10, '\xff') + "\x01", "", "abcd"), fill, 1 << 20},
        {"steps end early", HandMade(16, 8, Steps({0, 0, 4}), "", "abcdefgh"), fill, 1 << 20},
        {"steps go on after the end", HandMade(16, 4, Steps({0, 0, 4, 0, 0, 1}), "", "abcde"), fill, 1 << 20},
        {"differences run short", HandMade(16, 4, Steps({0, 4, 0}), "\0\0", ""), fill, 1 << 20},
        {"differences left over", HandMade(16, 4, Steps({0, 4, 0}), std::string(6, '\0'), ""), fill, 1 << 20},
        {"extra bytes left over", HandMade(16, 4, Steps({0, 0, 4}), "", "abcdef"), fill, 1 << 20},
        // A frame asking for a 16 MiB window: more than an applier holds.
        {"window too large", WideWindow(fill.size(), zeros), fill, 1 << 30},
    };
    for (const CCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        error.clear();
        EXPECT_FALSE(Apply(c.old, c.delta, result, error, c.maxNewLength));
        EXPECT_NE(error, "");
        EXPECT_FALSE(std::filesystem::exists(m_dir / "new"));
    }
}

TEST_F(DeltaTest, SurvivesEveryByteFlipped)
{
    // Any altered byte either makes the delta refused or still gives a file
    // of the stated length (the caller's hash check catches the rest).
    const std::string old = ProgramLike(5000, 9);
    const std::string changed = RandomBytes(100, 10) + Relocated(old);
    std::string delta;
    std::string error;
    ASSERT_TRUE(veskdelta::MakeDelta(old, changed, delta, error));
    for (std::size_t at = 0; at < delta.size(); ++at)
    {
        std::string bad = delta;
        bad[at] = static_cast<char>(bad[at] ^ (1 << (at % 8)));
        std::string result;
        if (Apply(old, bad, result, error, 1 << 20))
        {
            EXPECT_EQ(result.size(), changed.size()) << "byte " << at;
        }
    }
}

} // namespace
