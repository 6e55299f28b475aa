// One patch entry: where, what it is, the bytes expected there and the bytes
// to put there (both as hex data text exactly as typed), and whether it is
// applied.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The most bytes one item's data holds: its hex text, two digits a byte,
// then fits one line of the settings file together
// with its key (a longer line would be cut when the file is read back).
inline constexpr std::uint32_t kMaxItemBytes = 4080;
// The longest old or new data text an item takes as typed; compact hex of
// kMaxItemBytes bytes fills it exactly. Import and diff write spaced pairs,
// so their items hold at most a third of it in bytes (kExchangeRunLength).
inline constexpr std::size_t kMaxItemTextLength = 2 * std::size_t(kMaxItemBytes);
// The longest description an item takes, in bytes.
inline constexpr std::size_t kMaxDescriptionLength = 4095;

struct PatchItem {
    std::uint32_t offset = 0;
    std::string description;
    std::string oldHex;
    std::string newHex;
    std::int32_t enabled = 0; // nonzero: applied on rebuild
    // The old bytes with context from the backup, as wildcard search text
    // ("48 8B 05 ?? ?? ?? ??"), and the byte position of the item inside it;
    // what relocation looks for after the file changed. Empty: none yet.
    std::string signature = {};
    std::uint32_t signatureAt = 0;

    // The same patch: the signature is derived from the backup and takes no
    // part.
    bool operator==(const PatchItem& other) const {
        return offset == other.offset && description == other.description &&
               oldHex == other.oldHex && newHex == other.newHex && enabled == other.enabled;
    }
};

// The patch list: position n is row n of the list view and item n of the
// settings file.
using PatchList = std::vector<PatchItem>;
