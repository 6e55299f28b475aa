#include "app/UserPrompts.h"

#include "app/AboutDlg.h"
#include "core/PatchSession.h"
#include "editor/ItemEditDlg.h"
#include "winutil/DlgUtil.h"
#include "winutil/Translate.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

IUserPrompts::~IUserPrompts() = default;

void IUserPrompts::RunAboutBox(CAboutDlg& box) {
    box.exec();
}

namespace {

const char16_t kEllipsis = u'\u2026';
const char16_t kZeroWidthSpace = u'\u200B';

struct Span {
    qsizetype begin;
    qsizetype end;
};

// The rows a text fills: each line cut into pieces of rowChars characters,
// never inside a surrogate pair; an empty line is one empty row.
std::vector<Span> Rows(const QString& text, int rowChars) {
    std::vector<Span> rows;
    qsizetype lineBegin = 0;
    while (lineBegin <= text.size()) {
        qsizetype lineEnd = text.indexOf(QLatin1Char('\n'), lineBegin);
        if (lineEnd < 0)
            lineEnd = text.size();
        qsizetype begin = lineBegin;
        do {
            qsizetype end = std::min(begin + rowChars, lineEnd);
            if (end < lineEnd && end > begin + 1 && text.at(end - 1).isHighSurrogate())
                --end;
            rows.push_back({begin, end});
            begin = end;
        } while (begin < lineEnd);
        lineBegin = lineEnd + 1;
    }
    return rows;
}

// A run of more than rowChars characters without a space gets a zero-width
// space after every rowChars of them: the box wraps such a run there instead
// of growing to the screen's width for it.
QString WithBreaks(const QString& text, int rowChars) {
    QString out;
    out.reserve(text.size() + text.size() / rowChars);
    int run = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isSpace()) {
            run = 0;
        } else if (!c.isLowSurrogate()) {
            if (run == rowChars) {
                out += QChar(kZeroWidthSpace);
                run = 0;
            }
            ++run;
        }
        out += c;
    }
    return out;
}

// Rows and row length that keep a message box on the screen. The box wraps
// its text at about half the screen's width (420 pixels at most), less its
// icon; a row is counted in the widest characters (CJK), so Latin text takes
// fewer rows than allowed. Title, margins, buttons and the details area take
// a fixed share of the height.
std::pair<int, int> MessageLimits(const QWidget* owner, const QFont& font) {
    const QScreen* screen = owner ? owner->screen() : nullptr;
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 800, 600);
    const QFontMetrics metrics(font);
    const int textWidth = std::max(200, std::min(available.width() / 2, 420) - 100);
    const int wide = std::max(1, metrics.horizontalAdvance(QChar(0x6C49)));
    const int rowChars = std::max(16, textWidth / wide);
    const int rows =
        std::clamp((available.height() - 280) / std::max(1, metrics.lineSpacing()), 4, 24);
    return {rows, rowChars};
}

} // namespace

