// The backup copy of a target and the rebuild of the target from it.
#pragma once

#include "engine/Fingerprint.h"
#include "engine/PatchItem.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

// The largest backup (and so target) a rebuild takes: item offsets are 32-bit,
// so a file of 4 GiB or more is out of their reach. An empty file is refused too.
inline constexpr std::uint64_t kMaxRebuildSize = (std::uint64_t(1) << 32) - 1;

// What the rebuild ended with. Every failure comes with the message to show
// (system code page text) and its caption; showing it is the caller's job.
struct RebuildOutcome {
    enum class Status {
        Ok,
        BackupUnreadable, // " 无法访问选择的文件! ", caption "错误"
        OutOfRange,       // "<description>\r\n文件范围超出!", caption "Error"
        OldDataMismatch,  // "<description>\r\n原始数据不匹配!", caption "Error"
        WriteFailed,      // " 无法写入输出文件! ", caption "错误"
        Cancelled,        // the step's Progress was cancelled: nothing written, no text
    };
    Status status = Status::Ok;
    std::string text;
    std::string caption;
    // For OutOfRange and OldDataMismatch: the index in items of the item that failed.
    std::size_t failedItem = 0;
    bool ok() const { return status == Status::Ok; }
};

// One run of bytes a rebuild puts over the backup's bytes.
struct PatchedRun {
    std::uint64_t offset = 0;
    std::vector<std::uint8_t> bytes;
};

// The checks of a rebuild without the writing.
struct RebuildPlan {
    RebuildOutcome::Status status = RebuildOutcome::Status::Ok;
    std::size_t failedItem = 0; // as in RebuildOutcome
    // When status is Ok: what the items put, disjoint and in ascending order.
    std::vector<PatchedRun> runs;
};

// Runs the checks RebuildTarget makes before it writes (the same decoding,
// order and reading of the backup) and returns what it would write. Only
// BackupUnreadable, OutOfRange and OldDataMismatch can come back.
RebuildPlan PlanRebuild(const std::string& backupPath, std::span<const PatchItem> items);

// Applies every enabled item in list order to the backup after its range and
// old-data checks (each item sees the new bytes of the items before it) and
// puts the result in the target's place whole (see SafeFile: the target is
// never left half written, a symbolic link stays a link). Nothing is written
// when any item fails. Only regular files are read and written: a backup that
// is not one counts as unreadable; a target that is not one, that may not be
// written, or that is the backup itself (under any name) gets WriteFailed.
//
// With written given, a successful rebuild also fills it with the size and
// SHA-256 of the bytes it wrote, hashed alongside the copy and the flush
// instead of in a pass of their own. *written is reset first; a size of 0
// after success means the hash could not be had (the rebuild never writes an
// empty target).
//
// With beforeReplacing given, it runs once the new contents are complete and
// hashed (its argument is what *written will hold) and before they take the
// target's place; when it returns false the target stays as it was and the
// outcome is WriteFailed. The caller records there what is about to be
// written, so that a kill at any point leaves a record of what is on disk.
//
// The thread's Progress (engine/Progress.h) counts the bytes copied and
// hashed; when it is cancelled before beforeReplacing runs (before the
// rename without it), the target stays as it was and the outcome is
// Cancelled. A target written in place is finished once its first byte is.
RebuildOutcome
RebuildTarget(const std::string& backupPath, std::span<const PatchItem> items,
              const std::string& targetPath, FileFingerprint* written = nullptr,
              const std::function<bool(const FileFingerprint&)>& beforeReplacing = {});

// What MakeBackupCopy did.
enum class BackupCopy {
    Done,    // the backup holds the copy
    Failed,  // the backup stays as it was
    InUse,   // as Failed, because another program holds the target or the backup
    Spoiled, // written in place, the copy failed part way: the backup holds
             // neither the old nor the new bytes
};

// Copies the target over its backup through SafeFile. Failed when the target
// is not a regular file (nothing waits on a FIFO), when both name the same
// file, or when the backup cannot be replaced (for instance a read-only one).
// With copied given it receives the size and SHA-256 of the bytes copied,
// hashed alongside the copy. With beforeReplacing given, it runs once the
// copy is complete and before it replaces the backup; when it returns false
// the backup stays as it was (and the result is Failed). Where the backup
// must be written in place (its folder takes no new file) it is complete
// before beforeReplacing runs, and stays replaced (Done) whatever that
// returns; a copy that fails part way there is Spoiled.
// With restores given, those runs are written over the copy (see
// PlanBackupCandidate); copied then describes the copy with them.
// The thread's Progress counts as for RebuildTarget; cancelled before
// beforeReplacing runs, the backup stays as it was and the result is Failed.
BackupCopy MakeBackupCopy(const std::string& targetPath, const std::string& backupPath,
                          FileFingerprint* copied = nullptr,
                          const std::function<bool()>& beforeReplacing = {},
                          std::span<const PatchedRun> restores = {});

// What a file would give as the new backup copy for the enabled items.
// Walking the enabled items from the last to the first, where the file holds
// an item's new bytes at its place and not its old ones, the item's old bytes
// are put back (the item wrote them): for a file this program patched, the
// copy then is the pristine file again. Then every enabled item is checked as
// the rebuild checks it, against the file with those restores, and each one
// that would still fail is named.
struct BackupCandidatePlan {
    bool readable = false;            // false: the file could not be read (nothing else is set)
    std::vector<PatchedRun> restores; // disjoint, in ascending order
    std::vector<std::size_t> restoredItems; // indexes in items, ascending
    std::vector<std::size_t> failingItems;  // indexes in items, ascending
};
BackupCandidatePlan PlanBackupCandidate(const std::string& candidatePath,
                                        std::span<const PatchItem> items);

// Forms "<moduleDir>/Path_bak/<file name of target>" and creates the backup
// folder (a failure to create it is ignored). Returns false, with backupPath
// empty, when the result would not fit kPathCapacity - 1 bytes.
bool MakeBackupPath(const std::string& moduleDir, const std::string& targetPath,
                    std::string* backupPath);
