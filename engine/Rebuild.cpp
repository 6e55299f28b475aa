// Rebuilding the target from its backup copy, the backup copy itself, and the
// backup path.
//
// The rebuild never holds the file in memory. It first checks every enabled
// item against the backup, reading only the bytes each item compares; the new
// bytes of the items before it are laid over what it reads, so an item sees
// the file exactly as the items before it left it. Only when every item
// passes is the target written: the backup is copied into the replacement
// (copy_file_range, so the bytes need not pass through this process), the
// patched runs are written over it, and the replacement takes the target's
// place in one rename. When the caller wants the written bytes' SHA-256, a
// second thread hashes the backup's bytes with the patched runs laid over
// them while the main thread copies and flushes (the flush waits on the disk,
// the hash on the processor); see RebuildTarget for who waits on whom.
#include "engine/Rebuild.h"

#include "engine/HexText.h"
#include "engine/Progress.h"
#include "winutil/FdIo.h"
#include "winutil/FileUtil.h"
#include "winutil/SafeFile.h"
#include "winutil/Translate.h"
#include "winutil/UniqueFd.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <stop_token>
#include <thread>
#include <vector>

namespace {

// Room for the old and the new data of one item.
constexpr std::uint32_t kDataCapacity = 4096;

// Texts for the user, in the user's language.
std::string Tr(const char* source) {
    return Translate("Rebuild", source);
}

RebuildOutcome Failure(RebuildOutcome::Status status, std::string text, std::string caption) {
    RebuildOutcome outcome;
    outcome.status = status;
    outcome.text = std::move(text);
    outcome.caption = std::move(caption);
    return outcome;
}

RebuildOutcome BackupUnreadable() {
    return Failure(RebuildOutcome::Status::BackupUnreadable,
                   Tr(QT_TRANSLATE_NOOP("Rebuild", " 无法访问选择的文件! ")),
                   Tr(QT_TRANSLATE_NOOP("Rebuild", "错误")));
}

RebuildOutcome Cancelled() {
    RebuildOutcome outcome;
    outcome.status = RebuildOutcome::Status::Cancelled;
    return outcome;
}

// why: what the target's SafeFile told, when it failed.
RebuildOutcome WriteFailed(SafeFile::Reason why = SafeFile::Reason::IoError) {
    return Failure(
        RebuildOutcome::Status::WriteFailed,
        why == SafeFile::Reason::InUse
            ? Tr(QT_TRANSLATE_NOOP("Rebuild", " 无法写入输出文件: 该文件正被另一个程序使用! "))
            : Tr(QT_TRANSLATE_NOOP("Rebuild", " 无法写入输出文件! ")),
        Tr(QT_TRANSLATE_NOOP("Rebuild", "错误")));
}

// The bytes the enabled items put so far, as disjoint runs keyed by their
// first offset. A later item cuts away what it covers of earlier runs, so
// each run stays at most one item long.
class PatchedRuns {
  public:
    using Runs = std::map<std::uint64_t, std::vector<std::uint8_t>>;

    void Put(std::uint64_t offset, const std::uint8_t* bytes, std::size_t size) {
        const std::uint64_t end = offset + size;
        auto next = runs_.lower_bound(offset);
        if (next != runs_.begin()) {
            auto before = std::prev(next);
            const std::uint64_t beforeEnd = before->first + before->second.size();
            if (beforeEnd > end) // the new run lies inside: keep the tail
                runs_.emplace_hint(
                    next, end,
                    std::vector<std::uint8_t>(before->second.end() - (beforeEnd - end),
                                              before->second.end()));
            if (beforeEnd > offset)
                before->second.resize(offset - before->first);
        }
        while (next != runs_.end() && next->first < end) {
            const std::uint64_t nextEnd = next->first + next->second.size();
            if (nextEnd > end) {
                std::vector<std::uint8_t> tail(next->second.end() - (nextEnd - end),
                                               next->second.end());
                next = runs_.erase(next);
                runs_.emplace_hint(next, end, std::move(tail));
                break;
            }
            next = runs_.erase(next);
        }
        runs_.insert_or_assign(offset, std::vector<std::uint8_t>(bytes, bytes + size));
    }

    // Lays the runs that meet [offset, offset + size) over bytes.
    void Overlay(std::uint64_t offset, std::uint8_t* bytes, std::size_t size) const {
        const std::uint64_t end = offset + size;
        auto run = runs_.upper_bound(offset);
        if (run != runs_.begin())
            --run;
        for (; run != runs_.end() && run->first < end; ++run) {
            const std::uint64_t from = std::max(offset, run->first);
            const std::uint64_t to = std::min(end, run->first + run->second.size());
            if (from < to)
                std::memcpy(bytes + (from - offset), run->second.data() + (from - run->first),
                            to - from);
        }
    }

