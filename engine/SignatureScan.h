// Counting where many wildcard patterns occur in one pass over a file: each
// pattern is anchored on four fixed bytes, the positions of the file are
// looked up in a filter of all anchors at once, and only hits are compared
// under the mask. Where every pattern has a longer run of fixed bytes around
// its anchor, only every n'th position is looked at, each pattern anchored
// at n neighbouring places of its run. Used to make item signatures and to relocate items.
// A file is read in blocks that overlap by the longest pattern, so memory
// stays at one block and the patterns whatever the file's size.
// Rules: occurrences are counted at every start position (overlapping ones
// too, as each one is a place the pattern could mean); a pattern whose anchor
// is not four fixed bytes of it is never counted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
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

// Reads bytes [offset, offset + size) of the file counted into out; false
// when they cannot be read.
using ScanReader = std::function<bool(std::uint64_t offset, std::uint8_t* out, std::size_t size)>;
// A reader of the open file fd (pread: it leaves the file position alone).
ScanReader ReadFromFd(int fd);
// Start positions counted per read; each read adds the longest pattern's
// bytes on both sides.
inline constexpr std::size_t kScanBlockBytes = std::size_t(1) << 20;

// The counts of CountPatterns for a file of fileSize bytes read through read,
// blockBytes start positions at a time. False when a read fails (counts is
// then left as it was).
bool CountPatternsInBlocks(std::uint64_t fileSize, const ScanReader& read,
                           std::span<const ScanPattern> patterns, std::uint32_t enough,
                           std::vector<std::vector<WindowCount>>* counts,
                           std::size_t blockBytes = kScanBlockBytes);

// The best place for an anchor in mask[begin, end): four fixed bytes with the
// fewest outside [nearBegin, nearEnd) and, among those, least common in files.
// False when there are no four fixed bytes in a row.
bool ChooseAnchor(const std::uint8_t* value, const std::uint8_t* mask, std::size_t begin,
                  std::size_t end, std::size_t nearBegin, std::size_t nearEnd, std::size_t* at);
