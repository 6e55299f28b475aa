// The subcommands of bytemender-cli: arguments, checks and output. Files are
// read and written only through PatchListFile.
#include "cli/Cli.h"

#include "cli/CliExchange.h"
#include "cli/CliPreview.h"
#include "cli/CliRelocate.h"
#include "cli/CliSession.h"
#include "cli/CliText.h"
#include "engine/HexText.h"
#include "engine/ItemState.h"
#include "engine/PatternSearch.h"
#include "engine/Rebuild.h"
#include "engine/Search.h"
#include "winutil/FdIo.h"
#include "winutil/FileUtil.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#ifndef BM_VERSION
#define BM_VERSION "unknown"
#endif

namespace {

constexpr const char* kProgram = "bytemender-cli";
// --dry-run lists at most this many changed ranges, and this many bytes of each.
constexpr std::size_t kMaxShownRanges = 10000;
constexpr std::uint32_t kMaxShownRangeBytes = 16;
// search lists at most this many offsets, then the number found.
constexpr std::size_t kMaxListedMatches = 100000;

struct Arguments {
    std::string settings;
    bool keepRecovered = false;
    bool json = false;
    bool dryRun = false;
    bool rebackup = false;
    bool overwrite = false;
    bool force = false;
    double waitSeconds = 10;
    std::string file;
    std::string offset;
    std::string oldHex;
    std::string newHex;
    std::string description;
    bool enable = false;
    long long row = 0;
    std::vector<long long> rows;
    bool all = false;
    std::string pattern;
};

// "0x1F", "1f", "0000001F": hex digits with an optional 0x, at most FFFFFFFF.
bool ParseOffsetArgument(std::string_view text, std::uint32_t* offset) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.remove_prefix(2);
    if (text.empty())
        return false;
    std::uint64_t value = 0;
    for (const char c : text) {
        const auto digit = kHexDigitValue[static_cast<unsigned char>(c)];
        if (digit > 15)
            return false;
        value = value * 16 + digit;
        if (value > 0xFFFFFFFFull)
            return false;
    }
    *offset = static_cast<std::uint32_t>(value);
    return true;
}

// Hex digits of text that the decoder passes over (standing alone), and the
// number of bytes it makes.
struct HexTextCount {
    std::size_t bytes = 0;
    std::size_t droppedDigits = 0;
};

HexTextCount CountHexText(const std::string& text) {
    std::vector<std::uint8_t> bytes(text.size() / 2 + 1);
    HexTextCount count;
    count.bytes =
        ParseHexText(text.c_str(), bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    std::size_t digits = 0;
    for (const char c : text)
        digits += IsHexDigit(static_cast<unsigned char>(c)) ? 1 : 0;
    count.droppedDigits = digits - 2 * count.bytes;
    return count;
}

// Data texts are kept as typed, as the editor keeps them; a text the rebuild
// would read differently from what was probably meant gets a warning.
void WarnAboutDataText(std::ostream& err, const std::string& text, const char* which,
                       std::size_t row) {
    const HexTextCount count = CountHexText(text);
    if (count.bytes == 0)
        err << kProgram << ": "
            << FormatText(
                   Tr(QT_TRANSLATE_NOOP(
                       "bytemender-cli",
                       "警告: 第 %2 行的%1 (\"%3\") 中没有成对的十六进制数字, 它不代表任何字节")),
                   {Tr(which), std::to_string(row), text})
            << "\n";
    else if (count.droppedDigits != 0)
        err << kProgram << ": "
            << FormatText(
                   Tr(QT_TRANSLATE_NOOP(
                       "bytemender-cli",
                       "警告: 第 %2 行的%1 (\"%3\") 中有一个单独的十六进制数字, 它会被忽略")),
                   {Tr(which), std::to_string(row), text})
            << "\n";
}

// The texts an item takes, as the item editor takes them: data texts that fit
// one line of the settings file, descriptions of kMaxDescriptionLength bytes.
CliResult CheckTextLengths(const Arguments& args) {
    for (auto [text, option] : {std::pair{&args.oldHex, "--old"}, {&args.newHex, "--new"}}) {
        if (text->size() > kMaxItemTextLength)
            return Failed(
                kExitUsage,
                FormatText(
                    Tr(QT_TRANSLATE_NOOP("bytemender-cli",
                                         "%1 有 %2 个字符, 超过了 %3 个字符 (最多 %4 字节的数据)")),
                    {option, std::to_string(text->size()), std::to_string(kMaxItemTextLength),
                     std::to_string(kMaxItemBytes)}));
    }
    if (args.description.size() > kMaxDescriptionLength)
        return Failed(kExitUsage,
                      FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli", "%1 超过了 %2 字节")),
                                 {"--description", std::to_string(kMaxDescriptionLength)}));
    return CliResult{};
}

