// Import and export of 100,000 one-byte changes in every patch file format
// (goal: under 1 s each), the import of an IPS file of 50,000 overlapping
// 64 KiB run records (goal: under 1 s), and the diff of two 256 MiB files with 10,000
// differing runs next to GNU cmp reading the same two files in the same run
// (goal: within 1.5x). Temporary files go to $BM_BENCH_DIR, else $TMPDIR, else
// /tmp, and are removed at the end.
#include "bench/support/BenchClock.h"
#include "engine/HexText.h"
#include "engine/PatchExchange.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using bench::Now;
using bench::TempFolder;

constexpr std::size_t kMiB = std::size_t(1) << 20;
constexpr int kChanges = 100000;
constexpr int kRounds = 3;

bool WriteFile(const std::string& path, const void* data, std::size_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const auto* p = static_cast<const std::uint8_t*>(data);
    bool ok = true;
    for (std::size_t done = 0; ok && done < size;) {
        const ssize_t n = ::write(fd, p + done, std::min<std::size_t>(size - done, 64 * kMiB));
        ok = n > 0;
        done += ok ? static_cast<std::size_t>(n) : 0;
    }
    return ::close(fd) == 0 && ok;
}

void Put32(std::vector<std::uint8_t>* image, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        (*image)[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// A 16 MiB PE32 image (headers of 0x400 bytes, one section mapping the rest)
// so that every format, x64dbg's included, can place the same changes.
std::vector<std::uint8_t> PeImage(std::size_t size) {
    std::vector<std::uint8_t> image(size);
    std::mt19937_64 rng(1);
    for (auto& byte : image)
        byte = static_cast<std::uint8_t>(rng());
    std::fill(image.begin(), image.begin() + 0x400, 0);
    image[0] = 'M';
    image[1] = 'Z';
    Put32(&image, 0x3C, 0x40);
    Put32(&image, 0x40, 0x00004550);
    image[0x46] = 1;
    image[0x54] = 0xE0;
    image[0x58] = 0x0B;
    image[0x59] = 0x01;
    Put32(&image, 0x58 + 60, 0x400);
    const std::size_t section = 0x58 + 0xE0;
    Put32(&image, section + 8, static_cast<std::uint32_t>(size - 0x400));
    Put32(&image, section + 12, 0x1000);
    Put32(&image, section + 16, static_cast<std::uint32_t>(size - 0x400));
    Put32(&image, section + 20, 0x400);
    return image;
}

void BenchFormats(const std::string& folder) {
    const std::size_t size = 16 * kMiB - 64; // IPS offsets stay below 0x1000000
    const std::vector<std::uint8_t> image = PeImage(size);
    const std::string backup = folder + "/game.exe";
    if (!WriteFile(backup, image.data(), image.size())) {
        std::printf("formats: cannot write %s\n", backup.c_str());
        return;
    }
    PatchList items;
    std::mt19937 rng(2);
    const std::size_t stride = (size - 0x1000) / kChanges;
    for (int i = 0; i < kChanges; ++i) {
        const std::uint32_t offset = static_cast<std::uint32_t>(0x1000 + stride * i);
        char oldHex[3], newHex[3];
        const std::uint8_t fresh = static_cast<std::uint8_t>(image[offset] ^ (1 + rng() % 255));
        FormatHexText(&image[offset], 1, oldHex);
        FormatHexText(&fresh, 1, newHex);
        items.push_back(PatchItem{offset, "change " + std::to_string(i), oldHex, newHex, 1});
    }
    for (PatchFormat format : {PatchFormat::Ips, PatchFormat::Ips32, PatchFormat::IdaDif,
                               PatchFormat::X64dbg1337, PatchFormat::HaxDiff}) {
        const std::string patch = folder + "/changes" + PatchFormatExtension(format);
        double exportTime = 1e30, importTime = 1e30;
        std::vector<std::uint8_t> bytes;
        PatchList imported;
        std::string error;
        bool ok = true;
        for (int round = 0; round < kRounds && ok; ++round) {
            double start = Now();
            ok = ExportPatches(items, backup, format, false, &bytes, &error) &&
                 WriteFile(patch, bytes.data(), bytes.size());
            exportTime = std::min(exportTime, Now() - start);
            start = Now();
            ok = ok && ImportPatchFile(patch, backup, &imported, &error);
            importTime = std::min(importTime, Now() - start);
        }
        bool same = ok && imported.size() == items.size();
        for (std::size_t i = 0; same && i < items.size(); ++i)
            same = imported[i].offset == items[i].offset && imported[i].newHex == items[i].newHex;
        std::printf("%-8s %d one-byte changes (%.1f MiB file): export %.3f s, import %.3f s "
                    "(goal < 1 s each; ratio to goal %.2f, %.2f)%s%s\n",
                    PatchFormatName(format), kChanges, double(bytes.size()) / kMiB, exportTime,
                    importTime, exportTime, importTime, same ? "" : " ITEMS DIFFER ",
                    ok ? "" : error.c_str());
        ::unlink(patch.c_str());
    }
    ::unlink(backup.c_str());
}

// An IPS file of 50,000 run records of 65,535 bytes each, every one
// overlapping the next (400 KB of patch for 3 GiB of runs): the import costs
// what the 12 MiB of changed bytes cost (goal: under 1 s).
void BenchOverlappingRuns(const std::string& folder) {
    constexpr int kRecords = 50000;
    constexpr std::uint32_t kStride = 256;
    const std::size_t size = 16 * kMiB - 64;
    const std::vector<std::uint8_t> image(size, 0x90);
    const std::string backup = folder + "/runs.bin";
    std::vector<std::uint8_t> patch{'P', 'A', 'T', 'C', 'H'};
    for (int i = 0; i < kRecords; ++i) {
        std::uint32_t offset = 0x1000 + kStride * static_cast<std::uint32_t>(i);
        if (offset == 0x454F46)
            ++offset;
        for (int shift = 16; shift >= 0; shift -= 8)
            patch.push_back(static_cast<std::uint8_t>(offset >> shift));
        patch.insert(patch.end(), {0, 0, 0xFF, 0xFF, static_cast<std::uint8_t>(i)});
    }
    patch.insert(patch.end(), {'E', 'O', 'F'});
    const std::string patchPath = folder + "/runs.ips";
    if (!WriteFile(backup, image.data(), image.size()) ||
        !WriteFile(patchPath, patch.data(), patch.size())) {
        std::printf("runs: cannot write the files\n");
        return;
    }
    double best = 1e30;
    PatchList items;
    std::string error;
    bool ok = true;
    for (int round = 0; round < kRounds && ok; ++round) {
        items.clear();
        const double start = Now();
        ok = ImportPatchFile(patchPath, backup, &items, &error);
        best = std::min(best, Now() - start);
    }
    std::printf("IPS      %d overlapping 64 KiB run records (%.0f KB file) -> %zu items: import "
                "%.3f s (goal < 1 s; ratio to goal %.2f)%s\n",
                kRecords, double(patch.size()) / 1000, items.size(), best, best,
                ok ? "" : error.c_str());
    ::unlink(patchPath.c_str());
    ::unlink(backup.c_str());
}

double RunCommand(const std::string& command) {
    const double start = Now();
    const int status = std::system(command.c_str());
    const double elapsed = Now() - start;
    // cmp exits with 1 when the files differ; 2 is trouble.
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) > 1)
        std::printf("diff: \"%s\" failed\n", command.c_str());
    return elapsed;
}

