// The command line's reading and writing of the settings file, the backup
// copy and the target: the window's session underneath, the command line's
// checks and messages on top.
#include "cli/CliSession.h"

#include "cli/CliRelocate.h"
#include "cli/CliText.h"
#include "core/PatchExchangeJobs.h"
#include "engine/Rebuild.h"
#include "winutil/FdIo.h"
#include "winutil/FileUtil.h"

#include <cerrno>
#include <cstring>

namespace {

// The window's program name: its settings file is the one the command line
// works on by default.
constexpr const char* kWindowProgram = "bytemender";

std::string Reason(int error) {
    if (IsInUseError(error))
        return Translate("bytemender-cli",
                         QT_TRANSLATE_NOOP("bytemender-cli", "该文件正被另一个程序使用"));
    return std::strerror(error);
}

std::string Absolute(const std::string& path) {
    const std::string absolute = AbsolutePath(path, true);
    return absolute.empty() ? path : absolute;
}

// A window text, already in the user's language, without its padding spaces.
std::string WindowText(const std::string& shown) {
    const std::size_t first = shown.find_first_not_of(' ');
    const std::size_t last = shown.find_last_not_of(' ');
    return first == std::string::npos ? std::string() : shown.substr(first, last - first + 1);
}

// The rebuild's own texts for the checks made here before it runs.
std::string RebuildText(const char* source) {
    return WindowText(Translate("Rebuild", source));
}

constexpr const char* kBackupUnreadable = QT_TRANSLATE_NOOP("Rebuild", " 无法访问选择的文件! ");
constexpr const char* kWriteFailed = QT_TRANSLATE_NOOP("Rebuild", " 无法写入输出文件! ");

// The rebuild's item message, "<description>\r\n<fixed text>", with a plain
// line break.
std::string ItemMessage(const std::string& text) {
    const std::size_t cut = text.rfind("\r\n");
    if (cut == std::string::npos)
        return text;
    return text.substr(0, cut) + "\n" + text.substr(cut + 2);
}

// A reason on a line of its own after a message, when there is one.
std::string Because(const std::string& reason) {
    return reason.empty() ? reason : "\n" + reason;
}

} // namespace

CliResult Failed(int status, std::string message) {
    CliResult result;
    result.status = status;
    result.message = std::move(message);
    return result;
}

CliResult CheckReadableFile(const std::string& path, const char* what) {
    FileInfo info;
    const int fd = OpenForReading(path.c_str(), &info);
    const int openError = errno;
    if (fd < 0)
        return Failed(kExitFileError,
                      FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli", "%1 %2 无法读取: %3")),
                                 {Tr(what), path, Reason(openError)}));
    CloseFd(fd);
    const bool regular = info.kind == FileKind::Regular;
    if (!regular)
        return Failed(kExitFileError,
                      FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli", "%1 %2 不是普通文件")),
                                 {Tr(what), path}));
    return CliResult{};
}

PatchListFile::PatchListFile()
    : session_(std::make_unique<PatchSession>()), items(session_->Items()) {}

PatchListFile::~PatchListFile() = default;

void PatchListFile::MakeSignaturesOnLoad(bool make) {
    session_->MakeSignaturesOnLoad(make);
}

