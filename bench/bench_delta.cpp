// Sizes of binary deltas between real releases, side by side: for each file
// that changed between two Debian packages of the same library,
//   ours     the delta this project makes (tools/delta),
//   bsdiff   Debian's bsdiff patch,
//   zstd     `zstd -19 --patch-from` (with --long for big files),
//   whole    the new file itself;
// and the floor, per file the smaller of the bsdiff patch and the whole
// file. "ours as published" takes the whole file where our delta would not
// save 10% (the publishing tool's rule). Files new in the second package
// count whole everywhere. Also the time to make and apply our deltas, and
// the peak memory of applying the largest one, measured in a process of its
// own (the kernel's peak resident-set mark set back just before the apply).
//
//   bench_delta [cache-dir]                     the table
//   bench_delta --apply OLD DELTA OUT           one apply (run by the table)
//
// The packages come from `apt-get download` into the cache directory
// (default: delta-cache beside this program), or else from the copies in
// /work/shared/data/deltas or ../shared/data/deltas beside the source tree.
// Not a timed test; Linux only; needs apt-get, dpkg-deb, bsdiff and zstd.
#include <Delta.h>

#include <Manifest.h>
#include <Sha256.h>
#include <Snapshot.h>

#include "PeakMemory.h"
#include "support/ChildProcess.h"
#include "support/Files.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace
{

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// One apply: prints "<peak over the start in KiB> <peak in KiB> <decoder bytes> <ms>".
int MeasureApply(const char* oldFile, const char* delta, const char* out)
{
    const long start = bench::ResetPeak();
    const Clock::time_point begin = Clock::now();
    std::string error;
    veskdelta::CApplyStats stats;
    if (!veskdelta::ApplyDelta(oldFile, delta, out, 1LL << 40, error, &stats))
    {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    const double ms = MillisecondsSince(begin);
    const long peak = bench::PeakKiB();
    std::printf("%ld %ld %lld %.1f\n", peak - start, peak, stats.decoderBytes, ms);
    return 0;
}

// The program's full path, searched in PATH.
std::string Which(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    std::size_t begin = 0;
    while (begin <= dirs.size())
    {
        const std::size_t end = std::min(dirs.find(':', begin), dirs.size());
        const fs::path candidate = fs::path(dirs.substr(begin, end - begin)) / name;
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate.string();
        begin = end + 1;
    }
    return "";
}

bool Run(const std::string& program, const std::vector<std::string>& args, std::string* output = nullptr)
{
    const std::string full = program.find('/') != std::string::npos ? program : Which(program);
    if (full.empty())
    {
        std::fprintf(stderr, "bench_delta: %s not found\n", program.c_str());
        return false;
    }
    const testsupport::CRunResult result = testsupport::RunProgram(full, args);
    if (output)
        *output = result.output;
    if (result.status != 0)
        std::fprintf(stderr, "bench_delta: %s failed: %s\n", program.c_str(), result.output.c_str());
    return result.status == 0;
}

struct CPair
{
    std::string label;
    std::string package;
    std::string oldVersion;
    std::string newVersion;
};

// The .deb of package=version: in the cache, downloaded there, or a shared copy.
fs::path Package(const fs::path& cache, const CPair& pair, const std::string& version)
{
    const std::string file = pair.package + "_" + version + "_amd64.deb";
    if (fs::exists(cache / file))
        return cache / file;
    std::string output;
    // apt-get writes into the current directory; its sandbox user may not
    // write to the cache, so it runs as the caller.
    const fs::path here = fs::current_path();
    fs::current_path(cache);
    Run("apt-get", {"-q", "-o", "APT::Sandbox::User=root", "download", pair.package + "=" + version}, &output);
    fs::current_path(here);
    if (fs::exists(cache / file))
        return cache / file;
    for (const fs::path& shared :
         {fs::path("/work/shared/data/deltas"), fs::path(VESK_SOURCE_DIR) / ".." / "shared" / "data" / "deltas"})
    {
        if (fs::exists(shared / file))
            return shared / file;
    }
    return "";
}

fs::path Unpack(const fs::path& cache, const fs::path& deb)
{
    const fs::path tree = cache / deb.stem();
    if (!fs::exists(tree / ".unpacked"))
    {
        fs::remove_all(tree);
        fs::create_directories(tree);
        if (!Run("dpkg-deb", {"-x", deb.string(), tree.string()}))
            return "";
        testsupport::WriteFile(tree / ".unpacked", "");
    }
    return tree;
}

struct CRow
{
    std::string name;
    long long ours = 0, bsdiff = 0, zstd = 0, whole = 0;
    double makeMs = 0, applyMs = 0;

    long long Floor() const { return std::min(bsdiff, whole); }
    long long Published() const { return ours * 10 <= whole * 9 ? ours : whole; }
};

long long Size(const fs::path& file)
{
    std::error_code error;
    const auto size = fs::file_size(file, error);
    return error ? -1 : static_cast<long long>(size);
}

bool MeasureFile(const fs::path& oldFile, const fs::path& newFile, const fs::path& work, CRow& row)
{
    const std::string oldData = testsupport::ReadFile(oldFile);
    const std::string newData = testsupport::ReadFile(newFile);
    row.whole = static_cast<long long>(newData.size());
    std::string delta;
    std::string error;
    Clock::time_point start = Clock::now();
    if (!veskdelta::MakeDelta(oldData, newData, delta, error))
    {
        std::fprintf(stderr, "bench_delta: %s: %s\n", row.name.c_str(), error.c_str());
        return false;
    }
    row.makeMs = MillisecondsSince(start);
    row.ours = static_cast<long long>(delta.size());
    testsupport::WriteFile(work / "ours.vdelta", delta);
    start = Clock::now();
    if (!veskdelta::ApplyDelta(oldFile, work / "ours.vdelta", work / "ours.out", row.whole, error) ||
        testsupport::ReadFile(work / "ours.out") != newData)
    {
        std::fprintf(stderr, "bench_delta: %s: our delta does not apply: %s\n", row.name.c_str(), error.c_str());
        return false;
    }
    row.applyMs = MillisecondsSince(start);

    if (!Run("bsdiff", {oldFile.string(), newFile.string(), (work / "bsdiff.patch").string()}))
        return false;
    row.bsdiff = Size(work / "bsdiff.patch");
    std::vector<std::string> zstdArgs = {"-q", "-f", "-19", "--patch-from=" + oldFile.string()};
    if (std::max(oldData.size(), newData.size()) > (std::size_t(8) << 20))
        zstdArgs.push_back("--long=31");
    zstdArgs.insert(zstdArgs.end(), {newFile.string(), "-o", (work / "zstd.patch").string()});
    if (!Run("zstd", zstdArgs))
        return false;
    row.zstd = Size(work / "zstd.patch");
    return true;
}

void PrintRow(const CRow& row)
{
    std::printf("%-50s %10lld %10lld %10lld %10lld %10lld %8.0f %7.0f\n", row.name.c_str(), row.ours, row.bsdiff,
                row.Floor(), row.zstd, row.whole, row.makeMs, row.applyMs);
}

#ifdef VERSION_CENTER_EXE
// Publishes the two trees as versions 1.0 and 1.1 with `version-center
// publish --sign` and counts what a host holding 1.0 downloads for the patch:
// the snapshot and the patch's manifest with their signatures, and per file
// of the patch its delta where the manifest lists one for the installed file,
// else the whole file.
bool MeasurePublished(const fs::path& work, const fs::path& oldTree, const fs::path& newTree, long long floor)
{
    const fs::path root = work / "published";
    fs::remove_all(root);
    for (const auto& [version, tree] : {std::make_pair("1.0", oldTree), std::make_pair("1.1", newTree)})
    {
        fs::create_directories(root / "releases" / version);
        fs::copy(tree, root / "releases" / version, fs::copy_options::recursive);
        fs::remove(root / "releases" / version / ".unpacked");
    }
    const std::string product = "libssl3";
    if (!Run(VERSION_CENTER_EXE,
             {"keygen", "--secret", (root / "key").string(), "--public", (root / "key.pub").string()}) ||
        !Run(VERSION_CENTER_EXE, {"publish", "--product", product, "--releases", (root / "releases").string(), "--out",
                                  (root / "tree").string(), "--catalog", (root / "catalog.json").string(), "--sign",
                                  (root / "key").string()}))
        return false;
    fs::path manifestFile;
    for (const auto& entry : fs::directory_iterator(root / "tree" / product / "signed"))
    {
        const std::string name = entry.path().filename().string();
        if (name.rfind("patch-", 0) == 0 && entry.path().extension() == ".json")
            manifestFile = entry.path();
    }
    vesktrust::CManifest manifest;
    std::string error;
    if (manifestFile.empty() || !vesktrust::ReadManifest(testsupport::ReadFile(manifestFile), manifest, error))
    {
        std::fprintf(stderr, "bench_delta: no patch manifest was published %s\n", error.c_str());
        return false;
    }
    const fs::path snapshot = root / "tree" / vesktrust::SnapshotPath(product);
    const long long signedBytes = Size(manifestFile) + Size(manifestFile.string() + ".minisig") + Size(snapshot) +
                                  Size(snapshot.string() + ".minisig");
    long long fileBytes = 0;
    int byDelta = 0;
    for (const vesktrust::CManifestFile& file : manifest.files)
    {
        std::string installed;
        long long length = 0;
        long long bytes = file.length;
        if (vesktrust::Sha256OfFile(oldTree / file.name, installed, length))
        {
            for (const vesktrust::CManifestDelta& delta : file.deltas)
            {
                if (delta.from == installed && delta.length < bytes)
                    bytes = delta.length;
            }
        }
        byDelta += bytes < file.length ? 1 : 0;
        fileBytes += bytes;
    }
    const long long total = signedBytes + fileBytes;
    std::printf("published with version-center publish --sign: a host at 1.0 downloads %lld bytes for the patch "
                "(%d of %zu files by delta: %lld bytes; signed manifest and snapshot: %lld bytes), %.3f x the "
                "floor\n",
                total, byDelta, manifest.files.size(), fileBytes, signedBytes,
                floor > 0 ? static_cast<double>(total) / floor : 0.0);
    return true;
}
#endif

} // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && std::string(argv[1]) == "--apply")
        return MeasureApply(argv[2], argv[3], argv[4]);

    const fs::path self = fs::read_symlink("/proc/self/exe");
    const fs::path cache = argc > 1 ? fs::path(argv[1]) : self.parent_path() / "delta-cache";
    fs::create_directories(cache);
    const fs::path work = cache / "work";
    fs::create_directories(work);

    const std::vector<CPair> pairs = {{"libssl3", "libssl3", "3.0.20-1~deb12u2", "3.0.22-1~deb12u2"}};
    int failures = 0;
    for (const CPair& pair : pairs)
    {
        const fs::path oldDeb = Package(cache, pair, pair.oldVersion);
        const fs::path newDeb = Package(cache, pair, pair.newVersion);
        if (oldDeb.empty() || newDeb.empty())
        {
            std::fprintf(stderr, "bench_delta: %s: packages not found\n", pair.label.c_str());
            ++failures;
            continue;
        }
        const fs::path oldTree = Unpack(cache, oldDeb);
        const fs::path newTree = Unpack(cache, newDeb);
        if (oldTree.empty() || newTree.empty())
        {
            ++failures;
            continue;
        }

        std::printf("%s %s -> %s: changed files (bytes; make and apply of ours in ms)\n\n", pair.package.c_str(),
                    pair.oldVersion.c_str(), pair.newVersion.c_str());
        std::printf("%-50s %10s %10s %10s %10s %10s %8s %7s\n", "file", "ours", "bsdiff", "floor", "zstd", "whole",
                    "make", "apply");
        CRow total;
        total.name = "total";
        long long floor = 0;
        long long published = 0;
        fs::path largestOld;
        fs::path largestNew;
        long long largest = -1;
        std::map<std::string, fs::path> files;
        for (const auto& entry : fs::recursive_directory_iterator(newTree))
        {
            if (entry.is_regular_file() && !entry.is_symlink() && entry.path().filename() != ".unpacked")
                files[fs::relative(entry.path(), newTree).generic_string()] = entry.path();
        }
        for (const auto& [name, newFile] : files)
        {
            const fs::path oldFile = oldTree / name;
            CRow row;
            row.name = name;
            const bool changed = fs::is_regular_file(oldFile);
            if (!changed)
            {
                row.whole = Size(newFile);
                row.ours = row.bsdiff = row.zstd = row.whole;
            }
            else if (testsupport::ReadFile(oldFile) == testsupport::ReadFile(newFile))
            {
                continue;
            }
            else if (!MeasureFile(oldFile, newFile, work, row))
            {
                ++failures;
                continue;
            }
            PrintRow(row);
            total.ours += row.ours;
            total.bsdiff += row.bsdiff;
            total.zstd += row.zstd;
            total.whole += row.whole;
            total.makeMs += row.makeMs;
            total.applyMs += row.applyMs;
            floor += row.Floor();
            published += row.Published();
            if (changed && row.whole > largest)
            {
                largest = row.whole;
                largestOld = oldFile;
                largestNew = newFile;
            }
        }
        std::printf("%-50s %10lld %10lld %10lld %10lld %10lld %8.0f %7.0f\n\n", "total", total.ours, total.bsdiff,
                    floor, total.zstd, total.whole, total.makeMs, total.applyMs);
        const auto ratio = [&](long long bytes) { return floor > 0 ? static_cast<double>(bytes) / floor : 0.0; };
        std::printf("against the floor (%lld bytes): ours %.3f, ours as published %.3f (%lld bytes), bsdiff %.3f, "
                    "zstd %.3f, whole %.3f\n",
                    floor, ratio(total.ours), ratio(published), published, ratio(total.bsdiff), ratio(total.zstd),
                    ratio(total.whole));
#ifdef VERSION_CENTER_EXE
        if (!MeasurePublished(work, oldTree, newTree, floor))
            ++failures;
#else
        std::printf("(a host also fetches the signed manifests: add their bytes to ours before comparing with "
                    "1.1x the floor)\n");
#endif

        if (!largestOld.empty())
        {
            std::string error;
            const fs::path delta = work / "largest.vdelta";
            if (!veskdelta::MakeDelta(largestOld, largestNew, delta, error))
            {
                std::fprintf(stderr, "bench_delta: %s\n", error.c_str());
                ++failures;
                continue;
            }
            const testsupport::CRunResult run = testsupport::RunProgram(
                self.string(), {"--apply", largestOld.string(), delta.string(), (work / "largest.out").string()});
            long overKiB = 0;
            long peakKiB = 0;
            long long decoder = 0;
            double ms = 0;
            if (run.status != 0 ||
                std::sscanf(run.output.c_str(), "%ld %ld %lld %lf", &overKiB, &peakKiB, &decoder, &ms) != 4)
            {
                std::fprintf(stderr, "bench_delta: the measured apply failed: %s\n", run.output.c_str());
                ++failures;
                continue;
            }
            std::printf("apply of %s (%lld bytes): peak %.1f MiB above the process's start (%.1f MiB in all), "
                        "zstd decoders %.1f MiB, %.0f ms\n",
                        fs::relative(largestNew, newTree).c_str(), largest, overKiB / 1024.0, peakKiB / 1024.0,
                        static_cast<double>(decoder) / (1024.0 * 1024.0), ms);
        }
        std::printf("\n");
    }
    return failures == 0 ? 0 : 1;
}
