// The exchange commands' choosers and questions as Qt dialogs.
#include "app/ExchangePrompts.h"

#include "app/UserPrompts.h"
#include "winutil/DlgUtil.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>

namespace {

QString Tr(const char* source) {
    return QCoreApplication::translate("ExchangePrompts", source);
}

// The export chooser's filters, one per format, in this order.
struct ExportFilter {
    PatchFormat format;
    const char* label;
};
const ExportFilter kExportFilters[] = {
    {PatchFormat::Ips, QT_TRANSLATE_NOOP("ExchangePrompts", "IPS 补丁 (*.ips)")},
    {PatchFormat::Ips32, QT_TRANSLATE_NOOP("ExchangePrompts", "IPS32 补丁 (*.ips)")},
    {PatchFormat::IdaDif, QT_TRANSLATE_NOOP("ExchangePrompts", "IDA 差异文件 (*.dif)")},
    {PatchFormat::X64dbg1337, QT_TRANSLATE_NOOP("ExchangePrompts", "x64dbg 补丁 (*.1337)")},
    {PatchFormat::HaxDiff, QT_TRANSLATE_NOOP("ExchangePrompts", "haxdiff 补丁 (*.haxdiff)")},
};

// The extension without its dot, as QFileDialog's default suffix.
QString SuffixOf(PatchFormat format) {
    return QString::fromLatin1(PatchFormatExtension(format) + 1);
}

void StartAt(QFileDialog* dialog, const std::string& path, bool preselectMissing) {
    if (path.empty())
        return;
    const QFileInfo start(NarrowToQString(path));
    if (start.isDir()) {
        dialog->setDirectory(start.absoluteFilePath());
        return;
    }
    dialog->setDirectory(start.absolutePath());
    if (start.exists() || preselectMissing)
        dialog->selectFile(start.fileName());
}

constexpr const char* kCommonLengthProperty = "bytemenderCommonLength";

} // namespace

std::unique_ptr<QFileDialog> MakeExchangeOpenDialog(QWidget* owner, ExchangeFile purpose,
                                                    const std::string& path) {
    const char* title = QT_TRANSLATE_NOOP("ExchangePrompts", "导入补丁文件");
    if (purpose == ExchangeFile::DiffOriginal)
        title = QT_TRANSLATE_NOOP("ExchangePrompts", "比较文件: 选择原始文件");
    else if (purpose == ExchangeFile::DiffPatched)
        title = QT_TRANSLATE_NOOP("ExchangePrompts", "比较文件: 选择修改后的文件");
    auto dialog = std::make_unique<QFileDialog>(owner, Tr(title));
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    QStringList filters;
    if (purpose == ExchangeFile::PatchToImport)
        filters << Tr(
            QT_TRANSLATE_NOOP("ExchangePrompts", "补丁文件 (*.ips *.dif *.1337 *.haxdiff)"));
    filters << Tr(QT_TRANSLATE_NOOP("ExchangePrompts", "所有文件 (*)"));
    dialog->setNameFilters(filters);
    StartAt(dialog.get(), path, false);
    return dialog;
}

std::unique_ptr<QFileDialog> MakeExportDialog(QWidget* owner, const std::string& path,
                                              PatchFormat format) {
    auto dialog =
        std::make_unique<QFileDialog>(owner, Tr(QT_TRANSLATE_NOOP("ExchangePrompts", "导出补丁")));
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    QStringList filters;
    QString selected;
    for (const ExportFilter& filter : kExportFilters) {
        filters << Tr(filter.label);
        if (filter.format == format)
            selected = filters.back();
    }
    dialog->setNameFilters(filters);
    dialog->selectNameFilter(selected);
    dialog->setDefaultSuffix(SuffixOf(format));
    // A name typed without extension gets the selected format's, before the
    // dialog asks about replacing an existing file of that name.
    QFileDialog* raw = dialog.get();
    QObject::connect(raw, &QFileDialog::filterSelected, raw, [raw](const QString& label) {
        for (const ExportFilter& filter : kExportFilters) {
            if (Tr(filter.label) == label)
                raw->setDefaultSuffix(SuffixOf(filter.format));
        }
    });
    StartAt(raw, path, true);
    return dialog;
}

