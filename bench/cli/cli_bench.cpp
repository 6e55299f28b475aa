// bytemender-cli as a process: "apply" of a 256 MiB target with 10,000 items
// next to the engine's bare rebuild in the same run, and "status" of 100,000
// items. Files go to $BM_BENCH_DIR, else $TMPDIR, else /tmp, and are removed
// at the end.
#include "bench/support/BenchCli.h"
#include "bench/support/BenchClock.h"
#include "core/PatchListStore.h"
#include "engine/HexText.h"
#include "engine/Rebuild.h"
#include "settings/AppSetting.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

using bench::Now;
using bench::TempFolder;
using bench::WriteList;

constexpr std::size_t kMiB = std::size_t(1) << 20;
constexpr std::size_t kFileSize = 256 * kMiB;
constexpr int kRounds = 5;
constexpr int kApplyRounds = 7;

// CPU seconds (user and system) of this process, and of its waited-for
// children: on a busy machine these vary far less than the elapsed time.
double CpuSeconds(int who) {
    rusage usage{};
    ::getrusage(who, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Page faults of this process, or of its waited-for children: each costs
// processor time, and their count does not depend on the machine's load.
long PageFaults(int who) {
    rusage usage{};
    ::getrusage(who, &usage);
    return usage.ru_minflt + usage.ru_majflt;
}

struct Timing {
    double wall = 1e30;
    double cpu = 1e30;
    long faults = -1;
};

// Keeps the best elapsed and the best CPU time of run().
template <class F> void Measure(Timing* timing, int who, F&& run) {
    const double cpu = CpuSeconds(who);
    const long faults = PageFaults(who);
    const double start = Now();
    run();
    timing->wall = std::min(timing->wall, Now() - start);
    timing->cpu = std::min(timing->cpu, CpuSeconds(who) - cpu);
    const long added = PageFaults(who) - faults;
    timing->faults = timing->faults < 0 ? added : std::min(timing->faults, added);
}

// Runs the program to its end with its output thrown away; its exit status.
int RunProgram(const std::vector<std::string>& args) {
    return bench::RunQuietly(args).status;
}

// Random bytes of kFileSize at path, and count enabled items of 1 to 16 bytes
// spread over the file, each expecting the bytes found there.
PatchList MakeBackup(const std::string& path, int count) {
    std::mt19937_64 rng(42);
    std::vector<std::uint64_t> words(kFileSize / 8);
    for (auto& word : words)
        word = rng();
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(words.data());
    PatchList items;
    const std::size_t slot = kFileSize / static_cast<std::size_t>(count);
    for (int i = 0; i < count; ++i) {
        const std::size_t offset = static_cast<std::size_t>(i) * slot + rng() % (slot - 16);
        const auto length = static_cast<std::uint32_t>(1 + rng() % 16);
        items.push_back(bench::RandomItem(rng, offset, bytes + offset, length, i));
    }
    if (!path.empty()) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0 || ::write(fd, words.data(), kFileSize) != static_cast<ssize_t>(kFileSize))
            std::perror(path.c_str());
        if (fd >= 0)
            ::close(fd);
    }
    return items;
}

} // namespace

