// target and apply: choosing the target, the rebuild and its dry run, which
// lists every range the rebuild would change without writing.
#include "cli/CliCommands.h"

#include "cli/CliPreview.h"
#include "cli/CliText.h"
#include "engine/Rebuild.h"
#include "winutil/FdIo.h"
#include "winutil/FileUtil.h"
#include "winutil/UniqueFd.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

// --dry-run lists at most this many changed ranges, and this many bytes of each.
constexpr std::size_t kMaxShownRanges = 10000;
constexpr std::size_t kMaxShownRangeBytes = 16;
// The dry run compares the target with what would be written this many bytes
// at a time.
constexpr std::uint64_t kCompareBlock = std::uint64_t(1) << 20;

std::string SpacedHex(const std::uint8_t* data, std::size_t length) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(3 * length);
    for (std::size_t i = 0; i < length; ++i) {
        if (i)
            text.push_back(' ');
        text.push_back(kDigits[data[i] >> 4]);
        text.push_back(kDigits[data[i] & 15]);
    }
    return text;
}

CliResult DryRun(PatchListFile& list, TargetChangedAnswer whenChanged, std::ostream& out) {
    CliResult files = list.CheckRebuildFiles();
    if (!files.ok())
        return files;
    // A changed target is only told about; with --rebackup the rebuild would
    // start from the target as it is now.
    std::string text;
    const bool changed = list.TargetChanged();
    if (changed) {
        const char* next =
            whenChanged == TargetChangedAnswer::Rebackup
                ? QT_TRANSLATE_NOOP("bytemender-cli", "apply --rebackup 会先从它重新备份.")
            : whenChanged == TargetChangedAnswer::Overwrite
                ? QT_TRANSLATE_NOOP("bytemender-cli",
                                    "apply --overwrite 仍会由原来的备份文件重建它.")
                : QT_TRANSLATE_NOOP("bytemender-cli",
                                    "没有 --rebackup 或 --overwrite 时 apply 不会写入它.");
        text.append(
                FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli",
                                                "目标文件 %1 在备份或上次重建之后被修改过: %2")),
                           {list.TargetPath(), Tr(next)}))
            .append("\n");
    }
    const std::string backup = changed && whenChanged == TargetChangedAnswer::Rebackup
                                   ? list.TargetPath()
                                   : list.BackupPath();
    const RebuildPlan plan = PlanRebuild(backup, list.items);
    using Status = RebuildOutcome::Status;
    const auto backupUnreadable = [&backup] {
        return Failed(
            kExitFileError,
            FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli", "无法读取备份文件 %1")), {backup}));
    };
    const auto targetUnreadable = [&list] {
        return Failed(kExitFileError,
                      FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli", "无法读取目标文件 %1")),
                                 {list.TargetPath()}));
    };
    if (plan.status == Status::BackupUnreadable)
        return backupUnreadable();
    if (plan.status != Status::Ok) {
        const PatchItem& item = list.items[plan.failedItem];
        const char* problem = plan.status == Status::OutOfRange
                                  ? QT_TRANSLATE_NOOP("Rebuild", "文件范围超出!")
                                  : QT_TRANSLATE_NOOP("Rebuild", "原始数据不匹配!");
        return Failed(kExitCheckFailed,
                      FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli", "第 %1 行, 偏移 %2:")),
                                 {std::to_string(plan.failedItem + 1), OffsetText(item.offset)}) +
                          "\n" + item.description + "\n" + Translate("Rebuild", problem));
    }
    // What the rebuild would write (the backup with the planned runs over
    // it) against what the target holds now, block by block. A missing
    // target would be made from the backup, so the changes are counted from
    // there.
    FileInfo afterInfo;
    const UniqueFd afterFile(OpenRegularForReading(backup.c_str(), &afterInfo));
    if (afterFile.get() < 0)
        return backupUnreadable();
    for (const PatchedRun& run : plan.runs) {
        if (run.offset + run.bytes.size() > afterInfo.size) // the backup changed meanwhile
            return backupUnreadable();
    }
    FileInfo beforeInfo;
    int before = OpenRegularForReading(list.TargetPath().c_str(), &beforeInfo);
    const bool targetMissing =
        before < 0 && LookAtPath(list.TargetPath()).kind == FileKind::Missing;
    if (targetMissing)
        before = OpenRegularForReading(backup.c_str(), &beforeInfo);
    const UniqueFd beforeFile(before);
    if (before < 0)
        return targetMissing ? backupUnreadable() : targetUnreadable();
    AdviseSequential(beforeFile.get());
    AdviseSequential(afterFile.get());
    const std::uint64_t common = std::min(beforeInfo.size, afterInfo.size);
    const auto blockSize = static_cast<std::size_t>(std::min(common, kCompareBlock));
    std::vector<std::uint8_t> beforeBlock(blockSize), afterBlock(blockSize);
    ChangeFinder finder(kMaxShownRanges, kMaxShownRangeBytes);
    auto run = plan.runs.begin();
    for (std::uint64_t at = 0; at < common; at += blockSize) {
        const auto count =
            static_cast<std::size_t>(std::min<std::uint64_t>(blockSize, common - at));
        if (!ReadAllAt(beforeFile.get(), at, beforeBlock.data(), count))
            return targetMissing ? backupUnreadable() : targetUnreadable();
        if (!ReadAllAt(afterFile.get(), at, afterBlock.data(), count))
            return backupUnreadable();
        // The planned runs are disjoint and ascending: those reaching into
        // this block, the last of which may go on into the next one.
        for (; run != plan.runs.end() && run->offset < at + count; ++run) {
            const std::uint64_t from = std::max(run->offset, at);
            const std::uint64_t to =
                std::min<std::uint64_t>(run->offset + run->bytes.size(), at + count);
            if (from < to)
                std::memcpy(afterBlock.data() + (from - at),
                            run->bytes.data() + (from - run->offset),
                            static_cast<std::size_t>(to - from));
            if (run->offset + run->bytes.size() > at + count)
                break;
        }
        finder.Feed(beforeBlock.data(), afterBlock.data(), count);
    }
    const FileChanges& changes = finder.changes();

    if (targetMissing)
        text.append(FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli",
                                                    "目标文件 %1 不存在: 将由备份文件生成.")),
                               {list.TargetPath()}))
            .append("\n");
    for (const ChangedRange& range : changes.ranges) {
        const char* more = range.length > range.before.size() ? " ..." : "";
        text.append(OffsetText(range.offset))
            .append("  ")
            .append(FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli", "长度 %1")),
                               {std::to_string(range.length)}))
            .append("  ")
            .append(SpacedHex(range.before.data(), range.before.size()))
            .append(more)
            .append("  ->  ")
            .append(SpacedHex(range.after.data(), range.after.size()))
            .append(more)
            .append("\n");
    }
    if (changes.moreRanges)
        text.append(FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli", "... 另有 %1 处")),
                               {std::to_string(changes.moreRanges)}))
            .append("\n");
    if (beforeInfo.size != afterInfo.size)
        text.append(FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli",
                                                    "目标文件的长度将从 %1 字节变为 %2 字节.")),
                               {std::to_string(beforeInfo.size), std::to_string(afterInfo.size)}))
            .append("\n");
    const std::uint64_t rangeCount = changes.ranges.size() + changes.moreRanges;
    if (rangeCount == 0 && beforeInfo.size == afterInfo.size)
        text.append(Tr(QT_TRANSLATE_NOOP("bytemender-cli", "没有任何改变."))).append("\n");
    else
        text.append(FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli",
                                                    "将有 %2 处共 %1 字节改变, 未写入任何文件.")),
                               {std::to_string(changes.changedBytes), std::to_string(rangeCount)}))
            .append("\n");
    out << text;
    return CliResult{};
}

} // namespace

