// The command line's reading and writing of the settings file, the backup
// copy and the target, on today's building blocks: the list store shared with
// the window, the rebuild and the backup path of the engine.
#include "cli/CliSession.h"

#include "app/PatchListStore.h"
#include "cli/CliPreview.h"
#include "cli/CliText.h"
#include "engine/Rebuild.h"
#include "settings/AppSetting.h"
#include "settings/IniText.h"
#include "winutil/FileUtil.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

// The settings store, remembering what its last save returned (the list
// store saves through it and reports nothing itself), and answering the many
// lookups of reading the list from an index.
struct PatchListFile::Store : CAppSetting {
    int Save(const char* path = nullptr) override {
        lastSave = CAppSetting::Save(path);
        return lastSave;
    }

    // Reading the list asks for every item's keys one after another, in
    // nearly key order: while reading, each lookup is searched outward from
    // the previous answer in an array of the entries that have a value
    // (lookups of value-less entries find nothing either way for the list).
    int GetValue(const char* key, const char** value, int* line) override {
        if (!indexed || key == nullptr || line != nullptr)
            return CAppSetting::GetValue(key, value, line);
        const std::size_t at = Seek(key);
        if (at == index.size() || CompareKeys(index[at].key, key) != 0)
            return 0;
        finger = at;
        if (value != nullptr)
            *value = index[at].value;
        return 1;
    }

    void BeginReading() {
        index.clear();
        EnumKeys("", &index, &AddToIndex, 1);
        finger = 0;
        indexed = true;
    }
    void EndReading() {
        indexed = false;
        index = {};
    }

    struct Indexed {
        std::string_view key;
        const char* value;
    };
    static int AddToIndex(const char* key, const char*, const char* value, void* context) {
        static_cast<std::vector<Indexed>*>(context)->push_back(Indexed{key, value});
        return 1;
    }
    // The first position whose key is not below key, galloping from finger.
    std::size_t Seek(std::string_view key) const {
        const std::size_t n = index.size();
        if (n == 0)
            return 0;
        auto below = [&](std::size_t i) { return CompareKeys(index[i].key, key) < 0; };
        std::size_t lo = 0;
        std::size_t hi = n;
        std::size_t step = 1;
        if (below(finger)) {
            lo = finger + 1;
            while (lo + step - 1 < n && below(lo + step - 1)) {
                lo += step;
                step *= 2;
            }
            hi = std::min(n, lo + step - 1);
        } else {
            hi = finger;
            while (hi >= step && !below(hi - step)) {
                hi -= step;
                step *= 2;
            }
            lo = hi >= step ? hi - step + 1 : 0;
        }
        while (lo < hi) {
            const std::size_t mid = lo + (hi - lo) / 2;
            if (below(mid))
                lo = mid + 1;
            else
                hi = mid;
        }
        return lo;
    }

    int lastSave = 0;
    bool indexed = false;
    std::vector<Indexed> index;
    std::size_t finger = 0;
};

