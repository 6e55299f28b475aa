// Making item signatures: the widest window is masked once, every window
// size of every item is counted in one pass, and the smallest unique one is
// kept.
#include "engine/Signature.h"

#include "engine/CodeLayout.h"
#include "engine/FileView.h"
#include "engine/Fingerprint.h"
#include "engine/HexText.h"
#include "engine/SignatureScan.h"
#include "winutil/FdIo.h"
#include "winutil/FileUtil.h"
#include "winutil/UniqueFd.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace {

constexpr std::size_t kWidestContext = kSignatureContexts[std::size(kSignatureContexts) - 1];

bool OldBytesAt(std::span<const std::uint8_t> file, std::uint32_t offset,
                const std::vector<std::uint8_t>& old) {
    return !old.empty() && offset <= file.size() && old.size() <= file.size() - offset &&
           std::memcmp(file.data() + offset, old.data(), old.size()) == 0;
}

// Whether the pattern, with the item at `at` inside it, fits the file around
// offset.
bool PatternFitsAt(std::span<const std::uint8_t> file, std::uint32_t offset, std::uint32_t at,
                   const MaskedPattern& pattern) {
    return at <= offset && pattern.size() <= file.size() - (offset - at) &&
           pattern.MatchesAt(file.data() + (offset - at));
}

} // namespace

std::vector<std::uint8_t> DecodeOldBytes(const PatchItem& item) {
    std::vector<std::uint8_t> bytes(item.oldHex.size() / 2 + 1);
    bytes.resize(
        ParseHexText(item.oldHex.c_str(), bytes.data(), static_cast<std::uint32_t>(bytes.size())));
    return bytes;
}

bool DecodeSignature(const PatchItem& item, std::size_t oldLength, MaskedPattern* out) {
    if (item.signature.empty())
        return false;
    MaskedPattern pattern = ParseSearchPattern(item.signature.c_str(), item.signature.size());
    if (pattern.size() == 0 || item.signatureAt > pattern.size() ||
        oldLength > pattern.size() - item.signatureAt)
        return false;
    *out = std::move(pattern);
    return true;
}

bool SignatureFits(std::span<const std::uint8_t> backup, const PatchItem& item) {
    const std::vector<std::uint8_t> old = DecodeOldBytes(item);
    MaskedPattern pattern;
    return OldBytesAt(backup, item.offset, old) && DecodeSignature(item, old.size(), &pattern) &&
           PatternFitsAt(backup, item.offset, item.signatureAt, pattern);
}

std::uint64_t BackupFileTag(const FileInfo& info) {
    std::uint64_t tag = 0xCBF29CE484222325ull;
    for (const std::uint64_t part :
         {info.volume, info.index, info.size, static_cast<std::uint64_t>(info.modifiedNs)})
        tag = (tag ^ part) * 0x100000001B3ull;
    return tag | 1;
}

std::uint32_t NoWindowMark(std::uint64_t fileTag, const PatchItem& item) {
    std::uint64_t h = fileTag ^ (std::uint64_t(item.offset) * 0x9E3779B97F4A7C15ull);
    for (const char c : item.oldHex)
        h = (h ^ static_cast<std::uint8_t>(c)) * 0x100000001B3ull;
    h ^= h >> 29;
    h *= 0xBF58476D1CE4E5B9ull;
    h ^= h >> 32;
    return static_cast<std::uint32_t>(h) | 1;
}

bool MarkedNoWindow(const PatchItem& item, std::uint64_t fileTag) {
    return fileTag != 0 && item.signature.empty() &&
           item.signatureAt == NoWindowMark(fileTag, item);
}

