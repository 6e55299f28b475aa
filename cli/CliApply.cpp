// target and apply: choosing the target, the rebuild and its dry run, which
// lists every range the rebuild would change without writing.
#include "cli/CliCommands.h"

#include "cli/CliPreview.h"
#include "cli/CliText.h"
#include "engine/Rebuild.h"
#include "winutil/FdIo.h"
#include "winutil/FileUtil.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

// --dry-run lists at most this many changed ranges, and this many bytes of each.
constexpr std::size_t kMaxShownRanges = 10000;
constexpr std::uint32_t kMaxShownRangeBytes = 16;

std::string SpacedHex(const std::uint8_t* data, std::uint32_t length) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(3 * length);
    for (std::uint32_t i = 0; i < length; ++i) {
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
    // What the rebuild would write: the backup with the planned runs over it.
    FileBuffer after;
    if (!after.Load(backup.c_str()))
        return backupUnreadable();
    for (const PatchedRun& run : plan.runs) {
        if (run.offset + run.bytes.size() > after.length) // the backup changed meanwhile
            return backupUnreadable();
        std::memcpy(after.data + run.offset, run.bytes.data(), run.bytes.size());
    }

    // What the target holds now; a missing target would be made from the
    // backup, so the changes are counted from there.
    FileBuffer target;
    bool targetMissing = false;
    if (!target.Load(list.TargetPath().c_str())) {
        if (LookAtPath(list.TargetPath()).kind != FileKind::Missing)
            return Failed(kExitFileError,
                          FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli", "无法读取目标文件 %1")),
                                     {list.TargetPath()}));
        targetMissing = true;
        if (!target.Load(backup.c_str()))
            return backupUnreadable();
    }
    const FileChanges changes =
        FindChanges(target.data, target.length, after.data, after.length, kMaxShownRanges);

    if (targetMissing)
        text.append(FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli",
                                                    "目标文件 %1 不存在: 将由备份文件生成.")),
                               {list.TargetPath()}))
            .append("\n");
    for (const ChangedRange& range : changes.ranges) {
        const std::uint32_t shown = std::min(range.length, kMaxShownRangeBytes);
        const char* more = range.length > shown ? " ..." : "";
        text.append(OffsetText(range.offset))
            .append("  ")
            .append(FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli", "长度 %1")),
                               {std::to_string(range.length)}))
            .append("  ")
            .append(SpacedHex(target.data + range.offset, shown))
            .append(more)
            .append("  ->  ")
            .append(SpacedHex(after.data + range.offset, shown))
            .append(more)
            .append("\n");
    }
    if (changes.moreRanges)
        text.append(FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli", "... 另有 %1 处")),
                               {std::to_string(changes.moreRanges)}))
            .append("\n");
    if (target.length != after.length)
        text.append(FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli",
                                                    "目标文件的长度将从 %1 字节变为 %2 字节.")),
                               {std::to_string(target.length), std::to_string(after.length)}))
            .append("\n");
    const std::uint64_t rangeCount = changes.ranges.size() + changes.moreRanges;
    if (rangeCount == 0 && target.length == after.length)
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
