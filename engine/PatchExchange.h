// Patch lists traded with other tools: import from and export to the common
// patch file formats, and the items that turn one file into another.
//
// Every function reports by its result: true and the output filled, or false
// with *error naming the first problem (file, record or line, offset) in the
// user's language and the outputs left as they were. Items come out in offset
// order, enabled, with their data as upper-case hex pairs without separators
// ("EB05"), at most kExchangeRunLength bytes each, named "<file name> #<n>"
// counting from 1. Callers that answer each kind of refusal differently (the
// command line's exit status) may also ask for its ExchangeProblem.
#pragma once

#include "engine/PatchItem.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

enum class PatchFormat {
    Ips,        // "PATCH", records of 3-byte offsets, "EOF"
    Ips32,      // "IPS32", records of 4-byte offsets, "EEOF"
    IdaDif,     // IDA difference file: "OFFSET: OLD NEW" per byte
    X64dbg1337, // x64dbg patch file: ">module", "RVA:OLD->NEW" per byte
    HaxDiff,    // haxdiff/1.0 hunks "@@ OFFSET,-N,+M" with "- " and "+ " lines
};

// What kind of problem refused an import, an export or a diff.
enum class ExchangeProblem {
    None,
    File,     // a file could not be read or written
    BadInput, // the patch file breaks its format's rules or is of no known format, or the
              // request cannot be met (files of different lengths, an offset beyond the
              // format's reach, a .1337 import or export for a backup without a section
              // table, a patch file larger than kMaxPatchFileBytes)
    Mismatch, // the patch or the items do not fit the backup: outside it, other old
              // bytes, overlapping items, an address of no section of the backup
};

// The largest patch file an import reads; a larger one is refused unread.
inline constexpr std::uint64_t kMaxPatchFileBytes = std::uint64_t(64) << 20;

// The longest run one item made by import or diff holds; longer runs become
// several items. Such items store spaced pairs ("74 05"), three characters a
// byte, within an item's longest data text.
inline constexpr std::uint32_t kExchangeRunLength =
    static_cast<std::uint32_t>((kMaxItemTextLength + 1) / 3);

// Names for the command line: "ips", "ips32", "dif", "1337", "haxdiff".
const char* PatchFormatName(PatchFormat format);
// Accepts the names above in any case; false leaves *format as it was.
bool PatchFormatFromName(std::string_view name, PatchFormat* format);
// The usual file name extension: ".ips", ".ips", ".dif", ".1337", ".haxdiff".
const char* PatchFormatExtension(PatchFormat format);

// Recognises a patch file by its first bytes ("PATCH", "IPS32", "This
// difference file", "haxdiff" or "@@ ", ">"), else by the extension of its
// name.
bool DetectPatchFormat(std::span<const std::uint8_t> contents, std::string_view fileName,
                       PatchFormat* format);

// Items from the bytes of a patch file in the given format, checked against
// the backup copy: every change must lie inside it and every old byte the
// format carries must match it. Touching and overlapping changes become one
// run (where they overlap, the later one wins, as the format applies them).
// patchName names the items and the messages.
bool ImportPatchData(PatchFormat format, std::span<const std::uint8_t> patch,
                     std::string_view patchName, std::span<const std::uint8_t> backup,
                     PatchList* items, std::string* error, ExchangeProblem* problem = nullptr);

// Reads the patch file, recognises its format (given back in *format when
// not null) and imports it against the backup file.
bool ImportPatchFile(const std::string& patchPath, const std::string& backupPath, PatchList* items,
                     std::string* error, PatchFormat* format = nullptr,
                     ExchangeProblem* problem = nullptr);

// The bytes of a patch file holding the enabled items (every item when all is
// true). Items are decoded as the rebuild decodes them; each must lie inside
// the backup with its old data matching the backup there, no two may overlap,
// and every offset must be within the format's reach. backupName is the file
// name the text formats record. Nothing is produced when any item fails.
bool ExportPatchData(std::span<const PatchItem> items, std::span<const std::uint8_t> backup,
                     std::string_view backupName, PatchFormat format, bool all,
                     std::vector<std::uint8_t>* bytes, std::string* error,
                     ExchangeProblem* problem = nullptr);

// Same, reading the backup file.
bool ExportPatches(std::span<const PatchItem> items, const std::string& backupPath,
                   PatchFormat format, bool all, std::vector<std::uint8_t>* bytes,
                   std::string* error, ExchangeProblem* problem = nullptr);

// Same, then replaces the whole contents of the file at patchPath with the
// exported bytes (a temporary file renamed over it: never left half written).
// Nothing is written when the export is refused.
bool ExportPatchFile(std::span<const PatchItem> items, const std::string& backupPath,
                     PatchFormat format, bool all, const std::string& patchPath, std::string* error,
                     ExchangeProblem* problem = nullptr);

// One item per run of differing bytes between the two files, runs separated
// by fewer than kDiffJoinGap equal bytes joined into one, named after the
// patched file. Files of different lengths are refused unless
// commonLengthOnly, which compares the first min(lengths) bytes. Files of
// 4 GiB or more are refused: offsets are 32-bit.
bool DiffFiles(const std::string& originalPath, const std::string& patchedPath,
               bool commonLengthOnly, PatchList* items, std::string* error,
               ExchangeProblem* problem = nullptr);

inline constexpr std::size_t kDiffJoinGap = 8;

// Checks the items DiffFiles made from originalPath against the backup copy,
// as an import is checked: each must lie inside the backup with its old
// bytes (the original file's) matching it there. A Mismatch names the first
// place where the original file is not the backup.
bool CheckDiffAgainstBackup(std::span<const PatchItem> items, const std::string& originalPath,
                            const std::string& backupPath, std::string* error,
                            ExchangeProblem* problem = nullptr);