// A 1-based row number of the list, as a 0-based position.
CliResult CheckRow(long long row, std::size_t count, std::size_t* position) {
    if (row < 1 || static_cast<unsigned long long>(row) > count) {
        if (count == 0)
            return Failed(kExitUsage, FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli",
                                                                      "第 %1 行不存在: 列表为空")),
                                                 {std::to_string(row)}));
        return Failed(kExitUsage,
                      FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli",
                                                      "第 %1 行不存在: 列表只有第 1 到 %2 行")),
                                 {std::to_string(row), std::to_string(count)}));
    }
    *position = static_cast<std::size_t>(row - 1);
    return CliResult{};
}

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

// ---- list and status ----

// One table column: its title and, for row r, its cell (formatted into
// scratch when it is not a text of its own).
struct Column {
    std::string title;
    std::function<std::string_view(std::size_t row, std::string* scratch)> cell;
    // The display width of the widest cell when it is known without making
    // every cell (0: measured).
    std::size_t width = 0;
};

// Columns padded to their widest cell; the last one is not padded.
void WriteTable(std::string* text, const std::vector<Column>& columns, std::size_t rows) {
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
    scratch->assign(status.attention ? "!" : "");
    scratch->append(ItemStateName(status.state));
    if (status.overlapping)
        scratch->append(overlapping);
    return *scratch;
}

// The list, with each item's state; for status only, also the verdict, which
// needs both files.
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
        ComputeItemStates(list.BackupPath(), list.TargetPath(), items);
    std::size_t asListed = 0;
    for (std::size_t i = 0; i < items.size(); ++i)
        asListed += AsListed(items[i], states[i]) ? 1 : 0;
    const bool allAsListed = asListed == items.size();

    std::string text;
    text.reserve(items.size() * 160 + 256);
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
            WriteTable(&text, columns, items.size());
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

// ---- apply ----

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

// ---- the commands that change the list ----

CliResult AddItem(PatchListFile& list, const Arguments& args, std::ostream& out,
                  std::ostream& err) {
    PatchItem item;
    if (!ParseOffsetArgument(args.offset, &item.offset))
        return Failed(kExitUsage, FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli",
                                                                  "--offset %1 不是十六进制偏移")),
                                             {args.offset}));
    if (CliResult length = CheckTextLengths(args); !length.ok())
        return length;
    if (args.oldHex.empty() || args.newHex.empty())
        return Failed(kExitUsage,
                      Tr(QT_TRANSLATE_NOOP("bytemender-cli", "项目需要 --old 和 --new 两种数据")));
    item.oldHex = args.oldHex;
    item.newHex = args.newHex;
    item.description = args.description;
    item.enabled = args.enable ? 1 : 0;

    // Where the window's append and sort puts it in the sorted list: after the
    // items of equal offset.
    const auto place = std::upper_bound(
        list.items.begin(), list.items.end(), item.offset,
        [](std::uint32_t offset, const PatchItem& other) { return offset < other.offset; });
    const std::size_t row = static_cast<std::size_t>(place - list.items.begin()) + 1;
    list.items.insert(place, item);
    CliResult saved = list.Save();
    if (!saved.ok())
        return saved;
    WarnAboutDataText(err, item.oldHex, QT_TRANSLATE_NOOP("bytemender-cli", "原始数据"), row);
    WarnAboutDataText(err, item.newHex, QT_TRANSLATE_NOOP("bytemender-cli", "修改数据"), row);
    out << FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli", "已增加为第 %1 行.")),
                      {std::to_string(row)})
        << "\n";
    return CliResult{};
}

