// The patch list file, the backup copy and the target as the command line
// reads and writes them: opening the settings file, saving the list, choosing
// a target and rebuilding it. Everything that writes a file goes through
// here, so that the command line keeps exactly the window's steps.
#pragma once

#include "app/PatchItem.h"

#include <memory>
#include <string>

// Exit statuses of bytemender-cli.
inline constexpr int kExitOk = 0;
inline constexpr int kExitCheckFailed = 1; // an item check failed, or not every item is as listed
inline constexpr int kExitUsage = 2;       // bad arguments or input
inline constexpr int kExitFileError = 3;   // a file could not be read or written

// How a step went. message names the file or item and what was wrong; it may
// hold several lines and carries no program name.
struct CliResult {
    int status = kExitOk;
    std::string message;
    bool ok() const { return status == kExitOk; }
};

CliResult Failed(int status, std::string message);

// A regular file that can be opened for reading; what names it in the
// message ("target", "backup copy").
CliResult CheckReadableFile(const std::string& path, const char* what);

// The settings file and the list it holds, loaded as the window loads it:
// the list in offset order, the target path, and the backup path beside the
// settings file.
class PatchListFile {
  public:
    PatchListFile();
    ~PatchListFile();
    PatchListFile(const PatchListFile&) = delete;
    PatchListFile& operator=(const PatchListFile&) = delete;

    // Reads the settings file. A missing file is an error when mustExist,
    // otherwise an empty list that the first save creates. A file that exists
    // but cannot be read is always an error: saving would wipe it.
    CliResult Open(const std::string& settingsPath, bool mustExist);

    const std::string& SettingsPath() const { return settingsPath_; }
    const std::string& TargetPath() const { return targetPath_; }
    // "<settings folder>/Path_bak/<file name of the target>"; empty when no
    // target is chosen or the path would be too long.
    std::string BackupPath() const;

    // Writes the list and the target path into the settings file.
    CliResult Save();

    // What "文件" does: takes file as the target, copies it to its backup
    // path and saves the list. All or nothing.
    CliResult ChooseTarget(const std::string& file);

    // An error when the list has no target yet.
    CliResult RequireTarget() const;

    // Checks the backup and the target before a rebuild: a chosen target, a
    // readable, non-empty backup copy and a target that is a regular file
    // (or missing) and not the backup itself.
    CliResult CheckRebuildFiles() const;

    // What "保存" does: saves the settings file, then rebuilds the target from
    // the backup with every enabled item. Nothing is rebuilt when the
    // settings file could not be written.
    CliResult Apply();

    // The list in memory; commands change it and then call Save().
    PatchList items;

  private:
    struct Store;
    std::unique_ptr<Store> store_;
    std::string settingsPath_;
    std::string settingsDir_;
    std::string targetPath_;
};
