// The main window: layout, list view and its state column, loading at start,
// keys, closing, the about box and message boxes.
#include "MainWindowFixture.h"

#include "app/AboutDlg.h"
#include "app/ListColumns.h"
#include "core/PatchListStore.h"
#include "winutil/DlgUtil.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTextDocument>
#include <QToolButton>

#include <functional>

namespace {

TEST_F(MainWindowTest, ControlsSitAtTheirTemplateRectangles) {
    CBytemenderDlg& dlg = Open();
    QFont font;
    GetMessageFont(&font);
    const struct {
        int id;
        const char16_t* caption;
        int x, y, w, h;
    } controls[] = {
        {1000, u"", 7, 7, 452, 14},          {1001, nullptr, 7, 25, 452, 273},
        {1006, u"文件", 464, 7, 50, 14},     {1003, u"编辑", 464, 24, 50, 14},
        {1004, u"增加", 464, 41, 50, 14},    {1007, u"复制", 464, 58, 50, 14},
        {1005, u"删除", 464, 75, 50, 14},    {2, u"全无效", 464, 248, 50, 16},
        {1, u"有效/无效", 464, 266, 50, 16}, {1002, u"保存", 464, 284, 50, 14},
        {1008, u"更多", 464, 96, 50, 14},
    };
    for (const auto& c : controls) {
        QWidget* control = GetDlgItem(&dlg, c.id);
        ASSERT_NE(control, nullptr) << c.id;
        EXPECT_EQ(control->geometry(), DialogUnitsToPixels(font, c.x, c.y, c.w, c.h)) << c.id;
        EXPECT_EQ(control->font(), font) << c.id;
        if (c.caption) {
            EXPECT_EQ(QString::fromStdString(GetDlgItemTextNarrow(&dlg, c.id)),
                      QString::fromUtf16(c.caption))
                << c.id;
        }
    }
    // The template's size, and room under it for the status line.
    EXPECT_EQ(dlg.size(), DialogUnitsToPixels(font, 0, 0, 521, 315).size());
    EXPECT_EQ(dlg.StatusLine()->geometry(), DialogUnitsToPixels(font, 7, 301, 507, 10));
    auto* frame = dlg.findChild<QGroupBox*>();
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->geometry(), DialogUnitsToPixels(font, 464, 117, 50, 121));
    EXPECT_TRUE(qobject_cast<QLineEdit*>(GetDlgItem(&dlg, 1000))->isReadOnly());
    EXPECT_TRUE(dlg.Button(1)->isDefault());
    EXPECT_FALSE(dlg.Button(2)->isDefault());
    EXPECT_FALSE(dlg.windowIcon().isNull());
}

TEST_F(MainWindowTest, TabOrderFollowsTheTemplate) {
    CBytemenderDlg& dlg = Open();
    std::vector<int> order;
    QWidget* widget = dlg.Button(1);
    for (int i = 0; i < 11; ++i) {
        order.push_back(GetControlId(widget));
        do {
            widget = widget->nextInFocusChain();
        } while (!GetControlId(widget) && widget != &dlg);
    }
    EXPECT_EQ(order,
              (std::vector<int>{1, 2, 1000, 1001, 1002, 1003, 1004, 1005, 1006, 1007, 1008}));
}

