// One working session on a patch list. The settings file is never replaced
// when it could not be read; every save reports whether it took place; and
// the rebuild asks before it writes over a target that someone else changed.
#include "app/PatchSession.h"

#include "app/PatchListStore.h"
#include "settings/IniText.h"
#include "winutil/CodePage.h"
#include "winutil/FdIo.h"
#include "winutil/FileUtil.h"
#include "winutil/Locations.h"
#include "winutil/Translate.h"

#include <charconv>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace {

// Messages about whole files (error icon, caption "错误").
const char* const kFileCaption = QT_TRANSLATE_NOOP("PatchSession", "错误");
const char* const kTargetPathTooLong =
    QT_TRANSLATE_NOOP("PatchSession", " 选择的文件路径过长, 无法使用! ");
const char* const kBackupPathTooLong =
    QT_TRANSLATE_NOOP("PatchSession", " 备份文件路径过长, 无法备份选择的文件! ");
const char* const kBackupCopyFailed = QT_TRANSLATE_NOOP("PatchSession", " 无法备份选择的文件! ");
const char* const kListNotWritten = QT_TRANSLATE_NOOP("PatchSession", " 无法将列表写入设置文件");
const char* const kListNotWrittenLocked =
    QT_TRANSLATE_NOOP("PatchSession", " 设置文件无法读取, 列表不会写入该文件");
const char* const kRebuildSkipped = QT_TRANSLATE_NOOP("PatchSession", ", 未重建目标文件! ");
const char* const kListUnreadable = QT_TRANSLATE_NOOP(
    "PatchSession", " 无法读取设置文件中的列表! 在该文件可以读取并重新启动本程序之前, "
                    "列表不会被保存. ");

// A message in the user's language.
std::string Tr(const char* source) {
    return Translate("PatchSession", source);
}

SessionOutcome FileFailure(SessionOutcome::Status status, const char* text) {
    SessionOutcome outcome;
    outcome.status = status;
    outcome.text = Tr(text);
    outcome.caption = Tr(kFileCaption);
    return outcome;
}

// A whole decimal number of at most 64 bits, nothing else.
bool ParseSize(const char* text, std::uint64_t* out) {
    const char* end = text + std::strlen(text);
    if (text == end)
        return false;
    const auto [stop, error] = std::from_chars(text, end, *out, 10);
    return error == std::errc() && stop == end;
}

} // namespace

struct PatchSession::Owned {
    CAppSetting settings;
    PatchList items;
    std::string targetPath;
    std::string backupPath;
};

PatchSession::PatchSession()
    : owned_(std::make_unique<Owned>()), settings_(owned_->settings), items_(owned_->items),
      targetPath_(owned_->targetPath), backupPath_(owned_->backupPath) {}

PatchSession::PatchSession(CAppSetting& settings, PatchList& items, std::string& targetPath,
                           std::string& backupPath)
    : settings_(settings), items_(items), targetPath_(targetPath), backupPath_(backupPath) {}

PatchSession::~PatchSession() = default;

SettingsFileState PatchSession::OpenDefault(std::string_view programName) {
    homeDir_.clear();
    portable_ = true;
    std::string module;
    if (!GetModuleFileName(&module) || module.empty())
        return OpenStore(std::string());
    if (!programName.empty()) {
        std::string folder;
        SplitPath(module.c_str(), &folder, nullptr);
        module = folder + "/" + std::string(programName);
    }
    // Beside the program when that is its own folder, else in the user's
    // XDG folders (an installed program).
    const DataLocations where = ResolveDataLocations(SettingsFileForModule(module));
    portable_ = where.portable;
    SplitPath(where.backupFolder.c_str(), &homeDir_, nullptr);
    if (homeDir_.size() >= kPathCapacity)
        homeDir_.clear();
    return OpenStore(where.settingsFile);
}

