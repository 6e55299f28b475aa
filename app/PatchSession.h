// One working session on a patch list: its settings file, the list, the target
// and its backup copy, and the steps that change them on disk (saving the
// list, choosing a target, rebuilding the target). No Qt: the main window and
// the command-line front end share it. Nothing here talks to the user; every
// step returns what to tell them.
#pragma once

#include "app/PatchItem.h"
#include "app/PatchListStore.h"
#include "engine/Fingerprint.h"
#include "engine/Rebuild.h"
#include "settings/AppSetting.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>

// Top-level keys of the settings file that remember the backup copy and the
// last target the rebuild wrote: size in decimal, SHA-256 as 64 hex digits.
// Files without them load and work as before; only the question about a
// changed target needs them.
inline constexpr const char* kBackupSizeKey = "BackupSize";
inline constexpr const char* kBackupSha256Key = "BackupSha256";
inline constexpr const char* kTargetSizeKey = "TargetSize";
inline constexpr const char* kTargetSha256Key = "TargetSha256";
// The target's FileStamp (Fingerprint.h) when it was last seen holding what
// the records describe: while it still matches, the target is taken as
// unchanged without reading it.
inline constexpr const char* kTargetStampKey = "TargetStamp";

// What opening the settings file found.
enum class SettingsFileState {
    Loaded,     // the file was read
    Missing,    // there is no file yet; the first save creates it
    Unreadable, // it exists but could not be read (permission, I/O error, not a
                // regular file, too large); it is never replaced in this session
    Damaged,    // it was read but is damaged (text after a zero byte, item keys
                // without a count, a count other than the items held): what it
                // still holds is loaded, and it is not replaced until the user
                // keeps that (KeepRecovered)
};

// The user's choice when the target no longer is what this program last saw.
enum class TargetChangedAnswer {
    Rebackup,  // take a new backup from the current target and rebuild from it
    Overwrite, // rebuild from the old backup anyway
    Cancel,    // write nothing
};

// What a step ended with, and what to tell the user.
struct SessionOutcome {
    enum class Status {
        Ok,
        NotSaved,             // the settings file was not written (see text)
        TargetPathTooLong,    // the chosen path does not fit kPathCapacity - 1 bytes
        BackupPathTooLong,    // its backup path would not fit
        TargetInBackupFolder, // the chosen file is (or resolves to) a backup copy
        BackupFailed,         // the backup copy could not be made
        Cancelled,            // the target had changed and the user kept it
        RebuildFailed,        // the rebuild refused; rebuild says why
    };
    Status status = Status::Ok;
    // The message to show (system code page text) and its caption; both empty
    // when there is nothing to say (success, or a cancelled question).
    std::string text;
    std::string caption;
    // The rebuild's own outcome when it ran. NotSaved with rebuild.ok(): the
    // target was written but the record of it could not be saved.
    RebuildOutcome rebuild;
    bool rebuilt = false;

    bool ok() const { return status == Status::Ok; }
};

class PatchSession {
  public:
    // A session that owns its settings store, list and paths.
    PatchSession();
    // A session on an owner's store, list and paths, which must outlive it
    // (the main window keeps them as its own members).
    PatchSession(CAppSetting& settings, PatchList& items, std::string& targetPath,
                 std::string& backupPath);
    ~PatchSession();
    PatchSession(const PatchSession&) = delete;
    PatchSession& operator=(const PatchSession&) = delete;

    // Opens the program's own settings file and loads the target path and
    // the list (sorted). Beside the executable (named after it, or after
    // programName when one is given, with Path_bak beside it) when that is
    // the program's own folder, else in the user's XDG folders (see
    // ResolveDataLocations), made on first use.
    SettingsFileState OpenDefault(std::string_view programName = {});
    // The same for the settings file at path; the backup folder is Path_bak
    // in that file's folder.
    SettingsFileState Open(const std::string& settingsFile);