CliResult EditItem(PatchListFile& list, const Arguments& args, const CLI::App& edit,
                   std::ostream& out, std::ostream& err) {
    std::size_t position = 0;
    CliResult row = CheckRow(args.row, list.items.size(), &position);
    if (!row.ok())
        return row;
    const bool hasOffset = edit.count("--offset") > 0;
    const bool hasOld = edit.count("--old") > 0;
    const bool hasNew = edit.count("--new") > 0;
    const bool hasDescription = edit.count("--description") > 0;
    if (!hasOffset && !hasOld && !hasNew && !hasDescription)
        return Failed(kExitUsage,
                      Tr(QT_TRANSLATE_NOOP(
                          "bytemender-cli",
                          "没有要修改的内容: 请给出 --offset, --old, --new 或 --description")));
    PatchItem item = list.items[position];
    if (hasOffset && !ParseOffsetArgument(args.offset, &item.offset))
        return Failed(kExitUsage, FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli",
                                                                  "--offset %1 不是十六进制偏移")),
                                             {args.offset}));
    if (CliResult length = CheckTextLengths(args); !length.ok())
        return length;
    if (hasOld)
        item.oldHex = args.oldHex;
    if (hasNew)
        item.newHex = args.newHex;
    if (hasDescription)
        item.description = args.description;
    if (item.oldHex.empty() || item.newHex.empty())
        return Failed(
            kExitUsage,
            FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli",
                                            "第 %1 行将没有原数据或新数据, 项目需要两者")),
                       {std::to_string(args.row)}));
    // Like the window's edit, the item keeps its place; the list is in offset
    // order again the next time it is read.
    list.items[position] = item;
    CliResult saved = list.Save();
    if (!saved.ok())
        return saved;
    if (hasOld)
        WarnAboutDataText(err, item.oldHex, QT_TRANSLATE_NOOP("bytemender-cli", "原始数据"),
                          position + 1);
    if (hasNew)
        WarnAboutDataText(err, item.newHex, QT_TRANSLATE_NOOP("bytemender-cli", "修改数据"),
                          position + 1);
    out << FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli", "已修改第 %1 行.")),
                      {std::to_string(position + 1)})
        << "\n";
    return CliResult{};
}

CliResult CopyItem(PatchListFile& list, long long rowNumber, std::ostream& out) {
    std::size_t position = 0;
    CliResult row = CheckRow(rowNumber, list.items.size(), &position);
    if (!row.ok())
        return row;
    const PatchItem copy = list.items[position];
    list.items.insert(list.items.begin() + static_cast<std::ptrdiff_t>(position), copy);
    CliResult saved = list.Save();
    if (!saved.ok())
        return saved;
    out << FormatText(
               Tr(QT_TRANSLATE_NOOP("bytemender-cli",
                                    "已复制第 %1 行: 副本是第 %1 行, 被复制的项目现在是第 %2 行.")),
               {std::to_string(position + 1), std::to_string(position + 2)})
        << "\n";
    return CliResult{};
}

CliResult RemoveItem(PatchListFile& list, long long rowNumber, std::ostream& out) {
    std::size_t position = 0;
    CliResult row = CheckRow(rowNumber, list.items.size(), &position);
    if (!row.ok())
        return row;
    list.items.erase(list.items.begin() + static_cast<std::ptrdiff_t>(position));
    CliResult saved = list.Save();
    if (!saved.ok())
        return saved;
    out << FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli", "已删除第 %1 行.")),
                      {std::to_string(position + 1)})
        << "\n";
    return CliResult{};
}