SettingsFileState PatchSession::Open(const std::string& settingsFile) {
    const std::string absolute = AbsolutePath(settingsFile, false);
    homeDir_ = absolute.empty() ? std::string(".") : ParentFolder(absolute);
    if (homeDir_ == "/")
        homeDir_.clear(); // the backup folder is then /Path_bak
    return OpenStore(settingsFile);
}

SettingsFileState PatchSession::OpenStore(const std::string& path) {
    // Tell "no file yet" from "a file that could not be read" before the
    // store tries: to the store both are an empty table.
    SettingsFileState found = SettingsFileState::Missing;
    if (!path.empty()) {
        const FileKind kind = LookAtPath(path).kind;
        if (kind == FileKind::Regular)
            found = SettingsFileState::Loaded;
        else if (kind != FileKind::Missing)
            found = SettingsFileState::Unreadable; // not a file, no permission on a folder, an I/O
                                                   // error
    }
    settings_.Clear();
    settings_.keepOrder = 1; // a file is read with the write order kept
    const int loaded = settings_.Load(path.c_str(), 1);
    if (found == SettingsFileState::Loaded && loaded == 0)
        found = SettingsFileState::Unreadable;
    settings_.keepOrder = 0; // every save writes the keys sorted
    state_ = found;
    LoadList();
    return state_;
}

std::string PatchSession::SettingsFilePath() const {
    return WideToCodePage(settings_.CurrentFile());
}

std::string PatchSession::UnreadableText() const {
    return Tr(kListUnreadable) + "\n" + SettingsFilePath();
}

void PatchSession::LoadList() {
    targetPath_ = ReadTargetPath(settings_);
    MakeBackupPath();
    ReadPatchItems(settings_, items_);
    SortPatchList(items_);
}

bool PatchSession::MakeBackupPath() {
    // The user's data folder is made on first use, when there is a target.
    if (!portable_ && !targetPath_.empty())
        CreateFolders(homeDir_);
    if (::MakeBackupPath(homeDir_, targetPath_, &backupPath_))
        return true;
    backupPath_.clear();
    return false;
}

// The one place that writes the settings file. A file that was there but
// could not be read holds a list this session never saw: it is not replaced.
bool PatchSession::SaveStore(bool storeList) {
    if (storeList)
        StorePatchList(settings_, items_, targetPath_);
    if (state_ == SettingsFileState::Unreadable)
        return false;
    if (!portable_) {
        std::string folder;
        if (SplitPath(SettingsFilePath().c_str(), &folder, nullptr))
            CreateFolders(folder);
    }
    return settings_.Save(nullptr) != 0;
}

SessionOutcome PatchSession::NotSaved(bool rebuildSkipped) const {
    SessionOutcome outcome;
    outcome.status = SessionOutcome::Status::NotSaved;
    outcome.text =
        Tr(state_ == SettingsFileState::Unreadable ? kListNotWrittenLocked : kListNotWritten);
    outcome.text += rebuildSkipped ? Tr(kRebuildSkipped) : std::string("! ");
    outcome.text += "\n" + SettingsFilePath();
    outcome.caption = Tr(kFileCaption);
    return outcome;
}

SessionOutcome PatchSession::SaveList() {
    return SaveStore() ? SessionOutcome{} : NotSaved(false);
}

SessionOutcome PatchSession::ChooseTarget(const std::string& path) {
    using Status = SessionOutcome::Status;
    // A path that does not fit the target path is refused whole: a cut one
    // would name another file.
    if (path.size() >= kPathCapacity)
        return FileFailure(Status::TargetPathTooLong, kTargetPathTooLong);

    // The target is taken only together with a backup copy of it: without
    // one the next "保存" would start from another file's bytes, or from none.
    const std::string previousTarget = targetPath_;
    const std::string previousBackup = backupPath_;
    targetPath_ = path;
    SessionOutcome outcome = MakeBackupPath()
                                 ? TakeBackup(previousTarget)
                                 : FileFailure(Status::BackupPathTooLong, kBackupPathTooLong);
    // Refused, or not saved for a reason that goes away: the previous target
    // stays. Only a settings file that could not be read (and so is never
    // written) leaves the session on the new target.
    if (!outcome.ok() &&
        !(outcome.status == Status::NotSaved && state_ == SettingsFileState::Unreadable)) {
        targetPath_ = previousTarget;
        backupPath_ = previousBackup;
    }
    return outcome;
}