CliResult ChooseTarget(PatchListFile& list, const std::string& file, bool force,
                       std::ostream& out) {
    std::string notices;
    CliResult chosen = list.ChooseTarget(file, force, &notices);
    if (!notices.empty())
        out << notices << "\n";
    if (!chosen.ok())
        return chosen;
    out << FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli", "目标文件: %1\n备份文件: %2")),
                      {list.TargetPath(), list.BackupPath()})
        << "\n";
    return CliResult{};
}

CliResult Apply(PatchListFile& list, const Arguments& args, std::ostream& out) {
    const TargetChangedAnswer whenChanged = args.rebackup    ? TargetChangedAnswer::Rebackup
                                            : args.overwrite ? TargetChangedAnswer::Overwrite
                                                             : TargetChangedAnswer::Cancel;
    if (args.dryRun)
        return DryRun(list, whenChanged, out);
    bool renewed = false;
    std::string notices;
    CliResult applied = list.Apply(whenChanged, &renewed, args.force, &notices);
    if (!notices.empty())
        out << notices << "\n";
    if (!applied.ok())
        return applied;
    std::size_t enabled = 0;
    for (const PatchItem& item : list.items)
        enabled += item.enabled != 0 ? 1 : 0;
    if (renewed)
        out << FormatText(
                   Tr(QT_TRANSLATE_NOOP("bytemender-cli", "已从目标文件的当前内容重新备份到 %1.")),
                   {list.BackupPath()})
            << "\n";
    out << FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli",
                                           "已由备份文件重建 %1, 应用了 %2 个有效项目.")),
                      {list.TargetPath(), std::to_string(enabled)})
        << "\n";
    return CliResult{};
}
