// One pass over a file for many anchored wildcard patterns.
#include "engine/SignatureScan.h"

#include "winutil/FdIo.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <utility>

namespace {

// The anchors' bit filter: 32 bits per anchor, 64 KiB to 1 MiB (it stays
// in cache), three bits per anchor in one 64-bit word, so that a position
// that is no anchor costs one load and one multiplication and passes only
// about once in a thousand times.
constexpr unsigned kMinFilterBits = 19;
constexpr unsigned kMaxFilterBits = 23;
// At most this many positions are stepped over at once (see CountPatterns).
constexpr std::size_t kMaxStride = 8;

std::uint64_t FilterHash(std::uint32_t word) {
    return std::uint64_t(word) * 0x9E3779B97F4A7C15ull;
}
std::uint64_t FilterBits(std::uint64_t hash) {
    return (std::uint64_t(1) << (hash & 63)) | (std::uint64_t(1) << ((hash >> 6) & 63)) |
           (std::uint64_t(1) << ((hash >> 12) & 63));
}

// The patterns' anchors as an open-addressed table of distinct words, each
// with its run of entries.
struct AnchorEntry {
    std::uint32_t pattern;
    std::uint32_t anchorAt; // where this anchor lies in the pattern
};
class AnchorTable {
  public:
    AnchorTable() = default;
    explicit AnchorTable(std::vector<std::pair<std::uint32_t, AnchorEntry>> anchors) {
        std::sort(anchors.begin(), anchors.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        std::size_t slots = 16;
        while (slots < anchors.size() * 2)
            slots *= 2;
        mask_ = slots - 1;
        words_.assign(slots, 0);
        firsts_.assign(slots, kEmpty);
        ends_.assign(slots, 0);
        entries_.reserve(anchors.size());
        for (std::size_t i = 0; i < anchors.size();) {
            const std::uint32_t word = anchors[i].first;
            std::size_t slot = Slot(word);
            while (firsts_[slot] != kEmpty)
                slot = (slot + 1) & mask_;
            words_[slot] = word;
            firsts_[slot] = static_cast<std::uint32_t>(entries_.size());
            for (; i < anchors.size() && anchors[i].first == word; ++i)
                entries_.push_back(anchors[i].second);
            ends_[slot] = static_cast<std::uint32_t>(entries_.size());
        }
    }
    // The entries of word; empty when it is no anchor.
    std::span<const AnchorEntry> Find(std::uint32_t word) const {
        for (std::size_t slot = Slot(word); firsts_[slot] != kEmpty; slot = (slot + 1) & mask_) {
            if (words_[slot] != word)
                continue;
            return {entries_.data() + firsts_[slot], entries_.data() + ends_[slot]};
        }
        return {};
    }

  private:
    static constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;
    std::size_t Slot(std::uint32_t word) const {
        return static_cast<std::size_t>((std::uint64_t(word) * 0xD6E8FEB86659FD93ull) >> 32) &
               mask_;
    }
    std::size_t mask_ = 0;
    std::vector<std::uint32_t> words_;
    std::vector<std::uint32_t> firsts_;
    std::vector<std::uint32_t> ends_;
    std::vector<AnchorEntry> entries_;
};

std::uint32_t Load32(const std::uint8_t* at) {
    std::uint32_t word;
    std::memcpy(&word, at, 4);
    return word;
}

// Pattern bytes [from, to) against the file with value[0] at start (the
// bytes compared are inside the file).
bool WindowMatches(const std::uint8_t* file, std::ptrdiff_t start, const ScanPattern& pattern,
                   std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i)
        if ((file[start + static_cast<std::ptrdiff_t>(i)] & pattern.mask[i]) != pattern.value[i])
            return false;
    return true;
}

int Commonness(std::uint8_t byte) {
    return byte == 0x00 ? 3 : (byte == 0xFF || byte == 0xCC || byte == 0x90) ? 2 : 0;
}

} // namespace

