// The item editor driven as a user would: typing into its boxes and clicking
// its buttons on a shown (not exec'd) dialog.
#include "editor/ItemEditDlg.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TypeText.h"
#include "winutil/DlgUtil.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

QLineEdit* Box(CItemEditDlg& dlg, int id) {
    return qobject_cast<QLineEdit*>(GetDlgItem(&dlg, id));
}
QPushButton* Button(CItemEditDlg& dlg, int id) {
    return qobject_cast<QPushButton*>(GetDlgItem(&dlg, id));
}

void Type(CItemEditDlg& dlg, int id, const QString& text) {
    TypeInto(Box(dlg, id), text);
}

void Click(CItemEditDlg& dlg, int id) {
    QPushButton* button = Button(dlg, id);
    ASSERT_NE(button, nullptr);
    QTest::mouseClick(button, Qt::LeftButton);
}

QString Text(CItemEditDlg& dlg, int id) {
    return Box(dlg, id)->text();
}

// Runs the editor in add mode on item, types the four boxes and presses "确定".
struct AddRun {
    PatchItem item;
    bool closed = false;
    int result = 0;
};

AddRun AddWith(const QString& offset, const QString& description, const QString& oldData,
               const QString& newData) {
    AddRun run;
    CItemEditDlg dlg;
    dlg.item = &run.item;
    dlg.isModify = 0;
    dlg.show();
    Type(dlg, CItemEditDlg::IDC_OFFSET, offset);
    Type(dlg, CItemEditDlg::IDC_DESCRIPTION, description);
    Type(dlg, CItemEditDlg::IDC_OLDDATA, oldData);
    Type(dlg, CItemEditDlg::IDC_NEWDATA, newData);
    Click(dlg, CItemEditDlg::IDOK_);
    run.closed = !dlg.isVisible();
    run.result = dlg.result();
    return run;
}

// ---------------------------------------------------------------------------
// Reading the offset box

struct OffsetCase {
    const char* typed;
    std::uint32_t expected;
};

class OffsetBoxTest : public ::testing::TestWithParam<OffsetCase> {};

TEST_P(OffsetBoxTest, TypedOffsetIsReadAsHexadecimal) {
    const OffsetCase& c = GetParam();
    const AddRun run = AddWith(QString::fromUtf8(c.typed), "d", "41", "42");
    EXPECT_TRUE(run.closed);
    EXPECT_EQ(run.result, CItemEditDlg::kResultOk);
    EXPECT_EQ(run.item.offset, c.expected) << "typed '" << c.typed << "'";
}

INSTANTIATE_TEST_SUITE_P(
    Examples, OffsetBoxTest,
    ::testing::Values(OffsetCase{"1f", 31}, OffsetCase{"1F", 31}, OffsetCase{"0x1f", 31},
                      OffsetCase{"0X1F", 31}, OffsetCase{"  ff", 255}, OffsetCase{"12 34", 0x12},
                      OffsetCase{"-1", 0xFFFFFFFFu}, OffsetCase{"FFFFFFFFF", 0xFFFFFFFFu},
                      OffsetCase{"FFFFFFFF", 0xFFFFFFFFu}, OffsetCase{"没找到", 0},
                      OffsetCase{"文件读取失败", 0}, OffsetCase{"多个: 00000000, 00000002, ", 0},
                      OffsetCase{"", 0}, OffsetCase{"+0x10", 16}, OffsetCase{"-0x10", 0xFFFFFFF0u},
                      OffsetCase{"00000000000000001f", 31}, OffsetCase{"3e8zz", 1000}));

TEST(ParseOffsetText, EdgesOfTheNumberSyntax) {
    const struct {
        std::string_view text;
        std::uint32_t expected;
    } cases[] = {
        {"\t\n\v\f\r 1f", 31},       // every kind of leading white space
        {"0x", 0},                   // prefix without digits: the "0" is the number
        {"0xg", 0},                  //
        {"x1f", 0},                  // no leading zero: not a prefix
        {"- 1", 0},                  // sign must touch the digits
        {"--1", 0},                  //
        {"-FFFFFFFFF", 0xFFFFFFFFu}, // overflow wins over the sign
        {"100000000", 0xFFFFFFFFu},
        {"-0", 0},
        {"ffffffff0", 0xFFFFFFFFu},
        {std::string_view("1\0"
                          "2",
                          3),
         1}, // stops at a NUL like any non-digit
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseOffsetText(c.text), c.expected) << "'" << c.text << "'";
}