CliResult PatchListFile::Open(const std::string& settingsPath, bool mustExist, bool lock,
                              std::chrono::milliseconds lockWait, bool keepRecovered) {
    notice_.clear();
    session_->HoldLockFromOpen(lock);
    // Without the lock the command only reads: no flag changes to carry over.
    session_->KeepListAsRead(lock);
    session_->SetLockWait(lockWait);
    SettingsFileState state = SettingsFileState::Missing;
    std::string path;
    if (settingsPath.empty()) {
        state = session_->OpenDefault(kWindowProgram);
        path = session_->SettingsFilePath();
        if (path.empty())
            return Failed(
                kExitFileError,
                Tr(QT_TRANSLATE_NOOP("bytemender-cli",
                                     "找不到程序所在的文件夹, 请用 --settings 指定设置文件")));
    } else {
        path = Absolute(settingsPath);
        state = session_->Open(path);
    }
    switch (state) {
    case SettingsFileState::Loaded:
        break;
    case SettingsFileState::Busy:
        return Failed(kExitFileError, WindowText(session_->BusyText()));
    case SettingsFileState::Damaged:
        notice_ = WindowText(session_->DamagedText());
        if (keepRecovered) {
            session_->KeepRecovered();
            notice_.append("\n").append(Tr(
                QT_TRANSLATE_NOOP("bytemender-cli", "--keep-recovered: 恢复的列表将写入该文件.")));
        } else {
            notice_.append("\n").append(Tr(QT_TRANSLATE_NOOP(
                "bytemender-cli", "用 --keep-recovered 以恢复的列表替换该文件.")));
        }
        break;
    case SettingsFileState::Missing:
        if (mustExist)
            return Failed(
                kExitFileError,
                FormatText(
                    Tr(QT_TRANSLATE_NOOP(
                        "bytemender-cli",
                        "设置文件 %1 不存在 (请先选择目标文件, 或用 --settings 指定其他文件)")),
                    {path}));
        // The list and its backups live in the folder of a file given by
        // name: a mistyped one is named as such, not as a backup that could
        // not be made. (The default folders are made on first use.)
        if (const std::string folder = ParentFolder(path);
            !settingsPath.empty() && !folder.empty() && LookAtPath(folder).kind != FileKind::Folder)
            return Failed(kExitFileError,
                          FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli",
                                                          "设置文件 %1 所在的文件夹 %2 不存在")),
                                     {path, folder}));
        break;
    case SettingsFileState::Unreadable: {
        CliResult readable =
            CheckReadableFile(path, QT_TRANSLATE_NOOP("bytemender-cli", "设置文件"));
        if (readable.ok())
            readable = Failed(
                kExitFileError,
                FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli", "无法读取设置文件 %1")), {path}) +
                    Because(session_->RefusalText()));
        return readable;
    }
    }
    return CliResult{};
}

void PatchListFile::Close() {
    session_->ReleaseLock();
}

std::string PatchListFile::SettingsPath() const {
    return session_->SettingsFilePath();
}

const std::string& PatchListFile::TargetPath() const {
    return session_->TargetPath();
}

std::string PatchListFile::BackupPath() const {
    return session_->TargetPath().empty() ? std::string() : session_->BackupPath();
}

CliResult PatchListFile::PlanRelocation(std::vector<ItemRelocation>* plan) const {
    if (CliResult backup = CheckBackup(); !backup.ok())
        return backup;
    if (!session_->PlanRelocation(plan))
        return Failed(kExitFileError,
                      FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli", "无法读取备份文件 %1")),
                                 {BackupPath()}));
    return CliResult{};
}

CliResult PatchListFile::Relocate(const std::vector<ItemRelocation>& plan) {
    ApplyRelocation(plan, items);
    return Save();
}

CliResult PatchListFile::Save() {
    if (session_->SaveList().ok())
        return CliResult{};
    if (session_->Settings().SaveLeftPartialFile())
        return Failed(
            kExitFileError,
            FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli",
                                            "无法将列表写入设置文件 %1: 它的文件夹不允许新建文件, "
                                            "在原处写入时失败, 该文件只写入了一部分")),
                       {SettingsPath()}));
    return Failed(kExitFileError,
                  FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli",
                                                  "无法将列表写入设置文件 %1, 该文件未改变")),
                             {SettingsPath()}) +
                      Because(session_->RefusalText()));
}

namespace {

// The session's texts for the command line: without padding, one line each.
std::string OutcomeNotice(const SessionOutcome& outcome) {
    return outcome.notice ? WindowText(outcome.text) : std::string();
}

CliResult BackupRefused(const SessionOutcome& outcome, const char* howToForce) {
    return Failed(kExitCheckFailed, WindowText(outcome.text) + "\n" + Tr(howToForce));
}

// The moves (and the items that stay) a new backup copy came with, then the
// session's notice.
std::string WithRelocation(const BackupRelocationReport& relocation, const std::string& notice) {
    std::string text = relocation.lines;
    if (notice.empty() && !text.empty())
        text.pop_back(); // the line end the caller adds
    return text + notice;
}

// A new backup copy some items could not be relocated into: nothing changed.
CliResult RelocationRefused(const BackupRelocationReport& relocation, const char* howToForce) {
    return Failed(kExitCheckFailed,
                  relocation.lines +
                      Tr(QT_TRANSLATE_NOOP("bytemender-cli",
                                           "以上项目无法在新的备份文件中重新定位, 未做任何改变.")) +
                      "\n" + Tr(howToForce));
}

} // namespace

