// One working session on a patch list: its settings file, the list, the target
// and its backup copy, and the steps that change them on disk (saving the
// list, choosing a target, rebuilding the target). No Qt: the main window and
// the command-line front end share it. Nothing here talks to the user; every
// step returns what to tell them.
#pragma once

#include "core/PatchListStore.h"
#include "engine/Fingerprint.h"
#include "engine/PatchItem.h"
#include "engine/Rebuild.h"
#include "engine/Relocate.h"
#include "settings/AppSetting.h"
#include "winutil/FileLock.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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
// What a step is about to put in the backup's or the target's place, saved
// before the file is replaced and moved into the keys above once it is: a
// program killed in between leaves the next one a record of either file it
// may find. The next rebuild or backup looks at the file and keeps the
// record that describes it.
inline constexpr const char* kPendingBackupSizeKey = "PendingBackupSize";
inline constexpr const char* kPendingBackupSha256Key = "PendingBackupSha256";
inline constexpr const char* kPendingTargetSizeKey = "PendingTargetSize";
inline constexpr const char* kPendingTargetSha256Key = "PendingTargetSha256";
// The state (SignatureStateTag, 16 hex digits) of the list's items and the
// backup when the signatures were last checked against it: while both stand
// as they did, loading the list spares reading every item's place again.
inline constexpr const char* kSignaturesCheckedKey = "SignaturesChecked";

// How long a step waits for another program that holds the list's lock.
inline constexpr std::chrono::milliseconds kDefaultLockWait{10000};

// What opening the settings file found.
enum class SettingsFileState {
    Loaded,     // the file was read
    Missing,    // there is no file yet; the first save creates it
    Unreadable, // it exists but could not be read (permission, I/O error, not a
                // regular file, too large); it is never replaced in this session
    Busy,       // another program held the list's lock for the whole wait;
                // nothing was read (only with HoldLockFromOpen)
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

// The user's answer when a new backup copy (an updated target) no longer
// holds some items at their offsets and relocation found where they went.
enum class BackupRelocationAnswer {
    Relocate,      // move the items and take the copy (every enabled item then fits)
    ReplaceAnyway, // move what can move and take the copy; the rest stay where they were
    Cancel,        // change nothing
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
        TargetTooLarge,       // the chosen file is larger than any rebuild takes
        Cancelled,            // the target had changed and the user kept it, declined
                              // the relocation a new backup copy called for, or
                              // stopped a long step
        RebuildFailed,        // the rebuild refused; rebuild says why
        Busy,                 // another program held the list's lock; nothing changed
        ItemGone,             // the item was changed or removed by another program
        BackupRefused,        // the list could not be rebuilt from the new backup
                              // copy (failingItems); the old one stays
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
    // Information besides a success (text and caption set): the backup copy
    // was kept, or items' old bytes were put back into it.
    bool notice = false;
    // A new backup copy: the items (indexes in the list) whose old bytes were
    // put back, and those the rebuild would refuse on it.
    std::vector<std::size_t> restoredItems;
    std::vector<std::size_t> failingItems;
    // True when the backup copy was left as it was because the chosen file is
    // what this program last wrote.
    bool backupKept = false;

    bool ok() const { return status == Status::Ok; }
};

// The occurrence'th item equal to item (flag included) in items, or null:
// the item a user picked, found again after the list was read anew.
PatchItem* FindItem(PatchList& items, const PatchItem& item, std::size_t occurrence);
// How many items equal to items[row] stand before it.
std::size_t OccurrenceOf(const PatchList& items, std::size_t row);

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

    // Every step that changes the list or the files takes the list's lock
    // (FileLock, beside the settings file), reads the file as it is now,
    // makes its one change, saves and lets go; another program's change is
    // never lost. With hold set before Open or OpenDefault, the lock is
    // taken before the file is read and kept until the session ends (one
    // command of the command line); the steps then need not read the file
    // again.
    void HoldLockFromOpen(bool hold) { holdLock_ = hold; }
    // Whether loading the list makes the signatures its items lack (the
    // default). A step that only reads the list spares that work (a scan of
    // the backup per item without one); every save makes them all the same.
    void MakeSignaturesOnLoad(bool make) { signaturesOnLoad_ = make; }
    // Whether the session keeps a copy of the list as read (the default), to
    // carry flags changed in memory over a reload of a file changed by
    // another program. A session that never changes its list (a command that
    // only reads) spares that copy of every item.
    void KeepListAsRead(bool keep) { keepSeen_ = keep; }
    // Lets go of the lock held since Open (the session writes nothing after).
    void ReleaseLock() { sessionLock_.Release(); }
    // How long a step waits for another holder of the lock.
    void SetLockWait(std::chrono::milliseconds wait) { lockWait_ = wait; }
    // The message for Busy: who holds the list (system code page text).
    std::string BusyText() const;