    const Runs& runs() const { return runs_; }

  private:
    Runs runs_;
};

// Hashes the bytes a rebuild writes, on a thread of its own: the source's
// first length bytes with the patched runs laid over them. The runs and the
// source must stay unchanged until Finish (or destruction, which stops the
// work and waits for it).
class OutputHasher {
  public:
    OutputHasher(int source, std::uint64_t length, const PatchedRuns& patched)
        : source_(source), length_(length), patched_(patched), progress_(CurrentProgress()),
          thread_([this](std::stop_token stop) { done_ = Run(stop); }) {}

    // Waits for the hash; false when it could not be had.
    bool Finish(FileFingerprint* out) {
        thread_.join();
        if (!done_)
            return false;
        out->size = length_;
        out->sha256 = digest_;
        return true;
    }

  private:
    static constexpr std::size_t kBlock = std::size_t(1) << 20;

    bool Run(const std::stop_token& stop) {
        const std::unique_ptr<std::uint8_t[]> block(new (std::nothrow) std::uint8_t[kBlock]);
        if (!block)
            return false;
        Sha256Stream hash;
        for (std::uint64_t at = 0; at < length_;) {
            if (stop.stop_requested() || StepCancelled(progress_))
                return false;
            const auto size =
                static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, length_ - at));
            if (!ReadAllAt(source_, at, block.get(), size))
                return false;
            patched_.Overlay(at, block.get(), size);
            if (!hash.Add(block.get(), size))
                return false;
            StepAdvance(size, progress_);
            at += size;
        }
        return hash.Finish(&digest_);
    }

    const int source_;
    const std::uint64_t length_;
    const PatchedRuns& patched_;
    Progress* const progress_; // the step's, counting the bytes hashed
    std::array<std::uint8_t, 32> digest_{};
    bool done_ = false;
    std::jthread thread_; // last: starts once everything above is set
};

// Checks the enabled items in list order against the backup and gathers
// their new bytes in patched. On failure *failed receives the item's index.
// With allFailures given, a failing item is noted there and passed over, and
// the check goes on with the next one.
RebuildOutcome::Status CheckItems(int backup, std::uint64_t length,
                                  std::span<const PatchItem> items, PatchedRuns* patched,
                                  std::size_t* failed,
                                  std::vector<std::size_t>* allFailures = nullptr) {
    std::uint8_t oldBytes[kDataCapacity];
    std::uint8_t newBytes[kDataCapacity];
    std::uint8_t found[kDataCapacity];
    for (std::size_t index = 0; index < items.size(); ++index) {
        const PatchItem& item = items[index];
        if (item.enabled == 0)
            continue;
        *failed = index;
        const std::uint32_t oldLength = ParseHexText(item.oldHex.c_str(), oldBytes, kDataCapacity);
        const std::uint32_t newLength = ParseHexText(item.newHex.c_str(), newBytes, kDataCapacity);
        // 64-bit sum: an offset near the top of the 32-bit range must not wrap round.
        const std::uint64_t end =
            std::uint64_t(item.offset) + std::uint64_t(std::max(oldLength, newLength));
        if (end > length) {
            if (!allFailures)
                return RebuildOutcome::Status::OutOfRange;
            allFailures->push_back(index);
            continue;
        }
        if (oldLength != 0) {
            if (!ReadAllAt(backup, item.offset, found, oldLength))
                return RebuildOutcome::Status::BackupUnreadable;
            patched->Overlay(item.offset, found, oldLength);
            if (std::memcmp(found, oldBytes, oldLength) != 0) {
                if (!allFailures)
                    return RebuildOutcome::Status::OldDataMismatch;
                allFailures->push_back(index);
                continue;
            }
        }
        if (newLength != 0)
            patched->Put(item.offset, newBytes, newLength);
    }
    *failed = 0;
    return RebuildOutcome::Status::Ok;
}

// Opens the backup for a rebuild: -1 unless it is a regular file of 1 byte up
// to 4 GiB less one (larger files are out of reach of 32-bit offsets).
int OpenBackup(const std::string& backupPath, FileInfo* info) {
    const int fd = OpenRegularForReading(backupPath.c_str(), info);
    if (fd >= 0 && (info->size == 0 || info->size > kMaxRebuildSize)) {
        CloseFd(fd);
        return -1;
    }
    return fd;
}