// The path field and the list take what the window gains; every other control
// keeps its size, its height on the window and its distance to the right edge.
// The default size is the smallest.
TEST_F(MainWindowTest, ResizingGrowsTheListAndKeepsTheButtonsAtTheEdges) {
    CBytemenderDlg& dlg = OpenShown();
    const QSize base = dlg.size();
    EXPECT_EQ(dlg.minimumSize(), base);
    EXPECT_EQ(dlg.maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
    QList<QWidget*> controls = dlg.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    std::vector<QRect> before;
    for (QWidget* control : controls)
        before.push_back(control->geometry());
    const struct {
        QSize asked;
        QSize expected;
    } sizes[] = {
        {base + QSize(240, 160), base + QSize(240, 160)},
        {base + QSize(0, 90), base + QSize(0, 90)},
        {base - QSize(100, 50), base},
        {base + QSize(-50, 30), base + QSize(0, 30)},
        {base, base},
    };
    for (const auto& s : sizes) {
        dlg.resize(s.asked);
        ASSERT_EQ(dlg.size(), s.expected);
        const int dx = s.expected.width() - base.width();
        const int dy = s.expected.height() - base.height();
        for (qsizetype i = 0; i < controls.size(); ++i) {
            const int id = GetControlId(controls[i]);
            SCOPED_TRACE(id);
            QRect expected = before[std::size_t(i)].translated(dx, 0);
            if (id == CBytemenderDlg::IDC_TARGET)
                expected = before[std::size_t(i)].adjusted(0, 0, dx, 0);
            if (id == CBytemenderDlg::IDC_LIST)
                expected = before[std::size_t(i)].adjusted(0, 0, dx, dy);
            if (controls[i] == dlg.StatusLine())
                expected = before[std::size_t(i)].translated(0, dy).adjusted(0, 0, dx, 0);
            // The buttons under the frame stay at the bottom edge.
            if (id == CBytemenderDlg::IDOK_ || id == CBytemenderDlg::IDCANCEL_ ||
                id == CBytemenderDlg::IDC_SAVE)
                expected.translate(0, dy);
            EXPECT_EQ(controls[i]->geometry(), expected);
        }
    }
}

TEST_F(MainWindowTest, ListViewIsAReportWithSixColumns) {
    CBytemenderDlg& dlg = Open();
    QTableView* list = dlg.ListView();
    EXPECT_EQ(GetDlgItem(&dlg, 1001), list);
    const struct {
        const char16_t* title;
        Qt::Alignment alignment;
        int width;
    } columns[] = {{u"偏移", Qt::AlignLeft, 80},     {u"描述", Qt::AlignLeft, 240},
                   {u"原数据", Qt::AlignRight, 120}, {u"新数据", Qt::AlignRight, 120},
                   {u"修改", Qt::AlignLeft, 64},     {u"状态", Qt::AlignLeft, 124}};
    ASSERT_EQ(dlg.Model()->columnCount(), 6);
    for (int column = 0; column < 6; ++column) {
        SCOPED_TRACE(column);
        EXPECT_EQ(dlg.Model()->headerData(column, Qt::Horizontal).toString(),
                  QString::fromUtf16(columns[column].title));
        const int alignment =
            dlg.Model()->headerData(column, Qt::Horizontal, Qt::TextAlignmentRole).toInt();
        EXPECT_EQ(alignment & Qt::AlignHorizontal_Mask, int(columns[column].alignment));
        // The others keep at least their widths; the description takes the rest.
        if (column != PatchListModel::DescriptionColumn) {
            EXPECT_GE(list->columnWidth(column), columns[column].width);
        }
        EXPECT_EQ(list->horizontalHeader()->sectionResizeMode(column), QHeaderView::Interactive);
    }
    int columnsWidth = 0;
    for (int column = 0; column < 6; ++column)
        columnsWidth += list->columnWidth(column);
    EXPECT_EQ(columnsWidth, list->viewport()->width()); // all six, no empty room
    EXPECT_GE(list->columnWidth(PatchListModel::DescriptionColumn), 240);
    // Every look of the state cell fits it, bold (attention) included.
    QFont bold = list->font();
    bold.setBold(true);
    for (const ItemStatus& status : PatchListModel::EveryStateLook()) {
        const QString text = PatchListModel::StateText(status);
        EXPECT_LT(QFontMetrics(bold).horizontalAdvance(text),
                  list->columnWidth(PatchListModel::StateColumn) - 8)
            << text.toStdString();
    }
    EXPECT_TRUE(list->showGrid());
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(list->editTriggers(), QAbstractItemView::NoEditTriggers);
}

// The description takes the room the window gains and the others leave; a
// width the user drags stays, is kept in the settings file and comes back with
// the next window.
TEST_F(MainWindowTest, ColumnsShareTheWidthAndDraggedWidthsAreRemembered) {
    CBytemenderDlg& dlg = OpenShown();
    QTableView* list = dlg.ListView();
    const auto widths = [](QTableView* view) {
        std::vector<int> all;
        for (int column = 0; column < 6; ++column)
            all.push_back(view->columnWidth(column));
        return all;
    };
    const std::vector<int> before = widths(list);
    dlg.resize(dlg.size() + QSize(300, 0));
    std::vector<int> expected = before;
    expected[PatchListModel::DescriptionColumn] += 300;
    EXPECT_EQ(widths(list), expected);

    // The user drags the offset column 50 pixels wider.
    list->horizontalHeader()->resizeSection(PatchListModel::OffsetColumn, before[0] + 50);
    QTest::mouseRelease(list->horizontalHeader()->viewport(), Qt::LeftButton);
    expected[PatchListModel::OffsetColumn] += 50;
    expected[PatchListModel::DescriptionColumn] -= 50;
    EXPECT_EQ(widths(list), expected);
    EXPECT_TRUE(SettingsHave("ColumnWidths = " + std::to_string(before[0] + 50) + " "));

    CBytemenderDlg& again = OpenShown();
    EXPECT_EQ(again.ListView()->columnWidth(PatchListModel::OffsetColumn), before[0] + 50);
    EXPECT_EQ(again.ListView()->columnWidth(PatchListModel::DescriptionColumn),
              before[PatchListModel::DescriptionColumn] - 50);
}

TEST(ListColumns, SavedWidthsAreReadOnlyWhenWhole) {
    const struct {
        const char* text;
        std::vector<int> widths; // empty: ignored
    } cases[] = {
        {"80 240 120 120 64 124", {80, 240, 120, 120, 64, 124}},
        {"  80  240 120 120 64 124 ", {80, 240, 120, 120, 64, 124}},
        {"80 240 120 120 64", {}},
        {"80 240 120 120 64 124 5", {}},
        {"80 0 120 120 64 124", {}},
        {"80 -5 120 120 64 124", {}},
        {"80 240 12x 120 64 124", {}},
        {"80 240 120 120 64 4001", {}},
        {"", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseColumnWidths(QString::fromLatin1(c.text), 6), c.widths) << c.text;
        if (!c.widths.empty()) {
            EXPECT_EQ(ParseColumnWidths(FormatColumnWidths(c.widths), 6), c.widths);
        }
    }
}

// The state column over one row per kind of status; the last row has none.
TEST(PatchListModelStates, LabelColourTooltipAndAttention) {
    auto status = [](ItemState state, bool attention = false, bool overlapping = false,
                     std::string target = "EB 05") {
        return ItemStatus{state, overlapping, attention, std::move(target), "74 05"};
    };
    auto overwritten = [&] {
        ItemStatus made = status(ItemState::BackupMismatch, true, true);
        made.oldOverwritten = true;
        return made;
    };
    const struct {
        ItemStatus status;
        const char16_t* text;
        const char16_t* tip; // a part of the tooltip's plain text
    } rows[] = {
        {status(ItemState::Applied), u"已应用", u"新数据。 目标: EB 05 备份: 74 05"},
        {status(ItemState::Original, true), u"! 原样", u"此项目有效，但目标文件中没有应用"},
        {status(ItemState::Applied, true), u"! 已应用", u"此项目无效，但目标文件中已经应用"},
        {status(ItemState::Differs), u"不同", u"既不是原数据，也不是新数据"},
        {status(ItemState::OutOfRange, false, false, ""), u"超出范围", u"目标: (无) 备份"},
        {status(ItemState::BackupMismatch, true), u"! 备份不符", u"备份文件在此处不是原数据"},
        {status(ItemState::Unknown), u"未知", u"没有可读的"},
        {status(ItemState::Applied, false, true), u"已应用 · 重叠", u"与前面的有效项目写入"},
        // The backup holds the old bytes; an earlier enabled item writes
        // over them.
        {overwritten(), u"! 被前项覆盖 · 重叠", u"但前面的有效项目先写入了这些字节"},
    };
    const int count = int(std::size(rows));
    PatchList list = Items(count + 1);
    PatchListModel model(&list);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    std::vector<ItemStatus> states;
    for (const auto& row : rows)
        states.push_back(row.status);
    model.Reset(states);

    for (int row = 0; row <= count; ++row) {
        SCOPED_TRACE(row);
        const QModelIndex cell = model.index(row, PatchListModel::StateColumn);
        QTextDocument tip;
        tip.setHtml(cell.data(Qt::ToolTipRole).toString());
        const bool attention = row < count && rows[row].status.attention;
        // Attention colours the whole row; a coloured cell sets its text
        // colour too, so that it stays legible under a dark palette.
        EXPECT_EQ(model.index(row, 1).data(Qt::BackgroundRole).isValid(), attention);
        for (int column = 0; column < 6; ++column) {
            const QModelIndex index = model.index(row, column);
            if (index.data(Qt::BackgroundRole).isValid()) {
                EXPECT_TRUE(index.data(Qt::ForegroundRole).isValid()) << column;
            }
        }
        if (row == count) {
            EXPECT_EQ(cell.data().toString(), QString());
            EXPECT_FALSE(cell.data(Qt::ToolTipRole).isValid());
            continue;
        }
        EXPECT_EQ(cell.data().toString(), QString::fromUtf16(rows[row].text));
        EXPECT_TRUE(tip.toPlainText().simplified().contains(QString::fromUtf16(rows[row].tip)))
            << tip.toPlainText().toStdString();
    }

    // A reset without statuses leaves no stale one on a moved row.
    list.erase(list.begin());
    model.Reset();
    EXPECT_EQ(model.index(0, 5).data().toString(), QString());
}

// Tab and Shift+Tab leave the list in the window's tab order without moving
// the selection; the arrow keys move within it.
TEST_F(MainWindowTest, TabLeavesTheList) {
    CBytemenderDlg& dlg = OpenWith(Items(4));
    dlg.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    QTableView* list = dlg.ListView();
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        QWidget* focus;
        std::vector<int> selected;
    } keys[] = {
        {Qt::Key_Tab, Qt::NoModifier, dlg.Button(1002), {1}},
        {Qt::Key_Tab, Qt::ShiftModifier, GetDlgItem(&dlg, 1000), {1}},
        {Qt::Key_Down, Qt::NoModifier, list, {2}},
    };
    for (const auto& k : keys) {
        SCOPED_TRACE(k.key);
        Select({1});
        list->setCurrentIndex(dlg.Model()->index(1, 0));
        list->setFocus();
        QTest::keyClick(list, k.key, k.modifiers);
        EXPECT_EQ(QApplication::focusWidget(), k.focus);
        EXPECT_EQ(Selected(), k.selected);
    }
}

