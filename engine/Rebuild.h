// The backup copy of a target and the rebuild of the target from it.
#pragma once

#include "app/PatchItem.h"

#include <span>
#include <string>

// What the rebuild ended with. Every failure comes with the message to show
// (system code page text) and its caption; showing it is the caller's job.
struct RebuildOutcome {
    enum class Status {
        Ok,
        BackupUnreadable, // " 无法访问选择的文件! ", caption "错误"
        OutOfRange,       // "<description>\r\n文件范围超出!", caption "Error"
        OldDataMismatch,  // "<description>\r\n原始数据不匹配!", caption "Error"
        WriteFailed,      // " 无法写入输出文件! ", caption "错误"
    };
    Status status = Status::Ok;
    std::string text;
    std::string caption;
    bool ok() const { return status == Status::Ok; }
};

// Loads the backup whole, applies every enabled item in list order after its
// range and old-data checks, and writes the buffer over the target in one
// write. Nothing is written when any item fails.
RebuildOutcome RebuildTarget(const std::string& backupPath, std::span<const PatchItem> items,
                             const std::string& targetPath);

// Forms "<moduleDir>/Path_bak/<file name of target>" and creates the backup
// folder (a failure to create it is ignored). Returns false, with backupPath
// empty, when the result would not fit kPathCapacity - 1 bytes.
bool MakeBackupPath(const std::string& moduleDir, const std::string& targetPath,
                    std::string* backupPath);