// Copies length bytes of source into file in blocks, counting them on the
// thread's Progress. Cancelled (false, *cancelled set) only while the copy is
// still a temporary file or nothing reached the file yet.
bool CopyCounted(SafeFile& file, int source, std::uint64_t length, bool* cancelled) {
    constexpr std::uint64_t kCopyBlock = std::uint64_t(64) << 20;
    for (std::uint64_t at = 0; at < length;) {
        if (StepCancelled() && !file.Changed()) {
            *cancelled = true;
            return false;
        }
        const std::uint64_t size = std::min(kCopyBlock, length - at);
        if (!file.CopyFrom(source, at, size))
            return false;
        StepAdvance(size);
        at += size;
    }
    return true;
}

} // namespace

RebuildPlan PlanRebuild(const std::string& backupPath, std::span<const PatchItem> items) {
    RebuildPlan plan;
    FileInfo backupInfo;
    const UniqueFd backup(OpenBackup(backupPath, &backupInfo));
    if (backup.get() < 0) {
        plan.status = RebuildOutcome::Status::BackupUnreadable;
        return plan;
    }
    PatchedRuns patched;
    plan.status = CheckItems(backup.get(), backupInfo.size, items, &patched, &plan.failedItem);
    if (plan.status == RebuildOutcome::Status::Ok) {
        for (const auto& [offset, bytes] : patched.runs()) {
            if (!bytes.empty())
                plan.runs.push_back(PatchedRun{offset, bytes});
        }
    }
    return plan;
}

RebuildOutcome RebuildTarget(const std::string& backupPath, std::span<const PatchItem> items,
                             const std::string& targetPath, FileFingerprint* written,
                             const std::function<bool(const FileFingerprint&)>& beforeReplacing) {
    if (written)
        *written = FileFingerprint{};
    FileInfo backupInfo;
    const UniqueFd backup(OpenBackup(backupPath, &backupInfo));
    if (backup.get() < 0)
        return BackupUnreadable();
    const auto length = backupInfo.size;

    PatchedRuns patched;
    std::size_t failed = 0;
    const RebuildOutcome::Status status =
        CheckItems(backup.get(), length, items, &patched, &failed);
    if (status == RebuildOutcome::Status::BackupUnreadable)
        return BackupUnreadable();
    if (status != RebuildOutcome::Status::Ok) {
        const char* problem = status == RebuildOutcome::Status::OutOfRange
                                  ? QT_TRANSLATE_NOOP("Rebuild", "文件范围超出!")
                                  : QT_TRANSLATE_NOOP("Rebuild", "原始数据不匹配!");
        RebuildOutcome outcome =
            Failure(status, items[failed].description + "\r\n" + Tr(problem), "Error");
        outcome.failedItem = failed;
        return outcome;
    }

    // The pristine copy is never the file written, under any name.
    if (SameFile(targetPath, backupInfo))
        return WriteFailed();
    FileFingerprint hashed;
    std::optional<OutputHasher> hasher;
    StepAddTotal(written || beforeReplacing ? 2 * length : length);
    if (written || beforeReplacing)
        hasher.emplace(backup.get(), length, patched);
    SafeFile target;
    bool cancelled = false;
    if (!target.Open(targetPath) || !CopyCounted(target, backup.get(), length, &cancelled))
        return cancelled ? Cancelled() : WriteFailed(target.Why());
    for (const auto& [offset, bytes] : patched.runs()) {
        if (!target.WriteAt(offset, bytes.data(), bytes.size()))
            return WriteFailed(target.Why());
    }
    // The hash is needed before the rename only when someone records it
    // first; otherwise it runs on while the new contents are flushed. When
    // it is, the flush (which waits on the disk) runs on a thread of its own
    // meanwhile, and on while the caller records the hash; nothing else
    // touches the target until it is joined.
    if (beforeReplacing) {
        const bool changed = target.Changed(); // written in place: no way back
        bool flushed = false;
        std::jthread flusher([&target, &flushed] { flushed = target.Flush(); });
        if (!hasher->Finish(&hashed))
            hashed = FileFingerprint{};
        hasher.reset();
        if (StepCancelled() && !changed) {
            flusher.join();
            return Cancelled();
        }
        const bool recorded = beforeReplacing(hashed);
        flusher.join();
        if (!flushed)
            return WriteFailed(target.Why());
        if (!recorded)
            return WriteFailed();
    } else if (StepCancelled() && !target.Changed()) {
        return Cancelled();
    }
    if (!target.Commit())
        return WriteFailed(target.Why());
    if (hasher && !hasher->Finish(&hashed))
        hashed = FileFingerprint{};
    if (written)
        *written = hashed;
    return RebuildOutcome{};
}

