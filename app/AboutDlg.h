// CAboutDlg: the about box ("关于 Bytemender").
#pragma once

#include <QDialog>

class CAboutDlg : public QDialog {
    Q_OBJECT
  public:
    enum : int { IDOK_ = 1, IDC_ICON = 1010, IDC_VERSION = 1011, IDC_LINE2 = 1012 };
    explicit CAboutDlg(QWidget* parent = nullptr);
};
