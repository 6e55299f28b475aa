#include "app/BytemenderApp.h"

#include "app/BytemenderDlg.h"
#include "winutil/DlgUtil.h"

#include <QApplication>
#include <QMetaObject>
#include <QToolButton>
#include <cstdlib>
#include <cstring>

bool CBytemenderApp::InitInstance() {
    QApplication::setWindowIcon(BytemenderIcon());
    CBytemenderDlg dlg;
    // Used by tools/screenshots.sh only: opens the about box or the window's
    // menu once the main window is up, or shows the window maximised.
    const char* step = std::getenv("BYTEMENDER_SCREENSHOT_STEP");
    if (step && std::strcmp(step, "about") == 0) {
        QMetaObject::invokeMethod(&dlg, &CBytemenderDlg::OnAbout, Qt::QueuedConnection);
    } else if (step && std::strcmp(step, "menu") == 0) {
        if (auto* more = qobject_cast<QToolButton*>(GetDlgItem(&dlg, CBytemenderDlg::IDC_MORE)))
            QMetaObject::invokeMethod(more, &QToolButton::showMenu, Qt::QueuedConnection);
    } else if (step && std::strcmp(step, "maximized") == 0) {
        dlg.setWindowState(Qt::WindowMaximized);
    }
    dlg.exec(); // the modal result does not matter
    return false;
}
