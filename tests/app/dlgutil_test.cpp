// The small helpers the dialogs share.
#include "tests/support/TestFiles.h"

#include "winutil/DlgUtil.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTableView>
#include <QTreeView>
#include <gtest/gtest.h>

namespace {

TEST(ControlIds, FoundAtAnyDepthAndMissingGivesNull) {
    QDialog dialog;
    auto* box = new QWidget(&dialog);
    auto* edit = new QLineEdit(box);
    SetControlId(edit, 1004);
    auto* plain = new QLabel(&dialog);
    EXPECT_EQ(GetDlgItem(&dialog, 1004), edit);
    EXPECT_EQ(GetControlId(edit), 1004);
    EXPECT_EQ(GetControlId(plain), 0);
    EXPECT_EQ(GetDlgItem(&dialog, 9), nullptr);
    EXPECT_EQ(GetDlgItem(nullptr, 1004), nullptr);
}

TEST(CodePageText, RoundTripsThroughQString) {
    const std::string text = "原数据 EB 05 \xF0\x9F\x94\xA7";
    const QString wide = NarrowToQString(text);
    EXPECT_EQ(wide, QString::fromUtf8(text.c_str()));
    EXPECT_EQ(QStringToNarrow(wide), text);
}

class SetTextTest : public ::testing::Test {
  protected:
    QDialog dialog_;
    QLineEdit* edit_ = Make<QLineEdit>(1000);
    QLabel* label_ = Make<QLabel>(1001);
    QPushButton* button_ = Make<QPushButton>(1002);
    QWidget* plain_ = Make<QWidget>(1003);

