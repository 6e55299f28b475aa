// search: every offset of a pattern, wildcards allowed, in the backup copy.
#include "cli/CliCommands.h"

#include "cli/CliText.h"
#include "engine/FileSearch.h"
#include "engine/HexText.h"
#include "engine/PatternSearch.h"
#include "winutil/FdIo.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

// search lists at most this many offsets, then the number found.
constexpr std::size_t kMaxListedMatches = 100000;

} // namespace

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
    // The backup is read block by block and only the listed offsets are
    // kept: a pattern found everywhere (zeros in a large file) would
    // otherwise take memory and print gigabytes. The listing stops after
    // kMaxListedMatches and says how many there were.
    FileMatches matches;
    if (!SearchFile(backup, masked, kMaxListedMatches, &matches))
        return Failed(
            kExitFileError,
            FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli", "无法读取备份文件 %1")), {backup}));
    std::string text;
    text.reserve(std::min<std::size_t>(matches.listed.size(), 65536) * 9);
    for (const std::uint64_t offset : matches.listed) {
        text.append(OffsetText(offset)).push_back('\n');
        if (text.size() >= 65536 * 9) {
            out << text;
            text.clear();
        }
    }
    out << text;
    if (matches.listed.size() < matches.count)
        out << FormatText(
                   Tr(QT_TRANSLATE_NOOP("bytemender-cli", "... 共找到 %1 处, 只列出了前 %2 处.")),
                   {std::to_string(matches.count), std::to_string(matches.listed.size())})
            << "\n";
    return CliResult{};
}