SessionOutcome PatchSession::TakeBackup(const std::string& previousTarget) {
    // What the file records now, to put back when the copy does not take
    // the backup's place.
    const char* const keys[] = {kBackupSizeKey, kBackupSha256Key, kTargetSizeKey, kTargetSha256Key,
                                kTargetStampKey};
    std::vector<std::optional<std::string>> kept;
    for (const char* key : keys) {
        const char* value = nullptr;
        kept.push_back(settings_.GetValue(key, &value, nullptr) && value
                           ? std::optional<std::string>(value)
                           : std::nullopt);
    }
    FileStamp seen;
    const bool stamped = StampFile(targetPath_, &seen);
    FileFingerprint copied;
    bool asked = false;
    bool saved = false;
    // The list names the new copy (and its fingerprint) before the copy
    // replaces the old one: when the list cannot be saved, the backup it
    // names is still the one on disk.
    const bool replaced = MakeBackupCopy(targetPath_, backupPath_, &copied, [&] {
        asked = true;
        settings_.SetString(kBackupSizeKey, std::to_string(copied.size).c_str());
        settings_.SetString(kBackupSha256Key, copied.Sha256Hex().c_str());
        ForgetTarget(); // that was another file, or another version of it
        if (stamped)
            StampTarget(seen, copied.size);
        saved = SaveStore();
        // A settings file that could not be read is never written: the
        // session works on with the new copy all the same.
        return saved || state_ == SettingsFileState::Unreadable;
    });
    if (replaced)
        return saved ? SessionOutcome{} : NotSaved(false);
    for (std::size_t i = 0; i < kept.size(); ++i) {
        if (kept[i])
            settings_.SetString(keys[i], kept[i]->c_str());
        else
            settings_.DeleteKey(keys[i]);
    }
    if (asked && !saved)
        return NotSaved(false);
    if (saved) { // the file names the copy that could not take its place
        const std::string taken = targetPath_;
        targetPath_ = previousTarget;
        SaveStore();
        targetPath_ = taken;
    }
    return FileFailure(SessionOutcome::Status::BackupFailed, kBackupCopyFailed);
}

SessionOutcome PatchSession::Apply(const std::function<TargetChangedAnswer()>& askTargetChanged) {
    using Status = SessionOutcome::Status;
    // The list as it stands goes to the file first: a target rebuilt from a
    // list the file does not hold would disagree with it after a restart.
    if (!SaveStore())
        return NotSaved(true);

    if (TargetChanged()) {
        const TargetChangedAnswer answer =
            askTargetChanged ? askTargetChanged() : TargetChangedAnswer::Cancel;
        if (answer == TargetChangedAnswer::Cancel) {
            SessionOutcome cancelled;
            cancelled.status = Status::Cancelled;
            return cancelled;
        }
        if (answer == TargetChangedAnswer::Rebackup) {
            if (backupPath_.empty())
                return FileFailure(Status::BackupFailed, kBackupCopyFailed);
            SessionOutcome taken = TakeBackup(targetPath_);
            if (taken.status == Status::NotSaved)
                return NotSaved(true);
            if (!taken.ok())
                return taken;
        }
    }

    SessionOutcome outcome;
    FileFingerprint written;
    outcome.rebuild = ::RebuildTarget(backupPath_, items_, targetPath_, &written);
    if (!outcome.rebuild.ok()) {
        outcome.status = Status::RebuildFailed;
        outcome.text = outcome.rebuild.text;
        outcome.caption = outcome.rebuild.caption;
        return outcome;
    }
    outcome.rebuilt = true;
    // The rebuild hashed what it wrote; only when it could not is the target
    // read again.
    FileFingerprint recorded = written;
    if (recorded.size != 0 || FingerprintFile(targetPath_, &recorded)) {
        settings_.SetString(kTargetSizeKey, std::to_string(recorded.size).c_str());
        settings_.SetString(kTargetSha256Key, recorded.Sha256Hex().c_str());
        FileStamp stamp;
        if (StampFile(targetPath_, &stamp) && stamp.size == recorded.size)
            settings_.SetString(kTargetStampKey, stamp.Text().c_str());
        else
            settings_.DeleteKey(kTargetStampKey);
    } else {
        ForgetTarget();
    }
    if (!SaveStore(false)) { // only the records are new
        SessionOutcome notSaved = NotSaved(false);
        notSaved.rebuild = std::move(outcome.rebuild);
        notSaved.rebuilt = true;
        return notSaved;
    }
    return outcome;
}

