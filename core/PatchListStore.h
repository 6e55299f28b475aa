// Moving the patch list and the target path between memory and the settings
// store, the list's order, and the window caption made from the target path.
// Free functions so that they work without a window.
#pragma once

#include "engine/PatchItem.h"

#include <cstddef>
#include <cstdint>
#include <string>

class CAppSetting;

// The settings branch that holds the list, and the key of the target path.
inline constexpr const char* kPatchListSection = "PathList";
inline constexpr const char* kTargetPathKey = "FileName";
// Per-item keys of the signature (wildcard hex text) and the item's place in
// it; written only for items that have one.
inline constexpr const char* kSignatureKey = "Signature";
inline constexpr const char* kSignatureAtKey = "SignatureAt";

// A stored count above this many items cannot sensibly be held in memory; the
// load then takes only the item numbers actually stored (at most this many).
inline constexpr std::int32_t kMaxLoadedItems = 1000000;

// "PathList\<n, at least four digits>\<name>".
std::string PatchItemKey(std::size_t n, const char* name);

// Stable sort by offset, compared as unsigned 32-bit values.
void SortPatchList(PatchList& list);

// The target path stored under "FileName", or empty when there is none or it
// is longer than kPathCapacity - 1 bytes (a path is never used cut short).
std::string ReadTargetPath(CAppSetting& store);
// What the stored list says about itself. The count is the last line of a
// saved file (it sorts after the items), so a file cut short has item keys
// and no count, and a hand-edited or damaged one may count other items than
// it holds.
struct StoredListCheck {
    bool hasCount = false;     // PathList\Count holds a value
    std::uint32_t count = 0;   // that value
    std::size_t itemsHeld = 0; // item numbers with at least one of the five keys
    std::size_t highest = 0;   // one past the highest such number
    // Item keys without a count, or a count other than the items held.
    bool Damaged() const {
        return hasCount ? (count != itemsHeld || highest != itemsHeld) : itemsHeld != 0;
    }
};

// Replaces list with the stored items (count under "PathList\Count", missing
// fields take their defaults) in stored order; no sorting. Without a count
// (a file cut short) every item number found is loaded, up to
// kMaxLoadedItems. *check, when given, tells what was found.
void ReadPatchItems(CAppSetting& store, PatchList& list, StoredListCheck* check = nullptr);
// A FieldTag of everything the store keeps of each item (its fields,
// signature and place in it), in list order.
std::uint64_t StoredListTag(const PatchList& list);
// Replaces the stored list and target path in the store (in memory only).
void StorePatchList(CAppSetting& store, const PatchList& list, const std::string& targetPath);
// StorePatchList, then saves the file: the store's Save result (the number of
// lines written; 0 when the file could not be written).
int WritePatchList(CAppSetting& store, const PatchList& list, const std::string& targetPath);

// "Bytemender" for an empty path, else "Bytemender - <file name>".
std::string MakeWindowTitle(const std::string& targetPath);