BackupCopy MakeBackupCopy(const std::string& targetPath, const std::string& backupPath,
                          FileFingerprint* copied, const std::function<bool()>& beforeReplacing,
                          std::span<const PatchedRun> restores) {
    FileInfo source;
    errno = 0;
    const UniqueFd target(OpenRegularForReading(targetPath.c_str(), &source));
    if (target.get() < 0)
        return IsInUseError(errno) ? BackupCopy::InUse : BackupCopy::Failed;
    if (SameFile(backupPath, source))
        return BackupCopy::Failed;
    const auto length = source.size;
    PatchedRuns restored;
    for (const PatchedRun& run : restores) {
        if (run.offset + run.bytes.size() > length)
            return BackupCopy::Failed;
        restored.Put(run.offset, run.bytes.data(), run.bytes.size());
    }
    std::optional<OutputHasher> hasher;
    StepAddTotal(copied ? 2 * length : length);
    if (copied)
        hasher.emplace(target.get(), length, restored);
    SafeFile backup;
    // Written in place (the folder takes no new file), the old backup is gone
    // from the first byte on: it is finished first, and only a complete copy
    // is announced to beforeReplacing.
    const auto failed = [&] {
        if (backup.Changed())
            return BackupCopy::Spoiled;
        return backup.Why() == SafeFile::Reason::InUse ? BackupCopy::InUse : BackupCopy::Failed;
    };
    bool cancelled = false;
    if (!backup.Open(backupPath) || !CopyCounted(backup, target.get(), length, &cancelled))
        return failed();
    for (const PatchedRun& run : restores) {
        if (!backup.WriteAt(run.offset, run.bytes.data(), run.bytes.size()))
            return failed();
    }
    if (hasher && (!backup.Flush() || !hasher->Finish(copied)))
        return failed();
    if (StepCancelled() && !backup.Changed())
        return BackupCopy::Failed;
    if (backup.InPlace() && !backup.Commit())
        return failed();
    if (beforeReplacing && !beforeReplacing())
        return backup.InPlace() ? BackupCopy::Done : failed();
    return backup.InPlace() || backup.Commit() ? BackupCopy::Done : failed();
}

BackupCandidatePlan PlanBackupCandidate(const std::string& candidatePath,
                                        std::span<const PatchItem> items) {
    BackupCandidatePlan plan;
    FileInfo info;
    const UniqueFd candidate(OpenBackup(candidatePath, &info));
    if (candidate.get() < 0)
        return plan;
    const auto length = info.size;
    // Undone in the reverse order of the rebuild: a later item wrote over
    // what the earlier ones left.
    PatchedRuns restored;
    std::uint8_t oldBytes[kDataCapacity];
    std::uint8_t newBytes[kDataCapacity];
    std::uint8_t found[kDataCapacity];
    for (std::size_t index = items.size(); index-- > 0;) {
        const PatchItem& item = items[index];
        if (item.enabled == 0)
            continue;
        const std::uint32_t oldLength = ParseHexText(item.oldHex.c_str(), oldBytes, kDataCapacity);
        const std::uint32_t newLength = ParseHexText(item.newHex.c_str(), newBytes, kDataCapacity);
        const std::uint32_t putBack = std::min(oldLength, newLength);
        if (putBack == 0 || std::uint64_t(item.offset) + std::max(oldLength, newLength) > length)
            continue;
        const std::uint32_t compared = std::max(oldLength, newLength);
        if (!ReadAllAt(candidate.get(), item.offset, found, compared))
            return plan;
        restored.Overlay(item.offset, found, compared);
        const bool holdsOld = std::memcmp(found, oldBytes, oldLength) == 0;
        const bool holdsNew = std::memcmp(found, newBytes, newLength) == 0;
        if (holdsNew && !holdsOld) {
            restored.Put(item.offset, oldBytes, putBack);
            plan.restoredItems.push_back(index);
        }
    }
    std::reverse(plan.restoredItems.begin(), plan.restoredItems.end());
    for (const auto& [offset, bytes] : restored.runs()) {
        if (!bytes.empty())
            plan.restores.push_back(PatchedRun{offset, bytes});
    }
    PatchedRuns patched = restored;
    std::size_t failed = 0;
    if (CheckItems(candidate.get(), length, items, &patched, &failed, &plan.failingItems) ==
        RebuildOutcome::Status::BackupUnreadable)
        return BackupCandidatePlan{};
    plan.readable = true;
    return plan;
}

bool MakeBackupPath(const std::string& moduleDir, const std::string& targetPath,
                    std::string* backupPath) {
    std::string name;
    SplitPath(targetPath.c_str(), nullptr, &name);
    const std::string folder = moduleDir + "/Path_bak";
    MakeFolder(folder, 0777); // usually exists already
    std::string path = folder + "/" + name;
    if (path.size() >= kPathCapacity) {
        if (backupPath)
            backupPath->clear();
        return false;
    }
    if (backupPath)
        *backupPath = std::move(path);
    return true;
}
