// Block-by-block search of a file.
#include "engine/FileSearch.h"

#include "engine/Progress.h"
#include "winutil/FdIo.h"
#include "winutil/UniqueFd.h"

#include <algorithm>

namespace {

// Start positions looked at per read; with the pattern's length less one
// more bytes. A block holds at most this many matches (4 bytes each).
constexpr std::uint64_t kSearchBlock = std::uint64_t(1) << 20;

} // namespace

bool SearchFile(const std::string& path, const MaskedPattern& pattern, std::size_t maxListed,
                FileMatches* found) {
    *found = FileMatches{};
    FileInfo info;
    const UniqueFd fd(OpenRegularForReading(path.c_str(), &info));
    if (fd.get() < 0)
        return false;
    const std::size_t length = pattern.size();
    if (length == 0 || !pattern.HasFixedBits() || length > info.size)
        return true;
    AdviseSequential(fd.get());
    StepAddTotal(info.size);
    const std::uint64_t lastStart = info.size - length;
    std::vector<std::uint8_t> block(static_cast<std::size_t>(
        std::min<std::uint64_t>(kSearchBlock, lastStart + 1) + length - 1));
    std::vector<std::uint32_t> hits;
    // from: the first start position neither looked at yet nor inside a match.
    for (std::uint64_t from = 0; from <= lastStart;) {
        const std::uint64_t end = std::min(lastStart + 1, from + kSearchBlock);
        const auto bytes = static_cast<std::size_t>(end - from + length - 1);
        // A search writes nothing: it may stop between any two blocks.
        if (StepCancelled()) {
            *found = FileMatches{};
            return false;
        }
        if (!ReadAllAt(fd.get(), from, block.data(), bytes)) {
            *found = FileMatches{};
            return false;
        }
        hits.clear();
        FindMaskedInBuffer(block.data(), bytes, pattern, &hits);
        std::uint64_t next = end;
        for (const std::uint32_t hit : hits) {
            if (found->listed.size() < maxListed)
                found->listed.push_back(from + hit);
            next = std::max(next, from + hit + length);
        }
        found->count += hits.size();
        StepAdvance(next - from);
        from = next;
    }
    return true;
}

MaskedPattern ExactPattern(const std::uint8_t* bytes, std::size_t length) {
    MaskedPattern pattern;
    pattern.value.assign(bytes, bytes + length);
    pattern.mask.assign(length, 0xFF);
    return pattern;
}
