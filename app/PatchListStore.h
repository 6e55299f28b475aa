// Moving the patch list and the target path between memory and the settings
// store, the list's order, and the window caption made from the target path.
// Free functions so that they work without a window.
#pragma once

#include "app/PatchItem.h"

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
// Replaces list with the stored items (count under "PathList\Count", missing
// fields take their defaults) in stored order; no sorting.
void ReadPatchItems(CAppSetting& store, PatchList& list);
// Replaces the stored list and target path in the store (in memory only).
void StorePatchList(CAppSetting& store, const PatchList& list, const std::string& targetPath);
// StorePatchList, then saves the file: the store's Save result (the number of
// lines written; 0 when the file could not be written).
int WritePatchList(CAppSetting& store, const PatchList& list, const std::string& targetPath);

// "Bytemender" for an empty path, else "Bytemender - <file name>".
std::string MakeWindowTitle(const std::string& targetPath);
