// Throughput of the rebuild and of the data scan, each next to a reference
// measured in the same run. Temporary files go to $BM_BENCH_DIR, else $TMPDIR,
// else /tmp, and are removed at the end.
#include "bench/support/BenchClock.h"
#include "engine/HexText.h"
#include "engine/Rebuild.h"
#include "engine/Search.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <string>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

using bench::Best;
using bench::Now;
using bench::PeakRssMiB;
using bench::TempFolder;

constexpr std::size_t kMiB = std::size_t(1) << 20;
constexpr std::size_t kFileSize = 256 * kMiB;
constexpr int kItems = 10000;
constexpr int kRounds = 3;

// The reference for the rebuild: the same bytes copied by the kernel into a
// new file and flushed to the disk, which is the least a safe replace costs.
bool CopyIntoNewFile(const std::string& from, const std::string& to) {
    ::unlink(to.c_str());
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    bool ok = in >= 0 && out >= 0;
    for (std::size_t left = kFileSize; ok && left > 0;) {
        const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, left, 0);
        ok = n > 0;
        if (ok)
            left -= static_cast<std::size_t>(n);
    }
    ok = ok && ::fsync(out) == 0;
    if (in >= 0)
        ::close(in);
    if (out >= 0)
        ::close(out);
    return ok;
}

void BenchRebuild(const std::string& folder) {
    const std::string backup = folder + "/backup.bin";
    const std::string target = folder + "/target.bin";
    const std::string copy = folder + "/copy.bin";
    std::mt19937_64 rng(42);
    std::vector<PatchItem> items;
    {
        // Written in chunks so the generator does not raise the peak memory.
        std::vector<std::uint64_t> chunk(kMiB / 8);
        const int fd = ::open(backup.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        std::vector<std::uint8_t> file; // only the bytes the items look at
        const std::size_t slot = kFileSize / kItems;
        std::vector<std::size_t> offsets;
        for (int i = 0; i < kItems; ++i)
            offsets.push_back(i * slot + rng() % (slot - 16));
        std::size_t next = 0;
        for (std::size_t done = 0; done < kFileSize; done += kMiB) {
            for (auto& word : chunk)
                word = rng();
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(chunk.data());
            for (; next < offsets.size() && offsets[next] + 16 <= done + kMiB; ++next) {
                if (offsets[next] < done)
                    continue; // straddles two chunks: leave it out
                const std::size_t length = 1 + rng() % 16;
                char oldHex[40], newHex[40];
                std::uint8_t fresh[16];
                for (auto& b : fresh)
                    b = static_cast<std::uint8_t>(rng());
                FormatHexText(bytes + (offsets[next] - done), length, oldHex);
                FormatHexText(fresh, length, newHex);
                items.push_back(PatchItem{static_cast<std::uint32_t>(offsets[next]),
                                          "item " + std::to_string(next), oldHex, newHex, 1});
            }
            if (::write(fd, chunk.data(), kMiB) != static_cast<ssize_t>(kMiB))
                std::perror("write");
        }
        ::close(fd);
    }
    // Warm the page cache and check that the rebuild succeeds.
    CopyIntoNewFile(backup, copy);
    const double rssBefore = PeakRssMiB();
    const RebuildOutcome first = RebuildTarget(backup, items, target);
    if (!first.ok())
        std::printf("rebuild failed: %s\n", first.text.c_str());
    double rebuild = 1e30, reference = 1e30;
    for (int i = 0; i < kRounds; ++i) { // interleaved so both see the same machine state
        double start = Now();
        RebuildTarget(backup, items, target);
        rebuild = std::min(rebuild, Now() - start);
        start = Now();
        CopyIntoNewFile(backup, copy);
        reference = std::min(reference, Now() - start);
    }
    const double rss = PeakRssMiB();
    std::printf("rebuild: 256 MiB backup, %zu enabled items of 1-16 bytes, written through a "
                "temporary file, flushed and renamed: %.3f s; copy_file_range into a new file "
                "+ fsync: %.3f s; ratio %.2f (goal <= 1.2)\n",
                items.size(), rebuild, reference, rebuild / reference);
    std::printf("rebuild: peak RSS of the process %.1f MiB (%.1f MiB before the first rebuild; "
                "file 256 MiB; goal: far less than the file)\n",
                rss, rssBefore);
    ::unlink(backup.c_str());
    ::unlink(target.c_str());
    ::unlink(copy.c_str());
}

// The first-byte scan: memchr for the first byte, memcmp for the rest.
std::size_t FirstByteScan(const std::uint8_t* data, std::size_t size, const std::uint8_t* pattern,
                          std::size_t length) {
    std::size_t count = 0;
    const std::uint8_t* p = data;
    const std::uint8_t* last = data + size - length;
    while (p <= last) {
        p = static_cast<const std::uint8_t*>(std::memchr(p, pattern[0], last - p + 1));
        if (!p)
            break;
        if (std::memcmp(p + 1, pattern + 1, length - 1) == 0) {
            ++count;
            p += length;
        } else {
            ++p;
        }
    }
    return count;
}

std::size_t MemmemScan(const std::uint8_t* data, std::size_t size, const std::uint8_t* pattern,
                       std::size_t length, std::vector<std::uint32_t>* matches) {
    matches->clear();
    for (std::size_t pos = 0; pos + length <= size;) {
        const void* hit = ::memmem(data + pos, size - pos, pattern, length);
        if (!hit)
            break;
        pos = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - data);
        matches->push_back(static_cast<std::uint32_t>(pos));
        pos += length;
    }
    return matches->size();
}