namespace {

// Counts of the patterns' windows over the backup; false when it could not
// be read.
using WindowCounter = std::function<bool(std::span<const ScanPattern> patterns,
                                         std::vector<std::vector<WindowCount>>* counts)>;

// UpdateSignatures with the counting pass done by count; backup serves the
// items' places and windows only. False (nothing changed) when count fails.
bool MakeSignatures(std::span<const std::uint8_t> backup, PatchList& items, std::uint64_t fileTag,
                    const WindowCounter& count, std::size_t* made) {
    // Per item up to three chains of growing windows: context after the
    // item only, on both sides, before it only. Code before a function's
    // start belongs to another function and changes more often than what
    // follows it, so at equal length the earlier chain wins.
    enum Chain { kAfter, kBoth, kBefore, kChains };
    struct Candidate {
        std::size_t item = 0;
        Chain chain = kAfter;
        std::size_t itemInPattern = 0; // where the item lies in the pattern
    };
    std::vector<Candidate> candidates;
    std::vector<ScanPattern> patterns;
    std::vector<bool> wanted(items.size()); // needs a signature: gets one or a mark
    const CodeLayout layout(backup);
    for (std::size_t n = 0; n < items.size(); ++n) {
        const PatchItem& item = items[n];
        const std::vector<std::uint8_t> old = DecodeOldBytes(item);
        if (!OldBytesAt(backup, item.offset, old) || MarkedNoWindow(item, fileTag))
            continue;
        MaskedPattern current;
        if (DecodeSignature(item, old.size(), &current) &&
            PatternFitsAt(backup, item.offset, item.signatureAt, current))
            continue;
        wanted[n] = true;
        if (old.size() > kMaxSignatureBytes)
            continue;
        // The widest window, masked once; the smaller ones lie inside it.
        const std::size_t itemBegin = item.offset;
        const std::size_t itemEnd = itemBegin + old.size();
        const std::size_t begin = itemBegin - std::min(itemBegin, kWidestContext);
        const std::size_t end = itemEnd + std::min(backup.size() - itemEnd, kWidestContext);
        ScanPattern widest;
        widest.value.assign(backup.begin() + begin, backup.begin() + end);
        widest.mask.assign(end - begin, 0xFF);
        layout.MaskWindow(backup, begin, end, itemBegin, itemEnd, widest.mask.data());
        for (std::size_t i = 0; i < widest.value.size(); ++i)
            widest.value[i] &= widest.mask[i];
        const std::size_t ib = itemBegin - begin, ie = itemEnd - begin, size = end - begin;
        for (int chain = kAfter; chain < kChains; ++chain) {
            ScanPattern pattern;
            const std::size_t lowest = chain == kAfter ? ib : 0;
            const std::size_t highest = chain == kBefore ? ie : size;
            if (!ChooseAnchor(widest.value.data(), widest.mask.data(), lowest, highest, ib, ie,
                              &pattern.anchorAt))
                continue;
            for (const std::size_t context : kSignatureContexts) {
                const ScanPattern::Window w{chain == kAfter ? ib : ib - std::min(ib, context),
                                            chain == kBefore ? ie
                                                             : ie + std::min(size - ie, context)};
                if (w.begin > pattern.anchorAt || w.end < pattern.anchorAt + 4 ||
                    w.end - w.begin > kMaxSignatureBytes)
                    continue; // the count would miss places without the anchor, or too long
                if (!pattern.windows.empty() && pattern.windows.back().begin == w.begin &&
                    pattern.windows.back().end == w.end)
                    continue; // clipped at the file's ends
                pattern.windows.push_back(w);
            }
            if (pattern.windows.empty())
                continue;
            pattern.value = widest.value;
            pattern.mask = widest.mask;
            candidates.push_back({n, static_cast<Chain>(chain), ib});
            patterns.push_back(std::move(pattern));
        }
    }
    std::vector<std::vector<WindowCount>> counts;
    if (!count(patterns, &counts))
        return false;
    std::size_t changed = 0;
    for (std::size_t i = 0; i < candidates.size();) {
        // The shortest unique window over the item's chains.
        const std::size_t n = candidates[i].item;
        std::size_t bestPattern = 0, bestWindow = 0, bestLength = 0;
        bool found = false;
        for (; i < candidates.size() && candidates[i].item == n; ++i) {
            const ScanPattern& pattern = patterns[i];
            for (std::size_t k = 0; k < pattern.windows.size(); ++k) {
                const std::size_t length = pattern.windows[k].end - pattern.windows[k].begin;
                if (counts[i][k].count == 1 && (!found || length < bestLength)) {
                    found = true;
                    bestPattern = i;
                    bestWindow = k;
                    bestLength = length;
                }
            }
        }
        if (!found)
            continue; // marked below
        wanted[n] = false;
        const ScanPattern& pattern = patterns[bestPattern];
        const ScanPattern::Window w = pattern.windows[bestWindow];
        MaskedPattern signature;
        signature.value.assign(pattern.value.begin() + w.begin, pattern.value.begin() + w.end);
        signature.mask.assign(pattern.mask.begin() + w.begin, pattern.mask.begin() + w.end);
        PatchItem& item = items[n];
        item.signature = signature.Text();
        item.signatureAt =
            static_cast<std::uint32_t>(candidates[bestPattern].itemInPattern - w.begin);
        ++changed;
    }
    for (std::size_t n = 0; fileTag != 0 && n < items.size(); ++n) {
        if (!wanted[n])
            continue; // it got a signature, or already carries the mark
        items[n].signature.clear();
        items[n].signatureAt = NoWindowMark(fileTag, items[n]);
        ++changed;
    }
    *made = changed;
    return true;
}

} // namespace

