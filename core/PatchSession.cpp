// One working session on a patch list. The settings file is never replaced
// when it could not be read; every save reports whether it took place; and
// the rebuild asks before it writes over a target that someone else changed.
#include "core/PatchSession.h"

#include "core/PatchListStore.h"
#include "engine/Progress.h"
#include "engine/Signature.h"
#include "settings/IniText.h"
#include "winutil/CodePage.h"
#include "winutil/FdIo.h"
#include "winutil/FileUtil.h"
#include "winutil/Locations.h"
#include "winutil/SafeFile.h"
#include "winutil/Translate.h"
#include "winutil/UniqueFd.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
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
const char* const kTargetInBackupFolder =
    QT_TRANSLATE_NOOP("PatchSession", " 选择的文件在备份文件夹中, 不能作为目标文件! ");
const char* const kTargetTooLarge = QT_TRANSLATE_NOOP(
    "PatchSession",
    " 选择的文件有 %1 字节, 本程序只能修补小于 4 GiB (%2 字节) 的文件; 未复制该文件! ");
const char* const kBackupSpoiled = QT_TRANSLATE_NOOP(
    "PatchSession", " 备份文件夹不允许新建文件, 在原处写入备份文件时失败: 备份文件只写入了一部分, "
                    "请重新选择目标文件! ");
const char* const kBackupCopyFailed = QT_TRANSLATE_NOOP("PatchSession", " 无法备份选择的文件! ");
const char* const kBackupCopyInUse =
    QT_TRANSLATE_NOOP("PatchSession", " 无法备份选择的文件: 该文件或备份文件正被另一个程序使用! ");
const char* const kListNotWritten = QT_TRANSLATE_NOOP("PatchSession", " 无法将列表写入设置文件");
const char* const kListNotWrittenLocked =
    QT_TRANSLATE_NOOP("PatchSession", " 设置文件无法读取, 列表不会写入该文件");
const char* const kListNotWrittenDamaged =
    QT_TRANSLATE_NOOP("PatchSession", " 设置文件已损坏, 列表不会写入该文件");
const char* const kListPartlyWritten = QT_TRANSLATE_NOOP(
    "PatchSession", " 设置文件的文件夹不允许新建文件, 在原处写入列表时失败: 该文件只写入了一部分");
const char* const kRebuildSkipped = QT_TRANSLATE_NOOP("PatchSession", ", 未重建目标文件! ");
const char* const kListBusy = QT_TRANSLATE_NOOP(
    "PatchSession", " 列表正被另一个程序使用 (%1), 等待 %2 秒后仍未释放; 未做任何改变. ");
const char* const kUnknownHolder = QT_TRANSLATE_NOOP("PatchSession", "未知的程序");
const char* const kItemGone = QT_TRANSLATE_NOOP(
    "PatchSession", " 该项目已被另一个程序修改或删除; 列表已重新读取, 未做任何改变. ");
const char* const kBackupKept =
    QT_TRANSLATE_NOOP("PatchSession", " 选择的文件就是本程序上次重建的结果, 保留原来的备份文件. ");
const char* const kOldBytesRestored = QT_TRANSLATE_NOOP(
    "PatchSession", " 选择的文件在以下项目处是修改后的数据, 已在备份文件中换回原始数据: ");
const char* const kBackupRefused =
    QT_TRANSLATE_NOOP("PatchSession", " 新的备份文件无法重建以下有效项目, 保留原来的备份文件: ");
const char* const kNoticeCaption = QT_TRANSLATE_NOOP("PatchSession", "提示");
const char* const kListUnreadable = QT_TRANSLATE_NOOP(
    "PatchSession", " 无法读取设置文件中的列表! 在该文件可以读取并重新启动本程序之前, "
                    "列表不会被保存. ");

const char* const kSettingsTooLarge =
    QT_TRANSLATE_NOOP("PatchSession", "该文件大于 %1 MiB, 不会是设置文件.");
const char* const kSettingsNotText = QT_TRANSLATE_NOOP(
    "PatchSession", "该文件含有 NUL 字节, 不是设置文件 (是程序或其他二进制文件?).");
const char* const kLineTooLong =
    QT_TRANSLATE_NOOP("PatchSession", "%1 的一行长于 %2 字节, 读回时会被截断, 因此未写入设置文件.");
