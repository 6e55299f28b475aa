// Searching a whole file for a pattern block by block.
//
// Rules:
// - Memory stays bounded whatever the file's size and however many matches
//   it holds: one block and its matches at a time, and a listing that stops
//   at the caller's limit while the count goes on.
// - The matches are those FindMaskedInBuffer finds in the whole file:
//   leftmost first, never overlapping. Blocks overlap by the pattern's length
//   less one, so a match across a block boundary is found once.
#pragma once

#include "engine/PatternSearch.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct FileMatches {
    std::vector<std::uint64_t> listed; // the first matches, ascending, at most the limit
    std::uint64_t count = 0;           // every match, listed or not
};

// Fills *found with the matches of pattern in the regular file at path (a
// pattern with no fixed bit finds nothing). False when the file cannot be
// read to its end; *found is then empty.
bool SearchFile(const std::string& path, const MaskedPattern& pattern, std::size_t maxListed,
                FileMatches* found);

// The whole pattern as fixed bytes (the exact search's pattern).
MaskedPattern ExactPattern(const std::uint8_t* bytes, std::size_t length);
