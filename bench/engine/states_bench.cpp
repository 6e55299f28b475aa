// Item states of a long list over a large backup and target, and the file
// fingerprint throughput, each next to its goal. Temporary files go to
// $BM_BENCH_DIR, else $TMPDIR, else /tmp, and are removed at the end. The
// files were just written, so the figures are for a warm page cache.
#include "bench/support/BenchClock.h"
#include "engine/Fingerprint.h"
#include "engine/HexText.h"
#include "engine/ItemState.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <string>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using bench::Now;
using bench::TempFolder;

constexpr std::size_t kMiB = std::size_t(1) << 20;
constexpr std::size_t kFileSize = 256 * kMiB;
constexpr std::size_t kItems = 100000;
constexpr int kRounds = 5;
constexpr double kStatesGoalMs = 100;

// Processor time (user and system, all threads) and page faults of this
// process so far.
struct Usage {
    double cpu = 0;
    long faults = 0;
};

Usage UsageNow() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return Usage{static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6,
                 usage.ru_minflt + usage.ru_majflt};
}

// The best wall time and the best processor time of kRounds runs, and the
// page faults of the first one (later rounds reuse the memory it took). On a busy machine the
// processor time varies far less than the wall time.
struct Figures {
    double wall = 1e30;
    double cpu = 1e30;
    long faults = 0;
};

template <class F> Figures Measure(F&& run) {
    Figures figures;
    for (int i = 0; i < kRounds; ++i) {
        const Usage before = UsageNow();
        const double start = Now();
        run();
        const double wall = Now() - start;
        const Usage after = UsageNow();
        figures.wall = std::min(figures.wall, wall);
        figures.cpu = std::min(figures.cpu, after.cpu - before.cpu);
        if (i == 0)
            figures.faults = after.faults - before.faults;
    }
    return figures;
}

// What the pass would cost with the files mapped instead of read: map both,
// copy each item's bytes out, unmap. Shown beside the pass's own figures.
void TouchMapped(const std::string& backup, const std::string& target,
                 const std::vector<PatchItem>& items) {
    volatile std::uint8_t sink = 0;
    for (const std::string* path : {&backup, &target}) {
        const int fd = ::open(path->c_str(), O_RDONLY | O_CLOEXEC);
        void* map = ::mmap(nullptr, kFileSize, PROT_READ, MAP_SHARED, fd, 0);
        ::close(fd);
        if (map == MAP_FAILED)
            return;
        std::uint8_t bytes[16];
        for (const PatchItem& item : items) {
            std::memcpy(bytes, static_cast<const std::uint8_t*>(map) + item.offset, sizeof bytes);
            sink = sink + bytes[0];
        }
        ::munmap(map, kFileSize);
    }
}

void Print(const char* what, std::size_t count, const Figures& f) {
    std::printf(
        "%s, %zu items: wall %.1f ms (best of %d), processor %.1f ms, %ld page faults (first "
        "round)\n",
        what, count, f.wall * 1e3, kRounds, f.cpu * 1e3, f.faults);
}

// Writes random backup and target files (the target holds the new bytes of
// every other item) and returns items of 1 to 16 bytes spread over the file,
// three in four enabled.
std::vector<PatchItem> MakeFiles(const std::string& backup, const std::string& target) {
    std::mt19937_64 rng(42);
    const std::size_t slot = kFileSize / kItems;
    std::vector<std::size_t> offsets;
    for (std::size_t i = 0; i < kItems; ++i)
        offsets.push_back(i * slot + rng() % (slot - 16));
    std::vector<PatchItem> items;
    std::vector<std::uint8_t> chunk(kMiB), applied(kMiB);
    const int backupFd = ::open(backup.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int targetFd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    std::size_t next = 0;
    for (std::size_t done = 0; done < kFileSize; done += kMiB) {
        for (auto& byte : chunk)
            byte = static_cast<std::uint8_t>(rng());
        applied = chunk;
        for (; next < offsets.size() && offsets[next] + 16 <= done + kMiB; ++next) {
            if (offsets[next] < done)
                continue; // straddles two chunks: leave it out
            const std::size_t at = offsets[next] - done;
            const std::uint32_t length = 1 + rng() % 16;
            std::uint8_t fresh[16];
            for (auto& byte : fresh)
                byte = static_cast<std::uint8_t>(rng());
            char oldHex[40], newHex[40];
            FormatHexText(chunk.data() + at, length, oldHex);
            FormatHexText(fresh, length, newHex);
            if (next % 2 == 0)
                std::copy(fresh, fresh + length, applied.begin() + at);
            items.push_back(PatchItem{static_cast<std::uint32_t>(offsets[next]),
                                      "item " + std::to_string(next), oldHex, newHex,
                                      next % 4 != 3});
        }
        if (::write(backupFd, chunk.data(), kMiB) != static_cast<ssize_t>(kMiB) ||
            ::write(targetFd, applied.data(), kMiB) != static_cast<ssize_t>(kMiB))
            std::perror("write");
    }
    ::close(backupFd);
    ::close(targetFd);
    return items;
}

} // namespace

