// Finding every occurrence of a byte run in the backup copy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Leftmost, non-overlapping matches in ascending order, appended to matches.
void FindInBuffer(const std::uint8_t* data, std::size_t size, const std::uint8_t* pattern,
                  std::size_t length, std::vector<std::uint32_t>* matches);

// How a scan went: whether candidates kept failing so often that it finished
// with the worst-case linear search.
struct FindStats {
    bool usedLinearSearch = false;
};
// Same as above; stats (if given) receives how the scan went.
void FindInBuffer(const std::uint8_t* data, std::size_t size, const std::uint8_t* pattern,
                  std::size_t length, std::vector<std::uint32_t>* matches, FindStats* stats);

// Empties matches, reads the file block by block and appends every match.
// Returns 1 when the file was read (also when nothing matched), 0 when
// reading failed.
int FindAllOccurrences(std::vector<std::uint32_t>* matches, const char* path,
                       const std::uint8_t* pattern, std::uint32_t length);

// The offset box text for a search outcome: "文件读取失败", "没找到", one
// "%08x" offset, or "多个: " and up to ten "%08x, " entries, then "...".
// Only the first matches count: the caller may list a few and stop.
std::string FormatSearchResult(bool fileRead, const std::vector<std::uint64_t>& matches);
// How many leading matches FormatSearchResult shows at most (the text stops
// at 100 characters and adds "...").
inline constexpr std::size_t kSearchResultMatches = 16;

// The whole search of the item editor: decodes at most the first 4095 bytes of
// oldDataText (capacity 2048), scans the backup and composes the result text.
std::string SearchBackupForHexText(const std::string& backupPath, const std::string& oldDataText);