const char* const kSettingsInUse = QT_TRANSLATE_NOOP("PatchSession", "该文件正被另一个程序使用.");
const char* const kListDamaged = QT_TRANSLATE_NOOP(
    "PatchSession", " 设置文件已损坏: %1. 已读取其中完好的 %2 个项目. 在您选择保留恢复的列表之前, "
                    "本程序不会写入该文件. ");
const char* const kDamageZeroBytes = QT_TRANSLATE_NOOP("PatchSession", "零字节之后还有文本");
const char* const kDamageNoCount = QT_TRANSLATE_NOOP("PatchSession", "有项目但没有项目数");
const char* const kDamageCount =
    QT_TRANSLATE_NOOP("PatchSession", "项目数为 %1, 但存有 %2 个项目 (编号直到 %3)");

// A message in the user's language.
std::string Tr(const char* source) {
    return Translate("PatchSession", source);
}

// A tag as kept in the settings file: 16 hex digits.
std::string TagText(std::uint64_t tag) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llX", static_cast<unsigned long long>(tag));
    return text;
}

// A step the user cancelled (a question declined, or a long step stopped
// through its Progress): nothing to tell.
SessionOutcome CancelledOutcome() {
    SessionOutcome outcome;
    outcome.status = SessionOutcome::Status::Cancelled;
    return outcome;
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

// "<offset> <description>" of each item, one a line.
std::string ItemLines(const PatchList& items, const std::vector<std::size_t>& indexes) {
    std::string text;
    for (const std::size_t index : indexes) {
        char offset[16];
        std::snprintf(offset, sizeof offset, "%08x", items[index].offset);
        text.append("\n").append(offset).append("  ").append(items[index].description);
    }
    return text;
}

bool SameStamp(bool hadFile, const FileStamp& had, const std::string& path) {
    FileStamp now;
    const bool hasFile = StampFile(path, &now);
    return hasFile == hadFile && (!hasFile || now == had);
}

// Everything of an item but its flag.
bool SameContent(const PatchItem& a, const PatchItem& b) {
    return a.offset == b.offset && a.description == b.description && a.oldHex == b.oldHex &&
           a.newHex == b.newHex;
}

} // namespace

// The list's lock for one step, unless the session holds it for its whole
// life. Taking it reads the file again when another program changed it.
class PatchSession::ListLock {
  public:
    explicit ListLock(PatchSession& session) {
        if (!session.holdLock_ && !session.lockedFile_.empty() &&
            lock_.Acquire(session.lockedFile_, session.lockWait_) == FileLock::Result::Busy) {
            session.busyHolder_ = lock_.Holder();
            session.busyHolderName_ = lock_.HolderName();
            return;
        }
        ok_ = true;
        if (!session.holdLock_)
            session.ReloadKeepingFlags();
    }
    bool ok() const { return ok_; }

  private:
    FileLock lock_;
    bool ok_ = false;
};

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
    lockedFile_ = path;
    if (holdLock_ && !path.empty()) {
        // The user's data folder may not exist yet: it holds the lock file.
        if (!portable_) {
            std::string folder;
            if (SplitPath(path.c_str(), &folder, nullptr))
                CreateFolders(folder);
        }
        if (sessionLock_.Acquire(path, lockWait_) == FileLock::Result::Busy) {
            busyHolder_ = sessionLock_.Holder();
            busyHolderName_ = sessionLock_.HolderName();
            settings_.Clear();
            items_.clear();
            state_ = SettingsFileState::Busy;
            return state_;
        }
    }
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
    // A damaged file gives what it still holds intact.
    settings_.readPastZeroBytes = 1;
    const int loaded = settings_.Load(path.c_str(), 1);
    if (found == SettingsFileState::Loaded && loaded == 0)
        found = SettingsFileState::Unreadable;
    settings_.keepOrder = 0; // every save writes the keys sorted
    state_ = found;
    LoadList();
    MarkSeen();
    if (state_ == SettingsFileState::Loaded &&
        (settings_.TextAfterZeroByte() || listCheck_.Damaged()))
        state_ = SettingsFileState::Damaged;
    return state_;
}

