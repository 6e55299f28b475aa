// The wildcard scan beside the exact scanner, and item signatures and
// relocation for 10,000 items over 256 MiB beside one plain scan of the same
// bytes, all in one run, with the peak memory after each step.
#include "bench/support/BenchClock.h"
#include "engine/PatternSearch.h"
#include "engine/Relocate.h"
#include "engine/Search.h"
#include "engine/Signature.h"
#include "winutil/FileUtil.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <span>
#include <vector>

namespace {

using bench::Best;
using bench::Now;
using bench::PeakRssMiB;

constexpr std::size_t kFileSize = std::size_t(256) << 20;
constexpr int kItems = 10000;
constexpr int kRounds = 3;

std::vector<std::uint8_t> RandomFile(unsigned seed) {
    std::vector<std::uint8_t> data(kFileSize);
    std::mt19937_64 rng(seed);
    for (std::size_t i = 0; i < data.size(); i += 8) {
        const std::uint64_t word = rng();
        std::memcpy(data.data() + i, &word, 8);
    }
    return data;
}

// The masked loop a plain program would write: every position, every byte.
std::size_t ByteLoop(const std::vector<std::uint8_t>& data, const MaskedPattern& pattern) {
    std::size_t count = 0;
    for (std::size_t p = 0; p + pattern.size() <= data.size(); ++p) {
        if (pattern.MatchesAt(data.data() + p)) {
            ++count;
            p += pattern.size() - 1;
        }
    }
    return count;
}

void BenchWildcards(const std::vector<std::uint8_t>& data, double plainSeconds) {
    const double gb = static_cast<double>(data.size()) / 1e9;
    std::vector<std::uint32_t> matches;
    // 16 bytes from the middle of the file with wildcards among them: runs
    // of 4 and more fixed bytes remain.
    MaskedPattern pattern;
    pattern.value.assign(data.begin() + kFileSize / 2, data.begin() + kFileSize / 2 + 16);
    pattern.mask.assign(16, 0xFF);
    for (const int wild : {4, 5, 11}) {
        pattern.mask[wild] = 0;
        pattern.value[wild] = 0;
    }
    const double masked = Best(kRounds, [&] {
        matches.clear();
        FindMaskedInBuffer(data.data(), data.size(), pattern, &matches);
    });
    std::printf("wildcard scan: \"%s\" in 256 MiB random bytes: %.2f GB/s; exact scanner: %.2f "
                "GB/s; ratio %.2f (goal >= 10 GB/s)%s\n",
                pattern.Text().c_str(), gb / masked, gb / plainSeconds, plainSeconds / masked,
                matches.size() == 1 ? "" : " WRONG MATCH COUNT");

    const MaskedPattern nibbles = ParseSearchPattern("4? ?1 ?? 3? ?7", 16);
    std::size_t loopCount = 0;
    const double ours = Best(kRounds, [&] {
        matches.clear();
        FindMaskedInBuffer(data.data(), data.size(), nibbles, &matches);
    });
    const double loop = Best(kRounds, [&] { loopCount = ByteLoop(data, nibbles); });
    std::printf("wildcard scan: \"%s\" (nibbles only): %.2f GB/s; plain byte loop: %.2f GB/s; "
                "ratio %.2f (goal >= 1)%s\n",
                nibbles.Text().c_str(), gb / ours, gb / loop, loop / ours,
                loopCount == matches.size() ? "" : " MATCH COUNTS DIFFER");
}

bool SamePlan(const std::vector<ItemRelocation>& a, const std::vector<ItemRelocation>& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](const auto& x, const auto& y) {
               return x.kind == y.kind && x.newOffset == y.newOffset && x.found == y.found;
           });
}

