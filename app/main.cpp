#include "app/BytemenderApp.h"
#include "app/Language.h"
#include "winutil/Translate.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>

namespace {

bool HasEnv(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

} // namespace

int main(int argc, char** argv) {
    if (!HasEnv("DISPLAY") && !HasEnv("WAYLAND_DISPLAY") && !HasEnv("QT_QPA_PLATFORM")) {
        std::fprintf(stderr,
                     "bytemender: no graphical display found (neither DISPLAY nor "
                     "WAYLAND_DISPLAY is set).\n"
                     "Run it inside a desktop session, or on a machine without one under a "
                     "virtual X server:\n"
                     "    xvfb-run -a %s\n"
                     "The same jobs without a window: bytemender-cli --help\n",
                     argc > 0 && argv[0] ? argv[0] : "bytemender");
        return 2;
    }
    const bool english = UserInterfaceIsEnglish();
    DialogFormatLoan dialogFormats(!english);
    QApplication app(argc, argv);
    dialogFormats.Restore();
    QApplication::setApplicationName(QStringLiteral("Bytemender"));
    QApplication::setApplicationVersion(QStringLiteral("1.0"));
    QApplication::setDesktopFileName(QStringLiteral("bytemender"));
    InstallTranslations(&app, english);
    CBytemenderApp theApp;
    theApp.InitInstance();
    return 0;
}
