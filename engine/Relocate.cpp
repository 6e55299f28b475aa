// Relocating items by their signatures in one pass over the file.
#include "engine/Relocate.h"

#include "engine/PatternSearch.h"
#include "engine/Rebuild.h"
#include "engine/Signature.h"
#include "engine/SignatureScan.h"
#include "winutil/FileUtil.h"

#include <cstring>

std::vector<ItemRelocation> PlanRelocation(std::span<const std::uint8_t> file,
                                           std::span<const PatchItem> items) {
    std::vector<ItemRelocation> plan(items.size());
    std::vector<std::size_t> sought;
    std::vector<ScanPattern> patterns;
    std::vector<std::vector<std::uint8_t>> olds;
    for (std::size_t n = 0; n < items.size(); ++n) {
        const PatchItem& item = items[n];
        std::vector<std::uint8_t> old = DecodeOldBytes(item);
        if (!old.empty() && item.offset <= file.size() && old.size() <= file.size() - item.offset &&
            std::memcmp(file.data() + item.offset, old.data(), old.size()) == 0)
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
    const auto counts = CountPatterns(file, patterns);
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
        const std::size_t at = c.firstAt + items[sought[i]].signatureAt;
        const std::vector<std::uint8_t>& old = olds[i];
        if (at > 0xFFFFFFFFu || at + old.size() > file.size() ||
            std::memcmp(file.data() + at, old.data(), old.size()) != 0) {
            entry.kind = RelocationKind::NotFound;
            continue;
        }
        entry.kind = RelocationKind::Moves;
        entry.newOffset = static_cast<std::uint32_t>(at);
    }
    return plan;
}

bool PlanRelocationFromFile(const std::string& path, std::span<const PatchItem> items,
                            std::vector<ItemRelocation>* plan) {
    FileBuffer file;
    if (!file.Load(path.c_str()))
        return false;
    *plan = PlanRelocation({file.data, file.length}, items);
    return true;
}

bool PlanCandidateRelocation(const std::string& candidatePath, std::span<const PatchItem> items,
                             const BackupCandidatePlan& candidate, CandidateRelocation* out) {
    FileBuffer file;
    if (!file.Load(candidatePath.c_str()))
        return false;
    for (const PatchedRun& run : candidate.restores) {
        if (run.offset <= file.length && run.bytes.size() <= file.length - run.offset)
            std::memcpy(file.data + run.offset, run.bytes.data(), run.bytes.size());
    }
    out->plan = PlanRelocation({file.data, file.length}, items);
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