// ---------------------------------------------------------------------------
// Confirmation rules

TEST(ItemEditorAccept, RefusedConfirmationStoresBoxesAndStaysOpen) {
    PatchItem item{0x100, "desc", "7405", "EB05", 1};
    CItemEditDlg dlg;
    dlg.item = &item;
    dlg.isModify = 1;
    dlg.show();
    Type(dlg, CItemEditDlg::IDC_OFFSET, "20");
    Type(dlg, CItemEditDlg::IDC_DESCRIPTION, "changed");
    Type(dlg, CItemEditDlg::IDC_NEWDATA, "");
    Click(dlg, CItemEditDlg::IDOK_);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(item, (PatchItem{0x20, "changed", "7405", "", 1}));

    Click(dlg, CItemEditDlg::IDCANCEL_);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), CItemEditDlg::kResultCancel);
    // Cancel undoes nothing of what the refused confirmation stored.
    EXPECT_EQ(item, (PatchItem{0x20, "changed", "7405", "", 1}));
}

TEST(ItemEditorAccept, WhichDataTextsConfirm) {
    const struct {
        const char* oldData;
        const char* newData;
        bool confirmed;
    } cases[] = {
        {"", "", false},    {"41", "", false},
        {"", "41", false},  {"  ", " ", true}, // blanks are text, though they decode to nothing
        {"zz", "41", true},
    };
    for (const auto& c : cases) {
        const AddRun run = AddWith("", "", c.oldData, c.newData);
        EXPECT_EQ(run.closed, c.confirmed) << c.oldData << "|" << c.newData;
        EXPECT_EQ(run.item.oldHex, c.oldData);
        EXPECT_EQ(run.item.newHex, c.newData);
        EXPECT_EQ(run.item.offset, 0u);
        EXPECT_EQ(run.item.enabled, 0);
        if (c.confirmed) {
            EXPECT_EQ(run.result, CItemEditDlg::kResultOk);
        }
    }
}

TEST(ItemEditorAccept, TextsAreStoredAsTypedAndCutAt4095Bytes) {
    const AddRun typed = AddWith("10", "  中文 描述  ", " 74 05 ", "eb,05");
    EXPECT_EQ(typed.item.description, "  中文 描述  ");
    EXPECT_EQ(typed.item.oldHex, " 74 05 ");
    EXPECT_EQ(typed.item.newHex, "eb,05");

    PatchItem item;
    CItemEditDlg dlg;
    dlg.item = &item;
    dlg.show();
    Box(dlg, CItemEditDlg::IDC_DESCRIPTION)->setText(QString(5000, QChar('a')));
    // 4094 single bytes then a three-byte character that would straddle the cut.
    Box(dlg, CItemEditDlg::IDC_OLDDATA)
        ->setText(QString(4094, QChar('1')) + QString::fromUtf8("中"));
    Box(dlg, CItemEditDlg::IDC_NEWDATA)->setText(QString(4095, QChar('2')) + "3");
    Click(dlg, CItemEditDlg::IDOK_);
    EXPECT_EQ(dlg.result(), CItemEditDlg::kResultOk);
    EXPECT_EQ(item.description, std::string(4095, 'a'));
    EXPECT_EQ(item.oldHex, std::string(4094, '1'));
    EXPECT_EQ(item.newHex, std::string(4095, '2'));
}

TEST(CutNarrowText, NeverSplitsAUtf8Character) {
    const std::string zhong = "中"; // E4 B8 AD
    EXPECT_EQ(CutNarrowText("abc", 3), "abc");
    EXPECT_EQ(CutNarrowText("abcd", 3), "abc");
    EXPECT_EQ(CutNarrowText("a" + zhong, 1), "a");
    EXPECT_EQ(CutNarrowText("a" + zhong, 2), "a");
    EXPECT_EQ(CutNarrowText("a" + zhong, 3), "a");
    EXPECT_EQ(CutNarrowText("a" + zhong + "b", 4), "a" + zhong);
    // Stray continuation bytes are not UTF-8: a plain byte cut.
    EXPECT_EQ(CutNarrowText("\x80\x80\x80\x80\x80\x80", 4), "\x80\x80\x80\x80");
}

// ---------------------------------------------------------------------------
// Opening, keys and results

