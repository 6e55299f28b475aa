// CItemEditDlg: the modal dialog that adds a patch item or changes one.
#pragma once

#include "app/PatchItem.h"

#include <QDialog>
#include <string>

class CItemEditDlg : public QDialog {
    Q_OBJECT
  public:
    // Control ids of the dialog's template.
    enum : int {
        IDOK_ = 1,
        IDCANCEL_ = 2,
        IDC_SEARCH = 1002,
        IDC_OFFSET = 1003,
        IDC_DESCRIPTION = 1004,
        IDC_OLDDATA = 1005,
        IDC_NEWDATA = 1006,
    };

    explicit CItemEditDlg(QWidget* parent = nullptr);
    ~CItemEditDlg() override;

    // Copies the backup copy's path in; false (and nothing stored) when it is
    // longer than the dialog can hold.
    bool SetBackupPath(const std::string& path);
    const std::string& BackupPath() const { return backupPath; }

    PatchItem* item = nullptr; // not owned; filled from (modify) and written by OnAccept
    int isModify = 0;          // 1: change an existing item; 0: add one

  private:
    std::string backupPath;
};
