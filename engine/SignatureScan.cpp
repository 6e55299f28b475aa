// One pass over a file for many anchored wildcard patterns.
#include "engine/SignatureScan.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace {

constexpr unsigned kFilterBits = 20; // a 128 KiB bit filter over the anchors: it stays in cache

// Two bits per anchor (a Bloom filter): a random position passes both only
// about once in a thousand times with 30,000 anchors, so the exact lookup
// behind it costs little.
std::uint32_t FilterSlot(std::uint32_t word) {
    return (word * 0x9E3779B1u) >> (32 - kFilterBits);
}
std::uint32_t SecondSlot(std::uint32_t word) {
    return ((word ^ (word >> 15)) * 0x85EBCA6Bu) >> (32 - kFilterBits);
}

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

std::vector<std::vector<WindowCount>> CountPatterns(std::span<const std::uint8_t> data,
                                                    std::span<const ScanPattern> patterns) {
    std::vector<std::vector<WindowCount>> counts(patterns.size());
    // The patterns by anchor, and a bit filter that rules out almost every
    // position with one load and one multiplication.
    std::unordered_map<std::uint32_t, std::vector<std::uint32_t>> byAnchor;
    std::vector<std::uint64_t> filter((std::size_t(1) << kFilterBits) / 64);
    for (std::size_t i = 0; i < patterns.size(); ++i) {
        const ScanPattern& p = patterns[i];
        counts[i].resize(p.windows.size());
        if (p.windows.empty() || p.anchorAt + 4 > p.value.size() ||
            (p.mask[p.anchorAt] & p.mask[p.anchorAt + 1] & p.mask[p.anchorAt + 2] &
             p.mask[p.anchorAt + 3]) != 0xFF)
            continue;
        const std::uint32_t anchor = Load32(p.value.data() + p.anchorAt);
        byAnchor[anchor].push_back(static_cast<std::uint32_t>(i));
        for (const std::uint32_t slot : {FilterSlot(anchor), SecondSlot(anchor)})
            filter[slot / 64] |= std::uint64_t(1) << (slot % 64);
    }
    if (byAnchor.empty() || data.size() < 4)
        return counts;
    const std::uint8_t* file = data.data();
    const std::size_t size = data.size();
    for (std::size_t pos = 0; pos + 4 <= size; ++pos) {
        const std::uint32_t word = Load32(file + pos);
        const std::uint32_t slot = FilterSlot(word);
        if (!(filter[slot / 64] >> (slot % 64) & 1))
            continue;
        const std::uint32_t second = SecondSlot(word);
        if (!(filter[second / 64] >> (second % 64) & 1))
            continue;
        const auto hit = byAnchor.find(word);
        if (hit == byAnchor.end())
            continue;
        for (const std::uint32_t i : hit->second) {
            const ScanPattern& p = patterns[i];
            // Where value[0] would lie; it may be before the file's start
            // when the smaller windows do not reach back that far.
            const auto start =
                static_cast<std::ptrdiff_t>(pos) - static_cast<std::ptrdiff_t>(p.anchorAt);
            // Each window holds the one before it: only the new bytes are compared.
            std::size_t from = 0, to = 0;
            for (std::size_t k = 0; k < p.windows.size(); ++k) {
                const ScanPattern::Window w = p.windows[k];
                const std::ptrdiff_t first = start + static_cast<std::ptrdiff_t>(w.begin);
                if (first < 0 || static_cast<std::size_t>(first) + (w.end - w.begin) > size)
                    break;
                const bool equal = k == 0 ? WindowMatches(file, start, p, w.begin, w.end)
                                          : WindowMatches(file, start, p, w.begin, from) &&
                                                WindowMatches(file, start, p, to, w.end);
                if (!equal)
                    break;
                from = w.begin;
                to = w.end;
                WindowCount& c = counts[i][k];
                if (c.count++ == 0)
                    c.firstAt = static_cast<std::size_t>(first);
            }
        }
    }
    return counts;
}