TEST(ItemEditorOpen, ModifyFillsTheFormAndAddLeavesItEmpty) {
    PatchItem item{31, "描述", "74 05", "EB05", 0};
    CItemEditDlg edit;
    edit.item = &item;
    edit.isModify = 1;
    edit.show();
    EXPECT_EQ(edit.windowTitle(), QString::fromUtf8("修改项目"));
    EXPECT_EQ(Text(edit, CItemEditDlg::IDC_OFFSET), "0000001f");
    EXPECT_EQ(Text(edit, CItemEditDlg::IDC_DESCRIPTION), QString::fromUtf8("描述"));
    EXPECT_EQ(Text(edit, CItemEditDlg::IDC_OLDDATA), "74 05");
    EXPECT_EQ(Text(edit, CItemEditDlg::IDC_NEWDATA), "EB05");
    EXPECT_EQ(edit.focusWidget(), Button(edit, CItemEditDlg::IDOK_));

    PatchItem fresh;
    fresh.offset = 0x1234; // unset for an add: never shown
    CItemEditDlg add;
    add.item = &fresh;
    add.isModify = 0;
    add.show();
    EXPECT_EQ(add.windowTitle(), QString::fromUtf8("增加项目"));
    for (int id : {CItemEditDlg::IDC_OFFSET, CItemEditDlg::IDC_DESCRIPTION,
                   CItemEditDlg::IDC_OLDDATA, CItemEditDlg::IDC_NEWDATA})
        EXPECT_TRUE(Text(add, id).isEmpty()) << id;
}

TEST(ItemEditorOpen, ConfirmingUnchangedEditKeepsTheItem) {
    PatchItem item{0xFFFFFFFFu, "x", "00", "01", 7};
    const PatchItem before = item;
    CItemEditDlg dlg;
    dlg.item = &item;
    dlg.isModify = 1;
    dlg.show();
    QTest::keyClick(Button(dlg, CItemEditDlg::IDOK_), Qt::Key_Return);
    EXPECT_EQ(dlg.result(), CItemEditDlg::kResultOk);
    EXPECT_EQ(item, before);
}

TEST(ItemEditorOpen, TemplateControlsAndGeometry) {
    CItemEditDlg dlg;
    dlg.show();
    const QFont font = ApplyDialogFont(nullptr);
    const struct {
        int id;
        const char* text;
        QRect du;
    } controls[] = {
        {CItemEditDlg::IDOK_, "确定", {298, 44, 50, 14}},
        {CItemEditDlg::IDCANCEL_, "取消", {298, 61, 50, 14}},
        {CItemEditDlg::IDC_OFFSET, "", {43, 7, 250, 14}},
        {CItemEditDlg::IDC_DESCRIPTION, "", {43, 25, 250, 14}},
        {CItemEditDlg::IDC_OLDDATA, "", {43, 43, 250, 14}},
        {CItemEditDlg::IDC_NEWDATA, "", {43, 62, 250, 14}},
        {CItemEditDlg::IDC_SEARCH, "搜索数据", {298, 7, 50, 14}},
    };
    for (const auto& c : controls) {
        QWidget* control = GetDlgItem(&dlg, c.id);
        ASSERT_NE(control, nullptr) << c.id;
        EXPECT_EQ(control->geometry(),
                  DialogUnitsToPixels(font, c.du.x(), c.du.y(), c.du.width(), c.du.height()))
            << c.id;
        if (auto* button = qobject_cast<QPushButton*>(control)) {
            EXPECT_EQ(button->text(), QString::fromUtf8(c.text));
        }
    }
    EXPECT_TRUE(Button(dlg, CItemEditDlg::IDOK_)->isDefault());
    EXPECT_EQ(dlg.size(), DialogUnitsToPixels(font, 0, 0, 355, 83).size());

    // Tab order is template order.
    std::vector<int> order;
    QWidget* w = Button(dlg, CItemEditDlg::IDOK_);
    for (int i = 0; i < 7; ++i, w = w->nextInFocusChain()) {
        while (w->focusPolicy() == Qt::NoFocus || GetControlId(w) == 0)
            w = w->nextInFocusChain();
        order.push_back(GetControlId(w));
    }
    EXPECT_EQ(order, (std::vector<int>{1, 2, 1003, 1004, 1005, 1006, 1002}));
}