int main() {
    std::string folder = TempFolder() + "/bm-bench-XXXXXX";
    if (!::mkdtemp(folder.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string backup = folder + "/backup.bin";
    const std::string target = folder + "/target.bin";
    const std::vector<PatchItem> items = MakeFiles(backup, target);

    // Every tenth (hundredth) item: the same files, a tenth (hundredth) of
    // the items.
    std::vector<PatchItem> tenth, hundredth;
    for (std::size_t i = 0; i < items.size(); i += 10) {
        tenth.push_back(items[i]);
        if (i % 100 == 0)
            hundredth.push_back(items[i]);
    }

    std::vector<ItemStatus> states;
    // Freeing the last round's results is not part of the figures.
    auto pass = [&](const std::vector<PatchItem>& list) {
        return Measure([&] {
            states = {};
            states = ComputeItemStates(backup, target, list);
        });
    };
    const Figures fewest = pass(hundredth);
    const Figures few = pass(tenth);
    const Figures many = pass(items);
    Print("states (warm page cache)", hundredth.size(), fewest);
    Print("states (warm page cache)", tenth.size(), few);
    Print("states (warm page cache)", items.size(), many);
    const double ms = many.wall * 1e3;
    std::printf("states: %zu items over a 256 MiB backup and target: %.1f ms; goal < %.0f ms; "
                "ratio %.2f (processor time %.1f ms, ratio %.2f)\n",
                items.size(), ms, kStatesGoalMs, ms / kStatesGoalMs, many.cpu * 1e3,
                many.cpu * 1e3 / kStatesGoalMs);
    // Each read costs about as much as copying 32 KiB: from about 10,000
    // items on, the items of a 256 MiB file lie so close that reading all
    // of it is cheaper than reading them one by one, and the cost stops
    // falling with fewer items.
    for (const auto& [count, figures] :
         {std::pair(hundredth.size(), fewest), std::pair(tenth.size(), few)})
        std::printf("states growth %zu -> %zu items: wall %.2fx, processor %.2fx (items %.0fx)\n",
                    count, items.size(), many.wall / figures.wall, many.cpu / figures.cpu,
                    static_cast<double>(items.size()) / static_cast<double>(count));
    Print("for comparison, both files mapped and each item's bytes touched", tenth.size(),
          Measure([&] { TouchMapped(backup, target, tenth); }));
    Print("for comparison, both files mapped and each item's bytes touched", items.size(),
          Measure([&] { TouchMapped(backup, target, items); }));
    std::size_t count[6] = {}, attention = 0;
    for (const ItemStatus& status : states) {
        ++count[static_cast<int>(status.state)];
        attention += status.attention;
    }
    std::printf("states: %zu applied, %zu original, %zu differs, %zu other; %zu marked\n", count[0],
                count[1], count[2], count[3] + count[4] + count[5], attention);

    FileFingerprint print;
    double hashBest = 1e30;
    bool ok = true;
    for (int i = 0; i < 3; ++i) {
        const double start = Now();
        ok = FingerprintFile(target, &print) && ok;
        hashBest = std::min(hashBest, Now() - start);
    }
    std::printf(
        "fingerprint: SHA-256 of the 256 MiB target (warm page cache): %.3f s, %.0f MB/s%s\n",
        hashBest, static_cast<double>(kFileSize) / 1e6 / hashBest,
        ok && print.size == kFileSize ? "" : " FAILED");

    ::unlink(backup.c_str());
    ::unlink(target.c_str());
    ::rmdir(folder.c_str());
    return 0;
}