bool ChooseAnchor(const std::uint8_t* value, const std::uint8_t* mask, std::size_t begin,
                  std::size_t end, std::size_t nearBegin, std::size_t nearEnd, std::size_t* at) {
    bool found = false;
    std::size_t bestDistance = 0;
    int bestCommonness = 0;
    for (std::size_t j = begin; j + 4 <= end; ++j) {
        if ((mask[j] & mask[j + 1] & mask[j + 2] & mask[j + 3]) != 0xFF)
            continue;
        // Anchor bytes outside the range: 0 inside it, so that the windows of
        // one item (which all hold it) share one anchor.
        const std::size_t distance =
            (j < nearBegin ? nearBegin - j : 0) + (j + 4 > nearEnd ? j + 4 - nearEnd : 0);
        const int commonness = Commonness(value[j]) + Commonness(value[j + 1]) +
                               Commonness(value[j + 2]) + Commonness(value[j + 3]);
        if (!found || distance < bestDistance ||
            (distance == bestDistance && commonness < bestCommonness)) {
            found = true;
            bestDistance = distance;
            bestCommonness = commonness;
            *at = j;
        }
    }
    return found;
}

namespace {

// The counting state of one scan: patterns, anchors and counts so far. The
// file is fed in ranges of start positions, each with its bytes around it.
class PatternCounter {
  public:
    PatternCounter(std::span<const ScanPattern> patterns, std::uint32_t enough)
        : patterns_(patterns), enough_(enough), counts_(patterns.size()) {
        // Each pattern's run of fixed bytes around its anchor inside its
        // first (smallest) window: with a run of 4 + stride - 1 bytes,
        // stride consecutive anchors lie in it, and looking at every
        // stride'th position of the file meets exactly one of them in each
        // occurrence. The stride is the one every pattern allows.
        struct Run {
            std::size_t low = 0, high = 0; // [low, high); high 0: never counted
        };
        std::vector<Run> runs(patterns.size());
        for (std::size_t i = 0; i < patterns.size(); ++i) {
            const ScanPattern& p = patterns[i];
            counts_[i].resize(p.windows.size());
            if (p.windows.empty() || p.anchorAt + 4 > p.value.size() ||
                (p.mask[p.anchorAt] & p.mask[p.anchorAt + 1] & p.mask[p.anchorAt + 2] &
                 p.mask[p.anchorAt + 3]) != 0xFF)
                continue;
            const ScanPattern::Window first = p.windows[0];
            Run run{p.anchorAt, p.anchorAt + 4};
            if (run.low >= first.begin && run.high <= first.end) {
                while (run.low > first.begin && p.mask[run.low - 1] == 0xFF)
                    --run.low;
                while (run.high < first.end && p.mask[run.high] == 0xFF)
                    ++run.high;
            }
            stride_ = std::min(stride_, run.high - run.low - 3);
            runs[i] = run;
            reach_ = std::max(reach_, p.value.size());
        }
        std::vector<std::pair<std::uint32_t, AnchorEntry>> anchors;
        for (std::size_t i = 0; i < patterns.size(); ++i) {
            if (runs[i].high == 0)
                continue;
            // stride anchors, as close to the chosen one as the run allows
            const std::size_t from = std::min(patterns[i].anchorAt, runs[i].high - 3 - stride_);
            for (std::size_t at = from; at < from + stride_; ++at)
                anchors.push_back(
                    {Load32(patterns[i].value.data() + at),
                     {static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(at)}});
        }
        if (anchors.empty())
            return;
        unsigned filterBits = kMinFilterBits;
        while (filterBits < kMaxFilterBits && (std::size_t(1) << filterBits) < anchors.size() * 32)
            ++filterBits;
        filterShift_ = 64 - (filterBits - 6);
        filter_.resize(std::size_t(1) << (filterBits - 6));
        for (const auto& anchor : anchors) {
            const std::uint64_t hash = FilterHash(anchor.first);
            filter_[hash >> filterShift_] |= FilterBits(hash);
        }
        table_ = AnchorTable(std::move(anchors));
    }

    // False when no pattern can be counted.
    bool Anything() const { return !filter_.empty(); }
    // Bytes an occurrence reaches on either side of the position looked at.
    std::size_t Reach() const { return reach_; }

