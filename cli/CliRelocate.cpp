// The relocate command: plan against the backup, print, save.
#include "cli/CliRelocate.h"

#include "cli/CliText.h"
#include "engine/Relocate.h"

#include <string>
#include <vector>

namespace {

// Why an item stays where it is, for people.
std::string FailureText(const ItemRelocation& entry) {
    switch (entry.kind) {
    case RelocationKind::NotFound:
        return Tr(QT_TRANSLATE_NOOP("bytemender-cli", "在备份文件中没找到它的特征码"));
    case RelocationKind::Ambiguous:
        return FormatText(
            Tr(QT_TRANSLATE_NOOP("bytemender-cli", "它的特征码在备份文件中出现了 %1 次")),
            {std::to_string(entry.found)});
    default:
        return Tr(QT_TRANSLATE_NOOP("bytemender-cli", "它没有特征码"));
    }
}

void AppendJson(std::string* text, const PatchList& items, const std::vector<ItemRelocation>& plan,
                bool dryRun, std::size_t moved, std::size_t failed) {
    text->append("{\n  \"dryRun\": ").append(dryRun ? "true" : "false");
    text->append(",\n  \"moved\": ").append(std::to_string(moved));
    text->append(",\n  \"failed\": ").append(std::to_string(failed));
    text->append(",\n  \"items\": [");
    bool first = true;
    for (std::size_t n = 0; n < plan.size(); ++n) {
        const ItemRelocation& entry = plan[n];
        if (entry.kind == RelocationKind::InPlace)
            continue;
        text->append(first ? "\n    {" : ",\n    {");
        first = false;
        text->append("\"row\": ").append(std::to_string(n + 1));
        text->append(", \"result\": \"").append(RelocationKindName(entry.kind)).append("\"");
        text->append(", \"offset\": ").append(std::to_string(items[n].offset));
        if (entry.kind == RelocationKind::Moves)
            text->append(", \"newOffset\": ").append(std::to_string(entry.newOffset));
        if (entry.kind == RelocationKind::Ambiguous)
            text->append(", \"found\": ").append(std::to_string(entry.found));
        text->append(", \"description\": ");
        AppendJsonString(text, items[n].description);
        text->push_back('}');
    }
    text->append(first ? "]\n}\n" : "\n  ]\n}\n");
}

} // namespace

std::string RelocationLines(const PatchList& items, const std::vector<ItemRelocation>& plan) {
    std::string text;
    for (std::size_t n = 0; n < plan.size() && n < items.size(); ++n) {
        const ItemRelocation& entry = plan[n];
        const PatchItem& item = items[n];
        if (entry.kind == RelocationKind::Moves)
            text.append(FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli", "第 %1 行 %2 -> %3: %4")),
                                   {std::to_string(n + 1), OffsetText(item.offset),
                                    OffsetText(entry.newOffset), item.description}));
        else if (entry.kind != RelocationKind::InPlace)
            text.append(FormatText(
                Tr(QT_TRANSLATE_NOOP("bytemender-cli", "第 %1 行 %2 无法重新定位, %3: %4")),
                {std::to_string(n + 1), OffsetText(item.offset), FailureText(entry),
                 item.description}));
        else
            continue;
        text.push_back('\n');
    }
    return text;
}

PatchSession::BackupRelocationQuestion AnswerBackupRelocation(bool force,
                                                              BackupRelocationReport* report) {
    return [force, report](const PatchList& items, const std::vector<ItemRelocation>& plan,
                           bool complete) {
        report->asked = true;
        report->refused = !complete && !force;
        report->lines = RelocationLines(items, plan);
        return complete ? BackupRelocationAnswer::Relocate
               : force  ? BackupRelocationAnswer::ReplaceAnyway
                        : BackupRelocationAnswer::Cancel;
    };
}

CliResult RelocateItems(PatchListFile& list, bool dryRun, bool json, std::ostream& out) {
    std::vector<ItemRelocation> plan;
    if (CliResult planned = list.PlanRelocation(&plan); !planned.ok())
        return planned;
    std::size_t moved = 0, failed = 0;
    for (const ItemRelocation& entry : plan) {
        moved += entry.kind == RelocationKind::Moves ? 1 : 0;
        failed += entry.kind != RelocationKind::Moves && entry.kind != RelocationKind::InPlace;
    }
    std::string text;
    if (json) {
        AppendJson(&text, list.items, plan, dryRun, moved, failed);
    } else {
        text = RelocationLines(list.items, plan);
        text.append(FormatText(
            dryRun
                ? Tr(QT_TRANSLATE_NOOP("bytemender-cli",
                                       "将移动 %1 个项目, %2 个无法重新定位 (未做任何改变)."))
                : Tr(QT_TRANSLATE_NOOP("bytemender-cli", "移动了 %1 个项目, %2 个无法重新定位.")),
            {std::to_string(moved), std::to_string(failed)}));
        text.push_back('\n');
    }
    if (!dryRun && moved != 0) {
        if (CliResult saved = list.Relocate(plan); !saved.ok())
            return saved;
    }
    out << text;
    if (failed != 0)
        return Failed(kExitCheckFailed, std::string()); // the lines above say which
    return CliResult{};
}
