#include "app/Language.h"

#include "winutil/CodePage.h"
#include "winutil/Translate.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QString>
#include <QTranslator>

namespace {

std::string QtTranslate(const char* context, const char* source) {
    const QString text = QCoreApplication::translate(context, source);
    const std::u16string wide(reinterpret_cast<const char16_t*>(text.utf16()),
                              static_cast<std::size_t>(text.size()));
    return WideToCodePage(wide);
}

} // namespace

bool InstallTranslations(QCoreApplication* app, bool english) {
    static QTranslator own;
    static QTranslator qtDialogs;
    bool ok = true;
    // Dates, sizes and numbers in Qt's own dialogs (the file chooser) follow
    // the language shown, whatever the locale.
    QLocale::setDefault(english ? QLocale(QLocale::English, QLocale::UnitedStates)
                                : QLocale(QLocale::Chinese, QLocale::China));
    if (english) {
        ok = own.load(QStringLiteral(":/i18n/bytemender_en.qm"));
        if (ok)
            app->installTranslator(&own);
        // Qt's own texts are English already.
    } else if (qtDialogs.load(QStringLiteral("qtbase_zh_CN"),
                              QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        app->installTranslator(&qtDialogs);
    }
    SetTranslator(&QtTranslate);
    return ok;
}
