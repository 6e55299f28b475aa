// Everything the main window asks of the user: error messages, the file
// chooser and the modal item editor. The real implementation shows Qt dialogs;
// tests put a scripted one in its place.
#pragma once

#include <QString>
#include <string>

class QWidget;
class CItemEditDlg;
enum class TargetChangedAnswer; // app/PatchSession.h

class IUserPrompts {
  public:
    virtual ~IUserPrompts();
    // A message box owned by owner with an error icon and a single OK button.
    virtual void ShowMessage(QWidget* owner, const QString& text, const QString& caption) = 0;
    // The open-file chooser starting from *path; true and the chosen full path
    // in *path when the user chose a file.
    virtual bool ChooseFile(QWidget* owner, std::string* path) = 0;
    // Runs the item editor modally; 1 when the user confirmed, 2 otherwise.
    virtual int RunItemEditor(CItemEditDlg& dlg) = 0;
    // The target at targetPath was changed by someone else since its backup
    // was taken or it was last rebuilt: take a new backup from it, overwrite
    // it from the old backup, or cancel (the default).
    virtual TargetChangedAnswer AskTargetChanged(QWidget* owner, const std::string& targetPath) = 0;
};

class QtUserPrompts : public IUserPrompts {
  public:
    void ShowMessage(QWidget* owner, const QString& text, const QString& caption) override;
    bool ChooseFile(QWidget* owner, std::string* path) override;
    int RunItemEditor(CItemEditDlg& dlg) override;
    TargetChangedAnswer AskTargetChanged(QWidget* owner, const std::string& targetPath) override;
};
