// Peak memory and time of bytemender-cli's commands that read a whole backup:
// search, apply --dry-run, export, import (with and without saving, which
// makes signatures) and relocate over a 1 GiB target (960 MiB of
// random bytes, then 64 MiB of zeros) with 1,000 enabled items. Each command
// runs as a child of its own, so that its peak (ru_maxrss from wait4) is its
// own. The program measured is the first argument, else the one built beside
// this benchmark. Files go to $BM_BENCH_DIR, else $TMPDIR, else /tmp, and are
// removed at the end.
#include "bench/support/BenchCli.h"
#include "bench/support/BenchClock.h"
#include "core/PatchListStore.h"

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::size_t kMiB = std::size_t(1) << 20;
constexpr std::size_t kFileSize = 1024 * kMiB;
constexpr std::size_t kZeros = 64 * kMiB; // at the end of the file
constexpr int kItems = 1000;

// The target, written a block at a time, and the enabled items: 1 to 16
// bytes each, spread over the random part, expecting the bytes there.
bool MakeTarget(const std::string& path, PatchList* items) {
    std::mt19937_64 rng(42);
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    std::vector<std::uint64_t> block(kMiB / 8);
    bool ok = true;
    for (std::size_t at = 0; ok && at < kFileSize; at += kMiB) {
        for (auto& word : block)
            word = at < kFileSize - kZeros ? rng() : 0;
        ok = ::pwrite(fd, block.data(), kMiB, static_cast<off_t>(at)) == ssize_t(kMiB);
    }
    const std::size_t slot = (kFileSize - kZeros) / kItems;
    for (int i = 0; ok && i < kItems; ++i) {
        const std::size_t offset = static_cast<std::size_t>(i) * slot + rng() % (slot - 16);
        const auto length = static_cast<std::uint32_t>(1 + rng() % 16);
        std::uint8_t old[16];
        ok = ::pread(fd, old, length, static_cast<off_t>(offset)) == ssize_t(length);
        items->push_back(bench::RandomItem(rng, offset, old, length, i));
    }
    ::close(fd);
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    const std::string program = argc > 1 ? argv[1] : BM_CLI_PROGRAM;
    std::string folder = bench::TempFolder() + "/bm-memory-bench-XXXXXX";
    if (!::mkdtemp(folder.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string settings = folder + "/bytemender.ini";
    const std::string target = folder + "/target.bin";
    const std::string patch = folder + "/patch.ips";
    fs::create_directory(folder + "/Path_bak");
    PatchList items;
    if (!MakeTarget(target, &items)) {
        std::perror(target.c_str());
        return 1;
    }
    fs::copy_file(target, folder + "/Path_bak/target.bin");
    bench::WriteList(settings, items, target);
    const auto command = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {program, "--settings", settings});
        return args;
    };
    // Makes the items' signatures once, so that later commands find them.
    bench::RunQuietly(command({"enable", "1"}));

    struct Step {
        const char* name;
        std::vector<std::string> args;
        void (*before)(const std::string& settings, const PatchList& items,
                       const std::string& target);
    };
    const Step steps[] = {
        {"search \"00 00\" (over 64 MiB of zeros)", command({"search", "00 00"}), nullptr},
        {"search \"?? 5A A5 ?? C3\" (rare)", command({"search", "?? 5A A5 ?? C3"}), nullptr},
        {"apply --dry-run (1,000 items)", command({"apply", "--dry-run"}), nullptr},
        {"export (1,000 items, IPS32)", command({"export", "--format", "ips32", patch}), nullptr},
        {"import (1,000 items, all listed already)", command({"import", patch}), nullptr},
        {"import (1,000 new items, list saved)", command({"import", patch}),
         [](const std::string& list, const PatchList&, const std::string& file) {
             bench::WriteList(list, PatchList(), file);
         }},
        {"relocate --dry-run (1,000 items moved)", command({"relocate", "--dry-run"}),
         [](const std::string& list, const PatchList&, const std::string& file) {
             // The items as the save above left them (with signatures, made
             // by bytemender-cli: in this process the mapped backup would
             // count towards the next child's peak), every one a byte off
             // its place: each is looked for and found where it was.
             CAppSetting store;
             store.Load(list.c_str(), 1);
             PatchList moved;
             ReadPatchItems(store, moved);
             for (PatchItem& item : moved)
                 ++item.offset;
             bench::WriteList(list, moved, file);
         }},
    };
    std::printf("bytemender-cli on a 1 GiB target: %s\n", program.c_str());
    for (const Step& step : steps) {
        if (step.before)
            step.before(settings, items, target);
        const bench::ChildRun run = bench::RunQuietly(step.args);
        std::printf("%-44s %7.2f s  peak %8.1f MiB%s\n", step.name, run.seconds, run.peakMiB,
                    run.status == 0 ? "" : "  (failed)");
    }
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    return 0;
}