// The state column on real files: computed again after a command and, when the
// window is activated, only if the target or the backup changed on disk.
TEST_F(MainWindowTest, StatesFollowCommandsAndChangesOnDisk) {
    std::string bytes(64, '\0');
    bytes.replace(0x10, 2, Bytes({0x74, 0x05}));
    const std::string target = temp_.File("game.bin");
    WriteBytes(target, bytes);
    CBytemenderDlg& dlg = OpenWith({PatchItem{0x10, "jump", "74 05", "EB 05", 1},
                                    PatchItem{0x80, "past the end", "00", "01", 0}});
    EXPECT_EQ(Cell(0, 5), QStringLiteral("未知")); // no target yet
    prompts_.chooser.push_back(target);
    Click(CBytemenderDlg::IDC_FILE);
    EXPECT_EQ(Cell(0, 5), QStringLiteral("! 原样"));
    EXPECT_EQ(Cell(1, 5), QStringLiteral("超出范围"));

    Select({0});
    Click(CBytemenderDlg::IDOK_); // disabled now, as the target is
    EXPECT_EQ(Cell(0, 5), QStringLiteral("原样"));

    QSignalSpy changed(dlg.Model(), &QAbstractItemModel::dataChanged);
    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(&dlg, &activate);
    EXPECT_EQ(changed.count(), 0); // nothing changed on disk

    // Another program patches the target.
    bytes.replace(0x10, 2, Bytes({0xEB, 0x05}));
    const auto written = std::filesystem::last_write_time(target);
    WriteBytes(target, bytes);
    std::filesystem::last_write_time(target, written + std::chrono::seconds(2));
    EXPECT_EQ(Cell(0, 5), QStringLiteral("原样"));
    QCoreApplication::sendEvent(&dlg, &activate);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(Cell(0, 5), QStringLiteral("! 已应用"));
    EXPECT_TRUE(dlg.Model()->index(0, 5).data(Qt::ToolTipRole).toString().contains("EB 05"));
}

