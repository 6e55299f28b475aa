// What the backup and the target on disk hold at each item's place, so that a
// user can see whether the list on screen is what the target carries.
#pragma once

#include "engine/PatchItem.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

enum class ItemState : std::uint8_t {
    Applied,        // the target holds the new bytes
    Original,       // the target holds the old bytes
    Differs,        // the target holds neither
    OutOfRange,     // the item reaches past the end of the backup or the target
    BackupMismatch, // the backup does not hold the old bytes: a rebuild would fail
    Unknown,        // no target or backup to look at (none chosen, missing, unreadable)
};

struct ItemStatus {
    ItemState state = ItemState::Unknown;
    // An earlier enabled item in list order writes at least one of the same
    // bytes. Only the later item of such a pair is marked (only enabled items
    // are); it wins on rebuild. A warning: the rebuild allows it.
    bool overlapping = false;
    // Enabled but not applied (also out of range or backup mismatch), or
    // disabled but applied: the target disagrees with the list. Never set for
    // Unknown, which says nothing about the target.
    bool attention = false;
    // What the file holds over the item's range, as spaced upper-case hex
    // pairs ("74 05"): at most kShownBytes bytes, then " ..."; cut at the
    // file's end. Empty when the file was not read or the range is empty or
    // starts past the end.
    std::string targetHex;
    std::string backupHex;
    // BackupMismatch only: the backup does hold the old bytes, but an earlier
    // enabled item writes over some of them first, so the rebuild finds
    // others there.
    bool oldOverwritten = false;
};

inline constexpr std::size_t kShownBytes = 64;

// Which of the files' bytes ComputeItemStates puts into targetHex and
// backupHex: a caller that never shows them saves an allocation per item.
enum class FoundBytes { Both, TargetOnly, None };

// One status per item, in list order. Reads only the bytes the items need
// (never the whole files: neighbouring items share one read, so the cost
// follows the items, not the files' sizes); a missing, unreadable or
// non-regular file (a FIFO is never waited on) gives Unknown for what depends
// on it, and so does an empty backup, which the rebuild refuses. Items are
// decoded and judged as the rebuild sees them, in list order: an item's old
// bytes are looked for in the backup with the new bytes of the enabled items
// before it written over it, and an enabled item counts as applied when the
// target holds its new bytes as later enabled items leave them. A disabled
// item's old bytes are checked too, as the rebuild would check them if it
// were enabled. The full rules are at the definition. The hex fields not
// asked for by shown stay empty; the states do not depend on it.
std::vector<ItemStatus> ComputeItemStates(const std::string& backupPath,
                                          const std::string& targetPath,
                                          std::span<const PatchItem> items,
                                          FoundBytes shown = FoundBytes::Both);

// Stable lower-case names for scripts: "applied", "original", "differs",
// "out-of-range", "backup-mismatch", "unknown".
const char* ItemStateName(ItemState state);
