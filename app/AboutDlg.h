// CAboutDlg: the about box ("关于 Bytemender"), which also tells where the
// patch list and the backups are kept.
#pragma once

#include "winutil/Locations.h"

#include <QDialog>

class CAboutDlg : public QDialog {
    Q_OBJECT
  public:
    enum : int {
        IDOK_ = 1,
        IDC_ICON = 1010,
        IDC_VERSION = 1011,
        IDC_LINE2 = 1012,
        IDC_PLACE = 1013,         // beside the program, or the user's folders
        IDC_SETTINGS_FILE = 1014, // the settings file's full path
        IDC_BACKUP_FOLDER = 1015, // the backup folder's full path
    };
    // places: the files the main window uses.
    explicit CAboutDlg(const DataLocations& places, QWidget* parent = nullptr);
};
