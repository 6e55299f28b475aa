// The patch list file, the backup copy and the target as the command line
// reads and writes them: opening the settings file, saving the list, choosing
// a target and rebuilding it. Everything that writes a file goes through
// here and on through the window's own session, so that the command line
// takes exactly the window's steps.
#pragma once

#include "app/PatchItem.h"
#include "app/PatchSession.h"

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
// message: a source text of the "bytemender-cli" context ("目标文件", "备份文件").
CliResult CheckReadableFile(const std::string& path, const char* what);

// The settings file and the list it holds, on the window's own session
// (PatchSession): the same loading, saving, backup copy, rebuild and records.
// This adds the command line's checks and messages.
class PatchListFile {
  public:
    PatchListFile();
    ~PatchListFile();
    PatchListFile(const PatchListFile&) = delete;
    PatchListFile& operator=(const PatchListFile&) = delete;

    // Reads the settings file at settingsPath, or with an empty path the
    // window's bytemender.ini, found by the window's rule (beside the
    // program, or in the user's XDG folders: PatchSession::OpenDefault). A
    // missing file is an error
    // when mustExist, otherwise an empty list that the first save creates. A
    // file that exists but cannot be read is always an error: saving would
    // wipe it. A damaged file gives what it still holds and a Notice(); it
    // is saved over only with keepRecovered.
    CliResult Open(const std::string& settingsPath, bool mustExist, bool keepRecovered = false);
    // What the user should know about the opened file (a damaged one), or
    // empty.
    const std::string& Notice() const { return notice_; }

    std::string SettingsPath() const;
    const std::string& TargetPath() const;
    // "<backup folder>/<file name of the target>"; empty when no target is
    // chosen or the path would be too long.
    std::string BackupPath() const;

    // Writes the list and the target path into the settings file.
    CliResult Save();

    // What "文件" does: takes file as the target, copies it over its backup
    // path and saves the list.
    CliResult ChooseTarget(const std::string& file);

    // An error when the list has no target yet.
    CliResult RequireTarget() const;

    // An error when the list has no target, or its backup copy is no
    // readable regular file; import, export and the rebuild read it.
    CliResult CheckBackup() const;

    // Checks the backup and the target before a rebuild: a chosen target, a
    // readable, non-empty backup copy and a target that is a regular file
    // (or missing) and not the backup itself.
    CliResult CheckRebuildFiles() const;

    // True when the target was changed by someone else since its backup copy
    // was taken or it was last rebuilt (see PatchSession::TargetChanged).
    bool TargetChanged() const;

    // What "保存" does: saves the settings file, then rebuilds the target
    // from the backup with every enabled item. A target changed by someone
    // else is rebuilt only as whenChanged says (Cancel: a check failure that
    // tells how to go on); *renewed (if given) tells whether a new backup
    // copy was taken.
    CliResult Apply(TargetChangedAnswer whenChanged, bool* renewed = nullptr);

  private:
    std::unique_ptr<PatchSession> session_; // made before items refers into it
    std::string notice_;

  public:
    // The list in memory; commands change it and then call Save().
    PatchList& items;
};
