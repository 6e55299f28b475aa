// import, export and diff on the command line: the list steps shared with the
// window (core/PatchExchangeJobs.h), with the command line's checks, messages
// and exit statuses.
#include "cli/CliExchange.h"

#include "cli/CliText.h"
#include "core/PatchExchangeJobs.h"
#include "engine/PatchExchange.h"

#include <CLI/CLI.hpp>

#include <cstdint>
#include <string>
#include <vector>

struct ExchangeCommands::Parts {
    CLI::App* import = nullptr;
    CLI::App* exportTo = nullptr;
    CLI::App* diff = nullptr;
    std::string file;
    std::string formatName;
    bool all = false;
    std::string original;
    std::string patched;
    bool commonLength = false;
};

namespace {

int ExitStatusOf(ExchangeProblem problem) {
    switch (problem) {
    case ExchangeProblem::File:
        return kExitFileError;
    case ExchangeProblem::Mismatch:
        return kExitCheckFailed;
    case ExchangeProblem::None:
    case ExchangeProblem::BadInput:
        break;
    }
    return kExitUsage;
}

// After items joined the list: says so, or that none did, and saves the list
// when it changed.
CliResult SaveAdded(PatchListFile& list, std::size_t count, const std::string& unchanged,
                    const std::string& added, std::ostream& out) {
    if (count != 0) {
        if (CliResult saved = list.Save(); !saved.ok())
            return saved;
    }
    out << (count == 0 ? unchanged : added) << "\n";
    return CliResult{};
}

CliResult Import(PatchListFile& list, const std::string& file, std::ostream& out) {
    if (CliResult readable = list.CheckBackup(); !readable.ok())
        return readable;
    if (CliResult readable =
            CheckReadableFile(file, QT_TRANSLATE_NOOP("bytemender-cli", "补丁文件"));
        !readable.ok())
        return readable;
    const ExchangeOutcome imported = ImportIntoList(list.items, list.BackupPath(), file);
    if (!imported.ok())
        return Failed(ExitStatusOf(imported.problem),
                      imported.detail + "\n" +
                          Tr(QT_TRANSLATE_NOOP("bytemender-cli", "未导入任何项目, 列表未改变.")));
    const std::string skipped =
        FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli", "跳过了 %1 个列表中已有的相同项目.")),
                   {std::to_string(imported.skipped)});
    return SaveAdded(
        list, imported.count,
        imported.skipped != 0
            ? skipped + " " + Tr(QT_TRANSLATE_NOOP("bytemender-cli", "列表未改变."))
            : Tr(QT_TRANSLATE_NOOP("bytemender-cli", "补丁文件中没有任何修改, 列表未改变.")),
        FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli",
                                        "已从 %2 (%3) 导入 %1 个项目, 设为有效, 按偏移排序.")),
                   {std::to_string(imported.count), file, PatchFormatName(imported.format)}) +
            (imported.skipped != 0 ? " " + skipped : std::string()),
        out);
}

CliResult Export(PatchListFile& list, const std::string& file, const std::string& formatName,
                 bool all, std::ostream& out) {
    PatchFormat format = PatchFormat::Ips;
    if (formatName.empty() ? !DetectPatchFormat({}, file, &format)
                           : !PatchFormatFromName(formatName, &format))
        return Failed(kExitUsage,
                      FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli",
                                                      "%1 的扩展名不对应任何补丁格式, 请给出 "
                                                      "--format ips, ips32, dif, 1337 或 haxdiff")),
                                 {file}));
    if (CliResult readable = list.CheckBackup(); !readable.ok())
        return readable;
    const std::string backup = list.BackupPath();
    const ExchangeOutcome exported = ExportList(
        list.items, backup, {list.TargetPath(), backup, list.SettingsPath()}, file, format, all);
    using Status = ExchangeOutcome::Status;
    switch (exported.status) {
    case Status::Ok:
        break;
    case Status::NothingToExport:
        return Failed(kExitUsage,
                      list.items.empty()
                          ? Tr(QT_TRANSLATE_NOOP("bytemender-cli", "列表为空, 没有可导出的项目"))
                          : Tr(QT_TRANSLATE_NOOP("bytemender-cli",
                                                 "没有有效的项目可导出 (--all 导出所有项目)")));
    case Status::ListFile:
        return Failed(
            kExitUsage,
            FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli",
                                            "%1 是目标文件, 备份文件或设置文件, 导出不会替换它")),
                       {file}));
    default:
        return Failed(
            ExitStatusOf(exported.problem),
            exported.detail + "\n" +
                FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli", "未写入 %1.")), {file}));
    }
    out << FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli", "已导出 %1 个项目到 %2 (%3).")),
                      {std::to_string(exported.count), file, PatchFormatName(format)})
        << "\n";
    return CliResult{};
}

