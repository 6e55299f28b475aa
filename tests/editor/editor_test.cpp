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

// An item editor shown on its own item, in modify mode when asked, with the
// backup copy its search reads (none when empty).
struct ShownEditor {
    explicit ShownEditor(PatchItem start = {}, int isModify = 0, const std::string& backup = "")
        : item(std::move(start)) {
        if (!backup.empty()) {
            EXPECT_TRUE(dlg.SetBackupPath(backup));
        }
        dlg.item = &item;
        dlg.isModify = isModify;
        dlg.show();
    }
    QLineEdit* Box(int id) { return qobject_cast<QLineEdit*>(GetDlgItem(&dlg, id)); }
    QPushButton* Button(int id) { return qobject_cast<QPushButton*>(GetDlgItem(&dlg, id)); }
    QString Text(int id) { return Box(id)->text(); }
    void Type(int id, const QString& text) { TypeInto(Box(id), text); }
    void Click(int id) {
        QPushButton* button = Button(id);
        ASSERT_NE(button, nullptr);
        QTest::mouseClick(button, Qt::LeftButton);
    }
    void PressKey(int id, Qt::Key key) { QTest::keyClick(GetDlgItem(&dlg, id), key); }

    PatchItem item;
    CItemEditDlg dlg;
};

// Runs the editor in add mode, types the four boxes and presses "确定".
struct AddRun {
    PatchItem item;
    bool closed = false;
    int result = 0;
};

AddRun AddWith(const QString& offset, const QString& description, const QString& oldData,
               const QString& newData) {
    ShownEditor ed;
    ed.Type(CItemEditDlg::IDC_OFFSET, offset);
    ed.Type(CItemEditDlg::IDC_DESCRIPTION, description);
    ed.Type(CItemEditDlg::IDC_OLDDATA, oldData);
    ed.Type(CItemEditDlg::IDC_NEWDATA, newData);
    ed.Click(CItemEditDlg::IDOK_);
    return AddRun{ed.item, !ed.dlg.isVisible(), ed.dlg.result()};
}

// ---------------------------------------------------------------------------
// Reading the offset box

struct OffsetCase {
    const char* name; // the test's name for this row
    const char* typed;
    std::uint32_t expected;
    // CTest lists a row by its name, not by its bytes.
    friend void PrintTo(const OffsetCase& c, std::ostream* os) { *os << c.name; }
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
    ::testing::Values(
        OffsetCase{"Lower", "1f", 31}, OffsetCase{"Upper", "1F", 31},
        OffsetCase{"Prefix", "0x1f", 31}, OffsetCase{"UpperPrefix", "0X1F", 31},
        OffsetCase{"LeadingBlanks", "  ff", 255}, OffsetCase{"StopsAtBlank", "12 34", 0x12},
        OffsetCase{"MinusOne", "-1", 0xFFFFFFFFu},
        OffsetCase{"OverflowSaturates", "FFFFFFFFF", 0xFFFFFFFFu},
        OffsetCase{"Largest", "FFFFFFFF", 0xFFFFFFFFu}, OffsetCase{"NotFoundText", "没找到", 0},
        OffsetCase{"ReadFailedText", "文件读取失败", 0},
        OffsetCase{"ListingText", "多个: 00000000, 00000002, ", 0}, OffsetCase{"Empty", "", 0},
        OffsetCase{"PlusSign", "+0x10", 16}, OffsetCase{"MinusPrefix", "-0x10", 0xFFFFFFF0u},
        OffsetCase{"LeadingZeros", "00000000000000001f", 31},
        OffsetCase{"TrailingJunk", "3e8zz", 1000}),
    [](const ::testing::TestParamInfo<OffsetCase>& info) { return std::string(info.param.name); });

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
    ShownEditor ed(PatchItem{0x100, "desc", "7405", "EB05", 1}, 1);
    ed.Type(CItemEditDlg::IDC_OFFSET, "20");
    ed.Type(CItemEditDlg::IDC_DESCRIPTION, "changed");
    ed.Type(CItemEditDlg::IDC_NEWDATA, "");
    ed.Click(CItemEditDlg::IDOK_);
    EXPECT_TRUE(ed.dlg.isVisible());
    EXPECT_EQ(ed.item, (PatchItem{0x20, "changed", "7405", "", 1}));

    ed.Click(CItemEditDlg::IDCANCEL_);
    EXPECT_FALSE(ed.dlg.isVisible());
    EXPECT_EQ(ed.dlg.result(), CItemEditDlg::kResultCancel);
    // Cancel undoes nothing of what the refused confirmation stored.
    EXPECT_EQ(ed.item, (PatchItem{0x20, "changed", "7405", "", 1}));
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