void BenchDiff(const std::string& folder) {
    constexpr std::size_t kFileSize = 256 * kMiB;
    constexpr int kRuns = 10000;
    const std::string original = folder + "/original.bin";
    const std::string patched = folder + "/patched.bin";
    const std::string copy = folder + "/copy.bin";
    {
        std::vector<std::uint8_t> data(kFileSize);
        std::mt19937_64 rng(3);
        for (std::size_t i = 0; i < kFileSize; i += 8) {
            const std::uint64_t word = rng();
            std::memcpy(&data[i], &word, 8);
        }
        if (!WriteFile(original, data.data(), kFileSize) ||
            !WriteFile(copy, data.data(), kFileSize)) {
            std::printf("diff: cannot write the files\n");
            return;
        }
        const std::size_t slot = kFileSize / kRuns;
        for (int r = 0; r < kRuns; ++r) {
            const std::size_t at = r * slot + rng() % (slot - 64);
            const std::size_t length = 1 + rng() % 16;
            for (std::size_t i = at; i < at + length; ++i)
                data[i] = static_cast<std::uint8_t>(~data[i]);
        }
        if (!WriteFile(patched, data.data(), kFileSize)) {
            std::printf("diff: cannot write the files\n");
            return;
        }
    }
    // Not to /dev/null: GNU cmp then stops at the first difference like cmp -s.
    const std::string listing = folder + "/cmp-listing.txt";
    const std::string cmpAll = "cmp -l " + original + " " + patched + " > " + listing;
    const std::string cmpSame = "cmp " + original + " " + copy + " > /dev/null";
    PatchList items;
    std::string error;
    RunCommand(cmpAll); // warm the page cache
    RunCommand(cmpSame);
    double ours = 1e30, reference = 1e30, same = 1e30;
    bool ok = true;
    for (int i = 0; i < kRounds; ++i) { // interleaved so all see the same machine state
        double start = Now();
        ok = DiffFiles(original, patched, false, &items, &error) && ok;
        ours = std::min(ours, Now() - start);
        reference = std::min(reference, RunCommand(cmpAll));
        same = std::min(same, RunCommand(cmpSame));
    }
    std::printf("diff: 256 MiB files, %d differing runs -> %zu items: %.3f s; cmp -l of the same "
                "two files: %.3f s; ratio %.2f (goal <= 1.5)%s\n",
                kRuns, items.size(), ours, reference, ours / reference, ok ? "" : error.c_str());
    std::printf("diff: same %.3f s; cmp of the original and an identical copy (reads both "
                "whole): %.3f s; ratio %.2f\n",
                ours, same, ours / same);
    ::unlink(original.c_str());
    ::unlink(patched.c_str());
    ::unlink(copy.c_str());
    ::unlink(listing.c_str());
}

} // namespace

int main() {
    std::string folder = TempFolder() + "/bm-exchange-XXXXXX";
    if (!::mkdtemp(folder.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    BenchFormats(folder);
    BenchOverlappingRuns(folder);
    BenchDiff(folder);
    ::rmdir(folder.c_str());
    return 0;
}
