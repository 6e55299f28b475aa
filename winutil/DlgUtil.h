// Small helpers the dialogs share: controls found by numeric id, text set only
// when it differs, selected rows, the dialog font and dialog-unit geometry.
#pragma once

#include <QFont>
#include <QRect>
#include <QString>
#include <string>
#include <string_view>
#include <vector>

class QWidget;
class QAbstractItemView;

// Every control of a dialog carries its numeric id in this widget property.
inline constexpr const char* kControlIdProperty = "controlId";
void SetControlId(QWidget* control, int id);
int GetControlId(const QWidget* control); // 0 when it has none
// The direct or indirect child of dialog with this id, or null.
QWidget* GetDlgItem(QWidget* dialog, int id);

// System code page text <-> QString, through the one conversion pair.
QString NarrowToQString(std::string_view text);
std::string QStringToNarrow(const QString& text);

// Shows the open-file chooser ("选择文件", "All Files(*.*)"), starting in the
// folder before the last separator of *path, with the file preselected when
// *path names an existing one. True and the chosen full path in *path when
// the user chose a file.
// A chosen path that does not fit kPathCapacity - 1 bytes is refused (false).
bool ChooseOpenFile(std::string* path, QWidget* owner);
// The folder ChooseOpenFile starts in: the text before the later of the last
// '\\' and '/', or the whole path when it has neither.
std::string InitialDirectoryOf(const std::string& path);

// Sets a control's text only when it differs from what it shows (compared on
// its first 1023 bytes / UTF-16 units, as read). Returns nonzero on success.
int SetDlgItemTextIfChanged(QWidget* dialog, int id, const char* text);
int SetDlgItemTextIfChangedW(QWidget* dialog, int id, const char16_t* text);
// A control's current text in the system code page ("" when no such control).
std::string GetDlgItemTextNarrow(QWidget* dialog, int id);

// Selected row numbers of a list view, ascending. Returns 1.
int GetSelectedRows(QAbstractItemView* list, std::vector<int>* rows);

// The system's general UI font, looked up once per process.
int GetMessageFont(QFont* out);
// Gives dialog and its direct children the dialog font (created once per
// process from GetMessageFont); returns it. A null dialog only returns it.
QFont ApplyDialogFont(QWidget* dialog);

// a * b / c rounded to the nearest integer, halves away from zero; -1 when c
// is 0 or the result does not fit.
int MulDiv(int a, int b, int c);

struct DialogBaseUnits {
    int avgCharWidth = 0; // width of A-Z a-z / 52, rounded
    int charHeight = 0;   // the font's line height
};
DialogBaseUnits DialogBaseUnitsOf(const QFont& font);
// Dialog units to pixels from a font, as the classic dialog manager does:
// x * avgCharWidth / 4, y * charHeight / 8, each value on its own.
QRect DialogUnitsToPixels(const QFont& font, int x, int y, int width, int height);
