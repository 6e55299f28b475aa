// Small helpers the dialogs share.
#include "winutil/DlgUtil.h"

#include "winutil/CodePage.h"
#include "winutil/FileUtil.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QVariant>
#include <QWidget>

#include <algorithm>
#include <cstdint>
#include <cstring>

void SetControlId(QWidget* control, int id) {
    if (control)
        control->setProperty(kControlIdProperty, id);
}

int GetControlId(const QWidget* control) {
    if (!control)
        return 0;
    const QVariant value = control->property(kControlIdProperty);
    bool ok = false;
    const int id = value.toInt(&ok);
    return ok ? id : 0;
}

QWidget* GetDlgItem(QWidget* dialog, int id) {
    if (!dialog)
        return nullptr;
    const QList<QWidget*> children = dialog->findChildren<QWidget*>();
    for (QWidget* child : children) {
        if (GetControlId(child) == id)
            return child;
    }
    return nullptr;
}

QString NarrowToQString(std::string_view text) {
    return QString::fromStdU16String(CodePageToWide(text));
}

std::string QStringToNarrow(const QString& text) {
    return WideToCodePage(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                              static_cast<std::size_t>(text.size())));
}

std::string InitialDirectoryOf(const std::string& path) {
    const std::size_t cut = path.find_last_of("\\/");
    if (cut == std::string::npos)
        return path;
    return path.substr(0, cut);
}

bool ChooseOpenFile(std::string* path, QWidget* owner) {
    if (!path)
        return false;
    if (path->size() >= kPathCapacity)
        path->clear();

    QFileDialog dialog(owner, QCoreApplication::translate("DlgUtil", "选择文件"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // The caption reads "All Files(*.*)" but every file is offered, with or
    // without a dot in its name.
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    dialog.setNameFilter(QStringLiteral("All Files(*.*) (*)"));
    const std::string start = InitialDirectoryOf(*path);
    if (!start.empty()) {
        dialog.setDirectory(NarrowToQString(start));
        // A path that names an existing file comes preselected.
        const QFileInfo named(NarrowToQString(*path));
        if (named.isFile())
            dialog.selectFile(named.fileName());
    }
    if (dialog.exec() != QDialog::Accepted)
        return false;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty())
        return false;
    std::string result = QStringToNarrow(chosen.front());
    // The callers keep paths in kPathCapacity-byte buffers: a longer choice
    // cannot be held and is treated like a failed chooser.
    if (result.empty() || result.size() >= kPathCapacity)
        return false;
    *path = std::move(result);
    return true;
}

namespace {

// The text a control shows, read the way its kind allows.
bool ReadControlText(QWidget* control, QString* text) {
    if (!control)
        return false;
    if (auto* edit = qobject_cast<QLineEdit*>(control))
        *text = edit->text();
    else if (auto* label = qobject_cast<QLabel*>(control))
        *text = label->text();
    else if (auto* button = qobject_cast<QAbstractButton*>(control))
        *text = button->text();
    else if (auto* plain = qobject_cast<QPlainTextEdit*>(control))
        *text = plain->toPlainText();
    else if (auto* rich = qobject_cast<QTextEdit*>(control))
        *text = rich->toPlainText();
    else
        *text = control->windowTitle();
    return true;
}

void WriteControlText(QWidget* control, const QString& text) {
    if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        // A new text is shown from its start, as an edit box shows a text set
        // by the program: a long listing or path begins with what matters.
        edit->setText(text);
        edit->setCursorPosition(0);
    } else if (auto* label = qobject_cast<QLabel*>(control))
        label->setText(text);
    else if (auto* button = qobject_cast<QAbstractButton*>(control))
        button->setText(text);
    else if (auto* plain = qobject_cast<QPlainTextEdit*>(control))
        plain->setPlainText(text);
    else if (auto* rich = qobject_cast<QTextEdit*>(control))
        rich->setPlainText(text);
    else
        control->setWindowTitle(text);
}

// Controls are read into buffers of this many units, terminator included.
constexpr std::size_t kTextReadCapacity = 1024;

} // namespace