bool PatchSession::TargetChanged() const {
    FileFingerprint backup;
    FileFingerprint target;
    const bool hasBackup = RecordedBackup(&backup);
    const bool hasTarget = RecordedTarget(&target);
    if (!hasBackup && !hasTarget)
        return false; // a list from before records were kept: nothing to compare
    // A missing target is simply created; one that is not a regular file is
    // refused by the rebuild.
    FileStamp stamp;
    if (targetPath_.empty() || !StampFile(targetPath_, &stamp))
        return false;
    // A size neither record has is a change, without reading the file.
    if (!(hasBackup && backup.size == stamp.size) && !(hasTarget && target.size == stamp.size))
        return true;
    // The same file (device and inode), size, and times of the last change of
    // its contents and of its inode as when it was last seen holding a
    // recorded state: taken as unchanged without reading it. That is the
    // accepted trade-off of the stamp: a program that rewrites the file in
    // place, keeping its size, within the same tick of the file system's
    // clock as that last look goes unnoticed. Restoring the modification
    // time afterwards (touch -d, utimensat) does not hide a change: it sets
    // the inode's change time, which no program can set back.
    const char* stampText = nullptr;
    FileStamp seen;
    if (settings_.GetValue(kTargetStampKey, &stampText, nullptr) && stampText &&
        seen.SetText(stampText) && seen == stamp)
        return false;
    FileFingerprint now;
    if (!FingerprintFile(targetPath_, &now))
        return false; // cannot be read: the rebuild says so itself
    return !(hasBackup && now == backup) && !(hasTarget && now == target);
}

bool PatchSession::RecordedBackup(FileFingerprint* out) const {
    return Recorded(kBackupSizeKey, kBackupSha256Key, out);
}

bool PatchSession::RecordedTarget(FileFingerprint* out) const {
    return Recorded(kTargetSizeKey, kTargetSha256Key, out);
}

bool PatchSession::Recorded(const char* sizeKey, const char* shaKey, FileFingerprint* out) const {
    const char* sizeText = nullptr;
    const char* shaText = nullptr;
    if (!settings_.GetValue(sizeKey, &sizeText, nullptr) || !sizeText ||
        !settings_.GetValue(shaKey, &shaText, nullptr) || !shaText)
        return false;
    FileFingerprint recorded;
    if (!ParseSize(sizeText, &recorded.size) || !recorded.SetSha256Hex(shaText))
        return false;
    *out = recorded;
    return true;
}

void PatchSession::ForgetTarget() {
    settings_.DeleteKey(kTargetSizeKey);
    settings_.DeleteKey(kTargetSha256Key);
    settings_.DeleteKey(kTargetStampKey);
}

void PatchSession::StampTarget(const FileStamp& stamp, std::uint64_t knownSize) {
    FileStamp now;
    if (stamp.size == knownSize && StampFile(targetPath_, &now) && now == stamp)
        settings_.SetString(kTargetStampKey, stamp.Text().c_str());
    else
        settings_.DeleteKey(kTargetStampKey);
}