TEST(ItemEditorAccept, TextsAreStoredAsTypedAndNeverCut) {
    const AddRun typed = AddWith("10", "  中文 描述  ", " 74 05 ", "eb,05");
    EXPECT_EQ(typed.item.description, "  中文 描述  ");
    EXPECT_EQ(typed.item.oldHex, " 74 05 ");
    EXPECT_EQ(typed.item.newHex, "eb,05");

    // The longest texts an item takes are kept whole; one character more is
    // refused with the real limits, and nothing is stored.
    const std::string description(kMaxDescriptionLength, 'a');
    const std::string data(kMaxItemTextLength, '2');
    const struct {
        const char* name;
        std::string description, oldData, newData;
        QString message; // empty: confirmed
    } cases[] = {
        {"at the limits", description, data, data, ""},
        {"old data too long", "d", data + "3", "01",
         "数据太长: 原始数据 有 8161 个字符, 最多 8160 个 (4080 字节的数据)."},
        {"new data too long", "d", "01", data + " ",
         "数据太长: 修改数据 有 8161 个字符, 最多 8160 个 (4080 字节的数据)."},
        {"description too long", description + "a", "01", "02",
         "描述信息太长: 4096 字节, 最多 4095 字节."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ShownEditor ed(PatchItem{0x100, "kept", "7405", "EB05", 1}, 1);
        QString shown;
        ed.dlg.showMessage = [&shown](const QString& text, const QString&) { shown = text; };
        ed.Box(CItemEditDlg::IDC_DESCRIPTION)->setText(QString::fromStdString(c.description));
        ed.Box(CItemEditDlg::IDC_OLDDATA)->setText(QString::fromStdString(c.oldData));
        ed.Box(CItemEditDlg::IDC_NEWDATA)->setText(QString::fromStdString(c.newData));
        ed.Click(CItemEditDlg::IDOK_);
        EXPECT_EQ(shown, c.message);
        EXPECT_EQ(ed.dlg.isVisible(), !c.message.isEmpty());
        if (c.message.isEmpty())
            EXPECT_EQ(ed.item, (PatchItem{0x100, c.description, c.oldData, c.newData, 1}));
        else
            EXPECT_EQ(ed.item, (PatchItem{0x100, "kept", "7405", "EB05", 1}));
    }
}

TEST(CutNarrowText, NeverSplitsAUtf8Character) {
    const std::string zhong = "中"; // E4 B8 AD
    const struct {
        std::string text;
        std::size_t limit;
        std::string cut;
    } cases[] = {
        {"abc", 3, "abc"},
        {"abcd", 3, "abc"},
        {"a" + zhong, 1, "a"},
        {"a" + zhong, 2, "a"},
        {"a" + zhong, 3, "a"},
        {"a" + zhong + "b", 4, "a" + zhong},
        {"a\U0001F600", 4, "a"}, // F0 9F 98 80
        // Stray continuation bytes are not UTF-8: a plain byte cut.
        {"\x80\x80\x80\x80\x80\x80", 4, "\x80\x80\x80\x80"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CutNarrowText(c.text, c.limit), c.cut) << c.text << " at " << c.limit;
}

// ---------------------------------------------------------------------------
// Opening, keys and results

TEST(ItemEditorOpen, ModifyFillsTheFormAndAddLeavesItEmpty) {
    ShownEditor edit(PatchItem{31, "描述", "74 05", "EB05", 0}, 1);
    EXPECT_EQ(edit.dlg.windowTitle(), QString::fromUtf8("修改项目"));
    EXPECT_EQ(edit.Text(CItemEditDlg::IDC_OFFSET), "0000001f");
    EXPECT_EQ(edit.Text(CItemEditDlg::IDC_DESCRIPTION), QString::fromUtf8("描述"));
    EXPECT_EQ(edit.Text(CItemEditDlg::IDC_OLDDATA), "74 05");
    EXPECT_EQ(edit.Text(CItemEditDlg::IDC_NEWDATA), "EB05");
    EXPECT_EQ(edit.dlg.focusWidget(), edit.Button(CItemEditDlg::IDOK_));

    PatchItem fresh;
    fresh.offset = 0x1234; // unset for an add: never shown
    ShownEditor add(fresh, 0);
    EXPECT_EQ(add.dlg.windowTitle(), QString::fromUtf8("增加项目"));
    for (int id : {CItemEditDlg::IDC_OFFSET, CItemEditDlg::IDC_DESCRIPTION,
                   CItemEditDlg::IDC_OLDDATA, CItemEditDlg::IDC_NEWDATA})
        EXPECT_TRUE(add.Text(id).isEmpty()) << id;
}

TEST(ItemEditorOpen, ConfirmingUnchangedEditKeepsTheItem) {
    const PatchItem before{0xFFFFFFFFu, "x", "00", "01", 7};
    ShownEditor ed(before, 1);
    ed.PressKey(CItemEditDlg::IDOK_, Qt::Key_Return);
    EXPECT_EQ(ed.dlg.result(), CItemEditDlg::kResultOk);
    EXPECT_EQ(ed.item, before);
}

TEST(ItemEditorOpen, TemplateControlsAndGeometry) {
    ShownEditor ed;
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
        {CItemEditDlg::IDC_SIGNATURE, "", {43, 80, 305, 14}}, // read-only, below the template's
    };
    for (const auto& c : controls) {
        QWidget* control = GetDlgItem(&ed.dlg, c.id);
        ASSERT_NE(control, nullptr) << c.id;
        EXPECT_EQ(control->geometry(),
                  DialogUnitsToPixels(font, c.du.x(), c.du.y(), c.du.width(), c.du.height()))
            << c.id;
        if (auto* button = qobject_cast<QPushButton*>(control)) {
            EXPECT_EQ(button->text(), QString::fromUtf8(c.text));
        }
    }
    EXPECT_TRUE(ed.Button(CItemEditDlg::IDOK_)->isDefault());
    // The template's 83 units and a row for the signature.
    EXPECT_EQ(ed.dlg.size(), DialogUnitsToPixels(font, 0, 0, 355, 100).size());

    // Tab order is template order.
    std::vector<int> order;
    QWidget* w = ed.Button(CItemEditDlg::IDOK_);
    for (int i = 0; i < 8; ++i, w = w->nextInFocusChain()) {
        while (w->focusPolicy() == Qt::NoFocus || GetControlId(w) == 0)
            w = w->nextInFocusChain();
        order.push_back(GetControlId(w));
    }
    EXPECT_EQ(order, (std::vector<int>{1, 2, 1003, 1004, 1005, 1006, 1002, 1007}));
}

TEST(ItemEditorOpen, ShowsTheSignatureReadOnly) {
    ShownEditor ed(PatchItem{0x1f, "x", "74 05", "EB 05", 1, "E8 ?? 74 05 8B", 2}, 1);
    EXPECT_EQ(ed.Text(CItemEditDlg::IDC_SIGNATURE), "E8 ?? 74 05 8B");
    EXPECT_TRUE(ed.Box(CItemEditDlg::IDC_SIGNATURE)->isReadOnly());
    ed.Type(CItemEditDlg::IDC_SIGNATURE, "00");
    ed.PressKey(CItemEditDlg::IDOK_, Qt::Key_Return);
    EXPECT_EQ(ed.item.signature, "E8 ?? 74 05 8B");
}

TEST(ItemEditorKeys, EnterEscapeAndCloseBox) {
    { // Enter in a box presses "确定".
        ShownEditor ed;
        ed.Type(CItemEditDlg::IDC_OLDDATA, "41");
        ed.Type(CItemEditDlg::IDC_NEWDATA, "42");
        ed.PressKey(CItemEditDlg::IDC_NEWDATA, Qt::Key_Return);
        EXPECT_FALSE(ed.dlg.isVisible());
        EXPECT_EQ(ed.dlg.result(), CItemEditDlg::kResultOk);
        EXPECT_EQ(ed.item.newHex, "42");
    }
    { // Enter on the focused search button searches instead of confirming.
        ShownEditor ed;
        ed.Type(CItemEditDlg::IDC_OLDDATA, "41");
        ed.Type(CItemEditDlg::IDC_NEWDATA, "42");
        ed.Button(CItemEditDlg::IDC_SEARCH)->setFocus();
        ed.PressKey(CItemEditDlg::IDC_SEARCH, Qt::Key_Return);
        EXPECT_TRUE(ed.dlg.isVisible());
        EXPECT_EQ(ed.Text(CItemEditDlg::IDC_OFFSET), QString::fromUtf8("文件读取失败"));
        EXPECT_TRUE(ed.item.newHex.empty());
    }
    { // Escape cancels with result 2 and stores nothing.
        ShownEditor ed(PatchItem{5, "a", "b", "c", 1}, 1);
        ed.Type(CItemEditDlg::IDC_DESCRIPTION, "zzz");
        ed.PressKey(CItemEditDlg::IDC_DESCRIPTION, Qt::Key_Escape);
        EXPECT_FALSE(ed.dlg.isVisible());
        EXPECT_EQ(ed.dlg.result(), CItemEditDlg::kResultCancel);
        EXPECT_EQ(ed.item, (PatchItem{5, "a", "b", "c", 1}));
    }
    { // The close box cancels too.
        ShownEditor ed;
        EXPECT_TRUE(ed.dlg.close());
        EXPECT_EQ(ed.dlg.result(), CItemEditDlg::kResultCancel);
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

// Searches a backup copy of these bytes for oldData; the offset box afterwards.
QString SearchIn(const TempDir& dir, const std::string& backup, const QString& oldData) {
    const std::string path = dir.File("backup.bin");
    WriteBytes(path, backup);
    ShownEditor ed({}, 0, path);
    ed.Type(CItemEditDlg::IDC_OLDDATA, oldData);
    ed.Click(CItemEditDlg::IDC_SEARCH);
    EXPECT_TRUE(ed.dlg.isVisible());
    return ed.Text(CItemEditDlg::IDC_OFFSET);
}

TEST(ItemEditorSearch, OutcomesInTheOffsetBox) {
    TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    const struct {
        std::string backup;
        const char* oldData;
        const char* shown;
    } cases[] = {
        {"AAAA", "41 41", "多个: 00000000, 00000002, "},
        {"AAAA", "41", "多个: 00000000, 00000001, 00000002, 00000003, "},
        {"AAAA", "42", "没找到"},
        {"AAAA", "", "没找到"},
        {"", "41", "没找到"},
        {WithMatchesAt(2000, {1000}), "ab cd", "000003e8"},
        {"AAAA", "41 41 41 41 41", "没找到"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SearchIn(dir, c.backup, c.oldData), QString::fromUtf8(c.shown)) << c.oldData;

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
    ShownEditor missing({}, 0, dir.File("none.bin"));
    for (const char* oldData : {"41", ""}) {
        missing.Type(CItemEditDlg::IDC_OLDDATA, oldData);
        missing.Click(CItemEditDlg::IDC_SEARCH);
        EXPECT_EQ(missing.Text(CItemEditDlg::IDC_OFFSET), QString::fromUtf8("文件读取失败"));
    }

    // A path the dialog cannot hold is refused and leaves no path behind, even
    // when a valid one was set before.
    const std::string good = dir.File("b.bin");
    WriteBytes(good, "A");
    ShownEditor ed({}, 0, good);
    const std::string longest = "/" + std::string(kEditorBackupPathCapacity - 2, 'p');
    EXPECT_TRUE(ed.dlg.SetBackupPath(longest));
    EXPECT_EQ(ed.dlg.BackupPath(), longest);
    EXPECT_TRUE(ed.dlg.SetBackupPath(good));
    EXPECT_FALSE(ed.dlg.SetBackupPath(longest + "x"));
    EXPECT_TRUE(ed.dlg.BackupPath().empty());
    ed.Type(CItemEditDlg::IDC_OLDDATA, "41");
    ed.Click(CItemEditDlg::IDC_SEARCH);
    EXPECT_EQ(ed.Text(CItemEditDlg::IDC_OFFSET), QString::fromUtf8("文件读取失败"));
}

TEST(ItemEditorSearch, SameOutcomeLeavesTheBoxAlone) {
    TempDir dir;
    WriteBytes(dir.File("b.bin"), Bytes({0x00, 0x41, 0x42}));
    ShownEditor ed({}, 0, dir.File("b.bin"));
    ed.Type(CItemEditDlg::IDC_OLDDATA, "41");
    ed.Click(CItemEditDlg::IDC_SEARCH);
    QLineEdit* offset = ed.Box(CItemEditDlg::IDC_OFFSET);
    EXPECT_EQ(offset->text(), "00000001");
    // Setting the text again would move the cursor to the end.
    offset->setCursorPosition(2);
    ed.Click(CItemEditDlg::IDC_SEARCH);
    EXPECT_EQ(offset->cursorPosition(), 2);
    // A different outcome replaces it.
    ed.Type(CItemEditDlg::IDC_OLDDATA, "42");
    ed.Click(CItemEditDlg::IDC_SEARCH);
    EXPECT_EQ(offset->text(), "00000002");
}

TEST(ItemEditorSearch, FoundOffsetIsStoredOnConfirmation) {
    TempDir dir;
    WriteBytes(dir.File("b.bin"), WithMatchesAt(0x2000, {0x1234}));
    ShownEditor ed(PatchItem{0x10, "old", "00", "00", 1}, 1, dir.File("b.bin"));
    ed.Type(CItemEditDlg::IDC_OLDDATA, "AB CD");
    ed.Type(CItemEditDlg::IDC_NEWDATA, "90 90");
    ed.Click(CItemEditDlg::IDC_SEARCH);
    EXPECT_EQ(ed.Text(CItemEditDlg::IDC_OFFSET), "00001234");
    // The search alone changes nothing in the record.
    EXPECT_EQ(ed.item.offset, 0x10u);
    ed.Click(CItemEditDlg::IDOK_);
    EXPECT_EQ(ed.dlg.result(), CItemEditDlg::kResultOk);
    EXPECT_EQ(ed.item, (PatchItem{0x1234, "old", "AB CD", "90 90", 1}));
}

} // namespace
