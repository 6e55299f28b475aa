// The English translation as the program installs it: the .qm that the build
// compiles and embeds, reaching the window's texts and, through the
// translation hook, the engine's messages. A program of its own, because a
// translator once installed stays for the life of the application.
#include "app/Language.h"
#include "app/PatchListModel.h"
#include "engine/PatchExchange.h"
#include "winutil/Translate.h"

#include "winutil/DlgUtil.h"

#include <QApplication>
#include <QFileDialog>
#include <gtest/gtest.h>

namespace {

// Closes the first file chooser shown, noting its caption.
class ChooserCaption : public QObject {
  public:
    ChooserCaption() { qApp->installEventFilter(this); }
    ~ChooserCaption() override { qApp->removeEventFilter(this); }
    QString caption;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* chooser = qobject_cast<QFileDialog*>(watched);
        if (chooser && event->type() == QEvent::Show && caption.isEmpty()) {
            caption = chooser->windowTitle();
            QMetaObject::invokeMethod(chooser, &QDialog::reject, Qt::QueuedConnection);
        }
        return false;
    }
};

TEST(Language, EnglishReachesTheWindowAndTheEngine) {
    ASSERT_TRUE(InstallTranslations(qApp, true));
    EXPECT_EQ(PatchListModel::ColumnTitle(0), QStringLiteral("Offset"));

    const std::string patch = "haxdiff/1.0\n@@ 2,1,1\n";
    const std::vector<std::uint8_t> backup(16);
    PatchList items;
    std::string error;
    EXPECT_FALSE(ImportPatchData(
        PatchFormat::HaxDiff, {reinterpret_cast<const std::uint8_t*>(patch.data()), patch.size()},
        "fix.haxdiff", backup, &items, &error));
    EXPECT_EQ(error, "fix.haxdiff: line 2: expected a hunk header \"@@ OFFSET,-N,+M\" in hex");

    // The chooser of "文件" too.
    ChooserCaption chooser;
    std::string path;
    EXPECT_FALSE(ChooseOpenFile(&path, nullptr));
    EXPECT_EQ(chooser.caption, QStringLiteral("Choose a File"));

    // A text without a translation stays as it is.
    EXPECT_EQ(Translate("PatchExchange", "没有这条"), "没有这条");
}

} // namespace
