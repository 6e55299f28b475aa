// Item states of a long list over a large backup and target, and the file
// fingerprint throughput, each next to its goal. Temporary files go to
// $BM_BENCH_DIR, else $TMPDIR, else /tmp, and are removed at the end. The
// files were just written, so the figures are for a warm page cache.
#include "bench/support/BenchClock.h"
#include "engine/Fingerprint.h"
#include "engine/HexText.h"
#include "engine/ItemState.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using bench::Now;
using bench::TempFolder;

constexpr std::size_t kMiB = std::size_t(1) << 20;
constexpr std::size_t kFileSize = 256 * kMiB;
constexpr std::size_t kItems = 100000;
constexpr int kRounds = 5;
constexpr double kStatesGoalMs = 100;

// This thread's processor time: on a busy machine, closer to what the pass
// costs than the wall clock.
double CpuNow() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
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

    std::vector<ItemStatus> states;
    double best = 1e30, bestCpu = 1e30;
    for (int i = 0; i < kRounds; ++i) {
        states = {}; // freeing the last round's results is not part of the figure
        const double start = Now(), startCpu = CpuNow();
        states = ComputeItemStates(backup, target, items);
        best = std::min(best, Now() - start);
        bestCpu = std::min(bestCpu, CpuNow() - startCpu);
    }
    std::size_t count[6] = {}, attention = 0;
    for (const ItemStatus& status : states) {
        ++count[static_cast<int>(status.state)];
        attention += status.attention;
    }
    const double ms = best * 1e3;
    std::printf("states: %zu items over a 256 MiB backup and target (warm page cache): %.1f ms; "
                "goal < %.0f ms; ratio %.2f (processor time %.1f ms)\n",
                items.size(), ms, kStatesGoalMs, ms / kStatesGoalMs, bestCpu * 1e3);
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
