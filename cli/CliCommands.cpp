// The subcommands of bytemender-cli: arguments, checks and output. Files are
// read and written only through PatchListFile.
#include "cli/Cli.h"

#include "app/PatchListStore.h"
#include "cli/CliExchange.h"
#include "cli/CliPreview.h"
#include "cli/CliSession.h"
#include "cli/CliText.h"
#include "engine/HexText.h"
#include "engine/ItemState.h"
#include "engine/Search.h"
#include "winutil/FileUtil.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <functional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <vector>

#ifndef BM_VERSION
#define BM_VERSION "unknown"
#endif

namespace {

constexpr const char* kProgram = "bytemender-cli";
// The item editor keeps at most this many bytes of each text.
constexpr std::size_t kMaxTextBytes = 4095;
// --dry-run lists at most this many changed ranges, and this many bytes of each.
constexpr std::size_t kMaxShownRanges = 10000;
constexpr std::uint32_t kMaxShownRangeBytes = 16;

struct Arguments {
    std::string settings;
    bool json = false;
    bool dryRun = false;
    bool rebackup = false;
    bool overwrite = false;
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
            << Fill(Tr("warning: the %1 of row %2 (\"%3\") holds no pair of hex digits; "
                       "it stands for no bytes"),
                    {Tr(which), std::to_string(row), text})
            << "\n";
    else if (count.droppedDigits != 0)
        err << kProgram << ": "
            << Fill(Tr("warning: the %1 of row %2 (\"%3\") has a hex digit without a partner; "
                       "it is ignored"),
                    {Tr(which), std::to_string(row), text})
            << "\n";
}

CliResult CheckTextLength(const std::string& text, const char* option) {
    if (text.size() > kMaxTextBytes)
        return Failed(kExitUsage, Fill(Tr("%1 is longer than %2 bytes"),
                                       {option, std::to_string(kMaxTextBytes)}));
    return CliResult{};
}

// A 1-based row number of the list, as a 0-based position.
CliResult CheckRow(long long row, std::size_t count, std::size_t* position) {
    if (row < 1 || static_cast<unsigned long long>(row) > count) {
        if (count == 0)
            return Failed(kExitUsage, Fill(Tr("row %1 does not exist: the list is empty"),
                                           {std::to_string(row)}));
        return Failed(kExitUsage, Fill(Tr("row %1 does not exist: the list has rows 1 to %2"),
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
        if (CliResult chosen = list.RequireTarget(); !chosen.ok())
            return chosen;
        for (CliResult readable : {CheckReadableFile(list.BackupPath(), "backup copy"),
                                   CheckReadableFile(list.TargetPath(), "target")}) {
            if (!readable.ok())
                return readable;
        }
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
        text.append(Tr("Target: "))
            .append(list.TargetPath().empty() ? Tr("(none chosen)") : list.TargetPath())
            .append("\n");
        // Titles go through Tr() when the table is made.
        const std::string overlapping = Tr(",overlapping");
        std::vector<Column> columns{
            {Tr("ROW"),
             [](std::size_t r, std::string* scratch) {
                 *scratch = std::to_string(r + 1);
                 return std::string_view(*scratch);
             }},
            {Tr("OFFSET"),
             [&](std::size_t r, std::string* scratch) {
                 *scratch = OffsetText(items[r].offset);
                 return std::string_view(*scratch);
             }},
            {Tr("ENABLED"),
             [&, yes = Tr("Yes"), no = Tr("No")](std::size_t r, std::string*) {
                 return std::string_view(items[r].enabled != 0 ? yes : no);
             }},
            {Tr("STATE"), [&](std::size_t r, std::string* scratch) {
                 return StateCell(states[r], overlapping, scratch);
             }}};
        // The widths of the columns made of numbers and names, without
        // making every cell twice.
        columns[0].width = std::to_string(items.size()).size();
        columns[1].width = OffsetText(0).size();
        columns[2].width = std::max(DisplayWidth(Tr("Yes")), DisplayWidth(Tr("No")));
        const std::size_t overlapWidth = DisplayWidth(overlapping);
        for (const ItemStatus& status : states)
            columns[3].width =
                std::max(columns[3].width, (status.attention ? 1 : 0) +
                                               std::strlen(ItemStateName(status.state)) +
                                               (status.overlapping ? overlapWidth : 0));
        auto view = [](const std::string& field) { return std::string_view(field); };
        if (statusOnly) {
            columns.push_back({Tr("TARGET HOLDS"), [&](std::size_t r, std::string*) {
                                   return view(states[r].targetHex);
                               }});
            columns.push_back({Tr("DESCRIPTION"), [&](std::size_t r, std::string*) {
                                   return view(items[r].description);
                               }});
        } else {
            columns.push_back({Tr("DESCRIPTION"), [&](std::size_t r, std::string*) {
                                   return view(items[r].description);
                               }});
            columns.push_back(
                {Tr("OLD"), [&](std::size_t r, std::string*) { return view(items[r].oldHex); }});
            columns.push_back(
                {Tr("NEW"), [&](std::size_t r, std::string*) { return view(items[r].newHex); }});
        }
        if (!items.empty())
            WriteTable(&text, columns, items.size());
        else
            text.append(Tr("The list is empty.")).append("\n");
        if (statusOnly) {
            if (allAsListed)
                text.append(
                    Fill(Tr("All %1 items are as listed."), {std::to_string(items.size())}));
            else
                text.append(
                    Fill(Tr("%1 of %2 items are not as listed (enabled items should be "
                            "applied, disabled ones original)."),
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
                ? "apply --rebackup would first take a new backup copy from it."
            : whenChanged == TargetChangedAnswer::Overwrite
                ? "apply --overwrite would rebuild it from the old backup copy anyway."
                : "apply would refuse to write it without --rebackup or --overwrite.";
        text.append(Fill(Tr("Target %1 was changed since its backup copy was taken or it was "
                            "last rebuilt: %2"),
                         {list.TargetPath(), Tr(next)}))
            .append("\n");
    }
    const std::string backup = changed && whenChanged == TargetChangedAnswer::Rebackup
                                   ? list.TargetPath()
                                   : list.BackupPath();
    const RebuildPreview preview = PreviewRebuild(backup, list.items);
    using Status = RebuildOutcome::Status;
    if (preview.status == Status::BackupUnreadable)
        return Failed(kExitFileError, Fill(Tr("backup copy %1 cannot be read"), {backup}));
    if (preview.status != Status::Ok) {
        const PatchItem& item = list.items[preview.failedRow];
        const char* problem =
            preview.status == Status::OutOfRange ? "文件范围超出!" : "原始数据不匹配!";
        return Failed(kExitCheckFailed,
                      Fill(Tr("row %1 at offset %2:"),
                           {std::to_string(preview.failedRow + 1), OffsetText(item.offset)}) +
                          "\n" + item.description + "\n" + Tr(problem));
    }

    // What the target holds now; a missing target would be made from the
    // backup, so the changes are counted from there.
    FileBuffer target;
    bool targetMissing = false;
    if (!target.Load(list.TargetPath().c_str())) {
        struct stat st {};
        if (::stat(list.TargetPath().c_str(), &st) == 0 || errno != ENOENT)
            return Failed(kExitFileError,
                          Fill(Tr("target %1 cannot be read"), {list.TargetPath()}));
        targetMissing = true;
        if (!target.Load(backup.c_str()))
            return Failed(kExitFileError, Fill(Tr("backup copy %1 cannot be read"), {backup}));
    }
    const FileBuffer& after = *preview.bytes;
    const FileChanges changes =
        FindChanges(target.data, target.length, after.data, after.length, kMaxShownRanges);

    if (targetMissing)
        text.append(Fill(Tr("Target %1 does not exist: it would be made from the backup copy."),
                         {list.TargetPath()}))
            .append("\n");
    for (const ChangedRange& range : changes.ranges) {
        const std::uint32_t shown = std::min(range.length, kMaxShownRangeBytes);
        const char* more = range.length > shown ? " ..." : "";
        text.append(OffsetText(range.offset))
            .append("  ")
            .append(Fill(Tr("length %1"), {std::to_string(range.length)}))
            .append("  ")
            .append(SpacedHex(target.data + range.offset, shown))
            .append(more)
            .append("  ->  ")
            .append(SpacedHex(after.data + range.offset, shown))
            .append(more)
            .append("\n");
    }
    if (changes.moreRanges)
        text.append(Fill(Tr("... and %1 more ranges"), {std::to_string(changes.moreRanges)}))
            .append("\n");
    if (target.length != after.length)
        text.append(Fill(Tr("The target would change its length from %1 to %2 bytes."),
                         {std::to_string(target.length), std::to_string(after.length)}))
            .append("\n");
    const std::uint64_t rangeCount = changes.ranges.size() + changes.moreRanges;
    if (rangeCount == 0 && target.length == after.length)
        text.append(Tr("Nothing would change.")).append("\n");
    else
        text.append(Fill(Tr("%1 bytes in %2 ranges would change; nothing was written."),
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
        return Failed(kExitUsage, Fill(Tr("--offset %1 is not a hex offset"), {args.offset}));
    for (auto [text, option] : {std::pair{&args.oldHex, "--old"},
                                {&args.newHex, "--new"},
                                {&args.description, "--description"}}) {
        CliResult length = CheckTextLength(*text, option);
        if (!length.ok())
            return length;
    }
    if (args.oldHex.empty() || args.newHex.empty())
        return Failed(kExitUsage, Tr("an item needs both --old and --new data"));
    item.oldHex = args.oldHex;
    item.newHex = args.newHex;
    item.description = args.description;
    item.enabled = args.enable ? 1 : 0;

    // Appended and sorted as the window does: after the items of equal offset.
    const auto place = std::upper_bound(
        list.items.begin(), list.items.end(), item.offset,
        [](std::uint32_t offset, const PatchItem& other) { return offset < other.offset; });
    const std::size_t row = static_cast<std::size_t>(place - list.items.begin()) + 1;
    list.items.push_back(item);
    SortPatchList(list.items);
    CliResult saved = list.Save();
    if (!saved.ok())
        return saved;
    WarnAboutDataText(err, item.oldHex, "old data", row);
    WarnAboutDataText(err, item.newHex, "new data", row);
    out << Fill(Tr("Added as row %1."), {std::to_string(row)}) << "\n";
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
                      Tr("nothing to change: give --offset, --old, --new or --description"));
    PatchItem item = list.items[position];
    if (hasOffset && !ParseOffsetArgument(args.offset, &item.offset))
        return Failed(kExitUsage, Fill(Tr("--offset %1 is not a hex offset"), {args.offset}));
    for (auto [text, option] : {std::pair{&args.oldHex, "--old"},
                                {&args.newHex, "--new"},
                                {&args.description, "--description"}}) {
        CliResult length = CheckTextLength(*text, option);
        if (!length.ok())
            return length;
    }
    if (hasOld)
        item.oldHex = args.oldHex;
    if (hasNew)
        item.newHex = args.newHex;
    if (hasDescription)
        item.description = args.description;
    if (item.oldHex.empty() || item.newHex.empty())
        return Failed(kExitUsage,
                      Fill(Tr("row %1 would have no old or no new data; an item needs both"),
                           {std::to_string(args.row)}));
    // Like the window's edit, the item keeps its place; the list is in offset
    // order again the next time it is read.
    list.items[position] = item;
    CliResult saved = list.Save();
    if (!saved.ok())
        return saved;
    if (hasOld)
        WarnAboutDataText(err, item.oldHex, "old data", position + 1);
    if (hasNew)
        WarnAboutDataText(err, item.newHex, "new data", position + 1);
    out << Fill(Tr("Changed row %1."), {std::to_string(position + 1)}) << "\n";
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
    out << Fill(Tr("Copied row %1: the copy is row %1, the item copied is now row %2."),
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
    out << Fill(Tr("Removed row %1."), {std::to_string(position + 1)}) << "\n";
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
            return Failed(kExitUsage, enable ? Tr("name the rows to enable")
                                             : Tr("name the rows to disable, or give --all"));
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
    out << Fill(enable ? Tr("%1 items enabled, %2 were already enabled.")
                       : Tr("%1 items disabled, %2 were already disabled."),
                {std::to_string(changed), std::to_string(positions.size() - changed)})
        << "\n";
    return CliResult{};
}

CliResult Search(PatchListFile& list, const std::string& pattern, std::ostream& out) {
    const HexTextCount count = CountHexText(pattern);
    if (count.bytes == 0)
        return Failed(kExitUsage,
                      Fill(Tr("\"%1\" holds no pair of hex digits to search for"), {pattern}));
    if (count.droppedDigits != 0)
        return Failed(kExitUsage, Fill(Tr("\"%1\" has a hex digit without a partner"), {pattern}));
    if (CliResult chosen = list.RequireTarget(); !chosen.ok())
        return chosen;
    const std::string backup = list.BackupPath();
    if (backup.empty())
        return Failed(kExitFileError,
                      Fill(Tr("the backup path for %1 would be too long"), {list.TargetPath()}));
    CliResult readable = CheckReadableFile(backup, "backup copy");
    if (!readable.ok())
        return readable;
    std::vector<std::uint8_t> bytes(count.bytes);
    ParseHexText(pattern.c_str(), bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    std::vector<std::uint32_t> matches;
    if (!FindAllOccurrences(&matches, backup.c_str(), bytes.data(),
                            static_cast<std::uint32_t>(bytes.size())))
        return Failed(kExitFileError, Fill(Tr("backup copy %1 cannot be read"), {backup}));
    std::string text;
    text.reserve(matches.size() * 9);
    for (const std::uint32_t offset : matches)
        text.append(OffsetText(offset)).push_back('\n');
    out << text;
    return CliResult{};
}

CliResult ChooseTarget(PatchListFile& list, const std::string& file, std::ostream& out) {
    CliResult chosen = list.ChooseTarget(file);
    if (!chosen.ok())
        return chosen;
    out << Fill(Tr("Target: %1\nBackup copy: %2"), {list.TargetPath(), list.BackupPath()}) << "\n";
    return CliResult{};
}

CliResult Apply(PatchListFile& list, const Arguments& args, std::ostream& out) {
    const TargetChangedAnswer whenChanged = args.rebackup    ? TargetChangedAnswer::Rebackup
                                            : args.overwrite ? TargetChangedAnswer::Overwrite
                                                             : TargetChangedAnswer::Cancel;
    if (args.dryRun)
        return DryRun(list, whenChanged, out);
    bool renewed = false;
    CliResult applied = list.Apply(whenChanged, &renewed);
    if (!applied.ok())
        return applied;
    std::size_t enabled = 0;
    for (const PatchItem& item : list.items)
        enabled += item.enabled != 0 ? 1 : 0;
    if (renewed)
        out << Fill(Tr("Took a new backup copy %1 from the target as it was."), {list.BackupPath()})
            << "\n";
    out << Fill(Tr("Rebuilt %1 from its backup copy with %2 enabled items."),
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
    CLI::App app{Tr("Patches bytes of a target file from a patch list, as the Bytemender window "
                    "does: the same settings file, backup folder and rebuild."),
                 kProgram};
    app.set_help_flag("-h,--help", Tr("Print this help and exit"));
    app.set_version_flag("--version", std::string(kProgram) + " " + BM_VERSION,
                         Tr("Print the version and exit"));
    app.require_subcommand(0, 1); // none is reported below, after unknown words
    app.fallthrough();
    app.add_option("--settings", args.settings,
                   Tr("The settings file holding the list, with the backup copies in Path_bak "
                      "beside it. Default: the window's, bytemender.ini beside the program when "
                      "it is there already or the program's folder is writable and not a system "
                      "folder (/usr, /opt ...); else $XDG_CONFIG_HOME/bytemender/bytemender.ini, "
                      "with the backup copies in $XDG_DATA_HOME/bytemender/Path_bak."))
        ->type_name("FILE");
    app.footer(Tr("Rows are numbered from 1 in the order \"list\" shows (by offset).\n"
                  "Exit status: 0 done; 1 a check failed (an item's check in apply, a target "
                  "changed by someone else, status found an item not as listed, or a patch or "
                  "an item that import or export checks does not fit the backup copy); 2 usage "
                  "or input error (a malformed patch file too); 3 a file could not be "
                  "read or written (nothing was changed).\n"
                  "Run \"bytemender-cli COMMAND --help\" for the options of a command."));

    auto* list = app.add_subcommand(
        "list", Tr("Show the items: row, offset, enabled, state, description, old and new data. "
                   "A '!' before the state marks an item the target disagrees with."));
    list->add_flag("--json", args.json, Tr("Write JSON for scripts"));

    auto* status = app.add_subcommand(
        "status", Tr("Show each item's state in the backup and the target (applied, original, "
                     "differs, out-of-range, backup-mismatch; overlapping). Exit status 0 when "
                     "every enabled item is applied and every disabled one original, else 1."));
    status->add_flag("--json", args.json, Tr("Write JSON for scripts"));

    auto* apply = app.add_subcommand(
        "apply", Tr("Save the list and rebuild the target from its backup copy with every "
                    "enabled item, as the window's \"保存\" does. Each item is checked first; "
                    "when one fails nothing is written. A target that someone else changed since "
                    "(exit status 1) is written only with --rebackup or --overwrite."));
    apply->add_flag("--dry-run", args.dryRun,
                    Tr("Print each range of the target that would change, with its old and new "
                       "bytes, and write nothing"));
    auto* rebackup = apply->add_flag(
        "--rebackup", args.rebackup,
        Tr("When the target was changed since its backup copy was taken or it was last rebuilt "
           "(an update of the program), take a new backup copy from it and rebuild from that"));
    apply
        ->add_flag("--overwrite", args.overwrite,
                   Tr("When the target was changed since its backup copy was taken or it was "
                      "last rebuilt, rebuild it from the old backup copy anyway"))
        ->excludes(rebackup);

    auto* target = app.add_subcommand(
        "target", Tr("Choose the target file, as the window's \"文件\" does: a backup copy of it "
                     "goes into Path_bak and the list names it."));
    target->add_option("FILE", args.file, Tr("The file to patch"))->required();

    const auto offsetCheck = CLI::Validator(
        [](std::string& text) {
            std::uint32_t offset = 0;
            return ParseOffsetArgument(text, &offset)
                       ? std::string()
                       : Fill(Tr("\"%1\" is not a hex offset (hex digits, optional 0x, at most "
                                 "FFFFFFFF)"),
                              {text});
        },
        "HEX");

    auto* add = app.add_subcommand(
        "add", Tr("Add an item (disabled unless --enable); the list stays in offset order. "
                  "Saves the list."));
    add->add_option("--offset", args.offset, Tr("Offset in the target, hex (optional 0x)"))
        ->required()
        ->check(offsetCheck);
    add->add_option("--old", args.oldHex, Tr("The bytes expected there, as hex text"))
        ->required()
        ->type_name("HEX");
    add->add_option("--new", args.newHex, Tr("The bytes to put there, as hex text"))
        ->required()
        ->type_name("HEX");
    add->add_option("--description", args.description, Tr("What the item changes"))
        ->type_name("TEXT");
    add->add_flag("--enable", args.enable, Tr("Add the item enabled"));

    auto* edit = app.add_subcommand(
        "edit", Tr("Change fields of item N; the item keeps its row until the list is read "
                   "again. Saves the list."));
    edit->add_option("N", args.row, Tr("Row number"))->required();
    edit->add_option("--offset", args.offset, Tr("New offset, hex (optional 0x)"))
        ->check(offsetCheck);
    edit->add_option("--old", args.oldHex, Tr("New expected bytes, as hex text"))->type_name("HEX");
    edit->add_option("--new", args.newHex, Tr("New bytes to put there, as hex text"))
        ->type_name("HEX");
    edit->add_option("--description", args.description, Tr("New description"))->type_name("TEXT");

    auto* copy = app.add_subcommand(
        "copy", Tr("Copy item N; the copy goes directly above it. Saves the list."));
    copy->add_option("N", args.row, Tr("Row number"))->required();

    auto* remove = app.add_subcommand("remove", Tr("Remove item N. Saves the list."));
    remove->add_option("N", args.row, Tr("Row number"))->required();

    auto* enable = app.add_subcommand(
        "enable", Tr("Enable items and save the list (unlike the window's button, which "
                     "keeps the change in memory: here it would be lost otherwise). The target "
                     "changes with the next apply."));
    enable->add_option("N", args.rows, Tr("Row numbers"))->required();

    auto* disable = app.add_subcommand(
        "disable", Tr("Disable items, or all of them, and save the list (here a change that is "
                      "not saved would be lost). The target changes with the next apply."));
    auto* disableRows = disable->add_option("N", args.rows, Tr("Row numbers"));
    disable->add_flag("--all", args.all, Tr("Disable every item"))->excludes(disableRows);

    auto* search = app.add_subcommand(
        "search", Tr("Print every offset of the bytes in the backup copy, one per line "
                     "(matches do not overlap)."));
    search->add_option("HEX", args.pattern, Tr("The bytes to find, as hex text"))->required();

    const ExchangeCommands exchange(app); // import, export, diff

    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {
        return app.exit(e, out, err);
    } catch (const CLI::ParseError& e) {
        err << kProgram << ": " << e.what() << "\n"
            << Tr("Run \"bytemender-cli --help\" for more information.") << "\n";
        return kExitUsage;
    }

    if (app.get_subcommands().empty()) {
        err << kProgram << ": "
            << Tr("a command is needed: list, status, apply, target, add, edit, copy, remove, "
                  "enable, disable, search, import, export or diff")
            << "\n"
            << Tr("Run \"bytemender-cli --help\" for more information.") << "\n";
        return kExitUsage;
    }

    // Only the commands that make a list may start without a settings file,
    // as the window starts with an empty list.
    const bool mayCreate = target->parsed() || add->parsed() || exchange.MayCreateList();
    PatchListFile file;
    CliResult result = file.Open(args.settings, !mayCreate);
    if (result.ok()) {
        if (list->parsed())
            result = ListOrStatus(file, args.json, false, out);
        else if (status->parsed())
            result = ListOrStatus(file, args.json, true, out);
        else if (apply->parsed())
            result = Apply(file, args, out);
        else if (target->parsed())
            result = ChooseTarget(file, args.file, out);
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
        else if (exchange.Parsed())
            result = exchange.Run(file, out);
    }
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
    try {
        return Run(argc, argv, out, err, end);
    } catch (const std::bad_alloc&) {
        err << kProgram << ": " << Tr("not enough memory") << "\n";
    } catch (const std::exception& e) {
        err << kProgram << ": " << e.what() << "\n";
    }
    return kExitFileError;
}