CliResult PatchListFile::ChooseTarget(const std::string& file, bool force, std::string* notices) {
    const std::string chosen = Absolute(file);
    if (chosen.size() >= kPathCapacity)
        return Failed(kExitUsage,
                      FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli",
                                                      "目标文件路径 %1 过长 (最多 %2 字节)")),
                                 {chosen, std::to_string(kPathCapacity - 1)}));
    CliResult readable = CheckReadableFile(chosen, QT_TRANSLATE_NOOP("bytemender-cli", "目标文件"));
    if (!readable.ok())
        return readable;
    std::string name;
    SplitPath(chosen.c_str(), nullptr, &name);
    const std::string backupFolder = session_->HomeDir() + "/Path_bak";
    if (IsSameFile(chosen, backupFolder + "/" + name))
        return Failed(
            kExitFileError,
            FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli", "目标文件 %1 就是备份文件本身")),
                       {chosen}));

    session_->SetReplaceBackupAnyway([force](const std::string&) { return force; });
    BackupRelocationReport relocation;
    session_->SetConfirmBackupRelocation(AnswerBackupRelocation(force, &relocation));
    const SessionOutcome outcome = session_->ChooseTarget(chosen);
    session_->SetConfirmBackupRelocation({});
    if (notices)
        *notices = WithRelocation(relocation, OutcomeNotice(outcome));
    constexpr const char* kForceTarget = QT_TRANSLATE_NOOP(
        "bytemender-cli", "用 \"bytemender-cli target --force FILE\" 仍然替换备份文件.");
    using Status = SessionOutcome::Status;
    if (relocation.refused && outcome.status == Status::Cancelled)
        return RelocationRefused(relocation, kForceTarget);
    switch (outcome.status) {
    case Status::Ok:
        return CliResult{};
    case Status::BackupRefused:
        return BackupRefused(outcome, kForceTarget);
    case Status::TargetTooLarge:
        return Failed(kExitFileError, chosen + "\n" + WindowText(outcome.text));
    case Status::BackupPathTooLong:
        return Failed(
            kExitFileError,
            FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli", "%1 在 %2 中的备份文件路径过长")),
                       {chosen, backupFolder}));
    case Status::NotSaved:
        return Failed(
            kExitFileError,
            FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli",
                                            "无法将列表写入设置文件 %1, 它仍记着之前的目标文件")),
                       {SettingsPath()}) +
                Because(session_->RefusalText()));
    default:
        return Failed(kExitFileError,
                      FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli", "无法在 %2 中备份 %1")),
                                 {chosen, backupFolder}) +
                          "\n" + WindowText(outcome.text));
    }
}

CliResult PatchListFile::RequireTarget() const {
    if (TargetPath().empty())
        return Failed(
            kExitUsage,
            FormatText(Tr(QT_TRANSLATE_NOOP(
                           "bytemender-cli",
                           "%1 中的列表没有目标文件, 请用 \"bytemender-cli target FILE\" 选择")),
                       {SettingsPath()}));
    return CliResult{};
}

CliResult PatchListFile::CheckBackup() const {
    if (CliResult chosen = RequireTarget(); !chosen.ok())
        return chosen;
    const std::string backup = BackupPath();
    if (backup.empty())
        return Failed(kExitFileError,
                      FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli", "%1 的备份文件路径过长")),
                                 {TargetPath()}));
    return CheckReadableFile(backup, QT_TRANSLATE_NOOP("bytemender-cli", "备份文件"));
}

CliResult PatchListFile::CheckRebuildFiles() const {
    CliResult chosen = RequireTarget();
    if (!chosen.ok())
        return chosen;
    CliResult readable = CheckBackup();
    if (!readable.ok())
        return Failed(kExitFileError, readable.message + "\n" + RebuildText(kBackupUnreadable));
    const std::string& target = TargetPath();
    const std::string backup = BackupPath();
    if (const FileInfo info = LookAtPath(backup); info.Exists() && info.size == 0)
        return Failed(
            kExitFileError,
            FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli", "备份文件 %1 是空的")), {backup}) +
                "\n" + RebuildText(kBackupUnreadable));
    if (const FileInfo info = LookAtPath(target); info.Exists()) {
        if (info.kind != FileKind::Regular)
            return Failed(
                kExitFileError,
                FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli", "目标文件 %1 不是普通文件")),
                           {target}) +
                    "\n" + RebuildText(kWriteFailed));
        if (IsSameFile(target, backup))
            return Failed(
                kExitFileError,
                FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli", "目标文件 %1 就是备份文件本身")),
                           {target}) +
                    "\n" + RebuildText(kWriteFailed));
        if (session_->TargetInBackupFolder(target))
            return Failed(
                kExitFileError,
                FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli", "目标文件 %1 在备份文件夹中")),
                           {target}) +
                    "\n" + RebuildText(kWriteFailed));
    }
    return CliResult{};
}