std::string PatchSession::BusyText() const {
    std::string holder = busyHolderName_.empty() ? Tr(kUnknownHolder) : busyHolderName_;
    if (busyHolder_ != 0)
        holder += ", pid " + std::to_string(busyHolder_);
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%g", static_cast<double>(lockWait_.count()) / 1000.0);
    return FormatText(Tr(kListBusy), {holder, seconds}) + "\n" + SettingsFilePath();
}

void PatchSession::MarkSeen() {
    if (keepSeen_)
        seen_ = items_;
    storedChanges_ = settings_.ChangeCount();
    storedListChanges_ = storedChanges_; // LoadList took the tag
    if (!StampFile(SettingsFilePath(), &seenStamp_))
        seenStamp_ = FileStamp{};
}

bool PatchSession::FileHoldsList() {
    // The store is the file's text as last read or written, and the file is
    // untouched since; signatures are made at load, so a list that matches
    // needs none either.
    if (state_ != SettingsFileState::Loaded || !signaturesOnLoad_ ||
        settings_.ChangeCount() != storedChanges_ ||
        !SameStamp(seenStamp_ != FileStamp{}, seenStamp_, SettingsFilePath()))
        return false;
    const char* target = nullptr;
    if (!settings_.GetValue(kTargetPathKey, &target, nullptr) || !target || targetPath_ != target)
        return false;
    // The list the store holds is tagged when it is read or stored; a store
    // saved since for other keys is read back (a fraction of the cost of
    // storing and writing the list).
    if (storedListChanges_ != storedChanges_) {
        PatchList stored;
        ReadPatchItems(settings_, stored);
        storedListTag_ = StoredListTag(stored);
        storedListChanges_ = storedChanges_;
    }
    return StoredListTag(items_) == storedListTag_;
}

bool PatchSession::ReloadKeepingFlags() {
    if (state_ != SettingsFileState::Loaded && state_ != SettingsFileState::Missing)
        return false;
    const std::string path = SettingsFilePath().empty() ? lockedFile_ : SettingsFilePath();
    if (path.empty() || SameStamp(seenStamp_ != FileStamp{}, seenStamp_, path))
        return false;
    // The flags changed in memory since the list was last read or saved, by
    // the item they were changed on and its place among equal items.
    struct Flag {
        PatchItem item; // as the file held it
        std::size_t occurrence;
        std::int32_t enabled;
    };
    std::vector<Flag> flags;
    for (std::size_t i = 0; i < items_.size() && i < seen_.size(); ++i) {
        if (!SameContent(items_[i], seen_[i]) || items_[i].enabled == seen_[i].enabled)
            continue;
        const auto occurrence = static_cast<std::size_t>(
            std::count(seen_.begin(), seen_.begin() + static_cast<std::ptrdiff_t>(i), seen_[i]));
        flags.push_back({seen_[i], occurrence, items_[i].enabled});
    }
    const bool exists = LookAtPath(path).Exists();
    FileInfo info;
    if (exists && UniqueFd(OpenForReading(path.c_str(), &info)).get() < 0)
        return false; // cannot be read just now: the list on screen stays
    settings_.Clear();
    settings_.keepOrder = 1;
    settings_.Load(lockedFile_.c_str(), 1);
    settings_.keepOrder = 0;
    if (exists)
        state_ = SettingsFileState::Loaded;
    LoadList();
    MarkSeen();
    reread_ = true;
    for (const Flag& flag : flags) {
        if (PatchItem* item = FindItem(items_, flag.item, flag.occurrence))
            item->enabled = flag.enabled;
    }
    return true;
}

bool PatchSession::Refresh(std::chrono::milliseconds wait) {
    if (holdLock_ || lockedFile_.empty())
        return false;
    const std::string path = SettingsFilePath().empty() ? lockedFile_ : SettingsFilePath();
    if (SameStamp(seenStamp_ != FileStamp{}, seenStamp_, path))
        return false;
    FileLock lock;
    if (lock.Acquire(lockedFile_, wait) == FileLock::Result::Busy)
        return false;
    return ReloadKeepingFlags();
}

SessionOutcome PatchSession::Change(const std::function<bool(PatchList& items)>& change) {
    ListLock lock(*this);
    if (!lock.ok())
        return Busy();
    if (!change(items_))
        return SessionOutcome{};
    return SaveList();
}

