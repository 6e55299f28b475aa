// Counting where many wildcard patterns occur in one pass over a file: each
// pattern is anchored on four fixed bytes, the positions of the file are
// looked up in a filter of all anchors at once, and only hits are compared
// under the mask. Where every pattern has a longer run of fixed bytes around
// its anchor, only every n'th position is looked at, each pattern anchored
// at n neighbouring places of its run. Used to make item signatures and to relocate items.
// Rules: occurrences are counted at every start position (overlapping ones
// too, as each one is a place the pattern could mean); a pattern whose anchor
// is not four fixed bytes of it is never counted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

struct ScanPattern {
    std::vector<std::uint8_t> value; // the fixed bits
    std::vector<std::uint8_t> mask;  // 0xFF fixed ... 0 any byte
    std::size_t anchorAt = 0;        // four fully fixed bytes start here
    // Nested windows [begin, end) of the pattern, each holding the one before
    // it and the anchor; each is counted on its own. One window for a plain
    // pattern: {0, size}.
    struct Window {
        std::size_t begin = 0;
        std::size_t end = 0;
    };
    std::vector<Window> windows;
};

struct WindowCount {
    std::uint32_t count = 0;
    std::size_t firstAt = 0; // file offset of the first occurrence's window start
};

// counts[i][k]: how often window k of patterns[i] occurs in data. A pattern
// whose largest window occurs `enough` times is no longer looked at: a count
// of enough or more then says "at least enough" (and firstAt is some
// occurrence); counts below it are exact. That keeps data of repeated blocks
// from costing a comparison per repetition.
std::vector<std::vector<WindowCount>> CountPatterns(std::span<const std::uint8_t> data,
                                                    std::span<const ScanPattern> patterns,
                                                    std::uint32_t enough = 0xFFFFFFFFu);

// The best place for an anchor in mask[begin, end): four fixed bytes with the
// fewest outside [nearBegin, nearEnd) and, among those, least common in files.
// False when there are no four fixed bytes in a row.
bool ChooseAnchor(const std::uint8_t* value, const std::uint8_t* mask, std::size_t begin,
                  std::size_t end, std::size_t nearBegin, std::size_t nearEnd, std::size_t* at);