bool PatchListFile::TargetChanged() const {
    return session_->TargetChanged();
}

CliResult PatchListFile::Apply(TargetChangedAnswer whenChanged, bool* renewed, bool force,
                               std::string* notices) {
    if (renewed)
        *renewed = false;
    CliResult files = CheckRebuildFiles();
    if (!files.ok())
        return files;
    bool asked = false;
    session_->SetReplaceBackupAnyway([force](const std::string&) { return force; });
    BackupRelocationReport relocation;
    session_->SetConfirmBackupRelocation(AnswerBackupRelocation(force, &relocation));
    const SessionOutcome outcome = session_->Apply([&] {
        asked = true;
        return whenChanged;
    });
    session_->SetConfirmBackupRelocation({});
    if (notices)
        *notices = WithRelocation(relocation, OutcomeNotice(outcome));
    using Status = SessionOutcome::Status;
    if (renewed)
        *renewed = asked && whenChanged == TargetChangedAnswer::Rebackup &&
                   outcome.status != Status::BackupFailed &&
                   outcome.status != Status::BackupRefused &&
                   outcome.status != Status::TargetTooLarge && outcome.status != Status::Cancelled;
    constexpr const char* kForceApply = QT_TRANSLATE_NOOP(
        "bytemender-cli", "用 \"bytemender-cli apply --rebackup --force\" 仍然替换备份文件.");
    if (relocation.refused && outcome.status == Status::Cancelled)
        return RelocationRefused(relocation, kForceApply);
    const std::string& target = TargetPath();
    const std::string backup = BackupPath();
    switch (outcome.status) {
    case Status::Ok:
        return CliResult{};
    case Status::NotSaved:
        if (outcome.rebuilt)
            return Failed(
                kExitFileError,
                FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli",
                                                "目标文件 %1 已重建, 但无法将记录写入设置文件 %2")),
                           {target, SettingsPath()}));
        return Failed(kExitFileError,
                      FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli",
                                                      "无法将列表写入设置文件 %1, 未重建目标文件")),
                                 {SettingsPath()}) +
                          Because(session_->RefusalText()));
    case Status::Cancelled:
        return Failed(
            kExitCheckFailed,
            FormatText(
                Tr(QT_TRANSLATE_NOOP(
                    "bytemender-cli",
                    "目标文件 %1 在备份或上次重建之后被修改过 (程序更新了吗?); 未写入任何文件.\n用 "
                    "\"bytemender-cli apply --rebackup\" 从目标文件的当前内容重新备份并由它重建, "
                    "或者用 \"bytemender-cli apply --overwrite\" 仍由原来的备份文件 %2 重建.")),
                {target, backup}));
    case Status::BackupFailed:
        return Failed(kExitFileError,
                      FormatText(Tr(QT_TRANSLATE_NOOP(
                                     "bytemender-cli",
                                     "无法用目标文件 %2 的副本替换备份文件 %1, 未重建目标文件")),
                                 {backup, target}) +
                          "\n" + WindowText(outcome.text));
    case Status::BackupRefused:
        return BackupRefused(outcome, kForceApply);
    case Status::RebuildFailed:
        break;
    default:
        return Failed(kExitFileError, WindowText(outcome.text));
    }
    const RebuildOutcome& rebuild = outcome.rebuild;
    using Rebuild = RebuildOutcome::Status;
    switch (rebuild.status) {
    case Rebuild::Ok:
        return CliResult{};
    case Rebuild::BackupUnreadable:
        return Failed(
            kExitFileError,
            FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli", "无法读取备份文件 %1")), {backup}) +
                "\n" + WindowText(rebuild.text));
    case Rebuild::WriteFailed:
        return Failed(
            kExitFileError,
            FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli", "无法写入目标文件 %1")), {target}) +
                "\n" + WindowText(rebuild.text));
    case Rebuild::Cancelled: // only a step with a Progress, which the command line never installs
        return Failed(kExitFileError, WindowText(rebuild.text));
    case Rebuild::OutOfRange:
    case Rebuild::OldDataMismatch:
        break;
    }
    const PatchItem& item = items[rebuild.failedItem];
    const std::string where =
        FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli", "第 %1 行, 偏移 %2:")),
                   {std::to_string(rebuild.failedItem + 1), OffsetText(item.offset)}) +
        "\n";
    return Failed(kExitCheckFailed, where + ItemMessage(rebuild.text));
}
