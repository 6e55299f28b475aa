#include "app/BytemenderApp.h"

#include "app/BytemenderDlg.h"

#include <QApplication>
#include <QMetaObject>
#include <cstdlib>
#include <cstring>

bool CBytemenderApp::InitInstance() {
    QApplication::setWindowIcon(BytemenderIcon());
    CBytemenderDlg dlg;
    // Used by tools/screenshots.sh only: opens the about box once the main
    // window is up.
    const char* step = std::getenv("BYTEMENDER_SCREENSHOT_STEP");
    if (step && std::strcmp(step, "about") == 0)
        QMetaObject::invokeMethod(&dlg, &CBytemenderDlg::OnAbout, Qt::QueuedConnection);
    dlg.exec(); // the modal result does not matter
    return false;
}