int main() {
    namespace fs = std::filesystem;
    std::string folder = TempFolder() + "/bm-cli-bench-XXXXXX";
    if (!::mkdtemp(folder.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string settings = folder + "/bytemender.ini";
    const std::string target = folder + "/target.bin";
    const std::string backup = folder + "/Path_bak/target.bin";
    const std::string bareTarget = folder + "/bare.bin";
    fs::create_directory(folder + "/Path_bak");

    const PatchList items = MakeBackup(backup, 10000);
    WriteList(settings, items, target);
    fs::copy_file(backup, target);
    const std::vector<std::string> apply{BM_CLI_PROGRAM, "--settings", settings, "apply"};
    if (RunProgram(apply) != 0 || !RebuildTarget(backup, items, bareTarget).ok()) {
        std::printf("apply failed\n");
        return 1;
    }
    Timing cli;
    Timing bare;
    Timing hashed;
    FileFingerprint written;
    // Most of either run waits on the disk (the flush, and the rename that
    // frees the replaced file), which varies from one run to the next by
    // more than apply adds: the ratio is also taken round by round, each
    // apply against the bare rebuild run just after it, and the median of
    // those is the steadier figure.
    std::vector<double> paired;
    for (int i = 0; i < kApplyRounds; ++i) { // interleaved: all see the same machine state
        double cliWall = 0;
        double bareWall = 0;
        Measure(&cli, RUSAGE_CHILDREN, [&] {
            const double start = Now();
            RunProgram(apply);
            cliWall = Now() - start;
        });
        Measure(&bare, RUSAGE_SELF, [&] {
            const double start = Now();
            RebuildTarget(backup, items, bareTarget);
            bareWall = Now() - start;
        });
        Measure(&hashed, RUSAGE_SELF, [&] { RebuildTarget(backup, items, bareTarget, &written); });
        paired.push_back(cliWall / bareWall);
    }
    std::sort(paired.begin(), paired.end());
    const double median = paired[paired.size() / 2];
    std::printf("apply: 256 MiB target, %zu enabled items, as a process: %.3f s; bare "
                "RebuildTarget: %.3f s (best of %d each); ratio of the best times %.2f\n",
                items.size(), cli.wall, bare.wall, kApplyRounds, cli.wall / bare.wall);
    std::printf("apply: median of the %d paired ratios %.2f (goal <= 1.15; lowest %.2f, highest "
                "%.2f)\n",
                kApplyRounds, median, paired.front(), paired.back());
    std::printf("apply: CPU time %.3f s; bare RebuildTarget %.3f s; ratio %.2f; %ld page faults\n",
                cli.cpu, bare.cpu, cli.cpu / bare.cpu, cli.faults);
    // Where apply's extra time goes: the SHA-256 of the written bytes (on a
    // second thread, beside the copy and the flush), and the rest (starting
    // the program, loading and twice saving the settings, the records).
    std::printf("apply: RebuildTarget with the SHA-256 of what it writes: %.3f s, CPU %.3f s; "
                "the hash adds %.3f s of CPU, the rest of apply %.3f s\n",
                hashed.wall, hashed.cpu, hashed.cpu - bare.cpu, cli.cpu - hashed.cpu);

    // status: the same backup and target, 10,000 and 100,000 items.
    const std::vector<std::string> status{BM_CLI_PROGRAM, "--settings", settings, "status"};
    Timing statusTime[2];
    const int counts[2] = {10000, 100000};
    for (int n = 0; n < 2; ++n) {
        WriteList(settings, MakeBackup(std::string(), counts[n]), target);
        RunProgram(status); // warm the page cache
        for (int i = 0; i < kRounds; ++i)
            Measure(&statusTime[n], RUSAGE_CHILDREN, [&] { RunProgram(status); });
    }
    std::printf("status: %d items over a 256 MiB target, as a process: %.0f ms; CPU time %.0f ms; "
                "%ld page faults\n",
                counts[0], statusTime[0].wall * 1000, statusTime[0].cpu * 1000,
                statusTime[0].faults);
    std::printf("status: %d items over a 256 MiB target, as a process: %.0f ms (goal < 200 ms; "
                "ratio %.2f); CPU time %.0f ms (ratio %.2f); %ld page faults\n",
                counts[1], statusTime[1].wall * 1000, statusTime[1].wall / 0.2,
                statusTime[1].cpu * 1000, statusTime[1].cpu / 0.2, statusTime[1].faults);
    std::printf("status growth %d -> %d items: wall %.2fx, CPU %.2fx (items 10x)\n", counts[0],
                counts[1], statusTime[1].wall / statusTime[0].wall,
                statusTime[1].cpu / statusTime[0].cpu);

    // BM_BENCH_KEEP keeps the files (with the 100,000-item list) for a profiler.
    if (std::getenv("BM_BENCH_KEEP") != nullptr) {
        std::printf("files kept in %s\n", folder.c_str());
        return 0;
    }
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    return 0;
}