SessionOutcome PatchSession::ItemGone() {
    return FileFailure(SessionOutcome::Status::ItemGone, kItemGone);
}

SessionOutcome PatchSession::Busy() const {
    SessionOutcome outcome;
    outcome.status = SessionOutcome::Status::Busy;
    outcome.text = BusyText();
    outcome.caption = Tr(kFileCaption);
    return outcome;
}

PatchItem* FindItem(PatchList& items, const PatchItem& item, std::size_t occurrence) {
    for (PatchItem& candidate : items) {
        if (candidate == item && occurrence-- == 0)
            return &candidate;
    }
    return nullptr;
}

std::size_t OccurrenceOf(const PatchList& items, std::size_t row) {
    if (row >= items.size())
        return 0;
    return static_cast<std::size_t>(
        std::count(items.begin(), items.begin() + static_cast<std::ptrdiff_t>(row), items[row]));
}

std::string PatchSession::SettingsFilePath() const {
    return WideToCodePage(settings_.CurrentFile());
}

std::string PatchSession::UnreadableText() const {
    const std::string why = RefusalText();
    return Tr(kListUnreadable) + "\n" + SettingsFilePath() + (why.empty() ? "" : "\n" + why);
}

std::string PatchSession::RefusalText() const {
    switch (settings_.Refusal()) {
    case SettingsRefusal::None:
        break;
    case SettingsRefusal::TooLarge:
        return FormatText(Tr(kSettingsTooLarge), {std::to_string(kMaxSettingsFileBytes >> 20)});
    case SettingsRefusal::NotText:
        return Tr(kSettingsNotText);
    case SettingsRefusal::LineTooLong:
        return FormatText(Tr(kLineTooLong),
                          {settings_.RefusedKey(), std::to_string(kLineCapacity - 1)});
    case SettingsRefusal::InUse:
        return Tr(kSettingsInUse);
    }
    return std::string();
}

std::string PatchSession::DamagedText() const {
    std::string what;
    if (settings_.TextAfterZeroByte())
        what = Tr(kDamageZeroBytes);
    if (listCheck_.Damaged()) {
        if (!what.empty())
            what += "; ";
        what += listCheck_.hasCount
                    ? FormatText(Tr(kDamageCount), {std::to_string(listCheck_.count),
                                                    std::to_string(listCheck_.itemsHeld),
                                                    std::to_string(listCheck_.highest)})
                    : Tr(kDamageNoCount);
    }
    return FormatText(Tr(kListDamaged), {what, std::to_string(items_.size())}) + "\n" +
           SettingsFilePath();
}

void PatchSession::KeepRecovered() {
    if (state_ == SettingsFileState::Damaged)
        state_ = SettingsFileState::Loaded;
}

void PatchSession::LoadList() {
    targetPath_ = ReadTargetPath(settings_);
    MakeBackupPath();
    // A replace killed half way on Windows leaves the file moved aside: it
    // is back in its place before anything looks at it.
    RecoverInterruptedReplace(targetPath_);
    RecoverInterruptedReplace(backupPath_);
    ReadPatchItems(settings_, items_, &listCheck_);
    storedListTag_ = StoredListTag(items_);
    SortPatchList(items_);
    if (signaturesOnLoad_)
        RefreshSignatures(); // a list from before signatures, or from another version
}

std::size_t PatchSession::RefreshSignatures() {
    if (backupPath_.empty())
        return 0;
    // The pass reads every item's place in the backup. A list and a backup
    // that stand as they did when a pass last ran (or made what it found
    // missing) need no other: the tag of that state is kept with the list.
    const std::uint64_t before = SignatureStateTag(backupPath_, items_);
    const char* kept = nullptr;
    if (before != 0 && settings_.GetValue(kSignaturesCheckedKey, &kept, nullptr) && kept &&
        kept == TagText(before))
        return 0;
    std::size_t made = 0;
    if (!UpdateSignaturesFromFile(backupPath_, items_, &made))
        return 0;
    const std::uint64_t after = made == 0 ? before : SignatureStateTag(backupPath_, items_);
    if (after != 0)
        settings_.SetString(kSignaturesCheckedKey, TagText(after).c_str());
    return made;
}