// enable/disable: every row is checked before anything changes. A flag that
// is already set is left as stored (a stored 5 stays 5 under enable).
CliResult SetEnabled(PatchListFile& list, const std::vector<long long>& rows, bool all, bool enable,
                     std::ostream& out) {
    std::vector<std::size_t> positions;
    if (all) {
        for (std::size_t i = 0; i < list.items.size(); ++i)
            positions.push_back(i);
    } else {
        if (rows.empty())
            return Failed(kExitUsage,
                          enable ? Tr(QT_TRANSLATE_NOOP("bytemender-cli", "请给出要设为有效的行"))
                                 : Tr(QT_TRANSLATE_NOOP("bytemender-cli",
                                                        "请给出要设为无效的行, 或者 --all")));
        for (const long long rowNumber : rows) {
            std::size_t position = 0;
            CliResult row = CheckRow(rowNumber, list.items.size(), &position);
            if (!row.ok())
                return row;
            positions.push_back(position);
        }
        std::sort(positions.begin(), positions.end());
        positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
    }
    std::size_t changed = 0;
    for (const std::size_t position : positions) {
        std::int32_t& flag = list.items[position].enabled;
        if ((flag != 0) != enable) {
            flag = enable ? 1 : 0;
            ++changed;
        }
    }
    CliResult saved = list.Save();
    if (!saved.ok())
        return saved;
    out << FormatText(
               enable
                   ? Tr(QT_TRANSLATE_NOOP("bytemender-cli", "%1 个项目设为有效, %2 个原本已有效."))
                   : Tr(QT_TRANSLATE_NOOP("bytemender-cli", "%1 个项目设为无效, %2 个原本已无效.")),
               {std::to_string(changed), std::to_string(positions.size() - changed)})
        << "\n";
    return CliResult{};
}

CliResult Search(PatchListFile& list, const std::string& pattern, std::ostream& out) {
    const MaskedPattern masked = ParseSearchPattern(pattern.c_str(), pattern.size());
    std::size_t digits = 0;
    for (const char c : pattern)
        digits += IsHexDigit(static_cast<unsigned char>(c)) || c == '?' ? 1 : 0;
    if (masked.size() == 0)
        return Failed(kExitUsage,
                      FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli",
                                                      "\"%1\" 中没有可搜索的成对十六进制数字")),
                                 {pattern}));
    if (!masked.HasFixedBits())
        return Failed(
            kExitUsage,
            FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli", "\"%1\" 中至少要有一个确定的字节")),
                       {pattern}));
    if (digits != 2 * masked.size())
        return Failed(
            kExitUsage,
            FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli", "\"%1\" 中有一个单独的十六进制数字")),
                       {pattern}));
    if (CliResult chosen = list.RequireTarget(); !chosen.ok())
        return chosen;
    const std::string backup = list.BackupPath();
    if (backup.empty())
        return Failed(kExitFileError,
                      FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli", "%1 的备份文件路径过长")),
                                 {list.TargetPath()}));
    CliResult readable = CheckReadableFile(backup, QT_TRANSLATE_NOOP("bytemender-cli", "备份文件"));
    if (!readable.ok())
        return readable;
    FileBuffer file;
    if (!file.Load(backup.c_str()))
        return Failed(
            kExitFileError,
            FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli", "无法读取备份文件 %1")), {backup}));
    std::vector<std::uint32_t> matches;
    FindMaskedInBuffer(file.data, file.length, masked, &matches);
    // A pattern found everywhere (zeros in a large file) would print
    // gigabytes: the listing stops after kMaxListedMatches and says how many
    // there were.
    const std::size_t listed = std::min(matches.size(), kMaxListedMatches);
    std::string text;
    text.reserve(std::min<std::size_t>(listed, 65536) * 9);
    for (std::size_t i = 0; i < listed; ++i) {
        text.append(OffsetText(matches[i])).push_back('\n');
        if (text.size() >= 65536 * 9) {
            out << text;
            text.clear();
        }
    }
    out << text;
    if (listed < matches.size())
        out << FormatText(
                   Tr(QT_TRANSLATE_NOOP("bytemender-cli", "... 共找到 %1 处, 只列出了前 %2 处.")),
                   {std::to_string(matches.size()), std::to_string(listed)})
            << "\n";
    return CliResult{};
}

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

