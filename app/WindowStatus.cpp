// The main window's status line: what the last command did, so that a user
// hears of every success without a click, and, while the settings file could
// not be read, a lasting mark that the list is not saved and where its file
// is. Failures keep their message boxes (app/Commands.cpp).
#include "app/BytemenderDlg.h"

#include "winutil/DlgUtil.h"
#include "winutil/FileUtil.h"

#include <QLabel>

#include <algorithm>

namespace {

const char* const kSavingOff =
    QT_TRANSLATE_NOOP("CBytemenderDlg", "列表不会保存: 无法读取设置文件 %1");

const char* const kListSaved = QT_TRANSLATE_NOOP("CBytemenderDlg", "列表已保存到 %1 (%2 个项目)");
const char* const kRebuilt =
    QT_TRANSLATE_NOOP("CBytemenderDlg", "已重建目标文件 %1 (应用了 %2 个有效项目)");
const char* const kTargetTaken =
    QT_TRANSLATE_NOOP("CBytemenderDlg", "目标文件: %1, 备份已保存到 %2");
const char* const kFlagsChanged =
    QT_TRANSLATE_NOOP("CBytemenderDlg", "有效项目: %1 / %2 (尚未写入设置文件)");

QString FileName(const std::string& path) {
    std::string name;
    return SplitPath(path.c_str(), nullptr, &name) && !name.empty() ? NarrowToQString(name)
                                                                    : NarrowToQString(path);
}

// A warm background and dark text: the mark stands out under any palette.
const char* const kSavingOffStyle =
    "QLabel { background-color: #fde0bd; color: #7a0000; border: 1px solid #e0a060; }";

} // namespace

bool CBytemenderDlg::SavingOff() const {
    return session.FileState() == SettingsFileState::Unreadable;
}

void CBytemenderDlg::ShowStatus(const QString& text) {
    statusText = text;
    UpdateStatusLine();
}

void CBytemenderDlg::UpdateStatusLine() {
    QString line = statusText;
    if (SavingOff()) {
        const QString mark = QStringLiteral("\u26A0 ") +
                             tr(kSavingOff).arg(NarrowToQString(session.SettingsFilePath()));
        line = line.isEmpty() ? mark : mark + QStringLiteral("  \u2014  ") + line;
        statusLine->setStyleSheet(QString::fromLatin1(kSavingOffStyle));
    } else {
        statusLine->setStyleSheet(QString());
    }
    // One line, cut in the middle when the window is too narrow for it; the
    // whole text shows as the tooltip.
    const int room = statusLine->width() - statusLine->contentsMargins().left() -
                     statusLine->contentsMargins().right();
    statusLine->setText(statusLine->fontMetrics().elidedText(line, Qt::ElideMiddle, room));
    statusLine->setToolTip(line);
}

QString CBytemenderDlg::DoneText(Done done) const {
    const auto enabled = std::count_if(patchList.begin(), patchList.end(),
                                       [](const PatchItem& item) { return item.enabled != 0; });
    switch (done) {
    case Done::ListSaved:
        return tr(kListSaved).arg(FileName(session.SettingsFilePath())).arg(patchList.size());
    case Done::Rebuilt:
        return tr(kRebuilt).arg(NarrowToQString(targetPath)).arg(enabled);
    case Done::TargetTaken:
        return tr(kTargetTaken).arg(FileName(targetPath), NarrowToQString(backupPath));
    case Done::FlagsChanged:
        return tr(kFlagsChanged).arg(enabled).arg(patchList.size());
    }
    return QString();
}

void CBytemenderDlg::Report(const SessionOutcome& outcome, const QString& done) {
    // A list that cannot be saved because its file could not be read is the
    // status line's news (its first line; the mark names the file), not a
    // box at every command.
    if (outcome.status == SessionOutcome::Status::NotSaved && SavingOff()) {
        const QString text = NarrowToQString(outcome.text);
        ShowStatus(text.section(QLatin1Char('\n'), 0, 0).trimmed());
        return;
    }
    if (!outcome.text.empty()) {
        if (outcome.notice)
            prompts->ShowNotice(this, NarrowToQString(outcome.text),
                                NarrowToQString(outcome.caption));
        else
            prompts->ShowMessage(this, NarrowToQString(outcome.text),
                                 NarrowToQString(outcome.caption));
        return;
    }
    if (outcome.ok() && !done.isEmpty())
        ShowStatus(done);
}
