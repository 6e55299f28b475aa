// Relocating items by their signatures in one pass over the file.
#include "engine/Relocate.h"

#include "engine/PatternSearch.h"
#include "engine/Rebuild.h"
#include "engine/Signature.h"
#include "engine/SignatureScan.h"
#include "winutil/FdIo.h"
#include "winutil/UniqueFd.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace {

using PatternCountFn = std::function<bool(std::span<const ScanPattern> patterns,
                                          std::vector<std::vector<WindowCount>>* counts)>;

// Whether the file holds old at offset.
bool HoldsAt(std::uint64_t size, const ScanReader& read, std::uint64_t offset,
             const std::vector<std::uint8_t>& old, std::vector<std::uint8_t>* scratch) {
    if (old.empty() || offset > size || old.size() > size - offset)
        return false;
    scratch->resize(old.size());
    return read(offset, scratch->data(), old.size()) &&
           std::memcmp(scratch->data(), old.data(), old.size()) == 0;
}

// The plan for a file of size bytes: read serves the items' places, count
// the one pass over the file. False when the file could not be read.
bool PlanWith(std::uint64_t size, const ScanReader& read, const PatternCountFn& count,
              std::span<const PatchItem> items, std::vector<ItemRelocation>* out) {
    std::vector<ItemRelocation> plan(items.size());
    std::vector<std::size_t> sought;
    std::vector<ScanPattern> patterns;
    std::vector<std::vector<std::uint8_t>> olds;
    std::vector<std::uint8_t> scratch;
    for (std::size_t n = 0; n < items.size(); ++n) {
        const PatchItem& item = items[n];
        std::vector<std::uint8_t> old = DecodeOldBytes(item);
        if (HoldsAt(size, read, item.offset, old, &scratch))
            continue; // in place
        MaskedPattern signature;
        ScanPattern pattern;
        if (old.empty() || !DecodeSignature(item, old.size(), &signature) ||
            !ChooseAnchor(signature.value.data(), signature.mask.data(), 0, signature.size(),
                          item.signatureAt, item.signatureAt + old.size(), &pattern.anchorAt)) {
            plan[n].kind = RelocationKind::NoSignature;
            continue;
        }
        pattern.windows.push_back({0, signature.size()});
        pattern.value = std::move(signature.value);
        pattern.mask = std::move(signature.mask);
        sought.push_back(n);
        patterns.push_back(std::move(pattern));
        olds.push_back(std::move(old));
    }
    std::vector<std::vector<WindowCount>> counts;
    if (!count(patterns, &counts))
        return false;
    for (std::size_t i = 0; i < sought.size(); ++i) {
        ItemRelocation& entry = plan[sought[i]];
        const WindowCount& c = counts[i][0];
        entry.found = c.count;
        if (c.count == 0) {
            entry.kind = RelocationKind::NotFound;
            continue;
        }
        if (c.count > 1) {
            entry.kind = RelocationKind::Ambiguous;
            continue;
        }
        // The item's bytes may be wildcards in a signature typed by hand:
        // the old bytes must be at the new place all the same.
        const std::uint64_t at = std::uint64_t(c.firstAt) + items[sought[i]].signatureAt;
        if (at > 0xFFFFFFFFu || !HoldsAt(size, read, at, olds[i], &scratch)) {
            entry.kind = RelocationKind::NotFound;
            continue;
        }
        entry.kind = RelocationKind::Moves;
        entry.newOffset = static_cast<std::uint32_t>(at);
    }
    *out = std::move(plan);
    return true;
}

// The plan for the open file fd of size bytes, read in blocks through read.
bool PlanFromReader(int fd, std::uint64_t size, const ScanReader& read,
                    std::span<const PatchItem> items, std::vector<ItemRelocation>* plan) {
    AdviseSequential(fd);
    return PlanWith(
        size, read,
        [&](std::span<const ScanPattern> patterns, std::vector<std::vector<WindowCount>>* counts) {
            return CountPatternsInBlocks(size, read, patterns, 0xFFFFFFFFu, counts);
        },
        items, plan);
}

} // namespace

std::vector<ItemRelocation> PlanRelocation(std::span<const std::uint8_t> file,
                                           std::span<const PatchItem> items) {
    std::vector<ItemRelocation> plan;
    PlanWith(
        file.size(),
        [&](std::uint64_t at, std::uint8_t* out, std::size_t bytes) {
            std::memcpy(out, file.data() + at, bytes);
            return true;
        },
        [&](std::span<const ScanPattern> patterns, std::vector<std::vector<WindowCount>>* counts) {
            *counts = CountPatterns(file, patterns);
            return true;
        },
        items, &plan);
    return plan;
}

bool PlanRelocationFromFile(const std::string& path, std::span<const PatchItem> items,
                            std::vector<ItemRelocation>* plan) {
    FileInfo info;
    const UniqueFd fd(OpenRegularForReading(path.c_str(), &info));
    if (!fd.valid())
        return false;
    return PlanFromReader(fd.get(), info.size, ReadFromFd(fd.get()), items, plan);
}

bool PlanCandidateRelocation(const std::string& candidatePath, std::span<const PatchItem> items,
                             const BackupCandidatePlan& candidate, CandidateRelocation* out) {
    FileInfo info;
    const UniqueFd fd(OpenRegularForReading(candidatePath.c_str(), &info));
    if (!fd.valid())
        return false;
    // The file as it will be taken: each read gets the restores that overlap it.
    const ScanReader readFile = ReadFromFd(fd.get());
    const ScanReader read = [&](std::uint64_t at, std::uint8_t* bytes, std::size_t size) {
        if (!readFile(at, bytes, size))
            return false;
        for (const PatchedRun& run : candidate.restores) {
            if (run.offset > info.size || run.bytes.size() > info.size - run.offset)
                continue; // a restore that does not fit the file is not put in
            const std::uint64_t low = std::max(at, run.offset);
            const std::uint64_t high = std::min(at + size, run.offset + run.bytes.size());
            if (low < high)
                std::memcpy(bytes + (low - at), run.bytes.data() + (low - run.offset),
                            static_cast<std::size_t>(high - low));
        }
        return true;
    };
    if (!PlanFromReader(fd.get(), info.size, read, items, &out->plan))
        return false;
    for (const std::size_t n : candidate.restoredItems)
        out->plan[n] = ItemRelocation{};
    out->complete = true;
    for (const std::size_t n : candidate.failingItems)
        out->complete = out->complete && out->plan[n].kind == RelocationKind::Moves;
    return true;
}

std::size_t ApplyRelocation(const std::vector<ItemRelocation>& plan, PatchList& items) {
    std::size_t moved = 0;
    for (std::size_t n = 0; n < plan.size() && n < items.size(); ++n) {
        if (plan[n].kind == RelocationKind::Moves) {
            items[n].offset = plan[n].newOffset;
            ++moved;
        }
    }
    return moved;
}

bool RelocationChangesSomething(const std::vector<ItemRelocation>& plan) {
    for (const ItemRelocation& entry : plan)
        if (entry.kind != RelocationKind::InPlace)
            return true;
    return false;
}

const char* RelocationKindName(RelocationKind kind) {
    switch (kind) {
    case RelocationKind::InPlace:
        return "in-place";
    case RelocationKind::Moves:
        return "moves";
    case RelocationKind::NotFound:
        return "not-found";
    case RelocationKind::Ambiguous:
        return "ambiguous";
    case RelocationKind::NoSignature:
        return "no-signature";
    }
    return "in-place";
}