std::uint8_t* MapBytes(std::size_t size) {
    void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return p == MAP_FAILED ? nullptr : static_cast<std::uint8_t*>(p);
}

void BenchScan() {
    std::uint8_t* data = MapBytes(kFileSize);
    if (!data)
        return;
    const double mib = static_cast<double>(kFileSize) / 1e6; // MB
    std::vector<std::uint32_t> matches, reference;
    {
        std::mt19937_64 rng(7);
        for (std::size_t i = 0; i < kFileSize; i += 8) {
            const std::uint64_t word = rng();
            std::memcpy(data + i, &word, 8);
        }
        std::uint8_t pattern[16];
        std::memcpy(pattern, data + kFileSize / 2, 16); // one match at least
        matches.reserve(16);
        const double ours = Best(kRounds, [&] {
            matches.clear();
            FindInBuffer(data, kFileSize, pattern, 16, &matches);
        });
        std::size_t count = 0;
        const double naive =
            Best(kRounds, [&] { count = FirstByteScan(data, kFileSize, pattern, 16); });
        std::printf("scan: 16-byte pattern in 256 MiB random bytes: %.2f GB/s; memchr+memcmp: "
                    "%.2f GB/s; ratio %.2f (goal >= 8 GB/s)%s\n",
                    mib / ours / 1e3, mib / naive / 1e3, naive / ours,
                    count == matches.size() ? "" : " MATCH COUNTS DIFFER");
    }
    std::memset(data, 'A', kFileSize);
    struct Case {
        const char* name;
        std::string pattern;
        double goal;
    } cases[] = {
        {"\"AAAA\"", "AAAA", 700},
        {"\"AAAB\"", "AAAB", 150},
        {"15 'A' + 'B'", std::string(15, 'A') + "B", 150},
        {"2047 'A' + 'B'", std::string(2047, 'A') + "B", 150},
        {"1024 'A' + 'B' + 1023 'A'", std::string(1024, 'A') + "B" + std::string(1023, 'A'), 150},
    };
    for (const Case& c : cases) {
        const auto* pattern = reinterpret_cast<const std::uint8_t*>(c.pattern.data());
        FindStats stats;
        const double ours = Best(kRounds, [&] {
            matches.clear();
            FindInBuffer(data, kFileSize, pattern, c.pattern.size(), &matches, &stats);
        });
        const double glibc = Best(
            kRounds, [&] { MemmemScan(data, kFileSize, pattern, c.pattern.size(), &reference); });
        const double rate = mib / ours, glibcRate = mib / glibc;
        std::printf("scan: %s in 256 MiB of 'A': %.0f MB/s; glibc memmem: %.0f MB/s; ratio %.2f "
                    "(goal >= %.0f MB/s and >= memmem)%s%s\n",
                    c.name, rate, glibcRate, rate / glibcRate, c.goal,
                    stats.usedLinearSearch ? " [linear search]" : "",
                    matches == reference ? "" : " MATCHES DIFFER");
    }
    // Periodic data where every other position passes the candidate filter and
    // then compares a long run: the scan must hand over to the linear search.
    for (std::size_t i = 0; i < kFileSize; i += 2) {
        data[i] = 'A';
        data[i + 1] = 'B';
    }
    std::string periodic;
    for (int i = 0; i < 500; ++i)
        periodic += "AB";
    periodic += "AA";
    const auto* pattern = reinterpret_cast<const std::uint8_t*>(periodic.data());
    FindStats stats;
    const double ours = Best(kRounds, [&] {
        matches.clear();
        FindInBuffer(data, kFileSize, pattern, periodic.size(), &matches, &stats);
    });
    const double glibc =
        Best(kRounds, [&] { MemmemScan(data, kFileSize, pattern, periodic.size(), &reference); });
    std::printf("scan: 500 \"AB\" + \"AA\" in 256 MiB of \"AB\": %.0f MB/s; glibc memmem: %.0f "
                "MB/s; ratio %.2f%s%s\n",
                mib / ours, mib / glibc, glibc / ours,
                stats.usedLinearSearch ? " [linear search]" : "",
                matches == reference ? "" : " MATCHES DIFFER");
    ::munmap(data, kFileSize);
}

} // namespace

int main() {
    const std::string base = TempFolder() + "/bm-bench-XXXXXX";
    std::string folder = base;
    if (!::mkdtemp(folder.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    BenchRebuild(folder);
    ::rmdir(folder.c_str());
    BenchScan();
    return 0;
}
