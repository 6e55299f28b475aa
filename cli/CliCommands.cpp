// bytemender-cli's arguments: the options of every subcommand, and the call
// of the one given, with the list opened (and locked when it writes).
#include "cli/Cli.h"

#include "cli/CliCommands.h"
#include "cli/CliExchange.h"
#include "cli/CliRelocate.h"
#include "cli/CliText.h"

#include <CLI/CLI.hpp>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#ifndef BM_VERSION
#define BM_VERSION "unknown"
#endif

namespace {

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
