#include "cli/CliPreview.h"

#include <algorithm>
#include <cstring>

void ChangeFinder::Feed(const std::uint8_t* before, const std::uint8_t* after, std::size_t count) {
    constexpr std::size_t kBlock = 4096;
    std::size_t at = 0;
    while (at < count) {
        // Equal blocks are passed over with one comparison each.
        const std::size_t block = std::min(kBlock, count - at);
        if (std::memcmp(before + at, after + at, block) == 0) {
            at += block;
            inRun_ = false;
            continue;
        }
        while (at < count && before[at] == after[at]) {
            ++at;
            inRun_ = false;
        }
        const std::size_t start = at;
        while (at < count && before[at] != after[at])
            ++at;
        if (start == at)
            continue;
        if (!inRun_) {
            listed_ = changes_.ranges.size() < limit_;
            if (listed_)
                changes_.ranges.push_back(ChangedRange{fed_ + start, 0, {}, {}});
            else
                ++changes_.moreRanges;
        }
        if (listed_) {
            ChangedRange& range = changes_.ranges.back();
            const std::size_t take = std::min(shown_ - range.before.size(), at - start);
            range.before.insert(range.before.end(), before + start, before + start + take);
            range.after.insert(range.after.end(), after + start, after + start + take);
            range.length += at - start;
        }
        changes_.changedBytes += at - start;
        inRun_ = at == count; // the run may go on in the next block
    }
    fed_ += count;
}
