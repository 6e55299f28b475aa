// Searching with wildcards: a pattern of hex pairs where "??" stands for any
// byte and "?A" / "B?" for a byte of which only one nibble is fixed. Only the
// search reads wildcards; an item's data texts keep their exact meaning.
// Rules: the pattern is read like hex data text (pairs of adjacent
// characters, every other character separates, a lone one is dropped), with
// '?' counted as a digit; a text without '?' gives exactly the bytes that
// ParseHexText gives. Matches are leftmost first and never overlap, as with
// the exact search.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct MaskedPattern {
    std::vector<std::uint8_t> value; // the fixed bits (wildcard bits are 0)
    std::vector<std::uint8_t> mask;  // 0xFF fixed, 0xF0 / 0x0F one nibble, 0 any byte

    std::size_t size() const { return value.size(); }
    // True when at least one bit is fixed: a pattern of "??" only matches
    // everywhere and is refused by the searches.
    bool HasFixedBits() const;
    // True when a byte of at is matched: (at[i] & mask[i]) == value[i] for all i.
    bool MatchesAt(const std::uint8_t* at) const;
    // Spaced upper-case pairs, "??" and "?A" / "B?" for the wildcards.
    std::string Text() const;
};

// Decodes text into at most capacity pattern bytes (the caller's limit).
MaskedPattern ParseSearchPattern(const char* text, std::size_t capacity);

// Leftmost, non-overlapping matches of pattern in data, ascending, appended
// to matches. A pattern with no fixed bit, or longer than the data, finds
// nothing. A pattern with fully fixed bytes is anchored on its rarest run of
// them, found with the exact scanner (FindInBuffer); the mask is checked at
// each hit. Patterns with only nibbles fixed are scanned byte by byte.
void FindMaskedInBuffer(const std::uint8_t* data, std::size_t size, const MaskedPattern& pattern,
                        std::vector<std::uint32_t>* matches);

// The item editor's search with wildcards: decodes at most the first 4095
// bytes of text (at most 2048 pattern bytes), scans the backup and composes
// the offset box text (FormatSearchResult). A pattern without a fixed bit
// gives "搜索数据至少要有一个确定的字节". An empty text when the thread's
// Progress (engine/Progress.h) was cancelled: the box is to stay as it is.
std::string SearchBackupForPattern(const std::string& backupPath, const std::string& text);
