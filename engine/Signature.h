// Item signatures: an item's old bytes with context from the backup, as
// wildcard search text, that occurs exactly once in the backup, so that the
// item can be found again in another version of the file.
// Rules: the window grows through kSignatureContexts bytes of context after
// the item, on both sides, and before it (clipped at the file's ends), at
// most 256 bytes on each side; the shortest window that occurs exactly once
// is taken, at equal length in that order; none: no signature. The item's own bytes stay fixed; the
// bytes CodeLayout names (addresses in code, relocated fields) become "??".
// A signature is made only where the backup holds the item's old bytes at its
// offset, and only when the item has none or its signature no longer fits
// there. All items are done in one pass over the file. An item with no unique
// window (a backup of repeated blocks) is marked instead: no signature and
// signatureAt set to NoWindowMark of the backup file and the item, so that it
// is tried again only once the backup, its offset or its old bytes change.
#pragma once

#include "engine/PatchItem.h"
#include "engine/PatternSearch.h"
#include "winutil/FdIo.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

// Bytes of context on each side, tried in this order.
inline constexpr std::size_t kSignatureContexts[] = {4, 8, 16, 32, 64, 128, 256};
// The longest signature in bytes: its text, spaced pairs, fits a settings
// line as an item's data text does. Longer windows are not tried, and an item
// longer than that gets no signature.
inline constexpr std::size_t kMaxSignatureBytes = (kMaxItemTextLength + 1) / 3;

// The item's old bytes as the rebuild reads them.
std::vector<std::uint8_t> DecodeOldBytes(const PatchItem& item);

// The item's signature decoded; false when it has none or it is malformed
// (no bytes, or the item's place does not lie inside it).
bool DecodeSignature(const PatchItem& item, std::size_t oldLength, MaskedPattern* out);

// True when the backup holds the item's old bytes at its offset and its
// signature around them.
bool SignatureFits(std::span<const std::uint8_t> backup, const PatchItem& item);

// A nonzero tag of the file info describes (which file, its size and last
// write): it changes whenever the backup is replaced or written.
std::uint64_t BackupFileTag(const FileInfo& info);
// The mark of an item with no unique window in the backup with fileTag:
// never 0, and another one when the item's offset or old bytes change.
std::uint32_t NoWindowMark(std::uint64_t fileTag, const PatchItem& item);
// True when the item carries that mark (fileTag 0: never).
bool MarkedNoWindow(const PatchItem& item, std::uint64_t fileTag);

// Makes the signatures the rules call for; returns how many items changed.
// With a fileTag, the items marked for it are passed over and those without
// a unique window are marked (and counted).
std::size_t UpdateSignatures(std::span<const std::uint8_t> backup, PatchList& items,
                             std::uint64_t fileTag = 0);

// The same for the backup file at path. Reads only the items' places unless
// some item needs a new signature. False when the file could not be read
// (nothing changes then); *changed (if given) receives the count.
bool UpdateSignaturesFromFile(const std::string& backupPath, PatchList& items,
                              std::size_t* changed = nullptr);

// A tag of what UpdateSignaturesFromFile looks at: the backup's stamp (which
// file, its size, its times of last write and change) and every item's
// offset, old bytes and signature, in list order. While the tag stays the
// same, the function finds what it found when the tag was taken. 0 when the
// backup has no stamp (missing, or not a regular file).
std::uint64_t SignatureStateTag(const std::string& backupPath, std::span<const PatchItem> items);
