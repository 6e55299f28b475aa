// The command line's reading and writing of the settings file, the backup
// copy and the target: the window's session underneath, the command line's
// checks and messages on top.
#include "cli/CliSession.h"

#include "cli/CliPreview.h"
#include "cli/CliText.h"
#include "engine/Rebuild.h"
#include "winutil/FileUtil.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The window's program name: its settings file is the one the command line
// works on by default.
constexpr const char* kWindowProgram = "bytemender";

std::string Reason(int error) {
    return std::strerror(error);
}

std::string Absolute(const std::string& path) {
    std::error_code ignored;
    std::filesystem::path absolute = std::filesystem::absolute(path, ignored);
    if (absolute.empty())
        return path;
    return absolute.lexically_normal().string();
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {};
    struct stat sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// Window texts of the rebuild, shown without their padding spaces.
std::string WindowText(const char* text) {
    std::string shown = Tr(text);
    const std::size_t first = shown.find_first_not_of(' ');
    const std::size_t last = shown.find_last_not_of(' ');
    return first == std::string::npos ? std::string() : shown.substr(first, last - first + 1);
}

constexpr const char* kBackupUnreadable = " 无法访问选择的文件! ";
constexpr const char* kWriteFailed = " 无法写入输出文件! ";

// The window's item message, "<description>\r\n<fixed text>", with a plain
// line break.
std::string ItemMessage(const std::string& text) {
    const std::size_t cut = text.rfind("\r\n");
    if (cut == std::string::npos)
        return text;
    return text.substr(0, cut) + "\n" + Tr(text.substr(cut + 2).c_str());
}

} // namespace

CliResult Failed(int status, std::string message) {
    CliResult result;
    result.status = status;
    result.message = std::move(message);
    return result;
}

CliResult CheckReadableFile(const std::string& path, const char* what) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    const int openError = errno;
    if (fd < 0)
        return Failed(kExitFileError,
                      Fill(Tr("%1 %2 cannot be read: %3"), {Tr(what), path, Reason(openError)}));
    struct stat st {};
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    if (!regular)
        return Failed(kExitFileError, Fill(Tr("%1 %2 is not a regular file"), {Tr(what), path}));
    return CliResult{};
}

PatchListFile::PatchListFile()
    : session_(std::make_unique<PatchSession>()), items(session_->Items()) {}

PatchListFile::~PatchListFile() = default;

CliResult PatchListFile::Open(const std::string& settingsPath, bool mustExist) {
    SettingsFileState state = SettingsFileState::Missing;
    std::string path;
    if (settingsPath.empty()) {
        state = session_->OpenDefault(kWindowProgram);
        path = session_->SettingsFilePath();
        if (path.empty())
            return Failed(kExitFileError, Tr("the program's folder cannot be found; name the "
                                             "settings file with --settings"));
    } else {
        path = Absolute(settingsPath);
        state = session_->Open(path);
    }
    switch (state) {
    case SettingsFileState::Loaded:
        break;
    case SettingsFileState::Missing:
        if (mustExist)
            return Failed(kExitFileError,
                          Fill(Tr("settings file %1 does not exist (choose a target first, or "
                                  "name another file with --settings)"),
                               {path}));
        break;
    case SettingsFileState::Unreadable: {
        CliResult readable = CheckReadableFile(path, "settings file");
        if (readable.ok())
            readable = Failed(kExitFileError, Fill(Tr("settings file %1 cannot be read"), {path}));
        return readable;
    }
    }
    return CliResult{};
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

CliResult PatchListFile::Save() {
    if (!session_->SaveList().ok())
        return Failed(kExitFileError,
                      Fill(Tr("the list could not be written to the settings file %1; "
                              "it is unchanged"),
                           {SettingsPath()}));
    return CliResult{};
}

CliResult PatchListFile::ChooseTarget(const std::string& file) {
    const std::string chosen = Absolute(file);
    if (chosen.size() >= kPathCapacity)
        return Failed(kExitUsage, Fill(Tr("target path %1 is too long (at most %2 bytes)"),
                                       {chosen, std::to_string(kPathCapacity - 1)}));
    CliResult readable = CheckReadableFile(chosen, "target");
    if (!readable.ok())
        return readable;
    std::string name;
    SplitPath(chosen.c_str(), nullptr, &name);
    const std::string backupFolder = session_->HomeDir() + "/Path_bak";
    if (SameFile(chosen, backupFolder + "/" + name))
        return Failed(kExitFileError, Fill(Tr("target %1 is the backup copy itself"), {chosen}));

    const SessionOutcome outcome = session_->ChooseTarget(chosen);
    using Status = SessionOutcome::Status;
    switch (outcome.status) {
    case Status::Ok:
        return CliResult{};
    case Status::BackupPathTooLong:
        return Failed(kExitFileError, Fill(Tr("the backup path for %1 in %2 would be too long"),
                                           {chosen, backupFolder}));
    case Status::NotSaved:
        return Failed(kExitFileError,
                      Fill(Tr("the list could not be written to the settings file %1; it still "
                              "names the previous target"),
                           {SettingsPath()}));
    default:
        return Failed(kExitFileError, Fill(Tr("the backup copy of %1 could not be made in %2"),
                                           {chosen, backupFolder}) +
                                          "\n" + WindowText(outcome.text.c_str()));
    }
}

CliResult PatchListFile::RequireTarget() const {
    if (TargetPath().empty())
        return Failed(kExitUsage, Fill(Tr("the list in %1 has no target; choose one with "
                                          "\"bytemender-cli target FILE\""),
                                       {SettingsPath()}));
    return CliResult{};
}

CliResult PatchListFile::CheckRebuildFiles() const {
    CliResult chosen = RequireTarget();
    if (!chosen.ok())
        return chosen;
    const std::string& target = TargetPath();
    const std::string backup = BackupPath();
    if (backup.empty())
        return Failed(kExitFileError,
                      Fill(Tr("the backup path for %1 would be too long"), {target}) + "\n" +
                          WindowText(kBackupUnreadable));
    CliResult readable = CheckReadableFile(backup, "backup copy");
    if (!readable.ok())
        return Failed(kExitFileError, readable.message + "\n" + WindowText(kBackupUnreadable));
    struct stat st {};
    if (::stat(backup.c_str(), &st) == 0 && st.st_size == 0)
        return Failed(kExitFileError, Fill(Tr("backup copy %1 is empty"), {backup}) + "\n" +
                                          WindowText(kBackupUnreadable));
    if (::stat(target.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode))
            return Failed(kExitFileError, Fill(Tr("target %1 is not a regular file"), {target}) +
                                              "\n" + WindowText(kWriteFailed));
        if (SameFile(target, backup))
            return Failed(kExitFileError,
                          Fill(Tr("target %1 is the backup copy itself"), {target}) + "\n" +
                              WindowText(kWriteFailed));
    }
    return CliResult{};
}

