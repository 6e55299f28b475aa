// The differences a dry run shows between the target and what a rebuild would write.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// One run of bytes that differ between two files.
struct ChangedRange {
    std::uint32_t offset = 0;
    std::uint32_t length = 0;
};

struct FileChanges {
    std::vector<ChangedRange> ranges; // ascending, at most the limit given
    std::uint64_t moreRanges = 0;     // ranges beyond the limit
    std::uint64_t changedBytes = 0;   // differing bytes of the common length
};

// The runs of differing bytes over the length the two have in common.
FileChanges FindChanges(const std::uint8_t* before, std::uint32_t beforeLength,
                        const std::uint8_t* after, std::uint32_t afterLength, std::size_t limit);
