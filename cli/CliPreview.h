// The differences a dry run shows between the target and what a rebuild would
// write, found block by block so that memory does not grow with the files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// One run of bytes that differ between two files, with its first bytes in each.
struct ChangedRange {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    std::vector<std::uint8_t> before, after; // at most the shown bytes given
};

struct FileChanges {
    std::vector<ChangedRange> ranges; // ascending, at most the limit given
    std::uint64_t moreRanges = 0;     // ranges beyond the limit
    std::uint64_t changedBytes = 0;   // differing bytes of the length fed
};

// The runs of differing bytes of two files fed to it side by side, block
// after block; a run that goes on across blocks is one run.
class ChangeFinder {
  public:
    ChangeFinder(std::size_t limit, std::size_t shownBytes) : limit_(limit), shown_(shownBytes) {}
    // The next count bytes of both files, following those fed before.
    void Feed(const std::uint8_t* before, const std::uint8_t* after, std::size_t count);
    const FileChanges& changes() const { return changes_; }

  private:
    FileChanges changes_;
    std::size_t limit_;
    std::size_t shown_;
    std::uint64_t fed_ = 0; // bytes fed so far
    bool inRun_ = false;    // the last byte fed differed
    bool listed_ = false;   // ... and its run is in ranges
};
