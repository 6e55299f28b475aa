// add, edit, copy, remove, enable and disable: the commands that change the
// list's items, with the item editor's checks of offsets and data texts.
#include "cli/CliCommands.h"

#include "cli/CliText.h"
#include "engine/HexText.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

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

} // namespace

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