TEST_F(MainWindowTest, StartLoadsTheListSortedAndShowsIt) {
    CBytemenderDlg& dlg = Open("FileName = /data/dir/game.bin\r\n"
                               "PathList\\Count = 3\r\n"
                               "PathList\\0000\\Offset = 0x300\r\n"
                               "PathList\\0000\\Descrip = 跳过检查\r\n"
                               "PathList\\0000\\OldHex = 74 05\r\n"
                               "PathList\\0000\\NewHex = EB 05\r\n"
                               "PathList\\0001\\Offset = 26\r\n"
                               "PathList\\0001\\Path = 5\r\n"
                               "PathList\\0002\\Offset = 0x10\r\n");
    QAbstractItemModelTester tester(dlg.Model(),
                                    QAbstractItemModelTester::FailureReportingMode::Warning);
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Bytemender - game.bin"));
    EXPECT_EQ(GetDlgItemTextNarrow(&dlg, 1000), "/data/dir/game.bin");
    EXPECT_EQ(dlg.BackupPath(), moduleDir_ + "/Path_bak/game.bin");
    ASSERT_EQ(dlg.Model()->rowCount(), 3);
    const std::vector<std::vector<QString>> cells = {
        {"00000010", "", "", "", "No"},
        {"0000001a", "", "", "", "Yes"},
        {"00000300", QStringLiteral("跳过检查"), "74 05", "EB 05", "No"},
    };
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 5; ++column)
            EXPECT_EQ(Cell(row, column), cells[row][column]) << row << "," << column;
    EXPECT_EQ(dlg.Model()->index(2, 2).data(Qt::TextAlignmentRole).toInt() &
                  Qt::AlignHorizontal_Mask,
              int(Qt::AlignRight));
}