void ReportFailure(std::ostream& err, const std::string& message) {
    err << kProgram << ": " << message << "\n";
    err.flush();
}

int Run(int argc, const char* const* argv, std::ostream& out, std::ostream& err, CliEnd end) {
    Arguments args;
    CLI::App app{
        Tr(QT_TRANSLATE_NOOP("bytemender-cli", "按修补列表改写目标文件中的字节, 与 Bytemender "
                                               "窗口相同: 同一个设置文件, 备份文件夹和重建方式.")),
        kProgram};
    app.set_help_flag("-h,--help", Tr(QT_TRANSLATE_NOOP("bytemender-cli", "显示本帮助并退出")));
    app.set_version_flag("--version", std::string(kProgram) + " " + BM_VERSION,
                         Tr(QT_TRANSLATE_NOOP("bytemender-cli", "显示版本并退出")));
    app.require_subcommand(0, 1); // none is reported below, after unknown words
    app.fallthrough();
    app.add_option(
           "--settings", args.settings,
           Tr(QT_TRANSLATE_NOOP(
               "bytemender-cli",
               "保存列表的设置文件, 备份文件在它旁边的 Path_bak 中. 默认为窗口所用的: 程序旁边的 "
               "bytemender.ini (当它已经存在, 或者程序所在的文件夹可以写入且不是系统文件夹 /usr, "
               "/opt ... 时); 否则为 $XDG_CONFIG_HOME/bytemender/bytemender.ini, 备份文件在 "
               "$XDG_DATA_HOME/bytemender/Path_bak 中.")))
        ->type_name("FILE");
    app.add_option("--wait", args.waitSeconds,
                   Tr(QT_TRANSLATE_NOOP("bytemender-cli",
                                        "列表正被另一个程序使用时最多等待的秒数 (默认 10); "
                                        "之后退出, 状态为 3, 不做任何改变")))
        ->type_name("SECONDS")
        ->check(CLI::Range(0.0, 3600.0));
    app.add_flag("--keep-recovered", args.keepRecovered,
                 Tr(QT_TRANSLATE_NOOP("bytemender-cli",
                                      "设置文件已损坏时, 保留从中恢复的列表: 保存时替换该文件 "
                                      "(否则不会写入损坏的文件)")));
    app.footer(Tr(QT_TRANSLATE_NOOP(
        "bytemender-cli",
        "行号从 1 开始, 按 \"list\" 显示的顺序 (按偏移).\n退出状态: 0 完成; 1 检查未通过 (apply "
        "中项目的检查, 目标文件被他人修改, status 发现与列表不一致的项目, 或者 import/export "
        "检查的补丁或项目与备份文件不符); 2 用法或输入错误 (包括格式错误的补丁文件); 3 "
        "无法读取或写入文件 (未做任何改变).\n用 \"bytemender-cli 命令 --help\" 查看命令的选项.")));

    auto* list = app.add_subcommand(
        "list", Tr(QT_TRANSLATE_NOOP("bytemender-cli",
                                     "显示项目: 行, 偏移, 有效, 状态, 描述, 原数据和新数据. "
                                     "状态前的 '!' 表示目标文件与该项目不符.")));
    list->add_flag("--json", args.json,
                   Tr(QT_TRANSLATE_NOOP("bytemender-cli", "输出 JSON, 供脚本使用")));

    auto* status = app.add_subcommand(
        "status",
        Tr(QT_TRANSLATE_NOOP(
            "bytemender-cli",
            "显示每个项目在备份文件和目标文件中的状态 (applied 已应用, original 原样, differs "
            "不同, out-of-range 超出范围, backup-mismatch 备份不符; overlapping 重叠). "
            "所有有效项目都已应用且所有无效项目都是原样时退出状态为 0, 否则为 1.")));
    status->add_flag("--json", args.json,
                     Tr(QT_TRANSLATE_NOOP("bytemender-cli", "输出 JSON, 供脚本使用")));

    auto* apply = app.add_subcommand(
        "apply",
        Tr(QT_TRANSLATE_NOOP(
            "bytemender-cli",
            "保存列表, 并由备份文件重建目标文件, 应用每个有效项目, 与窗口的 \"保存\" 相同. "
            "先检查每个项目, 有一个不通过就不写入任何文件. 目标文件在此之后被他人修改过时 "
            "(退出状态 1), 只有给出 --rebackup 或 --overwrite 才会写入.")));
    apply->add_flag(
        "--dry-run", args.dryRun,
        Tr(QT_TRANSLATE_NOOP("bytemender-cli",
                             "显示目标文件中将改变的每一处及其原字节和新字节, 不写入任何文件")));
    auto* rebackup = apply->add_flag(
        "--rebackup", args.rebackup,
        Tr(QT_TRANSLATE_NOOP(
            "bytemender-cli",
            "目标文件在备份或上次重建之后被修改过时 (程序更新), 从它重新备份, 再由新的备份重建")));
    apply
        ->add_flag(
            "--overwrite", args.overwrite,
            Tr(QT_TRANSLATE_NOOP("bytemender-cli",
                                 "目标文件在备份或上次重建之后被修改过时, 仍由原来的备份文件重建")))
        ->excludes(rebackup);
    apply->add_flag(
        "--force", args.force,
        Tr(QT_TRANSLATE_NOOP("bytemender-cli",
                             "与 --rebackup 一起: 即使列表中的有效项目无法由新的备份重建, "
                             "仍然替换备份文件")));

    auto* target = app.add_subcommand(
        "target",
        Tr(QT_TRANSLATE_NOOP(
            "bytemender-cli",
            "选择目标文件, 与窗口的 \"文件\" 相同: 它的备份放入 Path_bak, 列表记下它的路径.")));
    target->add_option("FILE", args.file, Tr(QT_TRANSLATE_NOOP("bytemender-cli", "要修补的文件")))
        ->required();
    target->add_flag(
        "--force", args.force,
        Tr(QT_TRANSLATE_NOOP("bytemender-cli",
                             "即使列表中的有效项目无法由它重建, 仍然替换已有的备份文件")));

    const auto offsetCheck = CLI::Validator(
        [](std::string& text) {
            std::uint32_t offset = 0;
            return ParseOffsetArgument(text, &offset)
                       ? std::string()
                       : FormatText(
                             Tr(QT_TRANSLATE_NOOP(
                                 "bytemender-cli",
                                 "\"%1\" 不是十六进制偏移 (十六进制数字, 可带 0x, 最大 FFFFFFFF)")),
                             {text});
        },
        "HEX");

    auto* add = app.add_subcommand(
        "add", Tr(QT_TRANSLATE_NOOP(
                   "bytemender-cli",
                   "增加一个项目 (除非给出 --enable, 否则为无效); 列表保持偏移顺序. 保存列表.")));
    add->add_option("--offset", args.offset,
                    Tr(QT_TRANSLATE_NOOP("bytemender-cli", "目标文件中的偏移, 十六进制 (可带 0x)")))
        ->required()
        ->check(offsetCheck);
    add->add_option("--old", args.oldHex,
                    Tr(QT_TRANSLATE_NOOP("bytemender-cli", "该处应有的字节, 十六进制文本")))
        ->required()
        ->type_name("HEX");
    add->add_option("--new", args.newHex,
                    Tr(QT_TRANSLATE_NOOP("bytemender-cli", "要写入该处的字节, 十六进制文本")))
        ->required()
        ->type_name("HEX");
    add->add_option("--description", args.description,
                    Tr(QT_TRANSLATE_NOOP("bytemender-cli", "项目修改的内容")))
        ->type_name("TEXT");
    add->add_flag("--enable", args.enable,
                  Tr(QT_TRANSLATE_NOOP("bytemender-cli", "增加为有效的项目")));

    auto* edit = app.add_subcommand(
        "edit", Tr(QT_TRANSLATE_NOOP(
                    "bytemender-cli",
                    "修改第 N 个项目的字段; 在列表重新读取之前项目保持所在的行. 保存列表.")));
    edit->add_option("N", args.row, Tr(QT_TRANSLATE_NOOP("bytemender-cli", "行号")))->required();
    edit->add_option("--offset", args.offset,
                     Tr(QT_TRANSLATE_NOOP("bytemender-cli", "新的偏移, 十六进制 (可带 0x)")))
        ->check(offsetCheck);
    edit->add_option("--old", args.oldHex,
                     Tr(QT_TRANSLATE_NOOP("bytemender-cli", "新的应有字节, 十六进制文本")))
        ->type_name("HEX");
    edit->add_option("--new", args.newHex,
                     Tr(QT_TRANSLATE_NOOP("bytemender-cli", "新的要写入的字节, 十六进制文本")))
        ->type_name("HEX");
    edit->add_option("--description", args.description,
                     Tr(QT_TRANSLATE_NOOP("bytemender-cli", "新的描述")))
        ->type_name("TEXT");

    auto* copy = app.add_subcommand(
        "copy", Tr(QT_TRANSLATE_NOOP("bytemender-cli",
                                     "复制第 N 个项目; 副本直接放在它的上面. 保存列表.")));
    copy->add_option("N", args.row, Tr(QT_TRANSLATE_NOOP("bytemender-cli", "行号")))->required();

    auto* remove = app.add_subcommand(
        "remove", Tr(QT_TRANSLATE_NOOP("bytemender-cli", "删除第 N 个项目. 保存列表.")));
    remove->add_option("N", args.row, Tr(QT_TRANSLATE_NOOP("bytemender-cli", "行号")))->required();

    auto* enable = app.add_subcommand(
        "enable", Tr(QT_TRANSLATE_NOOP("bytemender-cli",
                                       "将项目设为有效并保存列表 (窗口的按钮只在内存中修改, "
                                       "这里不保存就会丢失). 目标文件在下次 apply 时改变.")));
    enable->add_option("N", args.rows, Tr(QT_TRANSLATE_NOOP("bytemender-cli", "行号 (一个或多个)")))
        ->required();

    auto* disable = app.add_subcommand(
        "disable", Tr(QT_TRANSLATE_NOOP("bytemender-cli",
                                        "将项目或全部项目设为无效并保存列表 "
                                        "(这里不保存的修改会丢失). 目标文件在下次 apply 时改变.")));
    auto* disableRows = disable->add_option(
        "N", args.rows, Tr(QT_TRANSLATE_NOOP("bytemender-cli", "行号 (一个或多个)")));
    disable
        ->add_flag("--all", args.all, Tr(QT_TRANSLATE_NOOP("bytemender-cli", "将所有项目设为无效")))
        ->excludes(disableRows);

    auto* search = app.add_subcommand(
        "search", Tr(QT_TRANSLATE_NOOP("bytemender-cli",
                                       "显示这些字节在备份文件中的每个偏移, 每行一个 (匹配不重叠); "
                                       "最多列出 100000 个, 然后给出找到的总数. "
                                       "?? 代表任意字节, ?A 和 B? 代表只确定一半的字节.")));
    search
        ->add_option("HEX", args.pattern,
                     Tr(QT_TRANSLATE_NOOP("bytemender-cli", "要查找的字节, 十六进制文本")))
        ->required();

    auto* relocate = app.add_subcommand(
        "relocate",
        Tr(QT_TRANSLATE_NOOP(
            "bytemender-cli",
            "把原数据不在其偏移处的项目移到备份文件中它们的特征码所在的位置 (在程序更新之后), "
            "保存列表, 并显示每个移动和每个无法重新定位的项目. "
            "所有项目都与备份文件相符时退出状态为 "
            "0, 有项目无法重新定位时为 1 (已移动的项目仍会保存).")));
    relocate->add_flag("--dry-run", args.dryRun,
                       Tr(QT_TRANSLATE_NOOP("bytemender-cli", "只显示会移动什么, 不改变任何文件")));
    relocate->add_flag("--json", args.json,
                       Tr(QT_TRANSLATE_NOOP("bytemender-cli", "输出 JSON, 供脚本使用")));

    const ExchangeCommands exchange(app); // import, export, diff

    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {
        return app.exit(e, out, err);
    } catch (const CLI::ParseError& e) {
        err << kProgram << ": " << e.what() << "\n"
            << Tr(QT_TRANSLATE_NOOP("bytemender-cli", "用 \"bytemender-cli --help\" 查看更多信息."))
            << "\n";
        return kExitUsage;
    }

    if (app.get_subcommands().empty()) {
        err << kProgram << ": "
            << Tr(QT_TRANSLATE_NOOP(
                   "bytemender-cli",
                   "需要一个命令: list, status, apply, target, add, edit, copy, "
                   "remove, enable, disable, search, relocate, import, export 或 diff"))
            << "\n"
            << Tr(QT_TRANSLATE_NOOP("bytemender-cli", "用 \"bytemender-cli --help\" 查看更多信息."))
            << "\n";
        return kExitUsage;
    }

    // An empty name is no file: it would silently fall back to the default list.
    if (app.get_option("--settings")->count() > 0 && args.settings.empty()) {
        err << kProgram << ": "
            << Tr(QT_TRANSLATE_NOOP("bytemender-cli", "--settings 需要一个文件名, 不能为空"))
            << "\n";
        return kExitUsage;
    }

    // Only the commands that make a list may start without a settings file,
    // as the window starts with an empty list.
    const bool mayCreate = target->parsed() || add->parsed() || exchange.MayCreateList();
    // Every command that writes holds the list's lock from reading the file
    // to its last write; the others read a file that is always whole.
    const bool writes = !(list->parsed() || status->parsed() || search->parsed() ||
                          exchange.ReadsOnly() || (apply->parsed() && args.dryRun));
    PatchListFile file;
    // Commands that neither save nor show signatures do not make them.
    file.MakeSignaturesOnLoad(writes || (list->parsed() && args.json));
    CliResult result =
        file.Open(args.settings, !mayCreate, writes,
                  std::chrono::milliseconds(static_cast<long long>(args.waitSeconds * 1000.0)),
                  args.keepRecovered);
    if (!file.Notice().empty())
        ReportFailure(err, file.Notice());
    if (result.ok()) {
        if (list->parsed())
            result = ListOrStatus(file, args.json, false, out);
        else if (status->parsed())
            result = ListOrStatus(file, args.json, true, out);
        else if (apply->parsed())
            result = Apply(file, args, out);
        else if (target->parsed())
            result = ChooseTarget(file, args.file, args.force, out);
        else if (add->parsed())
            result = AddItem(file, args, out, err);
        else if (edit->parsed())
            result = EditItem(file, args, *edit, out, err);
        else if (copy->parsed())
            result = CopyItem(file, args.row, out);
        else if (remove->parsed())
            result = RemoveItem(file, args.row, out);
        else if (enable->parsed())
            result = SetEnabled(file, args.rows, false, true, out);
        else if (disable->parsed())
            result = SetEnabled(file, args.rows, args.all, false, out);
        else if (search->parsed())
            result = Search(file, args.pattern, out);
        else if (relocate->parsed())
            result = RelocateItems(file, args.dryRun, args.json, out);
        else if (exchange.Parsed())
            result = exchange.Run(file, out);
    }
    file.Close();
    out.flush();
    if (!result.ok() && !result.message.empty())
        ReportFailure(err, result.message);
    if (end == CliEnd::ExitProcess) {
        // Every file is closed by now; what is left is memory, which the
        // system takes back at once (taking a long list and its settings
        // apart piece by piece costs a tenth of a "status").
        err.flush();
        std::fflush(nullptr);
        std::_Exit(result.status);
    }
    return result.status;
}

} // namespace

int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err, CliEnd end) {
    UseInterfaceLanguage();
    try {
        return Run(argc, argv, out, err, end);
    } catch (const std::bad_alloc&) {
        err << kProgram << ": " << Tr(QT_TRANSLATE_NOOP("bytemender-cli", "内存不足")) << "\n";
    } catch (const std::exception& e) {
        err << kProgram << ": " << e.what() << "\n";
    }
    return kExitFileError;
}