    // Counts the occurrences met at the start positions [from, to) of a file
    // of fileSize bytes; bytes holds the file from bytesAt on and covers
    // [from, to) widened by Reach() on both sides (clipped to the file).
    void Count(const std::uint8_t* bytes, std::uint64_t bytesAt, std::uint64_t from,
               std::uint64_t to, std::uint64_t fileSize) {
        // The positions looked at are those of one pass over the whole file.
        const std::uint64_t firstPos = (from + stride_ - 1) / stride_ * stride_;
        for (std::uint64_t pos = firstPos; pos < to && pos + 4 <= fileSize; pos += stride_) {
            const std::uint32_t word = Load32(bytes + (pos - bytesAt));
            const std::uint64_t hash = FilterHash(word);
            const std::uint64_t bits = FilterBits(hash);
            if ((filter_[hash >> filterShift_] & bits) != bits)
                continue;
            for (const AnchorEntry entry : table_.Find(word))
                CountAt(bytes, bytesAt, pos, entry, fileSize);
        }
    }

    std::vector<std::vector<WindowCount>> Take() { return std::move(counts_); }

  private:
    void CountAt(const std::uint8_t* bytes, std::uint64_t bytesAt, std::uint64_t pos,
                 AnchorEntry entry, std::uint64_t fileSize) {
        const ScanPattern& p = patterns_[entry.pattern];
        if (counts_[entry.pattern].back().count >= enough_)
            return; // every window is known to occur often enough
        // Where value[0] would lie, in the file and in bytes; it may be
        // before the file's start when the smaller windows do not reach back
        // that far.
        const auto start =
            static_cast<std::int64_t>(pos) - static_cast<std::int64_t>(entry.anchorAt);
        const auto inBytes =
            static_cast<std::ptrdiff_t>(start - static_cast<std::int64_t>(bytesAt));
        // Each window holds the one before it: only the new bytes are compared.
        std::size_t from = 0, to = 0;
        for (std::size_t k = 0; k < p.windows.size(); ++k) {
            const ScanPattern::Window w = p.windows[k];
            const std::int64_t first = start + static_cast<std::int64_t>(w.begin);
            if (first < 0 || static_cast<std::uint64_t>(first) + (w.end - w.begin) > fileSize)
                break;
            const bool equal = k == 0 ? WindowMatches(bytes, inBytes, p, w.begin, w.end)
                                      : WindowMatches(bytes, inBytes, p, w.begin, from) &&
                                            WindowMatches(bytes, inBytes, p, to, w.end);
            if (!equal)
                break;
            from = w.begin;
            to = w.end;
            // With a stride, occurrences are not met in file order.
            WindowCount& c = counts_[entry.pattern][k];
            if (c.count++ == 0 || static_cast<std::uint64_t>(first) < c.firstAt)
                c.firstAt = static_cast<std::size_t>(first);
        }
    }

    std::span<const ScanPattern> patterns_;
    std::uint32_t enough_;
    std::vector<std::vector<WindowCount>> counts_;
    std::size_t stride_ = kMaxStride;
    std::size_t reach_ = 0;
    unsigned filterShift_ = 0;
    std::vector<std::uint64_t> filter_;
    AnchorTable table_;
};

} // namespace

std::vector<std::vector<WindowCount>> CountPatterns(std::span<const std::uint8_t> data,
                                                    std::span<const ScanPattern> patterns,
                                                    std::uint32_t enough) {
    PatternCounter counter(patterns, enough);
    if (counter.Anything())
        counter.Count(data.data(), 0, 0, data.size(), data.size());
    return counter.Take();
}

ScanReader ReadFromFd(int fd) {
    return [fd](std::uint64_t offset, std::uint8_t* out, std::size_t size) {
        return ReadAllAt(fd, offset, out, size);
    };
}

bool CountPatternsInBlocks(std::uint64_t fileSize, const ScanReader& read,
                           std::span<const ScanPattern> patterns, std::uint32_t enough,
                           std::vector<std::vector<WindowCount>>* counts, std::size_t blockBytes) {
    PatternCounter counter(patterns, enough);
    const std::size_t reach = counter.Reach();
    std::vector<std::uint8_t> block;
    for (std::uint64_t from = 0; counter.Anything() && from < fileSize;) {
        const std::uint64_t to = std::min<std::uint64_t>(fileSize, from + blockBytes);
        const std::uint64_t low = from - std::min<std::uint64_t>(from, reach);
        const std::uint64_t high = std::min<std::uint64_t>(fileSize, to + reach);
        block.resize(static_cast<std::size_t>(high - low));
        if (!read(low, block.data(), block.size()))
            return false;
        counter.Count(block.data(), low, from, to, fileSize);
        from = to;
    }
    *counts = counter.Take();
    return true;
}