TEST_F(MainWindowTest, NoSettingsFileStillOpensAndMakesTheBackupFolder) {
    CBytemenderDlg& dlg = Open();
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Bytemender"));
    EXPECT_EQ(dlg.Model()->rowCount(), 0);
    EXPECT_EQ(dlg.TargetPath(), "");
    EXPECT_TRUE(std::filesystem::is_directory(backupDir_));
    // The first save creates the settings file beside the program.
    dlg.Items().push_back(PatchItem{0x1a, "x", "00", "01", 1});
    dlg.SavePatchList();
    EXPECT_TRUE(SettingsHave("PathList\\0000\\Offset = 0x0000001A\r\n"));
    EXPECT_TRUE(SettingsHave("PathList\\Count = 1\r\n"));
}

TEST_F(MainWindowTest, LongCellTextsAreCutForDisplay) {
    CBytemenderDlg& dlg = Open();
    PatchItem item;
    item.description = std::string(4095, 'd');
    item.oldHex = std::string(1022, 'o') + "\xF0\x9F\x94\xA7"; // a pair at the cut
    dlg.Items().push_back(item);
    dlg.RefreshList();
    EXPECT_EQ(Cell(0, 1).size(), 1023);
    EXPECT_EQ(Cell(0, 2), QString(1022, QLatin1Char('o')));
}

TEST_F(MainWindowTest, RefreshKeepsSelectedRowNumbers) {
    CBytemenderDlg& dlg = OpenWith(Items(8));
    ASSERT_EQ(dlg.Model()->rowCount(), 8);
    Select({2, 7});
    dlg.RefreshList();
    EXPECT_EQ(Selected(), (std::vector<int>{2, 7}));

    // Row numbers beyond the new count select nothing.
    dlg.Items().erase(dlg.Items().begin() + 2);
    dlg.RefreshList();
    EXPECT_EQ(dlg.Model()->rowCount(), 7);
    EXPECT_EQ(Selected(), (std::vector<int>{2}));
    EXPECT_EQ(Cell(2, 1), QStringLiteral("item 3"));

    dlg.Items().clear();
    dlg.RefreshList();
    EXPECT_TRUE(Selected().empty());
}

TEST_F(MainWindowTest, TargetFieldAndCaptionFollowTheTarget) {
    CBytemenderDlg& dlg = OpenWith(Items(1), "/data/game.bin");
    QSignalSpy edits(qobject_cast<QLineEdit*>(GetDlgItem(&dlg, 1000)), &QLineEdit::textChanged);
    dlg.RefreshList();
    EXPECT_EQ(edits.count(), 0); // same text: the field is left alone
    const struct {
        const char* target;
        const char16_t* title;
    } cases[] = {
        {"D:\\data\\game.bin", u"Bytemender - game.bin"},
        {"D:\\data/sub\\x.bin", u"Bytemender - x.bin"},
        {"x.bin", u"Bytemender - x.bin"},
        {"/home/u/补丁.exe", u"Bytemender - 补丁.exe"},
        {"", u"Bytemender"},
    };
    for (const auto& c : cases) {
        dlg.TargetPath() = c.target;
        dlg.UpdateTitle();
        dlg.RefreshList();
        EXPECT_EQ(dlg.windowTitle(), QString::fromUtf16(c.title));
        EXPECT_EQ(GetDlgItemTextNarrow(&dlg, 1000), c.target);
    }
}