ShapedMessage ShapeMessageText(const QString& text, int maxRows, int rowChars) {
    QString lines = text;
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    lines.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    maxRows = std::max(maxRows, 3);
    rowChars = std::max(rowChars, 2);
    const std::vector<Span> rows = Rows(lines, rowChars);
    if (rows.size() <= static_cast<std::size_t>(maxRows))
        return {lines, false};

    // One row goes to the ellipsis; the beginning gets the odd one.
    const std::size_t kept = static_cast<std::size_t>(maxRows) - 1;
    const std::size_t head = (kept + 1) / 2;
    const std::size_t tail = kept - head;
    qsizetype cutBegin = rows[head - 1].end;
    qsizetype cutEnd = rows[rows.size() - tail].begin;
    // The cut falls between words where the rows at its edges have a space:
    // a hex pair or a path's part is kept whole or left out whole.
    const qsizetype headRow = rows[head - 1].begin;
    if (cutBegin < lines.size() && lines.at(cutBegin) != QLatin1Char('\n') &&
        !lines.at(cutBegin).isSpace()) {
        for (qsizetype i = cutBegin; i > headRow; --i) {
            if (lines.at(i - 1).isSpace()) {
                cutBegin = i;
                break;
            }
        }
    }
    const qsizetype tailRowEnd = rows[rows.size() - tail].end;
    if (cutEnd > 0 && lines.at(cutEnd - 1) != QLatin1Char('\n') &&
        !lines.at(cutEnd - 1).isSpace()) {
        for (qsizetype i = cutEnd; i < tailRowEnd; ++i) {
            if (lines.at(i).isSpace()) {
                cutEnd = i + 1;
                break;
            }
        }
    }
    // The ellipsis on a line of its own, between the head and the tail.
    QString front = lines.left(cutBegin);
    while (!front.isEmpty() && front.back().isSpace())
        front.chop(1);
    QString end = lines.mid(cutEnd);
    while (!end.isEmpty() && end.front().isSpace())
        end.remove(0, 1);
    const QString mark = QStringLiteral("\n%1\n").arg(QChar(kEllipsis));
    return {WithBreaks(front + mark + end, rowChars), true};
}