CliResult Diff(PatchListFile& list, const std::string& original, const std::string& patched,
               bool commonLength, std::ostream& out) {
    for (auto [file, what] : {std::pair{&original, QT_TRANSLATE_NOOP("bytemender-cli", "原始文件")},
                              {&patched, QT_TRANSLATE_NOOP("bytemender-cli", "修改后的文件")}}) {
        if (CliResult readable = CheckReadableFile(*file, what); !readable.ok())
            return readable;
    }
    // With a target chosen the items must fit its backup, as an import's do.
    if (!list.TargetPath().empty()) {
        if (CliResult readable = list.CheckBackup(); !readable.ok())
            return readable;
    }
    std::uint64_t lengths[2] = {0, 0};
    bool differentLengths = false;
    const ExchangeOutcome diffed = DiffIntoList(list.items, list.BackupPath(), original, patched,
                                                [&](std::uint64_t a, std::uint64_t b) {
                                                    lengths[0] = a;
                                                    lengths[1] = b;
                                                    differentLengths = true;
                                                    return commonLength;
                                                });
    if (diffed.status == ExchangeOutcome::Status::Cancelled)
        return Failed(
            kExitUsage,
            FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli",
                                            "%1 有 %2 字节而 %3 有 %4 字节; 项目无法改变文件的大小 "
                                            "(--common-length 只比较前 %5 字节)")),
                       {original, std::to_string(lengths[0]), patched, std::to_string(lengths[1]),
                        std::to_string(std::min(lengths[0], lengths[1]))}));
    if (!diffed.ok())
        return Failed(ExitStatusOf(diffed.problem),
                      diffed.detail + "\n" +
                          Tr(QT_TRANSLATE_NOOP("bytemender-cli", "未增加任何项目, 列表未改变.")));
    return SaveAdded(
        list, diffed.count,
        differentLengths
            ? Tr(QT_TRANSLATE_NOOP("bytemender-cli", "两个文件的共同部分相同, 列表未改变."))
            : Tr(QT_TRANSLATE_NOOP("bytemender-cli", "两个文件的内容相同, 列表未改变.")),
        FormatText(Tr(QT_TRANSLATE_NOOP("bytemender-cli",
                                        "已为不同的字节增加 %1 个项目, 设为有效, 按偏移排序.")),
                   {std::to_string(diffed.count)}),
        out);
}

} // namespace

ExchangeCommands::ExchangeCommands(CLI::App& app) : parts_(std::make_unique<Parts>()) {
    Parts& p = *parts_;
    p.import = app.add_subcommand(
        "import", Tr(QT_TRANSLATE_NOOP("bytemender-cli",
                                       "将补丁文件 (IPS, IPS32, IDA .dif, x64dbg .1337 或 haxdiff, "
                                       "按内容或扩展名识别) 中的修改增加为有效项目, 按偏移排序, "
                                       "并与备份文件核对; 保存列表. 有任何问题都不增加.")));
    p.import
        ->add_option("FILE", p.file, Tr(QT_TRANSLATE_NOOP("bytemender-cli", "要导入的补丁文件")))
        ->required();

    p.exportTo = app.add_subcommand(
        "export", Tr(QT_TRANSLATE_NOOP("bytemender-cli",
                                       "将有效项目 (或全部项目) 写成补丁文件, 并与备份文件核对; "
                                       "有项目与备份文件不符时不写入任何文件.")));
    p.exportTo
        ->add_option("FILE", p.file,
                     Tr(QT_TRANSLATE_NOOP("bytemender-cli", "要写入的补丁文件 (整个替换)")))
        ->required();
    p.exportTo
        ->add_option(
            "--format", p.formatName,
            Tr(QT_TRANSLATE_NOOP("bytemender-cli",
                                 "ips, ips32, dif, 1337 或 haxdiff (默认: 按 FILE 的扩展名)")))
        ->type_name("FORMAT")
        ->check(CLI::Validator(
            [](std::string& name) {
                PatchFormat format;
                return PatchFormatFromName(name, &format)
                           ? std::string()
                           : FormatText(
                                 Tr(QT_TRANSLATE_NOOP(
                                     "bytemender-cli",
                                     "\"%1\" 不是补丁格式: ips, ips32, dif, 1337 或 haxdiff")),
                                 {name});
            },
            "FORMAT"));
    p.exportTo->add_flag("--all", p.all,
                         Tr(QT_TRANSLATE_NOOP("bytemender-cli", "导出所有项目, 不只是有效的")));

    p.diff = app.add_subcommand(
        "diff", Tr(QT_TRANSLATE_NOOP("bytemender-cli",
                                     "两个文件中每一段不同的字节增加一个有效项目 (相隔少于 8 "
                                     "个相同字节的段合为一个项目), 按偏移排序; 保存列表.")));
    p.diff
        ->add_option("ORIGINAL", p.original,
                     Tr(QT_TRANSLATE_NOOP("bytemender-cli", "修改前的文件")))
        ->required();
    p.diff
        ->add_option("PATCHED", p.patched,
                     Tr(QT_TRANSLATE_NOOP("bytemender-cli", "修改后应有的文件")))
        ->required();
    p.diff->add_flag(
        "--common-length", p.commonLength,
        Tr(QT_TRANSLATE_NOOP("bytemender-cli", "比较长度不同的文件时只比较到较短文件的末尾")));
}

ExchangeCommands::~ExchangeCommands() = default;

bool ExchangeCommands::Parsed() const {
    return parts_->import->parsed() || parts_->exportTo->parsed() || parts_->diff->parsed();
}

bool ExchangeCommands::MayCreateList() const {
    return parts_->diff->parsed();
}

bool ExchangeCommands::ReadsOnly() const {
    return parts_->exportTo->parsed();
}

CliResult ExchangeCommands::Run(PatchListFile& list, std::ostream& out) const {
    const Parts& p = *parts_;
    if (p.import->parsed())
        return Import(list, p.file, out);
    if (p.exportTo->parsed())
        return Export(list, p.file, p.formatName, p.all, out);
    return Diff(list, p.original, p.patched, p.commonLength, out);
}