// "文件" opens the chooser at the current target (in its folder, the file
// preselected); without one, or when its folder is gone, in the program's
// folder.
TEST_F(MainWindowTest, ChooserStartsAtTheTarget) {
    const std::string target = temp_.File("game.bin");
    WriteBytes(target, "x");
    const struct {
        std::string target;
        std::string start;
    } cases[] = {
        {"", moduleDir_},
        {target, target},
        {temp_.File("gone/game.bin"), moduleDir_},
        {"game.bin", moduleDir_},
    };
    CBytemenderDlg& dlg = OpenWith(Items(1));
    for (const auto& c : cases) {
        dlg.TargetPath() = c.target;
        prompts_.chooser.push_back(std::nullopt);
        Click(CBytemenderDlg::IDC_FILE);
        ASSERT_FALSE(prompts_.chooserStarts.empty());
        EXPECT_EQ(prompts_.chooserStarts.back(), c.start) << c.target;
    }
}

TEST_F(MainWindowTest, EnterPressesTheFocusedButtonElseTheDefault) {
    CBytemenderDlg& dlg = OpenWith(Items(3));
    QSignalSpy toggle(dlg.Button(1), &QPushButton::clicked);
    QSignalSpy copy(dlg.Button(1007), &QPushButton::clicked);

    dlg.ListView()->setFocus();
    QTest::keyClick(dlg.ListView(), Qt::Key_Return);
    EXPECT_EQ(toggle.count(), 1);

    dlg.Button(1007)->setFocus();
    QTest::keyClick(dlg.Button(1007), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(copy.count(), 1);
    EXPECT_EQ(toggle.count(), 1);
    EXPECT_TRUE(dlg.isVisible());
}

TEST_F(MainWindowTest, OnlyTheCloseBoxEndsTheWindow) {
    CBytemenderDlg& dlg = OpenWith(Items(2));
    QSignalSpy finished(&dlg, &QDialog::finished);
    QSignalSpy disableAll(dlg.Button(2), &QPushButton::clicked);
    dlg.ListView()->setFocus();
    QTest::keyClick(dlg.ListView(), Qt::Key_Escape);
    EXPECT_EQ(disableAll.count(), 1);
    dlg.Button(1)->click();
    dlg.Button(2)->click();
    dlg.reject();
    dlg.accept();
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(finished.count(), 0);

    EXPECT_TRUE(dlg.close());
    EXPECT_FALSE(dlg.isVisible());
    ASSERT_EQ(finished.count(), 1);
    EXPECT_EQ(finished.front().front().toInt(), 2);
}

// Escape presses "全无效" wherever the focus is: every flag cleared in memory
// only, and the window stays.
TEST_F(MainWindowTest, EscapeClearsEveryFlagAndKeepsTheFile) {
    for (int focus : {CBytemenderDlg::IDC_LIST, CBytemenderDlg::IDC_SAVE}) {
        SCOPED_TRACE(focus);
        CBytemenderDlg& dlg = OpenWith(Items(4));
        const std::string before = Settings();
        QWidget* widget = GetDlgItem(&dlg, focus);
        widget->setFocus();
        QTest::keyClick(widget, Qt::Key_Escape);
        EXPECT_TRUE(dlg.isVisible());
        EXPECT_EQ(Flags(), std::vector<int>(4, 0));
        for (int row = 0; row < 4; ++row)
            EXPECT_EQ(Cell(row, 4), QStringLiteral("No")) << row;
        EXPECT_EQ(Settings(), before);
    }
}

// The About entry: under "更多", in the context menu (the window's own
// actions) and on F1 wherever the focus is. The box tells where the window's
// files are.
TEST_F(MainWindowTest, AboutBoxOpensFromTheMenuAndF1) {
    CBytemenderDlg& dlg = OpenShown();
    dlg.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    QAction* about = dlg.AboutAction();
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(about->text(), QStringLiteral("关于 Bytemender(&A)..."));
    auto* more = qobject_cast<QToolButton*>(GetDlgItem(&dlg, CBytemenderDlg::IDC_MORE));
    ASSERT_NE(more, nullptr);
    QMenu* menu = more->menu();
    ASSERT_NE(menu, nullptr);
    // Its arrow part shows; a click anywhere on it opens the menu.
    EXPECT_EQ(more->popupMode(), QToolButton::MenuButtonPopup);
    EXPECT_EQ(menu->actions(), dlg.actions());
    EXPECT_TRUE(menu->actions().contains(about));
    EXPECT_EQ(dlg.contextMenuPolicy(), Qt::ActionsContextMenu);

    const std::function<void()> ways[] = {
        [&] { QTest::keyClick(dlg.ListView(), Qt::Key_F1); },
        [&] { QTest::keyClick(dlg.Button(CBytemenderDlg::IDC_SAVE), Qt::Key_F1); },
        [&] {
            menu->popup(more->mapToGlobal(QPoint(0, more->height())));
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(about).center());
        },
    };
    const ScriptedPrompts::AboutBox expected{"列表和备份保存在程序所在的文件夹中 (便携使用)",
                                             settingsFile_, backupDir_};
    for (std::size_t i = 0; i < std::size(ways); ++i) {
        ways[i]();
        ASSERT_EQ(prompts_.aboutBoxes.size(), i + 1) << i;
        EXPECT_EQ(prompts_.aboutBoxes.back(), expected);
    }
    EXPECT_TRUE(dlg.isVisible());
}

