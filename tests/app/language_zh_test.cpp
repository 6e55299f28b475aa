// The Chinese window's translations: Qt's own, with the texts of the file
// chooser that Qt's Chinese translation keeps under another context. A
// program of its own, because a translator once installed stays for the life
// of the application.
#include "app/Language.h"

#include <QApplication>
#include <QDir>
#include <QFileIconProvider>
#include <QLibraryInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(LanguageZh, FileChooserTypesAreChinese) {
    if (!QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) +
                       QStringLiteral("/qtbase_zh_CN.qm")))
        GTEST_SKIP() << "Qt's Chinese translation (qt6-translations-l10n) is not installed";
    ASSERT_TRUE(InstallTranslations(qApp, false));
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // The type column of the chooser's detail view.
    EXPECT_EQ(QFileIconProvider().type(QFileInfo(dir.path())), QStringLiteral("文件夹"));
    // Qt's own dialog texts, and the program's texts untouched.
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "&Open"), QStringLiteral("打开(&O)"));
    EXPECT_EQ(QCoreApplication::translate("CBytemenderDlg", "保存"), QStringLiteral("保存"));
}

} // namespace