bool PatchSession::PlanRelocation(std::vector<ItemRelocation>* plan) const {
    return !backupPath_.empty() && PlanRelocationFromFile(backupPath_, items_, plan);
}

SessionOutcome PatchSession::Relocate(const std::vector<ItemRelocation>& plan) {
    ApplyRelocation(plan, items_);
    return SaveList();
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
    if (storeList) {
        RefreshSignatures(); // for items added, changed, copied or imported
        StorePatchList(settings_, items_, targetPath_);
    }
    if (FileLocked())
        return false;
    if (!portable_) {
        std::string folder;
        if (SplitPath(SettingsFilePath().c_str(), &folder, nullptr))
            CreateFolders(folder);
    }
    if (settings_.Save(nullptr) == 0)
        return false;
    if (state_ == SettingsFileState::Missing)
        state_ = SettingsFileState::Loaded;
    // What the file holds now is this session's own: a later step need not
    // read it again. Without storeList it holds the list as last stored.
    if (storeList) {
        seen_ = items_;
        // Tagged as the store gives it back (a text cut at a zero byte, for
        // one, is not what the list in memory holds).
        PatchList stored;
        ReadPatchItems(settings_, stored);
        storedListTag_ = StoredListTag(stored);
    }
    storedChanges_ = settings_.ChangeCount();
    if (storeList)
        storedListChanges_ = storedChanges_;
    if (!StampFile(SettingsFilePath(), &seenStamp_))
        seenStamp_ = FileStamp{};
    return true;
}

SessionOutcome PatchSession::NotSaved(bool rebuildSkipped) const {
    SessionOutcome outcome;
    outcome.status = SessionOutcome::Status::NotSaved;
    outcome.text = Tr(state_ == SettingsFileState::Unreadable ? kListNotWrittenLocked
                      : state_ == SettingsFileState::Damaged  ? kListNotWrittenDamaged
                      : settings_.SaveLeftPartialFile()       ? kListPartlyWritten
                                                              : kListNotWritten);
    outcome.text += rebuildSkipped ? Tr(kRebuildSkipped) : std::string("! ");
    outcome.text.append("\n").append(SettingsFilePath());
    if (const std::string why = RefusalText(); !why.empty())
        outcome.text += "\n" + why;
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
    // A pristine copy (through a link or not) is never a target: the rebuild
    // would write over it.
    if (TargetInBackupFolder(path))
        return FileFailure(Status::TargetInBackupFolder, kTargetInBackupFolder);
    ListLock lock(*this);
    if (!lock.ok())
        return Busy();
    ResolvePending();

    // The target is taken only together with a backup copy of it: without
    // one the next "保存" would start from another file's bytes, or from none.
    const std::string previousTarget = targetPath_;
    const std::string previousBackup = backupPath_;
    targetPath_ = path;
    SessionOutcome outcome = MakeBackupPath()
                                 ? TakeBackup(previousTarget)
                                 : FileFailure(Status::BackupPathTooLong, kBackupPathTooLong);
    // The list was saved before the copy took the backup's place: the
    // signatures the new backup allows are made and saved now.
    if (outcome.ok() && RefreshSignatures() != 0 && !SaveStore())
        outcome = NotSaved(false);
    // Refused, or not saved for a reason that goes away: the previous target
    // stays. Only a settings file that could not be read (and so is never
    // written) leaves the session on the new target.
    if (!outcome.ok() && !(outcome.status == Status::NotSaved && FileLocked())) {
        targetPath_ = previousTarget;
        backupPath_ = previousBackup;
    }
    return outcome;
}