    SettingsFileState FileState() const { return state_; }
    // True while saves leave the settings file alone: it could not be read,
    // or it is damaged and the user has not kept what was recovered.
    bool FileLocked() const {
        return state_ == SettingsFileState::Unreadable || state_ == SettingsFileState::Damaged;
    }
    // The file saves write (a redirect in the file may have moved it).
    std::string SettingsFilePath() const;
    // The folder that holds Path_bak.
    const std::string& HomeDir() const { return homeDir_; }
    // False when OpenDefault chose the user's XDG folders over the
    // program's own.
    bool Portable() const { return portable_; }
    // The message for an Unreadable file, to show once after opening it
    // (caption "错误").
    std::string UnreadableText() const;
    // The message for a Damaged file: what was wrong, how many items were
    // recovered, and that the file is left alone until the user keeps them.
    std::string DamagedText() const;
    // The user keeps what was recovered from a Damaged file: from now on the
    // list is saved over it as usual.
    void KeepRecovered();

    PatchList& Items() { return items_; }
    const PatchList& Items() const { return items_; }
    std::string& TargetPath() { return targetPath_; }
    const std::string& TargetPath() const { return targetPath_; }
    const std::string& BackupPath() const { return backupPath_; }
    CAppSetting& Settings() { return settings_; }

    // Reads the target path and the list from the store again (sorted) and
    // sets the backup path.
    void LoadList();
    // Sets the backup path from the target path and creates the backup
    // folder; false, with the backup path empty, when it would not fit.
    bool MakeBackupPath();

    // Writes the target path and the whole list into the store and saves the
    // file. NotSaved when the file was unreadable at the start or the store
    // could not write it; the list in memory stays as it is either way.
    SessionOutcome SaveList();

    // "文件": takes path as the target, copies it over its backup, records
    // the backup's fingerprint and saves the list; the copy replaces the
    // previous backup only once the list naming it is saved. Every failure
    // leaves the target, the backup and the settings file as they were, but
    // for a settings file that could not be read at the start: it is never
    // written (NotSaved), and the session goes on with the new target and its
    // backup copy in memory.
    SessionOutcome ChooseTarget(const std::string& path);

    // "保存": saves the list as it stands, flags included, and rebuilds the
    // target from the backup with every enabled item. Nothing is rebuilt when
    // the list could not be saved. When the target no longer matches the
    // recorded backup or the recorded last rebuild, askTargetChanged decides
    // (an empty function counts as Cancel; the list is saved by then, target
    // and backup stay untouched). After a rebuild the target's fingerprint is
    // recorded and saved.
    SessionOutcome Apply(const std::function<TargetChangedAnswer()>& askTargetChanged);

    // True when there is a record, the target exists, and it matches neither
    // the recorded backup nor the recorded last target. A target whose stamp
    // matches the recorded one is not read at all; otherwise sizes are
    // compared first and a file is hashed only when its size matches a record.
    bool TargetChanged() const;
    // True when path is, or resolves to, a file in the backup folder (a
    // pristine copy, possibly another target's); such a file is never a
    // target.
    bool TargetInBackupFolder(const std::string& path) const;

    // The recorded fingerprints; false when there is none (or it is damaged).
    bool RecordedBackup(FileFingerprint* out) const;
    bool RecordedTarget(FileFingerprint* out) const;

  private:
    SettingsFileState OpenStore(const std::string& path);
    // Copies the target over its backup path and saves its record with the
    // list, all or nothing (see ChooseTarget); previousTarget is the target
    // the file names again when the copy fails after the list was saved.
    SessionOutcome TakeBackup(const std::string& previousTarget);
    // Saves the store to its file, with the list and target path written into
    // it first unless they are there already.
    bool SaveStore(bool storeList = true);
    void ForgetTarget();
    // Records stamp as the target's when the target still has it and the
    // size of what it was known to hold; else forgets any stamp.
    void StampTarget(const FileStamp& stamp, std::uint64_t knownSize);
    bool Recorded(const char* sizeKey, const char* shaKey, FileFingerprint* out) const;
    SessionOutcome NotSaved(bool rebuildSkipped) const;

    struct Owned;
    std::unique_ptr<Owned> owned_; // null when the parts are borrowed
    CAppSetting& settings_;
    PatchList& items_;
    std::string& targetPath_; // at most kPathCapacity - 1 bytes
    std::string& backupPath_; // at most kPathCapacity - 1 bytes
    std::string homeDir_;
    bool portable_ = true;
    SettingsFileState state_ = SettingsFileState::Missing;
    StoredListCheck listCheck_; // of the last LoadList
};