TEST(ItemEditorKeys, EnterEscapeAndCloseBox) {
    { // Enter in a box presses "确定".
        PatchItem item;
        CItemEditDlg dlg;
        dlg.item = &item;
        dlg.show();
        Type(dlg, CItemEditDlg::IDC_OLDDATA, "41");
        Type(dlg, CItemEditDlg::IDC_NEWDATA, "42");
        QTest::keyClick(Box(dlg, CItemEditDlg::IDC_NEWDATA), Qt::Key_Return);
        EXPECT_FALSE(dlg.isVisible());
        EXPECT_EQ(dlg.result(), CItemEditDlg::kResultOk);
        EXPECT_EQ(item.newHex, "42");
    }
    { // Enter on the focused search button searches instead of confirming.
        PatchItem item;
        CItemEditDlg dlg;
        dlg.item = &item;
        dlg.show();
        Type(dlg, CItemEditDlg::IDC_OLDDATA, "41");
        Type(dlg, CItemEditDlg::IDC_NEWDATA, "42");
        QPushButton* search = Button(dlg, CItemEditDlg::IDC_SEARCH);
        search->setFocus();
        QTest::keyClick(search, Qt::Key_Return);
        EXPECT_TRUE(dlg.isVisible());
        EXPECT_EQ(Text(dlg, CItemEditDlg::IDC_OFFSET), QString::fromUtf8("文件读取失败"));
        EXPECT_TRUE(item.newHex.empty());
    }
    { // Escape cancels with result 2 and stores nothing.
        PatchItem item{5, "a", "b", "c", 1};
        CItemEditDlg dlg;
        dlg.item = &item;
        dlg.isModify = 1;
        dlg.show();
        Type(dlg, CItemEditDlg::IDC_DESCRIPTION, "zzz");
        QTest::keyClick(Box(dlg, CItemEditDlg::IDC_DESCRIPTION), Qt::Key_Escape);
        EXPECT_FALSE(dlg.isVisible());
        EXPECT_EQ(dlg.result(), CItemEditDlg::kResultCancel);
        EXPECT_EQ(item, (PatchItem{5, "a", "b", "c", 1}));
    }
    { // The close box cancels too.
        CItemEditDlg dlg;
        dlg.show();
        EXPECT_TRUE(dlg.close());
        EXPECT_EQ(dlg.result(), CItemEditDlg::kResultCancel);
    }
}

// ---------------------------------------------------------------------------
// Searching the backup copy

std::string WithMatchesAt(std::size_t size, const std::vector<std::size_t>& at) {
    std::string bytes(size, '\0');
    for (std::size_t p : at) {
        bytes[p] = '\xAB';
        bytes[p + 1] = '\xCD';
    }
    return bytes;
}

std::vector<std::size_t> Every16(int count) {
    std::vector<std::size_t> at;
    for (int i = 0; i < count; ++i)
        at.push_back(static_cast<std::size_t>(i) * 16 + 3);
    return at;
}

QString SearchIn(TempDir& dir, const std::string& backup, const QString& oldData) {
    const std::string path = dir.File("backup.bin");
    WriteBytes(path, backup);
    CItemEditDlg dlg;
    EXPECT_TRUE(dlg.SetBackupPath(path));
    dlg.show();
    Type(dlg, CItemEditDlg::IDC_OLDDATA, oldData);
    Click(dlg, CItemEditDlg::IDC_SEARCH);
    EXPECT_TRUE(dlg.isVisible());
    return Text(dlg, CItemEditDlg::IDC_OFFSET);
}

TEST(ItemEditorSearch, OutcomesInTheOffsetBox) {
    TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    const std::string aaaa = "AAAA";
    EXPECT_EQ(SearchIn(dir, aaaa, "41 41"), QString::fromUtf8("多个: 00000000, 00000002, "));
    EXPECT_EQ(SearchIn(dir, aaaa, "41"),
              QString::fromUtf8("多个: 00000000, 00000001, 00000002, 00000003, "));
    EXPECT_EQ(SearchIn(dir, aaaa, "42"), QString::fromUtf8("没找到"));
    EXPECT_EQ(SearchIn(dir, aaaa, ""), QString::fromUtf8("没找到"));
    EXPECT_EQ(SearchIn(dir, {}, "41"), QString::fromUtf8("没找到"));
    EXPECT_EQ(SearchIn(dir, WithMatchesAt(2000, {1000}), "ab cd"), "000003e8");
    EXPECT_EQ(SearchIn(dir, aaaa, "41 41 41 41 41"), QString::fromUtf8("没找到"));

    const QString nine = SearchIn(dir, WithMatchesAt(400, Every16(9)), "ABCD");
    EXPECT_TRUE(nine.startsWith(QString::fromUtf8("多个: 00000003, 00000013, ")))
        << nine.toStdString();
    EXPECT_TRUE(nine.endsWith("00000083, ")) << nine.toStdString();
    for (int count : {10, 20}) {
        const QString listed = SearchIn(dir, WithMatchesAt(400, Every16(count)), "ABCD");
        EXPECT_TRUE(listed.endsWith("00000093, ...")) << listed.toStdString();
        EXPECT_EQ(listed.count(", "), 10);
    }
}

