// The patch list file, the backup copy and the target as the command line
// reads and writes them: opening the settings file, saving the list, choosing
// a target and rebuilding it. Everything that writes a file goes through
// here and on through the window's own session, so that the command line
// takes exactly the window's steps.
#pragma once

#include "core/PatchSession.h"
#include "engine/PatchItem.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

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
    //
    // With lock, the list's lock is taken before the file is read and held
    // until this object ends: the command reads, changes and saves the list
    // (and writes the backup and the target) as one step that no other
    // program can cut into. A lock that stays busy for lockWait is an error
    // naming its holder; nothing is read or written then. Without lock the
    // command only reads the list.
    CliResult Open(const std::string& settingsPath, bool mustExist, bool lock = false,
                   std::chrono::milliseconds lockWait = kDefaultLockWait,
                   bool keepRecovered = false);
    // What the user should know about the opened file (a damaged one), or
    // empty.
    const std::string& Notice() const { return notice_; }

    // Lets go of the list's lock; nothing is written after.
    void Close();
    // Whether opening makes the signatures the list lacks; see
    // PatchSession::MakeSignaturesOnLoad.
    void MakeSignaturesOnLoad(bool make);

    std::string SettingsPath() const;
    const std::string& TargetPath() const;
    // "<backup folder>/<file name of the target>"; empty when no target is
    // chosen or the path would be too long.
    std::string BackupPath() const;

    // Writes the list and the target path into the settings file.
    CliResult Save();

    // What "文件" does: takes file as the target, copies it over its backup
    // path and saves the list.
    // A backup copy the list could not be rebuilt from replaces an existing
    // one only with force. notices receives what the user should know
    // besides (a kept backup, old bytes put back).
    CliResult ChooseTarget(const std::string& file, bool force = false,
                           std::string* notices = nullptr);

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
    CliResult Apply(TargetChangedAnswer whenChanged, bool* renewed = nullptr, bool force = false,
                    std::string* notices = nullptr);

    // What relocating the items against the backup would do (the backup
    // checked as CheckBackup does); a file error when it cannot be read.
    CliResult PlanRelocation(std::vector<ItemRelocation>* plan) const;
    // Moves the items the plan moves and saves the list.
    CliResult Relocate(const std::vector<ItemRelocation>& plan);

  private:
    std::unique_ptr<PatchSession> session_; // made before items refers into it
    std::string notice_;

  public:
    // The list in memory; commands change it and then call Save().
    PatchList& items;
};
