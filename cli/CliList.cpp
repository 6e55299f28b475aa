// list and status: the items as a table or as JSON, with each item's state
// in the backup and the target.
#include "cli/CliCommands.h"

#include "cli/CliText.h"
#include "engine/ItemState.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

// One table column: its title and, for row r, its cell (formatted into
// scratch when it is not a text of its own).
struct Column {
    std::string title;
    std::function<std::string_view(std::size_t row, std::string* scratch)> cell;
    // The display width of the widest cell when it is known without making
    // every cell (0: measured).
    std::size_t width = 0;
};

// What a long table holds in memory before it goes to the output.
constexpr std::size_t kTextChunk = std::size_t(1) << 20;

// Columns padded to their widest cell; the last one is not padded. Whole
// lines go to out whenever text holds kTextChunk bytes, so a long list never
// holds its whole table in memory.
void WriteTable(std::string* text, const std::vector<Column>& columns, std::size_t rows,
                std::ostream& out) {
    std::string scratch;
    std::vector<std::size_t> widths(columns.size());
    for (std::size_t c = 0; c < columns.size(); ++c) {
        widths[c] = std::max(DisplayWidth(columns[c].title), columns[c].width);
        if (columns[c].width != 0)
            continue;
        for (std::size_t r = 0; r < rows; ++r)
            widths[c] = std::max(widths[c], DisplayWidth(columns[c].cell(r, &scratch)));
    }
    auto line = [&](auto&& cellOf) {
        for (std::size_t c = 0; c < columns.size(); ++c) {
            const std::string_view cell = cellOf(c);
            AppendOneLine(text, cell);
            if (c + 1 < columns.size())
                text->append(widths[c] - DisplayWidth(cell) + 2, ' ');
        }
        while (!text->empty() && text->back() == ' ')
            text->pop_back();
        text->push_back('\n');
        if (text->size() >= kTextChunk) {
            out << *text;
            text->clear();
        }
    };
    line([&](std::size_t c) { return std::string_view(columns[c].title); });
    for (std::size_t r = 0; r < rows; ++r)
        line([&](std::size_t c) { return columns[c].cell(r, &scratch); });
}

bool AsListed(const PatchItem& item, const ItemStatus& status) {
    return item.enabled != 0 ? status.state == ItemState::Applied
                             : status.state == ItemState::Original;
}

void AppendJsonItems(std::string* text, const PatchList& items,
                     const std::vector<ItemStatus>& states) {
    text->append("  \"items\": [");
    for (std::size_t i = 0; i < items.size(); ++i) {
        const PatchItem& item = items[i];
        const ItemStatus& status = states[i];
        text->append(i ? ",\n    {" : "\n    {");
        text->append("\"row\": ").append(std::to_string(i + 1));
        text->append(", \"offset\": ").append(std::to_string(item.offset));
        text->append(", \"offsetHex\": \"").append(OffsetText(item.offset)).append("\"");
        text->append(", \"enabled\": ").append(item.enabled != 0 ? "true" : "false");
        text->append(", \"state\": \"").append(ItemStateName(status.state)).append("\"");
        text->append(", \"asListed\": ").append(AsListed(item, status) ? "true" : "false");
        text->append(", \"overlapping\": ").append(status.overlapping ? "true" : "false");
        text->append(", \"description\": ");
        AppendJsonString(text, item.description);
        text->append(", \"oldHex\": ");
        AppendJsonString(text, item.oldHex);
        text->append(", \"newHex\": ");
        AppendJsonString(text, item.newHex);
        text->append(", \"targetBytes\": ");
        AppendJsonString(text, status.targetHex);
        text->append(", \"backupBytes\": ");
        AppendJsonString(text, status.backupHex);
        text->append(", \"signature\": ");
        AppendJsonString(text, item.signature);
        text->append(", \"signatureAt\": ")
            .append(std::to_string(item.signature.empty() ? 0 : item.signatureAt));
        text->push_back('}');
    }
    text->append(items.empty() ? "]" : "\n  ]");
}

// "!" for an item that needs attention, the state, and the overlap mark;
// overlapping is the mark's text.
std::string_view StateCell(const ItemStatus& status, const std::string& overlapping,
                           std::string* scratch) {
    scratch->clear();
    if (status.attention)
        scratch->push_back('!');
    scratch->append(ItemStateName(status.state));
    if (status.overlapping)
        scratch->append(overlapping);
    return *scratch;
}

} // namespace