int SetDlgItemTextIfChanged(QWidget* dialog, int id, const char* text) {
    QWidget* control = GetDlgItem(dialog, id);
    QString current;
    if (!ReadControlText(control, &current))
        return 0;
    const char* wanted = text ? text : "";
    std::string shown = QStringToNarrow(current);
    if (shown.size() > kTextReadCapacity - 1)
        shown.resize(kTextReadCapacity - 1);
    if (std::strcmp(shown.c_str(), wanted) == 0)
        return 1;
    WriteControlText(control, NarrowToQString(wanted));
    return 1;
}

int SetDlgItemTextIfChangedW(QWidget* dialog, int id, const char16_t* text) {
    QWidget* control = GetDlgItem(dialog, id);
    QString current;
    if (!ReadControlText(control, &current))
        return 0;
    const QString wanted = text ? QString::fromUtf16(text) : QString();
    const QString shown = current.left(static_cast<qsizetype>(kTextReadCapacity - 1));
    if (shown == wanted)
        return 1;
    WriteControlText(control, wanted);
    return 1;
}

std::string GetDlgItemTextNarrow(QWidget* dialog, int id) {
    QString current;
    if (!ReadControlText(GetDlgItem(dialog, id), &current))
        return std::string();
    return QStringToNarrow(current);
}

int GetSelectedRows(QAbstractItemView* list, std::vector<int>* rows) {
    if (!rows)
        return 1;
    rows->clear();
    if (!list)
        return 1;
    const QItemSelectionModel* selection = list->selectionModel();
    if (!selection)
        return 1;
    // Whole ranges, not single indexes: a large selection stays cheap.
    for (const QItemSelectionRange& range : selection->selection()) {
        if (!range.isValid())
            continue;
        for (int row = range.top(); row <= range.bottom(); ++row)
            rows->push_back(row);
    }
    std::sort(rows->begin(), rows->end());
    rows->erase(std::unique(rows->begin(), rows->end()), rows->end());
    return 1;
}

int GetMessageFont(QFont* out) {
    static const QFont font = [] {
        QFont general = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
        if (general.family().isEmpty())
            general = QApplication::font();
        return general;
    }();
    if (out)
        *out = font;
    return 1;
}

QFont ApplyDialogFont(QWidget* dialog) {
    static const QFont font = [] {
        QFont message;
        GetMessageFont(&message);
        return message;
    }();
    if (!dialog)
        return font;
    dialog->setFont(font);
    for (QObject* child : dialog->children()) {
        if (child->isWidgetType())
            static_cast<QWidget*>(child)->setFont(font);
    }
    return font;
}

int MulDiv(int a, int b, int c) {
    if (c == 0)
        return -1;
    std::int64_t product = static_cast<std::int64_t>(a) * b;
    const bool negative = (product < 0) != (c < 0);
    if (product < 0)
        product = -product;
    std::int64_t divisor = c < 0 ? -static_cast<std::int64_t>(c) : c;
    const std::int64_t result = (product + divisor / 2) / divisor;
    if (result > INT32_MAX)
        return -1; // does not fit, as the platform's MulDiv reports it
    return static_cast<int>(negative ? -result : result);
}

DialogBaseUnits DialogBaseUnitsOf(const QFont& font) {
    const QFontMetrics metrics(font);
    static const QString alphabet =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int extent = metrics.horizontalAdvance(alphabet);
    DialogBaseUnits units;
    units.avgCharWidth = (extent / 26 + 1) / 2;
    units.charHeight = metrics.height();
    return units;
}

QRect DialogUnitsToPixels(const QFont& font, int x, int y, int width, int height) {
    const DialogBaseUnits units = DialogBaseUnitsOf(font);
    return QRect(MulDiv(x, units.avgCharWidth, 4), MulDiv(y, units.charHeight, 8),
                 MulDiv(width, units.avgCharWidth, 4), MulDiv(height, units.charHeight, 8));
}