// The about box keeps its texts and tells which place is in use; a long path
// widens it, up to a limit, and the button keeps its margin.
TEST(AboutBox, ShowsIconVersionAndWhereTheFilesAre) {
    QFont font;
    GetMessageFont(&font);
    const std::string longFolder = "/home/u/" + std::string(300, 'x');
    const struct {
        DataLocations places;
        const char16_t* place;
        bool wider;
    } cases[] = {
        {{"/opt/bm/bytemender.ini", "/opt/bm/Path_bak", true},
         u"列表和备份保存在程序所在的文件夹中 (便携使用)",
         false},
        {{"/home/u/.config/bytemender/bytemender.ini", "/home/u/.local/share/bytemender/Path_bak",
          false},
         u"列表和备份保存在用户的文件夹中",
         false},
        {{longFolder + "/bytemender.ini", longFolder + "/Path_bak", true},
         u"列表和备份保存在程序所在的文件夹中 (便携使用)",
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.places.settingsFile);
        CAboutDlg about(c.places);
        EXPECT_EQ(about.windowTitle(), QStringLiteral("关于 Bytemender"));
        auto* icon = qobject_cast<QLabel*>(GetDlgItem(&about, CAboutDlg::IDC_ICON));
        ASSERT_NE(icon, nullptr);
        EXPECT_FALSE(icon->pixmap().isNull());
        EXPECT_EQ(GetDlgItemTextNarrow(&about, CAboutDlg::IDC_VERSION), "Bytemender 1.0 版");
        EXPECT_FALSE(GetDlgItemTextNarrow(&about, CAboutDlg::IDC_LINE2).empty());
        EXPECT_EQ(QString::fromStdString(GetDlgItemTextNarrow(&about, CAboutDlg::IDC_PLACE)),
                  QString::fromUtf16(c.place));
        for (int id : {CAboutDlg::IDC_SETTINGS_FILE, CAboutDlg::IDC_BACKUP_FOLDER}) {
            auto* field = qobject_cast<QLineEdit*>(GetDlgItem(&about, id));
            ASSERT_NE(field, nullptr);
            EXPECT_TRUE(field->isReadOnly());
            EXPECT_EQ(field->text().toStdString(), id == CAboutDlg::IDC_SETTINGS_FILE
                                                       ? c.places.settingsFile
                                                       : c.places.backupFolder);
        }
        const QSize base = DialogUnitsToPixels(font, 0, 0, 235, 85).size();
        EXPECT_EQ(about.height(), base.height());
        EXPECT_EQ(about.width() > base.width(), c.wider);
        EXPECT_LE(about.width(), QGuiApplication::primaryScreen()->availableGeometry().width());

        auto* ok = qobject_cast<QPushButton*>(GetDlgItem(&about, 1));
        ASSERT_NE(ok, nullptr);
        EXPECT_EQ(ok->text(), QStringLiteral("确定"));
        EXPECT_TRUE(ok->isDefault());
        const QRect okRect = DialogUnitsToPixels(font, 178, 7, 50, 16);
        EXPECT_EQ(ok->geometry(), okRect.translated(about.width() - base.width(), 0));

        about.show();
        ok->click();
        EXPECT_FALSE(about.isVisible());
        EXPECT_EQ(about.result(), 1);
    }
}

