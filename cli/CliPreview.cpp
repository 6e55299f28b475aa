#include "cli/CliPreview.h"

#include <algorithm>
#include <cstring>

FileChanges FindChanges(const std::uint8_t* before, std::uint32_t beforeLength,
                        const std::uint8_t* after, std::uint32_t afterLength, std::size_t limit) {
    FileChanges changes;
    const std::uint32_t common = std::min(beforeLength, afterLength);
    constexpr std::uint32_t kBlock = 4096;
    std::uint32_t at = 0;
    while (at < common) {
        // Equal blocks are passed over with one comparison each.
        const std::uint32_t block = std::min(kBlock, common - at);
        if (std::memcmp(before + at, after + at, block) == 0) {
            at += block;
            continue;
        }
        while (at < common && before[at] == after[at])
            ++at;
        const std::uint32_t start = at;
        while (at < common && before[at] != after[at])
            ++at;
        changes.changedBytes += at - start;
        if (changes.ranges.size() < limit)
            changes.ranges.push_back(ChangedRange{start, at - start});
        else
            ++changes.moreRanges;
    }
    return changes;
}