    SettingsFileState FileState() const { return state_; }
    // True while saves leave the settings file alone: it could not be read,
    // another program held its lock, or it is damaged and the user has not
    // kept what was recovered.
    bool FileLocked() const {
        return state_ == SettingsFileState::Unreadable || state_ == SettingsFileState::Busy ||
               state_ == SettingsFileState::Damaged;
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
    // Why the settings store refused the file at the last open or save (too
    // large, not a settings file, a line too long to be read back); empty
    // when it did not.
    std::string RefusalText() const;
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

    // Gives every item whose old bytes the backup holds at its offset a
    // signature, unless it has one that still fits (UpdateSignatures); the
    // number of items that got a new one. Loading the list and every save of
    // it do this.
    std::size_t RefreshSignatures();

    // What relocating against the backup would do; false when the backup
    // cannot be read.
    bool PlanRelocation(std::vector<ItemRelocation>* plan) const;
    // Moves the items plan moves and saves the list (the plan must be one
    // made for this list as it stands).
    SessionOutcome Relocate(const std::vector<ItemRelocation>& plan);

    // Writes the target path and the whole list into the store and saves the
    // file. NotSaved when the file was unreadable at the start or the store
    // could not write it; the list in memory stays as it is either way.
    SessionOutcome SaveList();

    // One change of the list as a transaction: under the lock, the file is
    // read again when it changed on disk (flags changed in memory only stay
    // on the items they were changed on), change runs on the list, and the
    // list is saved when change returns true. Busy when another program kept
    // the lock; then nothing changed.
    SessionOutcome Change(const std::function<bool(PatchList& items)>& change);
    // Reads the file again when another program changed it since this
    // session last read or wrote it, keeping the flags changed in memory.
    // True when the list was read again. Waits for the lock at most wait.
    bool Refresh(std::chrono::milliseconds wait = std::chrono::milliseconds(0));
    // True once after a step read the file anew because another program had
    // changed it: the list shown should say so.
    bool TakeReread() { return std::exchange(reread_, false); }
    // The outcome for an item that is no longer in the list as it was.
    static SessionOutcome ItemGone();

    // When a new backup copy could not rebuild every enabled item: decides,
    // given the message naming the items, whether it replaces the old copy
    // all the same. Unset: it never does.
    void SetReplaceBackupAnyway(std::function<bool(const std::string& text)> ask) {
        replaceAnyway_ = std::move(ask);
    }

    // Before a new backup copy replaces the old one while some items no
    // longer fit it: given every item's relocation against the copy and
    // whether every enabled item would then fit (complete), decides whether
    // the items move and the copy is taken. Unset: no relocation; the
    // question of SetReplaceBackupAnyway decides as before.
    using BackupRelocationQuestion = std::function<BackupRelocationAnswer(
        const PatchList& items, const std::vector<ItemRelocation>& plan, bool complete)>;
    void SetConfirmBackupRelocation(BackupRelocationQuestion ask) {
        confirmRelocation_ = std::move(ask);
    }

    // "文件": takes path as the target, copies it over its backup, records
    // the backup's fingerprint and saves the list; the copy replaces the
    // previous backup only once the list naming it is saved. Every failure
    // leaves the target, the backup and the settings file as they were, but
    // for a settings file that could not be read at the start: it is never
    // written (NotSaved), and the session goes on with the new target and its
    // backup copy in memory.
    //
    // The backup copy is only ever replaced by a pristine one. A file that
    // is what the last rebuild wrote keeps the backup as it is (backupKept).
    // Where the file holds an enabled item's new bytes and not its old ones,
    // the item's old bytes go into the copy (restoredItems, with a notice).
    // When some enabled item would fail on the copy (an updated program),
    // the items get their signatures from the old copy and those the new
    // one no longer holds are relocated in it; when some can move,
    // SetConfirmBackupRelocation's question decides (Cancelled: nothing
    // changes). When some enabled item
    // would still fail, an existing backup is replaced only when the user
    // said so; otherwise BackupRefused names the items and nothing changes.
    SessionOutcome ChooseTarget(const std::string& path);

    // "保存": saves the list as it stands, flags included, and rebuilds the
    // target from the backup with every enabled item. Nothing is rebuilt when
    // the list could not be saved. When the target no longer matches the
    // recorded backup or the recorded last rebuild, askTargetChanged decides
    // (an empty function counts as Cancel; the list is saved by then, target
    // and backup stay untouched). After a rebuild the target's fingerprint is
    // recorded and saved. A new backup copy taken on the user's word follows
    // the rules of ChooseTarget. The list's lock is held throughout, so no
    // other program changes the list, the backup or the target meanwhile;
    // what is about to be written is recorded before it is (crash-safe).
    // Cancelled through the thread's Progress (engine/Progress.h) before the
    // new target takes its place, the step ends Cancelled with the target,
    // the backup and the settings file as they were: the list saved first is
    // put back, and flags changed in memory stay changed in memory only.
    // ChooseTarget cancelled so keeps the previous target and backup.
    SessionOutcome Apply(const std::function<TargetChangedAnswer()>& askTargetChanged);

    // A value the window keeps for itself (such as the list's column
    // widths); empty when the file has none. SaveWindowSetting writes it into
    // the store and saves the file as it stands (the list as last saved);
    // false when the file was not written.
    std::string WindowSetting(const char* key);
    bool SaveWindowSetting(const char* key, const std::string& value);

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
    class ListLock;
    SettingsFileState OpenStore(const std::string& path);
    // Reads the file into the store and the list, keeping the flags changed
    // in memory since the last read or save.
    // False when it did not need to (or could not) read it.
    bool ReloadKeepingFlags();
    SessionOutcome Busy() const;
    // Notes that the list in memory is the one on disk now.
    void MarkSeen();
    // Settles the records of a step that was cut short (see the pending keys).
    void ResolvePending();
    bool Recorded(const char* sizeKey, const char* shaKey, FileFingerprint* out) const;
    void SetRecord(const char* sizeKey, const char* shaKey, const FileFingerprint& value);
    void DeleteRecord(const char* sizeKey, const char* shaKey);
    // Copies the target over its backup path and saves its record with the
    // list, all or nothing (see ChooseTarget); previousTarget is the target
    // the file names again when the copy fails after the list was saved.
    SessionOutcome TakeBackup(const std::string& previousTarget);
    // Relocates the items the candidate copy (the target) does not hold, on
    // the user's word when some can move; *plan is then made again for the moved items. False
    // when the user cancelled; *anyway when they chose to take the copy even
    // with items that still fail.
    bool RelocateIntoCandidate(BackupCandidatePlan* plan, bool* anyway);
    // Saves the store to its file, with the list and target path written into
    // it first unless they are there already.
    bool SaveStore(bool storeList = true);
    // True when the settings file holds the list and the target path as they
    // stand, so that storing them would write the same list again.
    bool FileHoldsList();
    void ForgetTarget();
    // Records stamp as the target's when the target still has it and the
    // size of what it was known to hold; else forgets any stamp.
    void StampTarget(const FileStamp& stamp, std::uint64_t knownSize);
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
    // The lock: the file it guards, how long to wait, and the one held for
    // the whole session (HoldLockFromOpen).
    std::string lockedFile_;
    std::chrono::milliseconds lockWait_ = kDefaultLockWait;
    bool holdLock_ = false;
    bool signaturesOnLoad_ = true;
    bool keepSeen_ = true;
    FileLock sessionLock_;
    pid_t busyHolder_ = 0;
    std::string busyHolderName_;
    // The list as last read from or written to the file, and the file's
    // stamp then (zero when there was no file).
    PatchList seen_;
    FileStamp seenStamp_;
    // The store's change count when it last matched the file.
    std::uint64_t storedChanges_ = 0;
    // StoredListTag of the list the store held when it was read or the list
    // was last stored, and the store's change count then; the tag stands for
    // the store's list while that count is storedChanges_.
    std::uint64_t storedListTag_ = 0;
    std::uint64_t storedListChanges_ = ~std::uint64_t(0);
    std::function<bool(const std::string&)> replaceAnyway_;
    BackupRelocationQuestion confirmRelocation_;
    bool reread_ = false;
    StoredListCheck listCheck_; // of the last LoadList
};
