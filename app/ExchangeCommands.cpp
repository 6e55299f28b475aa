// The window's exchange commands in its context menu: "导入..." adds the
// items of a patch file, "导出..." writes the enabled items as a patch file,
// "比较文件..." adds the items that turn one file into another. The steps are
// the Qt-free jobs of core/PatchExchangeJobs.h; here the user chooses the files
// and hears the outcome.
#include "app/BytemenderDlg.h"

#include "core/PatchExchangeJobs.h"
#include "editor/LongStep.h"
#include "winutil/DlgUtil.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>

#include <filesystem>
#include <string>

namespace {

struct ExchangeEntry {
    const char* text;
    void (CBytemenderDlg::*handler)();
};

const ExchangeEntry kExchangeEntries[] = {
    {QT_TRANSLATE_NOOP("ExchangeCommands", "导入(&I)..."), &CBytemenderDlg::OnImport},
    {QT_TRANSLATE_NOOP("ExchangeCommands", "导出(&E)..."), &CBytemenderDlg::OnExport},
    {QT_TRANSLATE_NOOP("ExchangeCommands", "比较文件(&D)..."), &CBytemenderDlg::OnDiffFiles},
};

// What a finished step did, for the status line.
const char* const kImported = QT_TRANSLATE_NOOP("ExchangeCommands", "已从 %2 导入 %1 个项目");
const char* const kExported = QT_TRANSLATE_NOOP("ExchangeCommands", "已导出 %1 个项目到 %2");
const char* const kCompared =
    QT_TRANSLATE_NOOP("ExchangeCommands", "比较 %2 与 %3: 增加了 %1 个项目");

// What a running step does, over its progress bar.
const char* const kImporting = QT_TRANSLATE_NOOP("ExchangeCommands", "正在导入补丁文件...");
const char* const kExporting = QT_TRANSLATE_NOOP("ExchangeCommands", "正在导出补丁文件...");
const char* const kComparing = QT_TRANSLATE_NOOP("ExchangeCommands", "正在比较文件...");

QString Tr(const char* source) {
    return QCoreApplication::translate("ExchangeCommands", source);
}

// Failures in a message box; a notice (nothing to add), a success (done) and
// a list that cannot be saved while saving is off in the status line.
void Tell(CBytemenderDlg& dlg, const ExchangeOutcome& outcome, const QString& done) {
    const QString text = NarrowToQString(outcome.text);
    const bool notSaved = outcome.status == ExchangeOutcome::Status::NotSaved && dlg.SavingOff();
    if (outcome.notice || notSaved) {
        // A list whose file could not be read: the status line's mark names
        // the file.
        dlg.ShowStatus(notSaved ? done + QStringLiteral("  ") +
                                      text.section(QLatin1Char('\n'), 0, 0).trimmed()
                                : text.simplified());
    } else if (!outcome.text.empty()) {
        dlg.Prompts().ShowMessage(&dlg, NarrowToQString(outcome.text),
                                  NarrowToQString(outcome.caption));
    } else if (outcome.ok()) {
        dlg.ShowStatus(done);
    }
}

// Where the export chooser starts: the target's name with the format's
// extension, beside it.
std::string ExportStart(const std::string& target, PatchFormat format) {
    std::filesystem::path start(target);
    start.replace_extension(PatchFormatExtension(format));
    return start.string();
}

// The folder of a file, as the chooser's start.
std::string FolderOf(const std::string& path) {
    return path.empty() ? path : std::filesystem::path(path).parent_path().string();
}

} // namespace

void CBytemenderDlg::AddExchangeActions() {
    for (const ExchangeEntry& entry : kExchangeEntries)
        exchangeActions.push_back(AddMenuEntry(Tr(entry.text), entry.handler, {}));
    // The About entry follows, set apart.
    auto* separator = new QAction(this);
    separator->setSeparator(true);
    addAction(separator);
    windowMenu->addAction(separator);
}

// "导入...": the patch file's items, checked against the backup copy, join the
// list in offset order, enabled, and the list is saved; a patch that is
// refused anywhere adds nothing.
void CBytemenderDlg::OnImport() {
    if (const ExchangeOutcome target = RequireTarget(session); !target.ok()) {
        Tell(*this, target, {});
        return;
    }
    std::string path = FolderOf(targetPath);
    if (!prompts->ChooseFileFor(this, ExchangeFile::PatchToImport, &path) || path.empty())
        return;
    ExchangeOutcome outcome;
    RunStep(Tr(kImporting), [&] { outcome = ImportIntoSession(session, path); });
    AfterListRead();
    RefreshList();
    Tell(*this, outcome, Tr(kImported).arg(outcome.count).arg(NarrowToQString(path)));
}

// "导出...": the enabled items, as "保存" would apply them, in the format the
// user picks; nothing is written when an item does not fit the backup.
void CBytemenderDlg::OnExport() {
    if (const ExchangeOutcome target = RequireTarget(session); !target.ok()) {
        Tell(*this, target, {});
        return;
    }
    PatchFormat format = PatchFormat::Ips;
    std::string path = ExportStart(targetPath, format);
    if (!prompts->ChooseSaveFile(this, &path, &format) || path.empty())
        return;
    ExchangeOutcome outcome;
    RunStep(Tr(kExporting), [&] { outcome = ExportFromSession(session, path, format, false); });
    RefreshList();
    Tell(*this, outcome, Tr(kExported).arg(outcome.count).arg(NarrowToQString(path)));
}

// "比较文件...": the original (the backup copy is offered) and the patched
// file (the target is offered); one item per run of differing bytes joins
// the list. Files of different lengths are compared as far as both go only
// when the user says so.
void CBytemenderDlg::OnDiffFiles() {
    std::string original = targetPath.empty() ? std::string() : backupPath;
    if (!prompts->ChooseFileFor(this, ExchangeFile::DiffOriginal, &original) || original.empty())
        return;
    std::string patched = targetPath.empty() ? FolderOf(original) : targetPath;
    if (!prompts->ChooseFileFor(this, ExchangeFile::DiffPatched, &patched) || patched.empty())
        return;
    ExchangeOutcome outcome;
    RunStep(Tr(kComparing), [&] {
        outcome =
            DiffIntoSession(session, original, patched,
                            [&](std::uint64_t originalLength, std::uint64_t patchedLength) {
                                return OnWindowThread(this, [&] {
                                    return prompts->AskCommonLength(this, original, patched,
                                                                    originalLength, patchedLength);
                                });
                            });
    });
    AfterListRead();
    RefreshList();
    Tell(*this, outcome,
         Tr(kCompared).arg(outcome.count).arg(NarrowToQString(original), NarrowToQString(patched)));
}