std::size_t UpdateSignatures(std::span<const std::uint8_t> backup, PatchList& items,
                             std::uint64_t fileTag) {
    std::size_t changed = 0;
    MakeSignatures(
        backup, items, fileTag,
        [&](std::span<const ScanPattern> patterns, std::vector<std::vector<WindowCount>>* counts) {
            // Only "once" matters: a window seen twice is never taken.
            *counts = CountPatterns(backup, patterns, 2);
            return true;
        },
        &changed);
    return changed;
}

bool UpdateSignaturesFromFile(const std::string& backupPath, PatchList& items,
                              std::size_t* changed) {
    if (changed)
        *changed = 0;
    FileInfo info;
    const UniqueFd fd(OpenRegularForReading(backupPath.c_str(), &info));
    if (!fd.valid())
        return false;
    const auto size = info.size;
    const std::uint64_t tag = BackupFileTag(info);
    // Most saves change nothing here: the items' places are read first and
    // the whole file only when some item needs a new signature.
    bool needed = false;
    std::vector<std::uint8_t> bytes;
    for (const PatchItem& item : items) {
        const std::vector<std::uint8_t> old = DecodeOldBytes(item);
        if (old.empty() || item.offset > size || old.size() > size - item.offset)
            continue;
        MaskedPattern pattern;
        const bool has = DecodeSignature(item, old.size(), &pattern) &&
                         item.signatureAt <= item.offset &&
                         pattern.size() <= size - (item.offset - item.signatureAt);
        const std::uint64_t from = has ? item.offset - item.signatureAt : item.offset;
        bytes.resize(has ? pattern.size() : old.size());
        if (!ReadAllAt(fd.get(), from, bytes.data(), bytes.size()))
            return false;
        const std::size_t oldAt = has ? item.signatureAt : 0;
        if (std::memcmp(bytes.data() + oldAt, old.data(), old.size()) != 0)
            continue; // not at its place: a signature is made from the backup only
        if (!has && MarkedNoWindow(item, tag))
            continue; // no unique window in this backup
        if (!has || !pattern.MatchesAt(bytes.data())) {
            needed = true;
            break;
        }
    }
    if (!needed)
        return true;
    // The items' windows and the program headers are looked at through a
    // view (only those pages are read); the counting pass reads blocks, so
    // memory does not grow with the backup.
    FileView view;
    if (!view.Open(backupPath))
        return false;
    AdviseSequential(fd.get());
    const ScanReader read = ReadFromFd(fd.get());
    std::size_t done = 0;
    const bool ok = MakeSignatures(
        view.bytes(), items, tag,
        [&](std::span<const ScanPattern> patterns, std::vector<std::vector<WindowCount>>* counts) {
            return view.bytes().size() == size &&
                   CountPatternsInBlocks(size, read, patterns, 2, counts);
        },
        &done);
    if (changed)
        *changed = done;
    return ok;
}

std::uint64_t SignatureStateTag(const std::string& backupPath, std::span<const PatchItem> items) {
    FileStamp stamp;
    if (!StampFile(backupPath, &stamp))
        return 0;
    FieldTag tag;
    tag.Add(stamp.Text());
    for (const PatchItem& item : items) {
        tag.Add(item.offset);
        tag.Add(item.oldHex);
        tag.Add(item.signature);
        tag.Add(item.signatureAt);
    }
    return tag.value() | 1;
}
