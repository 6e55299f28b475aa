#include "cli/CliPreview.h"

#include "engine/HexText.h"

#include <algorithm>
#include <cstring>

namespace {

// Room for the old and the new data of one item, as in the rebuild.
constexpr std::uint32_t kDataCapacity = 4096;

} // namespace

RebuildPreview PreviewRebuild(const std::string& backupPath, std::span<const PatchItem> items) {
    RebuildPreview preview;
    auto file = std::make_unique<FileBuffer>();
    if (!file->Load(backupPath.c_str()) || file->length == 0) {
        preview.status = RebuildOutcome::Status::BackupUnreadable;
        return preview;
    }
    std::uint8_t oldBytes[kDataCapacity];
    std::uint8_t newBytes[kDataCapacity];
    for (std::size_t row = 0; row < items.size(); ++row) {
        const PatchItem& item = items[row];
        if (item.enabled == 0)
            continue;
        const std::uint32_t oldLength = ParseHexText(item.oldHex.c_str(), oldBytes, kDataCapacity);
        const std::uint32_t newLength = ParseHexText(item.newHex.c_str(), newBytes, kDataCapacity);
        const std::uint64_t end =
            std::uint64_t(item.offset) + std::uint64_t(std::max(oldLength, newLength));
        if (end > file->length) {
            preview.status = RebuildOutcome::Status::OutOfRange;
            preview.failedRow = row;
            return preview;
        }
        std::uint8_t* at = file->data + item.offset;
        if (oldLength != 0 && std::memcmp(at, oldBytes, oldLength) != 0) {
            preview.status = RebuildOutcome::Status::OldDataMismatch;
            preview.failedRow = row;
            return preview;
        }
        if (newLength != 0)
            std::memcpy(at, newBytes, newLength);
    }
    preview.bytes = std::move(file);
    return preview;
}

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