SessionOutcome PatchSession::TakeBackup(const std::string& previousTarget) {
    using Status = SessionOutcome::Status;
    // Every rebuild refuses a file this large: copying it would only cost
    // the time and the disk space.
    if (const FileInfo info = LookAtPath(targetPath_);
        info.kind == FileKind::Regular && info.size > kMaxRebuildSize) {
        SessionOutcome refused = FileFailure(Status::TargetTooLarge, kTargetTooLarge);
        refused.text = FormatText(Tr(kTargetTooLarge),
                                  {std::to_string(info.size), std::to_string(kMaxRebuildSize + 1)});
        return refused;
    }
    FileStamp seen;
    const bool stamped = StampFile(targetPath_, &seen);
    FileStamp oldBackup;
    const bool hasBackup = StampFile(backupPath_, &oldBackup);

    // The file this program wrote last is no pristine copy: the backup it
    // was made from stays.
    FileFingerprint lastWritten;
    FileFingerprint now;
    if (hasBackup && stamped && RecordedTarget(&lastWritten) && lastWritten.size == seen.size &&
        FingerprintFile(targetPath_, &now) && now == lastWritten) {
        if (!SaveStore())
            return NotSaved(false);
        SessionOutcome kept;
        kept.backupKept = true;
        kept.notice = true;
        kept.text = Tr(kBackupKept);
        kept.caption = Tr(kNoticeCaption);
        return kept;
    }

    // Where the file holds an item's new bytes, the item wrote them: its
    // old bytes go back into the copy. An old copy is replaced only by one
    // the list can be rebuilt from, unless the user says otherwise.
    // After an update the items' bytes may have moved: they are relocated
    // in the copy first, and moved back unless it is taken.
    BackupCandidatePlan plan = PlanBackupCandidate(targetPath_, items_);
    std::vector<std::uint32_t> offsets(items_.size());
    for (std::size_t n = 0; n < items_.size(); ++n)
        offsets[n] = items_[n].offset;
    const auto undoMoves = [&] {
        for (std::size_t n = 0; n < items_.size() && n < offsets.size(); ++n)
            items_[n].offset = offsets[n];
    };
    bool anyway = false;
    if (plan.readable && hasBackup && !plan.failingItems.empty() && confirmRelocation_ &&
        !RelocateIntoCandidate(&plan, &anyway))
        return CancelledOutcome();
    if (plan.readable && hasBackup && !plan.failingItems.empty() && !anyway) {
        const std::string text = Tr(kBackupRefused) + ItemLines(items_, plan.failingItems);
        if (!replaceAnyway_ || !replaceAnyway_(text)) {
            undoMoves();
            SessionOutcome refused = FileFailure(Status::BackupRefused, kBackupRefused);
            refused.text = text;
            refused.failingItems = plan.failingItems;
            return refused;
        }
    }

    FileFingerprint copied;
    bool asked = false;
    bool saved = false;
    // The list names the new copy, as the copy about to take the backup's
    // place, before it does: a program killed in between leaves a record of
    // whichever file the backup then is (see ResolvePending). A copy
    // written in place that fails part way spoils the old one.
    const BackupCopy copy = MakeBackupCopy(
        targetPath_, backupPath_, &copied,
        [&] {
            asked = true;
            SetRecord(kPendingBackupSizeKey, kPendingBackupSha256Key, copied);
            saved = SaveStore();
            // A settings file that could not be read is never written: the
            // session works on with the new copy all the same.
            return saved || FileLocked();
        },
        plan.readable ? std::span<const PatchedRun>(plan.restores) : std::span<const PatchedRun>());
    DeleteRecord(kPendingBackupSizeKey, kPendingBackupSha256Key);
    if (copy != BackupCopy::Done) {
        const bool spoiled = copy == BackupCopy::Spoiled;
        undoMoves();
        if (!spoiled && !asked && StepCancelled())
            return CancelledOutcome();
        if (spoiled) {
            // What the file records of the backup no longer holds.
            DeleteRecord(kBackupSizeKey, kBackupSha256Key);
            ForgetTarget();
            SaveStore(false);
            return FileFailure(Status::BackupFailed, kBackupSpoiled);
        }
        if (asked && !saved)
            return NotSaved(false);
        if (saved) { // the file names the copy that could not take its place
            const std::string taken = targetPath_;
            targetPath_ = previousTarget;
            SaveStore();
            targetPath_ = taken;
        }
        return FileFailure(Status::BackupFailed,
                           copy == BackupCopy::InUse ? kBackupCopyInUse : kBackupCopyFailed);
    }
    SetRecord(kBackupSizeKey, kBackupSha256Key, copied);
    ForgetTarget(); // that was another file, or another version of it
    // The target holds what the backup record describes only when nothing
    // was put back.
    if (stamped && plan.restores.empty())
        StampTarget(seen, copied.size);
    if (!SaveStore())
        return NotSaved(false);
    SessionOutcome outcome;
    if (plan.readable && !plan.restoredItems.empty()) {
        outcome.notice = true;
        outcome.restoredItems = plan.restoredItems;
        outcome.text = Tr(kOldBytesRestored) + ItemLines(items_, plan.restoredItems);
        outcome.caption = Tr(kNoticeCaption);
    }
    outcome.failingItems = plan.readable ? plan.failingItems : std::vector<std::size_t>{};
    return outcome;
}

