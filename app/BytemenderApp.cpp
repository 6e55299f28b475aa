#include "app/BytemenderApp.h"

#include "app/BytemenderDlg.h"

#include <QApplication>

bool CBytemenderApp::InitInstance() {
    QApplication::setWindowIcon(BytemenderIcon());
    CBytemenderDlg dlg;
    dlg.exec(); // the modal result does not matter
    return false;
}