void BenchRelocation(std::vector<std::uint8_t>& data, double plainSeconds) {
    // 10,000 items of 4 bytes spread over the file.
    PatchList items(kItems);
    std::mt19937 random(11);
    for (PatchItem& item : items) {
        item.offset = static_cast<std::uint32_t>(random() % (kFileSize - 64));
        char hex[16];
        std::snprintf(hex, sizeof hex, "%02X%02X%02X%02X", data[item.offset], data[item.offset + 1],
                      data[item.offset + 2], data[item.offset + 3]);
        item.oldHex = hex;
        item.newHex = "00000000";
    }
    // The same from the file, read in blocks (the file stays cached: this
    // measures the reading, not the disk).
    const std::string path = bench::TempFolder() + "/reloc_bench_version.bin";
    const auto fromFile = [&](const char* what, auto&& step) {
        if (WriteFileWhole(path.c_str(), data.data(), static_cast<std::uint32_t>(data.size())) !=
            data.size()) {
            std::printf("%s from the file: cannot write %s\n", what, path.c_str());
            return;
        }
        const double seconds = Best(kRounds, step);
        std::remove(path.c_str());
        std::printf("%s from the file in blocks: %.3f s; %.2f of the goal (< 1 s)\n", what, seconds,
                    seconds / 1.0);
    };
    PatchList fileItems = items;
    std::size_t madeFromFile = 0;
    fromFile("signatures", [&] {
        fileItems = items;
        UpdateSignaturesFromFile(path, fileItems, &madeFromFile);
    });
    const double startSign = Now();
    const std::size_t made = UpdateSignatures(data, items);
    const double sign = Now() - startSign;
    std::printf("signatures: %zu of %d items over 256 MiB: %.3f s; one plain scan %.3f s; ratio "
                "%.2f; %.2f of the goal (< 1 s); peak memory %.0f MiB%s\n",
                made, kItems, sign, plainSeconds, sign / plainSeconds, sign / 1.0, PeakRssMiB(),
                madeFromFile == made ? "" : " FILE COUNT DIFFERS");

    // The next version: 4 KiB more in front of everything, so every item
    // must be looked for and found once.
    data.insert(data.begin(), 4096, 0x90);
    std::vector<ItemRelocation> plan;
    const double relocate = Best(kRounds, [&] { plan = PlanRelocation(data, items); });
    std::vector<ItemRelocation> filePlan;
    fromFile("relocation", [&] { PlanRelocationFromFile(path, items, &filePlan); });
    std::size_t moved = 0;
    for (std::size_t n = 0; n < plan.size(); ++n)
        moved +=
            plan[n].kind == RelocationKind::Moves && plan[n].newOffset == items[n].offset + 4096
                ? 1
                : 0;
    std::printf("relocation: %zu of %d items moved, one pass over 256 MiB: %.3f s; one plain scan "
                "%.3f s; ratio %.2f; %.2f of the goal (< 1 s); peak memory %.0f MiB%s\n",
                moved, kItems, relocate, plainSeconds, relocate / plainSeconds, relocate / 1.0,
                PeakRssMiB(), SamePlan(plan, filePlan) ? "" : " FILE PLAN DIFFERS");
}

// A backup of repeated blocks: no item finds a unique window. The first save
// marks them; a later save on the same backup must not search again.
void BenchNoUniqueWindow() {
    constexpr int kRepeatedItems = 20000;
    const std::vector<std::uint8_t> block = [] {
        std::vector<std::uint8_t> bytes(4096);
        std::mt19937 random(13);
        for (auto& b : bytes)
            b = static_cast<std::uint8_t>(random());
        return bytes;
    }();
    std::vector<std::uint8_t> data;
    for (int i = 0; i < 4096; ++i)
        data.insert(data.end(), block.begin(), block.end());
    const std::string path = bench::TempFolder() + "/reloc_bench_repeated.bin";
    if (WriteFileWhole(path.c_str(), data.data(), static_cast<std::uint32_t>(data.size())) !=
        data.size()) {
        std::printf("no unique window: cannot write %s\n", path.c_str());
        return;
    }
    PatchList items(kRepeatedItems);
    for (std::size_t n = 0; n < items.size(); ++n) {
        PatchItem& item = items[n];
        item.offset = static_cast<std::uint32_t>(n * 797 % (data.size() - 8));
        char hex[16];
        std::snprintf(hex, sizeof hex, "%02X%02X%02X%02X", data[item.offset], data[item.offset + 1],
                      data[item.offset + 2], data[item.offset + 3]);
        item.oldHex = hex;
    }
    std::size_t marked = 0, again = 0;
    const double start = Now();
    UpdateSignaturesFromFile(path, items, &marked);
    const double first = Now() - start;
    const double later = Best(kRounds, [&] { UpdateSignaturesFromFile(path, items, &again); });
    std::remove(path.c_str());
    std::printf("no unique window: %d items over 16 MiB of repeated blocks: first save %.3f s (%zu "
                "marked); each later save %.3f s (%zu tried again); %.2f of the first\n",
                kRepeatedItems, first, marked, later, again, later / first);
}

} // namespace

int main() {
    std::vector<std::uint8_t> data = RandomFile(7);
    std::printf("file in memory: peak memory %.0f MiB\n", PeakRssMiB());
    std::uint8_t exact[16];
    std::memcpy(exact, data.data() + kFileSize / 2, 16);
    std::vector<std::uint32_t> matches;
    const double plain = Best(kRounds, [&] {
        matches.clear();
        FindInBuffer(data.data(), data.size(), exact, 16, &matches);
    });
    BenchWildcards(data, plain);
    BenchRelocation(data, plain);
    BenchNoUniqueWindow();
    return 0;
}
