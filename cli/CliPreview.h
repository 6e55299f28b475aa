// The rebuild worked through in memory, without writing: for --dry-run and to
// name the item that stopped a rebuild.
#pragma once

#include "app/PatchItem.h"
#include "engine/Rebuild.h"
#include "winutil/FileUtil.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

struct RebuildPreview {
    RebuildOutcome::Status status = RebuildOutcome::Status::Ok;
    std::size_t failedRow = 0; // 0-based list position of the failing item
    // The backup's bytes with the items applied, when status is Ok.
    std::unique_ptr<FileBuffer> bytes;
};

// Applies the items to the backup's bytes exactly as the rebuild does (the
// same decoding, checks and order). Only BackupUnreadable, OutOfRange and
// OldDataMismatch can come back.
RebuildPreview PreviewRebuild(const std::string& backupPath, std::span<const PatchItem> items);

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