bool PatchListFile::TargetChanged() const {
    return session_->TargetChanged();
}

CliResult PatchListFile::Apply(TargetChangedAnswer whenChanged, bool* renewed) {
    if (renewed)
        *renewed = false;
    CliResult files = CheckRebuildFiles();
    if (!files.ok())
        return files;
    bool asked = false;
    const SessionOutcome outcome = session_->Apply([&] {
        asked = true;
        return whenChanged;
    });
    if (renewed)
        *renewed = asked && whenChanged == TargetChangedAnswer::Rebackup &&
                   outcome.status != SessionOutcome::Status::BackupFailed;
    const std::string& target = TargetPath();
    const std::string backup = BackupPath();
    using Status = SessionOutcome::Status;
    switch (outcome.status) {
    case Status::Ok:
        return CliResult{};
    case Status::NotSaved:
        if (outcome.rebuilt)
            return Failed(kExitFileError,
                          Fill(Tr("target %1 was rebuilt, but the record of it could not be "
                                  "written to the settings file %2"),
                               {target, SettingsPath()}));
        return Failed(kExitFileError,
                      Fill(Tr("the list could not be written to the settings file %1; "
                              "the target was not rebuilt"),
                           {SettingsPath()}));
    case Status::Cancelled:
        return Failed(
            kExitCheckFailed,
            Fill(Tr("target %1 was changed since its backup copy was taken or it was last "
                    "rebuilt (was the program updated?); nothing was written.\n"
                    "Run \"bytemender-cli apply --rebackup\" to take a new backup copy from "
                    "the target as it is now and rebuild from that, or \"bytemender-cli apply "
                    "--overwrite\" to rebuild from the old backup copy %2 anyway."),
                 {target, backup}));
    case Status::BackupFailed:
        return Failed(kExitFileError,
                      Fill(Tr("backup copy %1 could not be replaced by a copy of target %2; the "
                              "target was not rebuilt"),
                           {backup, target}) +
                          "\n" + WindowText(outcome.text.c_str()));
    case Status::RebuildFailed:
        break;
    default:
        return Failed(kExitFileError, WindowText(outcome.text.c_str()));
    }
    const RebuildOutcome& rebuild = outcome.rebuild;
    using Rebuild = RebuildOutcome::Status;
    switch (rebuild.status) {
    case Rebuild::Ok:
        return CliResult{};
    case Rebuild::BackupUnreadable:
        return Failed(kExitFileError, Fill(Tr("backup copy %1 cannot be read"), {backup}) + "\n" +
                                          WindowText(rebuild.text.c_str()));
    case Rebuild::WriteFailed:
        return Failed(kExitFileError, Fill(Tr("target %1 could not be written"), {target}) + "\n" +
                                          WindowText(rebuild.text.c_str()));
    case Rebuild::OutOfRange:
    case Rebuild::OldDataMismatch:
        break;
    }
    // The rebuild names the item by its description only; working it through
    // again finds its row.
    std::string where;
    const RebuildPreview preview = PreviewRebuild(backup, items);
    if (preview.status == rebuild.status) {
        const PatchItem& item = items[preview.failedRow];
        where = Fill(Tr("row %1 at offset %2:"),
                     {std::to_string(preview.failedRow + 1), OffsetText(item.offset)}) +
                "\n";
    }
    return Failed(kExitCheckFailed, where + ItemMessage(rebuild.text));
}