// The question about a changed target: each button gives its answer, and
// Enter or Escape, with no button chosen, keep the target as it is.
TEST(TargetChangedQuestion, CancelIsTheDefault) {
    const struct {
        const char16_t* button; // null: a key instead
        Qt::Key key;
        TargetChangedAnswer answer;
    } cases[] = {
        {nullptr, Qt::Key_Return, TargetChangedAnswer::Cancel},
        {nullptr, Qt::Key_Escape, TargetChangedAnswer::Cancel},
        {u"重新备份", Qt::Key_unknown, TargetChangedAnswer::Rebackup},
        {u"覆盖", Qt::Key_unknown, TargetChangedAnswer::Overwrite},
        {u"取消", Qt::Key_unknown, TargetChangedAnswer::Cancel},
    };
    for (const auto& c : cases) {
        const std::unique_ptr<QMessageBox> box = MakeTargetChangedBox(nullptr, "/data/游戏.bin");
        EXPECT_TRUE(box->text().contains(QStringLiteral("/data/游戏.bin")));
        box->show();
        if (!c.button) {
            QTest::keyClick(box.get(), c.key);
        } else {
            for (QAbstractButton* button : box->buttons()) {
                if (button->text() == QString::fromUtf16(c.button))
                    button->click();
            }
        }
        EXPECT_EQ(TargetChangedAnswerOf(*box), c.answer);
    }
}

TEST(MessageText, LongTextLosesItsMiddle) {
    const QString d20(20, QLatin1Char('d'));
    const struct {
        QString text;
        int rows, rowChars;
        QString shown; // without the zero-width spaces
        bool elided;
    } cases[] = {
        {"short\r\nline", 4, 20, "short\nline", false},
        {"1\n2\n3\n4", 4, 20, "1\n2\n3\n4", false},
        {"1\n2\n3\n4\n5\n6", 4, 20, QString::fromUtf16(u"1\n2\n…\n6"), true},
        // The ellipsis stands on a line of its own.
        {"abcdefghij", 3, 2, QString::fromUtf16(u"ab\n…\nij"), true},
        // A surrogate pair is never cut apart.
        {QString::fromUtf16(u"a🔧b🔧cdefgh"), 3, 2, QString::fromUtf16(u"a\n…\ngh"), true},
        {QString(100, QLatin1Char('d')), 5, 10, d20 + QStringLiteral("\n…\n") + d20, true},
        // Hex pairs and words are kept whole or left out whole.
        {"Old: 74 05 EB 05 90 90 90 C3 11 22", 3, 8, QString::fromUtf16(u"Old: 74\n…\n22"), true},
        {"Old: 74 05 EB 05 90 90 90 C3 11 22", 3, 6, QString::fromUtf16(u"Old:\n…\n22"), true},
        {"ab cd ef gh ij kl", 5, 3, QString::fromUtf16(u"ab cd\n…\nij kl"), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.left(40).toStdString());
        const ShapedMessage shaped = ShapeMessageText(c.text, c.rows, c.rowChars);
        EXPECT_EQ(shaped.elided, c.elided);
        EXPECT_EQ(QString(shaped.text).remove(QChar(0x200B)), c.shown);
        // A shortened text can be wrapped at least every rowChars characters.
        static const QRegularExpression breaks(QStringLiteral("[\\s\\x{200B}]"));
        for (const QString& run : shaped.text.split(breaks))
            EXPECT_LE(run.size(), c.rowChars + 1) << run.toStdString();
    }
}

// A message for a 10,000-character description stays on the screen, with the
// whole text in its details.
TEST(MessageBox, LongDescriptionStaysOnTheScreen) {
    const QString text =
        QString(10000, QLatin1Char('d')) + "\r\n" + QString::fromUtf16(u"原始数据不匹配!");
    const std::unique_ptr<QMessageBox> box = MakeMessageBox(nullptr, text, "Error");
    box->show();
    const QRect shown = box->frameGeometry();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE(shown.height(), screen.height());
    EXPECT_LE(shown.width(), screen.width());
    EXPECT_TRUE(box->text().contains(QChar(0x2026)));
    EXPECT_TRUE(box->text().endsWith(QString::fromUtf16(u"原始数据不匹配!")));
    EXPECT_EQ(box->detailedText(), QString(text).replace("\r\n", "\n"));
    EXPECT_EQ(box->icon(), QMessageBox::Critical);
}

TEST(Icon, HasThreeSizes) {
    const QIcon icon = BytemenderIcon();
    const QList<QSize> sizes = icon.availableSizes();
    for (int size : {16, 32, 48})
        EXPECT_TRUE(sizes.contains(QSize(size, size))) << size;
}

} // namespace