std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* owner, const QString& text,
                                            const QString& caption) {
    auto box = std::make_unique<QMessageBox>(QMessageBox::Critical, caption, QString(),
                                             QMessageBox::Ok, owner);
    // Descriptions are the user's own text: shown as typed, never as markup.
    box->setTextFormat(Qt::PlainText);
    box->setTextInteractionFlags(Qt::TextSelectableByMouse);
    const auto [rows, rowChars] = MessageLimits(owner, box->font());
    const ShapedMessage shaped = ShapeMessageText(text, rows, rowChars);
    box->setText(shaped.text);
    if (shaped.elided)
        box->setDetailedText(QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    return box;
}

void QtUserPrompts::ShowMessage(QWidget* owner, const QString& text, const QString& caption) {
    MakeMessageBox(owner, text, caption)->exec();
}

bool QtUserPrompts::ChooseFile(QWidget* owner, std::string* path) {
    return ChooseOpenFile(path, owner);
}

int QtUserPrompts::RunItemEditor(CItemEditDlg& dlg) {
    return dlg.exec() == 1 ? 1 : 2;
}

namespace {

// The buttons of the question, in the order of TargetChangedAnswer.
const char* const kTargetChangedButtons[] = {QT_TRANSLATE_NOOP("UserPrompts", "重新备份"),
                                             QT_TRANSLATE_NOOP("UserPrompts", "覆盖"),
                                             QT_TRANSLATE_NOOP("UserPrompts", "取消")};

QString Tr(const char* source) {
    return QCoreApplication::translate("UserPrompts", source);
}
constexpr const char* kAnswerProperty = "bytemenderAnswer";

} // namespace

std::unique_ptr<QMessageBox> MakeTargetChangedBox(QWidget* owner, const std::string& targetPath) {
    const QString text =
        Tr(QT_TRANSLATE_NOOP("UserPrompts",
                             " 目标文件在备份或上次重建之后已被更改 (例如程序已更新): \n%1\n\n"
                             "重新备份: 以现在的目标文件作为新的备份, 再从它重建. \n"
                             "覆盖: 仍从旧的备份重建, 目标文件的这些更改将丢失. \n"
                             "取消: 不写入任何文件. "))
            .arg(NarrowToQString(targetPath));
    auto box = std::make_unique<QMessageBox>(QMessageBox::Warning,
                                             Tr(QT_TRANSLATE_NOOP("UserPrompts", "目标文件已更改")),
                                             text, QMessageBox::NoButton, owner);
    const QMessageBox::ButtonRole roles[] = {QMessageBox::AcceptRole, QMessageBox::DestructiveRole,
                                             QMessageBox::RejectRole};
    // Icons as the style gives the standard buttons of the other boxes.
    const QStyle::StandardPixmap icons[] = {QStyle::SP_BrowserReload, QStyle::SP_DialogSaveButton,
                                            QStyle::SP_DialogCancelButton};
    QPushButton* cancel = nullptr;
    for (int i = 0; i < 3; ++i) {
        cancel = box->addButton(Tr(kTargetChangedButtons[i]), roles[i]);
        cancel->setProperty(kAnswerProperty, i);
        cancel->setIcon(box->style()->standardIcon(icons[i], nullptr, cancel));
    }
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    return box;
}

TargetChangedAnswer TargetChangedAnswerOf(const QMessageBox& box) {
    const QAbstractButton* clicked = box.clickedButton();
    const int chosen = clicked ? clicked->property(kAnswerProperty).toInt() : 2;
    if (chosen == 0)
        return TargetChangedAnswer::Rebackup;
    if (chosen == 1)
        return TargetChangedAnswer::Overwrite;
    return TargetChangedAnswer::Cancel;
}

TargetChangedAnswer QtUserPrompts::AskTargetChanged(QWidget* owner, const std::string& targetPath) {
    const std::unique_ptr<QMessageBox> box = MakeTargetChangedBox(owner, targetPath);
    box->exec();
    return TargetChangedAnswerOf(*box);
}

bool IUserPrompts::AskReplaceBackup(QWidget*, const QString&) {
    return false;
}

bool QtUserPrompts::AskReplaceBackup(QWidget* owner, const QString& text) {
    QMessageBox box(
        QMessageBox::Warning, Tr(QT_TRANSLATE_NOOP("UserPrompts", "备份文件")),
        text + Tr(QT_TRANSLATE_NOOP("UserPrompts",
                                    "\n\n仍然替换: 用它替换原来的备份文件, 这些项目将无法应用. "
                                    "\n保留: 原来的备份文件不变 (推荐). ")),
        QMessageBox::NoButton, owner);
    QPushButton* replace = box.addButton(Tr(QT_TRANSLATE_NOOP("UserPrompts", "仍然替换")),
                                         QMessageBox::DestructiveRole);
    QPushButton* keep =
        box.addButton(Tr(QT_TRANSLATE_NOOP("UserPrompts", "保留")), QMessageBox::RejectRole);
    box.setDefaultButton(keep);
    box.setEscapeButton(keep);
    box.exec();
    return box.clickedButton() == replace;
}

bool IUserPrompts::AskKeepRecovered(QWidget*, const QString&) {
    return false;
}

std::unique_ptr<QMessageBox> MakeKeepRecoveredBox(QWidget* owner, const QString& text) {
    auto box = std::make_unique<QMessageBox>(QMessageBox::Warning,
                                             Tr(QT_TRANSLATE_NOOP("UserPrompts", "设置文件已损坏")),
                                             text, QMessageBox::NoButton, owner);
    box->addButton(Tr(QT_TRANSLATE_NOOP("UserPrompts", "保留恢复的列表")),
                   QMessageBox::DestructiveRole)
        ->setProperty(kAnswerProperty, 1);
    QPushButton* leave = box->addButton(Tr(QT_TRANSLATE_NOOP("UserPrompts", "不写入该文件")),
                                        QMessageBox::RejectRole);
    leave->setProperty(kAnswerProperty, 0);
    box->setDefaultButton(leave);
    box->setEscapeButton(leave);
    return box;
}

bool KeptRecovered(const QMessageBox& box) {
    const QAbstractButton* clicked = box.clickedButton();
    return clicked && clicked->property(kAnswerProperty).toInt() == 1;
}

bool QtUserPrompts::AskKeepRecovered(QWidget* owner, const QString& text) {
    const std::unique_ptr<QMessageBox> box = MakeKeepRecoveredBox(owner, text);
    box->exec();
    return KeptRecovered(*box);
}
