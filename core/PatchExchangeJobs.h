// Patch files of other tools and the items between two files, as steps on a
// patch list: import a patch file into the list, export the list as a patch
// file, add the items that turn one file into another. No Qt: the window's
// "导入...", "导出..." and "比较文件..." and the command line's import,
// export and diff share them. Nothing here talks to the user; every step
// returns what to tell them.
#pragma once

#include "engine/PatchExchange.h"
#include "engine/PatchItem.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class PatchSession;

// What a step ended with, and what to tell the user.
struct ExchangeOutcome {
    enum class Status {
        Ok,
        NoTarget,        // import and export work against the target's backup copy
        Refused,         // the patch, the items or the files were refused (see problem)
        NothingToExport, // no item (no enabled item) to write
        ListFile,        // the export would replace the target, its backup or the list
        Cancelled,       // the user chose not to compare files of different lengths, or
                         // cancelled the step through its Progress (nothing changed)
        NotSaved,        // the items were added but the settings file was not written
    };
    Status status = Status::Ok;
    // For Refused: what kind of problem, and the engine's words for it (the
    // file, record or line, and offset).
    ExchangeProblem problem = ExchangeProblem::None;
    std::string detail;
    // Items added to the list, or written to the patch file.
    std::size_t count = 0;
    // Import: items of the patch file left out because the list already
    // holds them (same offset, same old and new bytes).
    std::size_t skipped = 0;
    // The format of an imported patch file.
    PatchFormat format = PatchFormat::Ips;
    // The window's message (system code page) and its caption; both empty
    // when there is nothing to say. notice: information, not an error.
    std::string text;
    std::string caption;
    bool notice = false;

    bool ok() const { return status == Status::Ok; }
};

// Adds items as "增加" adds one: appended, then the list sorted by offset
// (stable), so that each lands after the items of its offset already there.
void AddItemsInOrder(PatchList& list, PatchList added);

// How many items an export takes: the enabled ones, or every one.
std::size_t CountExportedItems(const PatchList& list, bool all);

// Whether the two paths name one existing file (links followed).
bool IsSameFile(const std::string& a, const std::string& b);

// The steps on a list kept by the caller, which saves it. On any failure the
// list is left exactly as it was.
//
// Items of the patch file at patchPath (its format recognised), checked
// against the backup copy, added to list; an item the list already holds
// (same offset, same old and new bytes) is skipped and counted, so a patch
// imported twice adds nothing the second time.
ExchangeOutcome ImportIntoList(PatchList& list, const std::string& backupPath,
                               const std::string& patchPath);
// The enabled items of list (every one with all) written to patchPath in the
// format, checked against the backup copy. Refused before anything is written
// when nothing would be exported or patchPath is one of keepFiles.
ExchangeOutcome ExportList(const PatchList& list, const std::string& backupPath,
                           const std::vector<std::string>& keepFiles, const std::string& patchPath,
                           PatchFormat format, bool all);
// One item per run of bytes that differ between the two files, added to list.
// Files of different lengths are compared in their common length only when
// askCommonLength (given the two lengths) says so; an empty function says no.
// With a backupPath (a target is chosen) the items are checked against the
// backup as an import is: an original file that is not the backup there adds
// nothing.
ExchangeOutcome
DiffIntoList(PatchList& list, const std::string& backupPath, const std::string& originalPath,
             const std::string& patchedPath,
             const std::function<bool(std::uint64_t originalLength, std::uint64_t patchedLength)>&
                 askCommonLength);

// Ok, or NoTarget with its message when the session has no target: import
// and export work against its backup copy.
ExchangeOutcome RequireTarget(const PatchSession& session);

// The same on a session's list, backup and target, saving the list after
// items were added. Import and export need a chosen target. A list that could
// not be saved keeps the new items in memory (NotSaved, as after the other
// commands).
ExchangeOutcome ImportIntoSession(PatchSession& session, const std::string& patchPath);
ExchangeOutcome ExportFromSession(const PatchSession& session, const std::string& patchPath,
                                  PatchFormat format, bool all);
ExchangeOutcome DiffIntoSession(
    PatchSession& session, const std::string& originalPath, const std::string& patchedPath,
    const std::function<bool(std::uint64_t originalLength, std::uint64_t patchedLength)>&
        askCommonLength);