bool PatchSession::RelocateIntoCandidate(BackupCandidatePlan* plan, bool* anyway) {
    *anyway = false;
    RefreshSignatures(); // from the old copy, still in place
    CandidateRelocation relocation;
    if (!PlanCandidateRelocation(targetPath_, items_, *plan, &relocation))
        return true; // could not be read just now: the checks below decide
    if (std::none_of(
            relocation.plan.begin(), relocation.plan.end(),
            [](const ItemRelocation& entry) { return entry.kind == RelocationKind::Moves; }))
        return true; // nothing to move: the question about the items decides
    const BackupRelocationAnswer answer =
        confirmRelocation_(items_, relocation.plan, relocation.complete);
    if (answer == BackupRelocationAnswer::Cancel)
        return false;
    if (ApplyRelocation(relocation.plan, items_) != 0)
        *plan = PlanBackupCandidate(targetPath_, items_);
    *anyway = answer == BackupRelocationAnswer::ReplaceAnyway;
    return true;
}

SessionOutcome PatchSession::Apply(const std::function<TargetChangedAnswer()>& askTargetChanged) {
    using Status = SessionOutcome::Status;
    // Another program changes neither the list nor the files until the
    // target is written and recorded.
    ListLock lock(*this);
    if (!lock.ok())
        return Busy();
    ResolvePending();
    // A step the user may cancel puts the settings file back as it was: the
    // list saved below then stays in memory only, as it was before.
    std::optional<std::string> fileBefore;
    const PatchList seenBefore = seen_;
    const SettingsFileState stateBefore = state_;
    if (CurrentProgress()) {
        FileBuffer file;
        if (file.Load(SettingsFilePath().c_str()))
            fileBefore.emplace(reinterpret_cast<const char*>(file.data), file.length);
    }
    const auto cancelled = [&] {
        FileBuffer now;
        const bool hasNow = now.Load(SettingsFilePath().c_str());
        if (hasNow && fileBefore &&
            std::string_view(reinterpret_cast<const char*>(now.data), now.length) == *fileBefore)
            return CancelledOutcome();
        if (fileBefore)
            ReplaceFileContents(SettingsFilePath(), fileBefore->data(), fileBefore->size());
        else if (hasNow && stateBefore == SettingsFileState::Missing)
            RemoveFile(SettingsFilePath());
        // Read back as it is now, the flags changed in memory kept.
        state_ = stateBefore;
        seen_ = seenBefore;
        seenStamp_ = FileStamp{};
        const bool reread = reread_;
        ReloadKeepingFlags();
        reread_ = reread;
        return CancelledOutcome();
    };
    // The list as it stands goes to the file first: a target rebuilt from a
    // list the file does not hold would disagree with it after a restart. A
    // file that holds it already is not written again for it.
    if (!FileHoldsList() && !SaveStore())
        return NotSaved(true);
    // A target swapped for a link into the backup folder since it was
    // chosen (or named so by a hand-edited list) is not written through.
    if (TargetInBackupFolder(targetPath_))
        return FileFailure(Status::TargetInBackupFolder, kTargetInBackupFolder);

    SessionOutcome renewed;
    if (TargetChanged()) {
        const TargetChangedAnswer answer =
            askTargetChanged ? askTargetChanged() : TargetChangedAnswer::Cancel;
        if (answer == TargetChangedAnswer::Cancel)
            return CancelledOutcome();
        if (answer == TargetChangedAnswer::Rebackup) {
            if (backupPath_.empty())
                return FileFailure(Status::BackupFailed, kBackupCopyFailed);
            renewed = TakeBackup(targetPath_);
            if (renewed.status == Status::Cancelled)
                return cancelled();
            if (renewed.status == Status::NotSaved)
                return NotSaved(true);
            if (!renewed.ok())
                return renewed;
        }
    }

    SessionOutcome outcome;
    outcome.restoredItems = renewed.restoredItems;
    if (renewed.notice) {
        outcome.notice = true;
        outcome.text = renewed.text;
        outcome.caption = renewed.caption;
    }
    FileFingerprint written;
    bool recordSaved = true;
    outcome.rebuild = ::RebuildTarget(
        backupPath_, items_, targetPath_, &written, [&](const FileFingerprint& next) {
            if (next.size == 0)
                return true; // no hash: nothing to record
            SetRecord(kPendingTargetSizeKey, kPendingTargetSha256Key, next);
            recordSaved = SaveStore(false) || state_ == SettingsFileState::Unreadable;
            return recordSaved;
        });
    DeleteRecord(kPendingTargetSizeKey, kPendingTargetSha256Key);
    if (outcome.rebuild.status == RebuildOutcome::Status::Cancelled)
        return cancelled();
    if (!recordSaved)
        return NotSaved(true);
    if (!outcome.rebuild.ok()) {
        outcome.status = Status::RebuildFailed;
        outcome.text = outcome.rebuild.text;
        outcome.caption = outcome.rebuild.caption;
        outcome.notice = false;
        return outcome;
    }
    outcome.rebuilt = true;
    // The rebuild hashed what it wrote; only when it could not is the target
    // read again.
    FileFingerprint recorded = written;
    if (recorded.size != 0 || FingerprintFile(targetPath_, &recorded)) {
        SetRecord(kTargetSizeKey, kTargetSha256Key, recorded);
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

void PatchSession::ResolvePending() {
    FileFingerprint pending;
    FileFingerprint now;
    if (Recorded(kPendingBackupSizeKey, kPendingBackupSha256Key, &pending)) {
        if (!backupPath_.empty() && FingerprintFile(backupPath_, &now) && now == pending) {
            SetRecord(kBackupSizeKey, kBackupSha256Key, pending);
            ForgetTarget();
        }
        DeleteRecord(kPendingBackupSizeKey, kPendingBackupSha256Key);
    }
    if (Recorded(kPendingTargetSizeKey, kPendingTargetSha256Key, &pending)) {
        FileStamp stamp;
        if (!targetPath_.empty() && FingerprintFile(targetPath_, &now) && now == pending) {
            SetRecord(kTargetSizeKey, kTargetSha256Key, pending);
            if (StampFile(targetPath_, &stamp) && stamp.size == pending.size)
                settings_.SetString(kTargetStampKey, stamp.Text().c_str());
            else
                settings_.DeleteKey(kTargetStampKey);
        }
        DeleteRecord(kPendingTargetSizeKey, kPendingTargetSha256Key);
    }
}

void PatchSession::SetRecord(const char* sizeKey, const char* shaKey,
                             const FileFingerprint& value) {
    settings_.SetString(sizeKey, std::to_string(value.size).c_str());
    settings_.SetString(shaKey, value.Sha256Hex().c_str());
}

void PatchSession::DeleteRecord(const char* sizeKey, const char* shaKey) {
    settings_.DeleteKey(sizeKey);
    settings_.DeleteKey(shaKey);
}

std::string PatchSession::WindowSetting(const char* key) {
    const char* value = nullptr;
    return settings_.GetString(key, &value) && value ? std::string(value) : std::string();
}

bool PatchSession::SaveWindowSetting(const char* key, const std::string& value) {
    settings_.SetString(key, value.c_str());
    return SaveStore(false);
}

bool PatchSession::TargetInBackupFolder(const std::string& path) const {
    return IsFileInFolder(path, homeDir_ + "/Path_bak");
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
    DeleteRecord(kTargetSizeKey, kTargetSha256Key);
    settings_.DeleteKey(kTargetStampKey);
}

void PatchSession::StampTarget(const FileStamp& stamp, std::uint64_t knownSize) {
    FileStamp now;
    if (stamp.size == knownSize && StampFile(targetPath_, &now) && now == stamp)
        settings_.SetString(kTargetStampKey, stamp.Text().c_str());
    else
        settings_.DeleteKey(kTargetStampKey);
}