    template <class W> W* Make(int id) {
        auto* widget = new W(&dialog_);
        SetControlId(widget, id);
        return widget;
    }
};

TEST_F(SetTextTest, SetsEachKindOfControlAndReadsItBack) {
    for (int id : {1000, 1001, 1002, 1003}) {
        EXPECT_EQ(SetDlgItemTextIfChanged(&dialog_, id, "偏移 1a"), 1);
        EXPECT_EQ(GetDlgItemTextNarrow(&dialog_, id), "偏移 1a") << id;
    }
    EXPECT_EQ(edit_->text(), QStringLiteral("偏移 1a"));
    EXPECT_EQ(label_->text(), QStringLiteral("偏移 1a"));
    EXPECT_EQ(button_->text(), QStringLiteral("偏移 1a"));
    EXPECT_EQ(plain_->windowTitle(), QStringLiteral("偏移 1a"));
    EXPECT_EQ(SetDlgItemTextIfChanged(&dialog_, 1000, nullptr), 1);
    EXPECT_EQ(edit_->text(), QString());
}

TEST_F(SetTextTest, SameTextLeavesTheControlAlone) {
    edit_->setText(QStringLiteral("/data/game.bin"));
    edit_->setCursorPosition(3);
    QSignalSpy changed(edit_, &QLineEdit::textChanged);
    EXPECT_EQ(SetDlgItemTextIfChanged(&dialog_, 1000, "/data/game.bin"), 1);
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(edit_->cursorPosition(), 3);

    EXPECT_EQ(SetDlgItemTextIfChanged(&dialog_, 1000, "/data/other.bin"), 1);
    EXPECT_EQ(changed.count(), 1);
}

TEST_F(SetTextTest, ComparesTheFirst1023UnitsOnly) {
    // A control showing a longer text reads as its first 1023 bytes (units).
    const std::string longText(1500, 'a');
    edit_->setText(QString::fromStdString(longText));
    QSignalSpy changed(edit_, &QLineEdit::textChanged);
    EXPECT_EQ(SetDlgItemTextIfChanged(&dialog_, 1000, longText.substr(0, 1023).c_str()), 1);
    EXPECT_EQ(changed.count(), 0);

    const std::u16string wide(1023, u'b');
    edit_->setText(QString(1500, QLatin1Char('b')));
    EXPECT_EQ(SetDlgItemTextIfChangedW(&dialog_, 1000, wide.c_str()), 1);
    EXPECT_EQ(changed.count(), 1); // only the direct setText above
    EXPECT_EQ(SetDlgItemTextIfChangedW(&dialog_, 1000, u"0000001A"), 1);
    EXPECT_EQ(edit_->text(), QStringLiteral("0000001A"));
}

TEST_F(SetTextTest, MissingControlFails) {
    EXPECT_EQ(SetDlgItemTextIfChanged(&dialog_, 77, "x"), 0);
    EXPECT_EQ(SetDlgItemTextIfChangedW(&dialog_, 77, u"x"), 0);
    EXPECT_EQ(GetDlgItemTextNarrow(&dialog_, 77), "");
}

TEST(SelectedRows, AscendingAndEmptyWithoutSelection) {
    QStandardItemModel model(10, 3);
    for (QAbstractItemView* view :
         std::initializer_list<QAbstractItemView*>{new QTableView, new QTreeView}) {
        std::unique_ptr<QAbstractItemView> owner(view);
        view->setModel(&model);
        view->setSelectionBehavior(QAbstractItemView::SelectRows);
        std::vector<int> rows = {42};
        EXPECT_EQ(GetSelectedRows(view, &rows), 1);
        EXPECT_TRUE(rows.empty());

        auto* selection = view->selectionModel();
        for (int row : {7, 1, 3, 4})
            selection->select(model.index(row, 0),
                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
        // A single cell of a row counts as the row, once.
        selection->select(model.index(7, 2), QItemSelectionModel::Select);
        GetSelectedRows(view, &rows);
        EXPECT_EQ(rows, (std::vector<int>{1, 3, 4, 7}));
    }
    std::vector<int> rows = {1};
    EXPECT_EQ(GetSelectedRows(nullptr, &rows), 1);
    EXPECT_TRUE(rows.empty());
}

TEST(DialogFont, MessageFontIsAppliedToTheDialogAndItsDirectChildren) {
    QFont message;
    EXPECT_EQ(GetMessageFont(&message), 1);
    EXPECT_EQ(GetMessageFont(nullptr), 1);

    QFont odd(QStringLiteral("Serif"), 31);
    QDialog dialog;
    auto* child = new QWidget(&dialog);
    child->setFont(odd);
    auto* grandchild = new QWidget(child);
    grandchild->setFont(odd);

    const QFont applied = ApplyDialogFont(&dialog);
    EXPECT_EQ(applied, message);
    EXPECT_EQ(dialog.font(), message);
    EXPECT_EQ(child->font(), message);
    EXPECT_EQ(grandchild->font(), odd); // grandchildren are not visited
    EXPECT_EQ(ApplyDialogFont(nullptr), message);
}

TEST(DialogUnits, MulDivRoundsHalvesAwayFromZero) {
    const struct {
        int a, b, c, result;
    } cases[] = {
        {1, 6, 4, 2}, {1, 5, 4, 1},     {3, 6, 4, 5},    {-1, 6, 4, -2},         {7, 3, 8, 3},
        {5, 3, 8, 2}, {451, 7, 4, 789}, {10, 10, 0, -1}, {0x7fffffff, 4, 1, -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MulDiv(c.a, c.b, c.c), c.result) << c.a << "*" << c.b << "/" << c.c;
}

TEST(DialogUnits, ScaleByAverageWidthAndLineHeight) {
    QFont font;
    GetMessageFont(&font);
    const DialogBaseUnits units = DialogBaseUnitsOf(font);
    const QFontMetrics metrics(font);
    EXPECT_EQ(units.charHeight, metrics.height());
    // The average width is the alphabet's width / 52, rounded to nearest.
    const double exact = metrics.horizontalAdvance(QStringLiteral(
                             "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) /
                         52.0;
    EXPECT_LE(std::abs(units.avgCharWidth - exact), 0.5 + 1e-9);
    EXPECT_GT(units.avgCharWidth, 0);

    EXPECT_EQ(
        DialogUnitsToPixels(font, 4, 8, 8, 16),
        QRect(units.avgCharWidth, units.charHeight, 2 * units.avgCharWidth, 2 * units.charHeight));
    EXPECT_EQ(DialogUnitsToPixels(font, 394, 7, 50, 14).x(), MulDiv(394, units.avgCharWidth, 4));
}

TEST(ChooseFile, InitialFolderIsTheTextBeforeTheLaterSeparator) {
    const struct {
        const char* path;
        const char* folder;
    } cases[] = {
        {"/home/u/dir", "/home/u"},
        {"/home/u/dir/", "/home/u/dir"},
        {"D:\\a/b\\c.bin", "D:\\a/b"},
        {"D:\\a\\b/c.bin", "D:\\a\\b"},
        {"x.bin", "x.bin"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(InitialDirectoryOf(c.path), c.folder) << c.path;
}

// Answers the file chooser when it shows: records where it started and what
// it had selected, then
// either picks a file or cancels, once the chooser's own loop runs.
class ChooserAnswer : public QObject {
  public:
    explicit ChooserAnswer(QString pick) : pick_(std::move(pick)) {
        qApp->installEventFilter(this);
    }
    ~ChooserAnswer() override { qApp->removeEventFilter(this); }
    QString startedIn;
    QStringList preselected;
    QString title;
    bool shown = false;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* chooser = qobject_cast<QFileDialog*>(watched);
        if (chooser && event->type() == QEvent::Show && !shown) {
            shown = true;
            startedIn = chooser->directory().absolutePath();
            preselected = chooser->selectedFiles();
            title = chooser->windowTitle();
            if (pick_.isEmpty()) {
                QMetaObject::invokeMethod(chooser, &QDialog::reject, Qt::QueuedConnection);
            } else {
                chooser->selectFile(pick_);
                QMetaObject::invokeMethod(chooser, &QDialog::accept, Qt::QueuedConnection);
            }
        }
        return false;
    }

  private:
    QString pick_;
};

TEST(ChooseFile, CancelLeavesThePathAndStartsInTheParentOfAFolder) {
    TempDir dir;
    const std::string folder = dir.File("sub");
    QDir().mkpath(QString::fromStdString(folder));
    std::string path = folder;
    ChooserAnswer answer{QString()};
    EXPECT_FALSE(ChooseOpenFile(&path, nullptr));
    EXPECT_TRUE(answer.shown);
    EXPECT_EQ(answer.title, QStringLiteral("选择文件"));
    EXPECT_EQ(answer.startedIn.toStdString(), dir.path());
    EXPECT_TRUE(answer.preselected.isEmpty());
    EXPECT_EQ(path, folder);
}

TEST(ChooseFile, OverlongPathCountsAsEmpty) {
    std::string path(520, 'a');
    ChooserAnswer answer{QString()};
    EXPECT_FALSE(ChooseOpenFile(&path, nullptr));
    EXPECT_EQ(path, "");
}

TEST(ChooseFile, ChosenFileComesBackAsFullPath) {
    TempDir dir;
    const std::string file = dir.File("目标 file"); // no extension: still offered
    WriteBytes(file, "x");
    std::string path = file;
    ChooserAnswer answer{QString::fromStdString(file)};
    EXPECT_TRUE(ChooseOpenFile(&path, nullptr));
    EXPECT_EQ(answer.startedIn.toStdString(), dir.path());
    EXPECT_EQ(answer.preselected, QStringList{QString::fromStdString(file)});
    EXPECT_EQ(path, file);
}

} // namespace
