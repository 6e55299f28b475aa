#include "app/Language.h"

#include "winutil/CodePage.h"
#include "winutil/Translate.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QString>
#include <QTranslator>

namespace {

// Qt's Chinese translation holds the file chooser's type column ("Folder",
// "Drive", "Shortcut") under the dialog's old context only: the texts asked
// for under the icon provider's context are looked up there.
class IconProviderTexts : public QTranslator {
  public:
    explicit IconProviderTexts(const QTranslator* dialogs) : dialogs_(dialogs) {}
    bool isEmpty() const override { return dialogs_->isEmpty(); }
    QString translate(const char* context, const char* source, const char*, int n) const override {
        if (qstrcmp(context, "QAbstractFileIconProvider") != 0)
            return QString();
        return dialogs_->translate("QFileDialog", source, nullptr, n);
    }

  private:
    const QTranslator* dialogs_;
};

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
    static IconProviderTexts iconTypes(&qtDialogs);
    bool ok = true;
    // Numbers and dates the program formats follow the language shown. Qt's
    // file chooser takes its own from the system locale, which the program
    // lends the Chinese formats where the user's environment has none
    // (DialogFormatLoan).
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
        app->installTranslator(&iconTypes);
    }
    SetTranslator(&QtTranslate);
    return ok;
}
