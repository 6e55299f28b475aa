#include "app/UserPrompts.h"

#include "editor/ItemEditDlg.h"
#include "winutil/DlgUtil.h"

#include <QMessageBox>

IUserPrompts::~IUserPrompts() = default;

void QtUserPrompts::ShowMessage(QWidget* owner, const QString& text, const QString& caption) {
    QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok, owner);
    box.exec();
}

bool QtUserPrompts::ChooseFile(QWidget* owner, std::string* path) {
    return ChooseOpenFile(path, owner);
}

int QtUserPrompts::RunItemEditor(CItemEditDlg& dlg) {
    return dlg.exec() == 1 ? 1 : 2;
}
