// One patch entry: where, what it is, the bytes expected there and the bytes
// to put there (both as hex data text exactly as typed), and whether it is
// applied.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct PatchItem {
    std::uint32_t offset = 0;
    std::string description;
    std::string oldHex;
    std::string newHex;
    std::int32_t enabled = 0; // nonzero: applied on rebuild

    bool operator==(const PatchItem&) const = default;
};

// The patch list: position n is row n of the list view and item n of the
// settings file.
using PatchList = std::vector<PatchItem>;
