// What the backup and the target on disk hold at each item's place, so that a
// user can see whether the list on screen is what the target carries.
#pragma once

#include "app/PatchItem.h"

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
    // bytes (only enabled items are marked; the later one wins on rebuild).
    bool overlapping = false;
    // Enabled but not applied, or disabled but applied: the target disagrees
    // with the list.
    bool attention = false;
    // What was found over the item's range, as spaced upper-case hex pairs
    // ("74 05"); at most kShownBytes bytes, then "...". Empty when unread.
    std::string targetHex;
    std::string backupHex;
};

inline constexpr std::size_t kShownBytes = 64;

// One status per item, in list order. Reads only the bytes each item needs
// (never whole files); a missing or unreadable file gives Unknown for what
// depends on it. Items are decoded as the rebuild decodes them.
std::vector<ItemStatus> ComputeItemStates(const std::string& backupPath,
                                          const std::string& targetPath,
                                          std::span<const PatchItem> items);

// Stable lower-case names for scripts: "applied", "original", "differs",
// "out-of-range", "backup-mismatch", "unknown".
const char* ItemStateName(ItemState state);