namespace {

// Owns a file descriptor for one scope.
class Fd {
  public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { Close(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

  private:
    int fd_;
};

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

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? std::string("/") : path.substr(0, slash);
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

// Copies source into a new temporary file beside destination, flushed to the
// disk; *temporary names it. The caller renames it into place or removes it.
CliResult CopyToTemporary(const std::string& source, const std::string& destination,
                          std::string* temporary) {
    Fd in(::open(source.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    const int openError = errno;
    struct stat st {};
    if (in.get() < 0)
        return Failed(kExitFileError,
                      Fill(Tr("target %1 cannot be read: %2"), {source, Reason(openError)}));
    if (::fstat(in.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return Failed(kExitFileError, Fill(Tr("target %1 is not a regular file"), {source}));
    std::string pattern = destination + ".part-XXXXXX";
    Fd out(::mkostemp(pattern.data(), O_CLOEXEC));
    const int createError = errno;
    if (out.get() < 0)
        return Failed(kExitFileError, Fill(Tr("backup copy %1 cannot be written: %2"),
                                           {destination, Reason(createError)}));
    *temporary = pattern;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(out.get(), 0666 & ~mask);

    auto fail = [&](int error) {
        ::unlink(temporary->c_str());
        temporary->clear();
        return Failed(kExitFileError, Fill(Tr("backup copy %1 cannot be written: %2"),
                                           {destination, Reason(error)}));
    };
    bool plainCopy = false;
    std::vector<char> buffer; // for file systems that cannot copy_file_range
    for (;;) {
        ssize_t n = 0;
        if (!plainCopy) {
            n = ::copy_file_range(in.get(), nullptr, out.get(), nullptr, std::size_t(1) << 30, 0);
            if (n < 0 &&
                (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
                plainCopy = true;
                buffer.resize(std::size_t(1) << 20);
                continue;
            }
        } else {
            n = ::read(in.get(), buffer.data(), buffer.size());
            for (ssize_t done = 0; n > 0 && done < n;) {
                const ssize_t w =
                    ::write(out.get(), buffer.data() + done, static_cast<std::size_t>(n - done));
                if (w <= 0) {
                    if (w < 0 && errno == EINTR)
                        continue;
                    return fail(w < 0 ? errno : ENOSPC);
                }
                done += w;
            }
        }
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return fail(errno);
        }
    }
    if (::fsync(out.get()) != 0)
        return fail(errno);
    if (!out.Close())
        return fail(errno);
    return CliResult{};
}

} // namespace

CliResult Failed(int status, std::string message) {
    CliResult result;
    result.status = status;
    result.message = std::move(message);
    return result;
}

CliResult CheckReadableFile(const std::string& path, const char* what) {
    Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    const int openError = errno;
    if (fd.get() < 0)
        return Failed(kExitFileError,
                      Fill(Tr("%1 %2 cannot be read: %3"), {Tr(what), path, Reason(openError)}));
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return Failed(kExitFileError, Fill(Tr("%1 %2 is not a regular file"), {Tr(what), path}));
    return CliResult{};
}

PatchListFile::PatchListFile() : store_(std::make_unique<Store>()) {}

PatchListFile::~PatchListFile() = default;

CliResult PatchListFile::Open(const std::string& settingsPath, bool mustExist) {
    settingsPath_ = Absolute(settingsPath);
    settingsDir_ = FolderOf(settingsPath_);
    struct stat st {};
    const bool exists = ::stat(settingsPath_.c_str(), &st) == 0;
    const int statError = errno;
    if (!exists && statError != ENOENT)
        return Failed(kExitFileError, Fill(Tr("settings file %1 cannot be read: %2"),
                                           {settingsPath_, Reason(statError)}));
    if (!exists && mustExist)
        return Failed(kExitFileError,
                      Fill(Tr("settings file %1 does not exist (choose a target first, or "
                              "name another file with --settings)"),
                           {settingsPath_}));
    if (exists) {
        CliResult readable = CheckReadableFile(settingsPath_, "settings file");
        if (!readable.ok())
            return readable;
        if (!store_->Load(settingsPath_.c_str(), 1))
            return Failed(kExitFileError,
                          Fill(Tr("settings file %1 cannot be read"), {settingsPath_}));
    } else {
        // Names the file that the first save creates.
        store_->Load(settingsPath_.c_str(), 1);
    }
    store_->keepOrder = 0; // every save writes the keys sorted, as the window does
    targetPath_ = ReadTargetPath(*store_);
    store_->BeginReading();
    ReadPatchItems(*store_, items);
    store_->EndReading();
    // A list saved by a command is in offset order already (sorting moves
    // every item even then).
    if (!std::is_sorted(items.begin(), items.end(),
                        [](const PatchItem& a, const PatchItem& b) { return a.offset < b.offset; }))
        SortPatchList(items);
    return CliResult{};
}

std::string PatchListFile::BackupPath() const {
    // The same path MakeBackupPath forms, without creating the folder: only
    // choosing a target writes there.
    if (targetPath_.empty())
        return std::string();
    std::string name;
    SplitPath(targetPath_.c_str(), nullptr, &name);
    std::string path = settingsDir_ + "/Path_bak/" + name;
    return path.size() < kPathCapacity ? path : std::string();
}

CliResult PatchListFile::Save() {
    store_->lastSave = 0;
    WritePatchList(*store_, items, targetPath_);
    if (store_->lastSave == 0)
        return Failed(kExitFileError,
                      Fill(Tr("the list could not be written to the settings file %1; "
                              "it is unchanged"),
                           {settingsPath_}));
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

    std::string backup;
    if (!MakeBackupPath(settingsDir_, chosen, &backup))
        return Failed(kExitFileError, Fill(Tr("the backup path for %1 in %2 would be too long"),
                                           {chosen, settingsDir_ + "/Path_bak"}));
    if (SameFile(chosen, backup))
        return Failed(kExitFileError, Fill(Tr("target %1 is the backup copy itself"), {chosen}));

    // The copy is complete on disk before the list names the new target, and
    // it replaces the previous backup only once the list is saved.
    std::string temporary;
    CliResult copied = CopyToTemporary(chosen, backup, &temporary);
    if (!copied.ok())
        return copied;
    const std::string previousTarget = targetPath_;
    targetPath_ = chosen;
    CliResult saved = Save();
    if (!saved.ok()) {
        targetPath_ = previousTarget;
        ::unlink(temporary.c_str());
        return saved;
    }
    if (::rename(temporary.c_str(), backup.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        targetPath_ = previousTarget;
        Save();
        return Failed(kExitFileError,
                      Fill(Tr("backup copy %1 cannot be written: %2"), {backup, Reason(error)}));
    }
    return CliResult{};
}

CliResult PatchListFile::RequireTarget() const {
    if (targetPath_.empty())
        return Failed(kExitUsage, Fill(Tr("the list in %1 has no target; choose one with "
                                          "\"bytemender-cli target FILE\""),
                                       {settingsPath_}));
    return CliResult{};
}

CliResult PatchListFile::CheckRebuildFiles() const {
    CliResult chosen = RequireTarget();
    if (!chosen.ok())
        return chosen;
    const std::string backup = BackupPath();
    if (backup.empty())
        return Failed(kExitFileError,
                      Fill(Tr("the backup path for %1 would be too long"), {targetPath_}) + "\n" +
                          WindowText(kBackupUnreadable));
    CliResult readable = CheckReadableFile(backup, "backup copy");
    if (!readable.ok())
        return Failed(kExitFileError, readable.message + "\n" + WindowText(kBackupUnreadable));
    struct stat st {};
    if (::stat(backup.c_str(), &st) == 0 && st.st_size == 0)
        return Failed(kExitFileError, Fill(Tr("backup copy %1 is empty"), {backup}) + "\n" +
                                          WindowText(kBackupUnreadable));
    if (::stat(targetPath_.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode))
            return Failed(kExitFileError,
                          Fill(Tr("target %1 is not a regular file"), {targetPath_}) + "\n" +
                              WindowText(kWriteFailed));
        if (SameFile(targetPath_, backup))
            return Failed(kExitFileError,
                          Fill(Tr("target %1 is the backup copy itself"), {targetPath_}) + "\n" +
                              WindowText(kWriteFailed));
    }
    return CliResult{};
}

CliResult PatchListFile::Apply() {
    CliResult files = CheckRebuildFiles();
    if (!files.ok())
        return files;
    store_->lastSave = 0;
    store_->Save();
    if (store_->lastSave == 0)
        return Failed(kExitFileError,
                      Fill(Tr("the list could not be written to the settings file %1; "
                              "the target was not rebuilt"),
                           {settingsPath_}));

    const std::string backup = BackupPath();
    const RebuildOutcome outcome = RebuildTarget(backup, items, targetPath_);
    using Status = RebuildOutcome::Status;
    switch (outcome.status) {
    case Status::Ok:
        return CliResult{};
    case Status::BackupUnreadable:
        return Failed(kExitFileError, Fill(Tr("backup copy %1 cannot be read"), {backup}) + "\n" +
                                          WindowText(outcome.text.c_str()));
    case Status::WriteFailed:
        return Failed(kExitFileError, Fill(Tr("target %1 could not be written"), {targetPath_}) +
                                          "\n" + WindowText(outcome.text.c_str()));
    case Status::OutOfRange:
    case Status::OldDataMismatch:
        break;
    }
    // The rebuild names the item by its description only; working it through
    // again finds its row.
    std::string where;
    const RebuildPreview preview = PreviewRebuild(backup, items);
    if (preview.status == outcome.status) {
        const PatchItem& item = items[preview.failedRow];
        where = Fill(Tr("row %1 at offset %2:"),
                     {std::to_string(preview.failedRow + 1), OffsetText(item.offset)}) +
                "\n";
    }
    return Failed(kExitCheckFailed, where + ItemMessage(outcome.text));
}