CliResult ListOrStatus(PatchListFile& list, bool json, bool statusOnly, std::ostream& out) {
    if (statusOnly) {
        if (CliResult backup = list.CheckBackup(); !backup.ok())
            return backup;
        if (CliResult target = CheckReadableFile(list.TargetPath(),
                                                 QT_TRANSLATE_NOOP("bytemender-cli", "目标文件"));
            !target.ok())
            return target;
    }
    const PatchList& items = list.items;
    const std::vector<ItemStatus> states =
        ComputeItemStates(list.BackupPath(), list.TargetPath(), items,
                          json         ? FoundBytes::Both
                          : statusOnly ? FoundBytes::TargetOnly
                                       : FoundBytes::None);
    std::size_t asListed = 0;
    for (std::size_t i = 0; i < items.size(); ++i)
        asListed += AsListed(items[i], states[i]) ? 1 : 0;
    const bool allAsListed = asListed == items.size();

    std::string text;
    text.reserve(json ? items.size() * 160 + 256 : kTextChunk + 4096);
    if (json) {
        text.append("{\n  \"settings\": ");
        AppendJsonString(&text, list.SettingsPath());
        text.append(",\n  \"target\": ");
        AppendJsonString(&text, list.TargetPath());
        text.append(",\n  \"backup\": ");
        AppendJsonString(&text, list.BackupPath());
        text.append(",\n  \"allAsListed\": ").append(allAsListed ? "true" : "false");
        text.append(",\n");
        AppendJsonItems(&text, items, states);
        text.append("\n}\n");
    } else {
        text.append(Tr(QT_TRANSLATE_NOOP("bytemender-cli", "目标文件: ")))
            .append(list.TargetPath().empty() ? Tr(QT_TRANSLATE_NOOP("bytemender-cli", "(未选择)"))
                                              : list.TargetPath())
            .append("\n");
        // Titles go through Tr() when the table is made.
        const std::string overlapping = Tr(QT_TRANSLATE_NOOP("bytemender-cli", ",重叠"));
        std::vector<Column> columns{
            {Tr(QT_TRANSLATE_NOOP("bytemender-cli", "行")),
             [](std::size_t r, std::string* scratch) {
                 *scratch = std::to_string(r + 1);
                 return std::string_view(*scratch);
             }},
            {Tr(QT_TRANSLATE_NOOP("bytemender-cli", "偏移")),
             [&](std::size_t r, std::string* scratch) {
                 *scratch = OffsetText(items[r].offset);
                 return std::string_view(*scratch);
             }},
            {Tr(QT_TRANSLATE_NOOP("bytemender-cli", "有效")),
             [&, yes = Tr(QT_TRANSLATE_NOOP("bytemender-cli", "是")),
              no = Tr(QT_TRANSLATE_NOOP("bytemender-cli", "否"))](std::size_t r, std::string*) {
                 return std::string_view(items[r].enabled != 0 ? yes : no);
             }},
            {Tr(QT_TRANSLATE_NOOP("bytemender-cli", "状态")),
             [&](std::size_t r, std::string* scratch) {
                 return StateCell(states[r], overlapping, scratch);
             }}};
        // The widths of the columns made of numbers and names, without
        // making every cell twice.
        columns[0].width = std::to_string(items.size()).size();
        columns[1].width = OffsetText(0).size();
        columns[2].width = std::max(DisplayWidth(Tr(QT_TRANSLATE_NOOP("bytemender-cli", "是"))),
                                    DisplayWidth(Tr(QT_TRANSLATE_NOOP("bytemender-cli", "否"))));
        const std::size_t overlapWidth = DisplayWidth(overlapping);
        for (const ItemStatus& status : states)
            columns[3].width =
                std::max(columns[3].width, (status.attention ? 1 : 0) +
                                               std::strlen(ItemStateName(status.state)) +
                                               (status.overlapping ? overlapWidth : 0));
        auto view = [](const std::string& field) { return std::string_view(field); };
        if (statusOnly) {
            columns.push_back(
                {Tr(QT_TRANSLATE_NOOP("bytemender-cli", "目标文件中")),
                 [&](std::size_t r, std::string*) { return view(states[r].targetHex); }});
            columns.push_back(
                {Tr(QT_TRANSLATE_NOOP("bytemender-cli", "描述")),
                 [&](std::size_t r, std::string*) { return view(items[r].description); }});
        } else {
            columns.push_back(
                {Tr(QT_TRANSLATE_NOOP("bytemender-cli", "描述")),
                 [&](std::size_t r, std::string*) { return view(items[r].description); }});
            columns.push_back({Tr(QT_TRANSLATE_NOOP("bytemender-cli", "原数据")),
                               [&](std::size_t r, std::string*) { return view(items[r].oldHex); }});
            columns.push_back({Tr(QT_TRANSLATE_NOOP("bytemender-cli", "新数据")),
                               [&](std::size_t r, std::string*) { return view(items[r].newHex); }});
        }
        if (!items.empty())
            WriteTable(&text, columns, items.size(), out);
        else
            text.append(Tr(QT_TRANSLATE_NOOP("bytemender-cli", "列表为空."))).append("\n");
        if (statusOnly) {
            if (allAsListed)
                text.append(FormatText(
                    Tr(QT_TRANSLATE_NOOP("bytemender-cli", "全部 %1 个项目都与列表一致.")),
                    {std::to_string(items.size())}));
            else
                text.append(FormatText(
                    Tr(QT_TRANSLATE_NOOP(
                        "bytemender-cli",
                        "%2 个项目中有 %1 个与列表不一致 (有效的项目应为已应用, 无效的应为原样).")),
                    {std::to_string(items.size() - asListed), std::to_string(items.size())}));
            text.append("\n");
        }
    }
    out << text;
    out.flush();
    if (statusOnly && !allAsListed)
        return Failed(kExitCheckFailed, std::string()); // the summary line says why
    return CliResult{};
}