TEST(ItemEditorSearch, UnreadableBackupAndRefusedPath) {
    TempDir dir;
    CItemEditDlg missing;
    EXPECT_TRUE(missing.SetBackupPath(dir.path() + "/none.bin"));
    missing.show();
    for (const char* oldData : {"41", ""}) {
        Type(missing, CItemEditDlg::IDC_OLDDATA, oldData);
        Click(missing, CItemEditDlg::IDC_SEARCH);
        EXPECT_EQ(Text(missing, CItemEditDlg::IDC_OFFSET), QString::fromUtf8("文件读取失败"));
    }

    // A path the dialog cannot hold is refused and leaves no path behind, even
    // when a valid one was set before.
    const std::string good = dir.File("b.bin");
    WriteBytes(good, "A");
    CItemEditDlg dlg;
    EXPECT_TRUE(dlg.SetBackupPath(good));
    const std::string longest = "/" + std::string(kEditorBackupPathCapacity - 2, 'p');
    EXPECT_TRUE(dlg.SetBackupPath(longest));
    EXPECT_EQ(dlg.BackupPath(), longest);
    EXPECT_TRUE(dlg.SetBackupPath(good));
    EXPECT_FALSE(dlg.SetBackupPath(longest + "x"));
    EXPECT_TRUE(dlg.BackupPath().empty());
    dlg.show();
    Type(dlg, CItemEditDlg::IDC_OLDDATA, "41");
    Click(dlg, CItemEditDlg::IDC_SEARCH);
    EXPECT_EQ(Text(dlg, CItemEditDlg::IDC_OFFSET), QString::fromUtf8("文件读取失败"));
}

TEST(ItemEditorSearch, SameOutcomeLeavesTheBoxAlone) {
    TempDir dir;
    const std::string path = dir.File("b.bin");
    WriteBytes(path, Bytes({0x00, 0x41, 0x42}));
    CItemEditDlg dlg;
    dlg.SetBackupPath(path);
    dlg.show();
    Type(dlg, CItemEditDlg::IDC_OLDDATA, "41");
    Click(dlg, CItemEditDlg::IDC_SEARCH);
    QLineEdit* offset = Box(dlg, CItemEditDlg::IDC_OFFSET);
    EXPECT_EQ(offset->text(), "00000001");
    // Setting the text again would move the cursor to the end.
    offset->setCursorPosition(2);
    Click(dlg, CItemEditDlg::IDC_SEARCH);
    EXPECT_EQ(offset->cursorPosition(), 2);
    // A different outcome replaces it.
    Type(dlg, CItemEditDlg::IDC_OLDDATA, "42");
    Click(dlg, CItemEditDlg::IDC_SEARCH);
    EXPECT_EQ(offset->text(), "00000002");
}

TEST(ItemEditorSearch, FoundOffsetIsStoredOnConfirmation) {
    TempDir dir;
    const std::string path = dir.File("b.bin");
    WriteBytes(path, WithMatchesAt(0x2000, {0x1234}));
    PatchItem item{0x10, "old", "00", "00", 1};
    CItemEditDlg dlg;
    dlg.SetBackupPath(path);
    dlg.item = &item;
    dlg.isModify = 1;
    dlg.show();
    Type(dlg, CItemEditDlg::IDC_OLDDATA, "AB CD");
    Type(dlg, CItemEditDlg::IDC_NEWDATA, "90 90");
    Click(dlg, CItemEditDlg::IDC_SEARCH);
    EXPECT_EQ(Text(dlg, CItemEditDlg::IDC_OFFSET), "00001234");
    // The search alone changes nothing in the record.
    EXPECT_EQ(item.offset, 0x10u);
    Click(dlg, CItemEditDlg::IDOK_);
    EXPECT_EQ(dlg.result(), CItemEditDlg::kResultOk);
    EXPECT_EQ(item, (PatchItem{0x1234, "old", "AB CD", "90 90", 1}));
}

} // namespace