bool ExportChoiceOf(const QFileDialog& dialog, std::string* path, PatchFormat* format) {
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.front().isEmpty() || QFileInfo(files.front()).isDir())
        return false;
    PatchFormat chosen = kExportFilters[0].format;
    const QString label = dialog.selectedNameFilter();
    for (const ExportFilter& filter : kExportFilters) {
        if (Tr(filter.label) == label)
            chosen = filter.format;
    }
    std::string file = QStringToNarrow(files.front());
    PatchFormat named = chosen;
    if (DetectPatchFormat({}, file, &named)) {
        // ".ips" is both IPS and IPS32: the filter tells them apart.
        if (std::string(PatchFormatExtension(named)) != PatchFormatExtension(chosen))
            chosen = named;
    } else if (!QFileInfo(files.front()).fileName().contains(QLatin1Char('.'))) {
        file += PatchFormatExtension(chosen);
    }
    *path = std::move(file);
    *format = chosen;
    return true;
}

std::unique_ptr<QMessageBox> MakeCommonLengthBox(QWidget* owner, const std::string& originalPath,
                                                 const std::string& patchedPath,
                                                 std::uint64_t originalLength,
                                                 std::uint64_t patchedLength) {
    const QString text =
        Tr(QT_TRANSLATE_NOOP("ExchangePrompts",
                             " 两个文件的长度不同: \n%1: %2 字节\n%3: %4 字节\n\n"
                             "补丁项目不能改变文件的长度. 只比较两个文件都有的前 %5 字节吗? "))
            .arg(NarrowToQString(originalPath))
            .arg(originalLength)
            .arg(NarrowToQString(patchedPath))
            .arg(patchedLength)
            .arg(std::min(originalLength, patchedLength));
    auto box = std::make_unique<QMessageBox>(QMessageBox::Question,
                                             Tr(QT_TRANSLATE_NOOP("ExchangePrompts", "比较文件")),
                                             text, QMessageBox::NoButton, owner);
    box->setTextFormat(Qt::PlainText);
    QPushButton* common = box->addButton(Tr(QT_TRANSLATE_NOOP("ExchangePrompts", "只比较共同部分")),
                                         QMessageBox::AcceptRole);
    common->setProperty(kCommonLengthProperty, true);
    QPushButton* cancel =
        box->addButton(Tr(QT_TRANSLATE_NOOP("ExchangePrompts", "取消")), QMessageBox::RejectRole);
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    return box;
}

bool CommonLengthChosen(const QMessageBox& box) {
    const QAbstractButton* clicked = box.clickedButton();
    return clicked && clicked->property(kCommonLengthProperty).toBool();
}

bool IUserPrompts::ChooseFileFor(QWidget*, ExchangeFile, std::string*) {
    return false;
}

bool IUserPrompts::ChooseSaveFile(QWidget*, std::string*, PatchFormat*) {
    return false;
}

bool IUserPrompts::AskCommonLength(QWidget*, const std::string&, const std::string&, std::uint64_t,
                                   std::uint64_t) {
    return false;
}

void IUserPrompts::ShowNotice(QWidget*, const QString&, const QString&) {}

bool QtUserPrompts::ChooseFileFor(QWidget* owner, ExchangeFile purpose, std::string* path) {
    const std::unique_ptr<QFileDialog> dialog = MakeExchangeOpenDialog(owner, purpose, *path);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        return false;
    std::string chosen = QStringToNarrow(dialog->selectedFiles().front());
    if (chosen.empty())
        return false;
    *path = std::move(chosen);
    return true;
}

bool QtUserPrompts::ChooseSaveFile(QWidget* owner, std::string* path, PatchFormat* format) {
    const std::unique_ptr<QFileDialog> dialog = MakeExportDialog(owner, *path, *format);
    return dialog->exec() == QDialog::Accepted && ExportChoiceOf(*dialog, path, format);
}

bool QtUserPrompts::AskCommonLength(QWidget* owner, const std::string& originalPath,
                                    const std::string& patchedPath, std::uint64_t originalLength,
                                    std::uint64_t patchedLength) {
    const std::unique_ptr<QMessageBox> box =
        MakeCommonLengthBox(owner, originalPath, patchedPath, originalLength, patchedLength);
    box->exec();
    return CommonLengthChosen(*box);
}

void QtUserPrompts::ShowNotice(QWidget* owner, const QString& text, const QString& caption) {
    const std::unique_ptr<QMessageBox> box = MakeMessageBox(owner, text, caption);
    box->setIcon(QMessageBox::Information);
    box->exec();
}
