// The English translation as the program installs it: the .qm that the build
// compiles and embeds, reaching the window's texts and, through the
// translation hook, the engine's messages. A program of its own, because a
// translator once installed stays for the life of the application.
#include "app/Language.h"
#include "app/ListColumns.h"
#include "app/PatchListModel.h"
#include "editor/ItemEditDlg.h"
#include "engine/PatchExchange.h"
#include "winutil/DlgUtil.h"
#include "winutil/Translate.h"

#include <QApplication>
#include <QFileDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QTableView>
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

// Every look of the state cell fits the state column in English too, in the
// bold that marks a row needing attention; the description takes the rest.
TEST(Language, EveryStateLabelFitsItsColumn) {
    ASSERT_TRUE(InstallTranslations(qApp, true));
    PatchList items;
    PatchListModel model(&items);
    QTableView view;
    view.setModel(&model);
    view.resize(900, 300);
    ListColumns columns(&view, nullptr);
    columns.Fit();
    QFont bold = view.font();
    bold.setBold(true);
    const QFontMetrics metrics(bold);
    const std::vector<ItemStatus> looks = PatchListModel::EveryStateLook();
    EXPECT_EQ(looks.size(), 14u); // six states, with and without overlap, and two overwritten
    for (const ItemStatus& status : looks) {
        const QString text = PatchListModel::StateText(status);
        EXPECT_LT(metrics.horizontalAdvance(text),
                  view.columnWidth(PatchListModel::StateColumn) - 8)
            << text.toStdString();
    }
    ItemStatus overwritten;
    overwritten.state = ItemState::BackupMismatch;
    overwritten.attention = overwritten.overlapping = overwritten.oldOverwritten = true;
    EXPECT_EQ(PatchListModel::StateText(overwritten), QStringLiteral("! Overwritten · overlap"));
    overwritten.oldOverwritten = false;
    EXPECT_EQ(PatchListModel::StateText(overwritten), QStringLiteral("! Backup differs · overlap"));
}

} // namespace

namespace {

// The item editor says "Description" as the list does, and its labels are
// never cut, however long their translation.
TEST(Language, EditorLabelsFitInEnglish) {
    ASSERT_TRUE(InstallTranslations(qApp, true));
    CItemEditDlg dlg;
    const QList<QLabel*> labels = dlg.findChildren<QLabel*>();
    ASSERT_EQ(labels.size(), 5); // offset, description, old, new data, signature
    QStringList texts;
    for (const QLabel* label : labels) {
        texts << label->text();
        EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(label->text()))
            << label->text().toStdString();
        // The boxes start after the widest label.
        EXPECT_LE(label->geometry().right(),
                  GetDlgItem(&dlg, CItemEditDlg::IDC_OFFSET)->geometry().left());
    }
    EXPECT_TRUE(texts.contains(QStringLiteral("Description:")));
}

} // namespace
