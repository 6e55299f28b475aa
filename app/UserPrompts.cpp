#include "app/UserPrompts.h"

#include "app/PatchSession.h"
#include "editor/ItemEditDlg.h"
#include "winutil/DlgUtil.h"

#include <QMessageBox>
#include <QPushButton>

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

TargetChangedAnswer QtUserPrompts::AskTargetChanged(QWidget* owner, const std::string& targetPath) {
    const QString text =
        QStringLiteral(" 目标文件在备份或上次重建之后已被更改 (例如程序已更新): \n%1\n\n"
                       "重新备份: 以现在的目标文件作为新的备份, 再从它重建. \n"
                       "覆盖: 仍从旧的备份重建, 目标文件的这些更改将丢失. \n"
                       "取消: 不写入任何文件. ")
            .arg(NarrowToQString(targetPath));
    QMessageBox box(QMessageBox::Warning, QStringLiteral("目标文件已更改"), text,
                    QMessageBox::NoButton, owner);
    QPushButton* rebackup = box.addButton(QStringLiteral("重新备份"), QMessageBox::AcceptRole);
    QPushButton* overwrite = box.addButton(QStringLiteral("覆盖"), QMessageBox::DestructiveRole);
    QPushButton* cancel = box.addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == rebackup)
        return TargetChangedAnswer::Rebackup;
    if (box.clickedButton() == overwrite)
        return TargetChangedAnswer::Overwrite;
    return TargetChangedAnswer::Cancel;
}
