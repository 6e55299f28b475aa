// The main window's commands on real files: the settings file and the Path_bak
// folder beside this test program, targets in a temporary folder, and scripted
// prompts in place of message boxes, the file chooser and the modal run of the
// item editor (which is shown and driven through its widgets).
#include "tests/support/TestFiles.h"
#include "tests/support/TypeText.h"

#include "app/BytemenderDlg.h"
#include "app/PatchListModel.h"
#include "app/UserPrompts.h"
#include "editor/ItemEditDlg.h"
#include "winutil/CodePage.h"
#include "winutil/DlgUtil.h"
#include "winutil/FileUtil.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

class CommandPrompts : public IUserPrompts {
  public:
    struct Message {
        std::string text; // UTF-8
        std::string caption;
    };
    std::vector<Message> messages;
    std::deque<std::optional<std::string>> chooser; // nullopt: the user cancels
    std::vector<std::string> chooserStarts;
    // The user's part in the item editor; returns what the modal run returns.
    std::function<int(CItemEditDlg&)> editor;
    int editorRuns = 0;
    std::vector<int> editorModes;
    std::vector<std::string> editorBackupPaths;

    void ShowMessage(QWidget*, const QString& text, const QString& caption) override {
        messages.push_back({text.toStdString(), caption.toStdString()});
    }
    bool ChooseFile(QWidget*, std::string* path) override {
        chooserStarts.push_back(*path);
        if (chooser.empty()) {
            ADD_FAILURE() << "unexpected file chooser";
            return false;
        }
        const std::optional<std::string> answer = chooser.front();
        chooser.pop_front();
        if (!answer)
            return false;
        *path = *answer;
        return true;
    }
    int RunItemEditor(CItemEditDlg& dlg) override {
        ++editorRuns;
        editorModes.push_back(dlg.isModify);
        editorBackupPaths.push_back(dlg.BackupPath());
        if (!editor) {
            ADD_FAILURE() << "unexpected item editor";
            return CItemEditDlg::kResultCancel;
        }
        return editor(dlg);
    }
};

QLineEdit* EditorBox(CItemEditDlg& dlg, int id) {
    return qobject_cast<QLineEdit*>(GetDlgItem(&dlg, id));
}

void ClickEditorButton(CItemEditDlg& dlg, int id) {
    auto* button = qobject_cast<QPushButton*>(GetDlgItem(&dlg, id));
    ASSERT_NE(button, nullptr);
    QTest::mouseClick(button, Qt::LeftButton);
}

// The modal run's answer once the user is done: the dialog's result when it
// closed, else cancel (the user gives up).
int Finish(CItemEditDlg& dlg) {
    if (dlg.isVisible())
        ClickEditorButton(dlg, CItemEditDlg::IDCANCEL_);
    return dlg.result();
}

// An editor session that fills the given boxes (null: left alone) and confirms.
std::function<int(CItemEditDlg&)> Fill(const char* offset, const char* description,
                                       const char* oldData, const char* newData) {
    return [=](CItemEditDlg& dlg) {
        dlg.show();
        const std::pair<int, const char*> boxes[] = {{CItemEditDlg::IDC_OFFSET, offset},
                                                     {CItemEditDlg::IDC_DESCRIPTION, description},
                                                     {CItemEditDlg::IDC_OLDDATA, oldData},
                                                     {CItemEditDlg::IDC_NEWDATA, newData}};
        for (const auto& [id, text] : boxes) {
            if (text)
                TypeInto(EditorBox(dlg, id), QString::fromUtf8(text));
        }
        ClickEditorButton(dlg, CItemEditDlg::IDOK_);
        return Finish(dlg);
    };
}

std::function<int(CItemEditDlg&)> CancelEditor() {
    return [](CItemEditDlg& dlg) {
        dlg.show();
        ClickEditorButton(dlg, CItemEditDlg::IDCANCEL_);
        return dlg.result();
    };
}

class CommandsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(GetModuleDir(&moduleDir_));
        std::string exe;
        ASSERT_TRUE(GetModuleFileName(&exe));
        settingsFile_ = exe + ".ini";
        backupDir_ = moduleDir_ + "/Path_bak";
        ASSERT_FALSE(temp_.path().empty());
        Cleanup();
    }
    void TearDown() override {
        window_.reset();
        Cleanup();
    }
    void Cleanup() {
        std::error_code ignored;
        fs::remove(settingsFile_, ignored);
        fs::remove_all(backupDir_, ignored);
    }

    CBytemenderDlg& Open() {
        window_ = std::make_unique<CBytemenderDlg>(&prompts_);
        window_->show();
        return *window_;
    }

    // A window whose list holds these items (saved, so the settings file has
    // them too), with nothing selected.
    CBytemenderDlg& OpenWith(const PatchList& items, const std::string& target = "") {
        CBytemenderDlg& dlg = Open();
        dlg.Items() = items;
        dlg.TargetPath() = target;
        dlg.MakeBackupPath();
        dlg.SavePatchList();
        dlg.RefreshList();
        return dlg;
    }

    void Click(int id) { QTest::mouseClick(window_->Button(id), Qt::LeftButton); }

    void Select(std::initializer_list<int> rows) {
        QItemSelectionModel* selection = window_->ListView()->selectionModel();
        selection->clearSelection();
        for (int row : rows)
            selection->select(window_->Model()->index(row, 0),
                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    std::vector<int> Selected() const {
        std::vector<int> rows;
        GetSelectedRows(window_->ListView(), &rows);
        return rows;
    }
    QString Cell(int row, int column) const {
        return window_->Model()->index(row, column).data().toString();
    }
    std::vector<std::uint32_t> Offsets() const {
        std::vector<std::uint32_t> offsets;
        for (const PatchItem& item : window_->Items())
            offsets.push_back(item.offset);
        return offsets;
    }
    std::vector<int> Flags() const {
        std::vector<int> flags;
        for (const PatchItem& item : window_->Items())
            flags.push_back(item.enabled);
        return flags;
    }
    std::string Settings() const { return ReadBytes(settingsFile_); }
    bool SettingsExist() const { return fs::exists(settingsFile_); }

    TempDir temp_;
    std::string moduleDir_;
    std::string settingsFile_;
    std::string backupDir_;
    CommandPrompts prompts_;
    std::unique_ptr<CBytemenderDlg> window_;
};

PatchList FiveItems() {
    PatchList items;
    for (int i = 0; i < 5; ++i)
        items.push_back(PatchItem{static_cast<std::uint32_t>(0x10 * (i + 1)),
                                  "item " + std::to_string(i), "00", "01", i % 2});
    return items;
}

// ---------------------------------------------------------------------------
// One session from choosing the target to a refused rebuild.

TEST_F(CommandsTest, ChooseAddToggleSaveAndRefusedRebuild) {
    std::string original(64, '\0');
    for (int i = 0; i < 64; ++i)
        original[static_cast<std::size_t>(i)] = static_cast<char>(0x80 + i);
    original.replace(0x10, 2, Bytes({0x74, 0x05}));
    original.replace(0x30, 3, Bytes({0xAA, 0xBB, 0xCC}));
    const std::string target = temp_.File("data.bin");
    WriteBytes(target, original);

    CBytemenderDlg& dlg = Open();
    EXPECT_TRUE(dlg.Items().empty());
    const std::string backup = backupDir_ + "/data.bin";

    // "文件": the chooser starts in the program's folder, the backup appears.
    prompts_.chooser.push_back(target);
    ASSERT_EQ(::chdir("/"), 0);
    Click(CBytemenderDlg::IDC_FILE);
    ASSERT_EQ(prompts_.chooserStarts.size(), 1u);
    EXPECT_EQ(prompts_.chooserStarts[0], moduleDir_);
    EXPECT_EQ(fs::current_path().string(), moduleDir_);
    EXPECT_EQ(dlg.TargetPath(), target);
    EXPECT_EQ(dlg.BackupPath(), backup);
    EXPECT_EQ(ReadBytes(backup), original);
    EXPECT_EQ(dlg.windowTitle(), "Bytemender - data.bin");
    EXPECT_EQ(GetDlgItemTextNarrow(&dlg, CBytemenderDlg::IDC_TARGET), target);
    EXPECT_NE(Settings().find("FileName = " + target), std::string::npos);

    // "增加": the editor in add mode searches the backup for the old data.
    prompts_.editor = [](CItemEditDlg& ed) {
        ed.show();
        EXPECT_EQ(ed.windowTitle(), QString::fromUtf8("增加项目"));
        TypeInto(EditorBox(ed, CItemEditDlg::IDC_DESCRIPTION), QString::fromUtf8("跳转补丁"));
        TypeInto(EditorBox(ed, CItemEditDlg::IDC_OLDDATA), "74 05");
        ClickEditorButton(ed, CItemEditDlg::IDC_SEARCH);
        EXPECT_EQ(EditorBox(ed, CItemEditDlg::IDC_OFFSET)->text(), "00000010");
        TypeInto(EditorBox(ed, CItemEditDlg::IDC_NEWDATA), "EB 05");
        ClickEditorButton(ed, CItemEditDlg::IDOK_);
        return Finish(ed);
    };
    Click(CBytemenderDlg::IDC_ADD);
    EXPECT_EQ(prompts_.editorModes, std::vector<int>{0});
    EXPECT_EQ(prompts_.editorBackupPaths, std::vector<std::string>{backup});
    ASSERT_EQ(dlg.Items().size(), 1u);
    EXPECT_EQ(dlg.Items()[0], (PatchItem{0x10, "跳转补丁", "74 05", "EB 05", 0}));
    EXPECT_EQ(Cell(0, 0), "00000010");
    EXPECT_EQ(Cell(0, 4), "No");
    EXPECT_NE(Settings().find("PathList\\0000\\NewHex = EB 05"), std::string::npos);

    // "有效/无效" on the selected row, then "保存".
    Select({0});
    Click(CBytemenderDlg::IDOK_);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(Cell(0, 4), "Yes");
    const std::string savedList = Settings();
    Click(CBytemenderDlg::IDC_SAVE);
    EXPECT_TRUE(prompts_.messages.empty());
    std::string expected = original;
    expected.replace(0x10, 2, Bytes({0xEB, 0x05}));
    EXPECT_EQ(ReadBytes(target), expected);
    EXPECT_EQ(ReadBytes(backup), original);
    // The store is written as it stood: the flag flip has not reached it.
    EXPECT_EQ(Settings(), savedList);
    EXPECT_NE(Settings().find("PathList\\0000\\Path = 0"), std::string::npos);

    // An enabled item whose old data is not there stops the rebuild.
    prompts_.editor = Fill("30", "坏的", "AA BB 00", "11 22 33");
    Click(CBytemenderDlg::IDC_ADD);
    ASSERT_EQ(dlg.Items().size(), 2u);
    Select({1});
    Click(CBytemenderDlg::IDOK_);
    Select({});
    EXPECT_EQ(Flags(), (std::vector<int>{1, 1}));
    WriteBytes(target, "changed by hand");
    Click(CBytemenderDlg::IDC_SAVE);
    ASSERT_EQ(prompts_.messages.size(), 1u);
    EXPECT_EQ(prompts_.messages[0].text, "坏的\r\n原始数据不匹配!");
    EXPECT_EQ(prompts_.messages[0].caption, "Error");
    EXPECT_EQ(ReadBytes(target), "changed by hand");

    // Disabled again, the rebuild restores backup + the first item.
    Select({1});
    Click(CBytemenderDlg::IDOK_);
    Click(CBytemenderDlg::IDC_SAVE);
    EXPECT_EQ(prompts_.messages.size(), 1u);
    EXPECT_EQ(ReadBytes(target), expected);
}

TEST_F(CommandsTest, RebuildFailuresAreShownWithTheirCaptions) {
    const std::string target = temp_.File("t.bin");
    WriteBytes(target, "0123");
    CBytemenderDlg& dlg = Open();
    prompts_.chooser.push_back(target);
    Click(CBytemenderDlg::IDC_FILE);
    dlg.Items() = {PatchItem{3, "末尾", "", "41 42", 1}};
    Click(CBytemenderDlg::IDC_SAVE);
    fs::remove(dlg.BackupPath());
    Click(CBytemenderDlg::IDC_SAVE);
    ASSERT_EQ(prompts_.messages.size(), 2u);
    EXPECT_EQ(prompts_.messages[0].text, "末尾\r\n文件范围超出!");
    EXPECT_EQ(prompts_.messages[0].caption, "Error");
    EXPECT_EQ(prompts_.messages[1].text, " 无法访问选择的文件! ");
    EXPECT_EQ(prompts_.messages[1].caption, "错误");
    EXPECT_EQ(ReadBytes(target), "0123");
}

// ---------------------------------------------------------------------------
// Choosing the target

TEST_F(CommandsTest, CancelledChooserChangesOnlyTheCurrentFolder) {
    const std::string target = temp_.File("keep.bin");
    WriteBytes(target, "pristine");
    CBytemenderDlg& dlg = Open();
    prompts_.chooser.push_back(target);
    Click(CBytemenderDlg::IDC_FILE);
    WriteBytes(target, "patched since");
    const std::string settings = Settings();

    ASSERT_EQ(::chdir(temp_.path().c_str()), 0);
    prompts_.chooser.push_back(std::nullopt);
    Click(CBytemenderDlg::IDC_FILE);
    EXPECT_EQ(fs::current_path().string(), moduleDir_);
    EXPECT_EQ(dlg.TargetPath(), target);
    EXPECT_EQ(ReadBytes(dlg.BackupPath()), "pristine");
    EXPECT_EQ(Settings(), settings);
    EXPECT_TRUE(prompts_.messages.empty());
}

TEST_F(CommandsTest, SameFileNameReplacesThePreviousBackup) {
    fs::create_directory(temp_.File("a"));
    fs::create_directory(temp_.File("b"));
    WriteBytes(temp_.File("a/x.bin"), "first");
    WriteBytes(temp_.File("b/x.bin"), "second");
    CBytemenderDlg& dlg = Open();
    dlg.Items() = FiveItems();
    prompts_.chooser = {temp_.File("a/x.bin"), temp_.File("b/x.bin")};
    Click(CBytemenderDlg::IDC_FILE);
    EXPECT_EQ(ReadBytes(backupDir_ + "/x.bin"), "first");
    Click(CBytemenderDlg::IDC_FILE);
    EXPECT_EQ(ReadBytes(backupDir_ + "/x.bin"), "second");
    EXPECT_EQ(dlg.TargetPath(), temp_.File("b/x.bin"));
    // The list stays whatever file it was made for, and is saved with it.
    EXPECT_EQ(dlg.Items(), FiveItems());
    EXPECT_NE(Settings().find("PathList\\Count = 5"), std::string::npos);
    EXPECT_FALSE(fs::exists(backupDir_ + "/x.bin.part"));
}

TEST_F(CommandsTest, TargetsThatCannotBeBackedUpAreRefused) {
    const std::string good = temp_.File("good.bin");
    WriteBytes(good, "good");
    CBytemenderDlg& dlg = Open();
    prompts_.chooser.push_back(good);
    Click(CBytemenderDlg::IDC_FILE);
    const std::string settings = Settings();
    const std::string backup = dlg.BackupPath();

    const struct {
        std::string chosen;
        const char* message;
    } cases[] = {
        // A path the target path cannot hold is not cut down to another file.
        {"/" + std::string(kPathCapacity, 'p'), " 选择的文件路径过长, 无法使用! "},
        {"/" + std::string(kPathCapacity - 2, 'p'), " 备份文件路径过长, 无法备份选择的文件! "},
        // Fits, but its backup path beside the program would not.
        {"/" + std::string(kPathCapacity - 20, 'q'), " 备份文件路径过长, 无法备份选择的文件! "},
        // Not a file that can be copied.
        {temp_.path(), " 无法备份选择的文件! "},
        // The backup copy itself.
        {backup, " 无法备份选择的文件! "},
    };
    for (const auto& c : cases) {
        prompts_.messages.clear();
        prompts_.chooser.push_back(c.chosen);
        Click(CBytemenderDlg::IDC_FILE);
        ASSERT_EQ(prompts_.messages.size(), 1u) << c.chosen.size();
        EXPECT_EQ(prompts_.messages[0].text, c.message);
        EXPECT_EQ(prompts_.messages[0].caption, "错误");
        EXPECT_EQ(dlg.TargetPath(), good);
        EXPECT_EQ(dlg.BackupPath(), backup);
        EXPECT_EQ(ReadBytes(backup), "good");
        EXPECT_EQ(Settings(), settings);
        EXPECT_EQ(dlg.windowTitle(), "Bytemender - good.bin");
    }
}

// ---------------------------------------------------------------------------
// Commands on the list

TEST_F(CommandsTest, EmptyListCommandsDoNothing) {
    CBytemenderDlg& dlg = Open();
    for (int id : {CBytemenderDlg::IDC_EDIT, CBytemenderDlg::IDC_COPY, CBytemenderDlg::IDC_DELETE,
                   CBytemenderDlg::IDOK_, CBytemenderDlg::IDCANCEL_})
        Click(id);
    dlg.OnListDoubleClick();
    EXPECT_TRUE(dlg.Items().empty());
    EXPECT_EQ(prompts_.editorRuns, 0);
    EXPECT_FALSE(SettingsExist());
    EXPECT_TRUE(dlg.isVisible());

    prompts_.editor = CancelEditor();
    Click(CBytemenderDlg::IDC_ADD);
    EXPECT_EQ(prompts_.editorModes, std::vector<int>{0});
    EXPECT_TRUE(dlg.Items().empty());
    EXPECT_FALSE(SettingsExist());
}

TEST_F(CommandsTest, CommandsWithoutSelectionDoNothing) {
    CBytemenderDlg& dlg = OpenWith(FiveItems());
    const std::string settings = Settings();
    for (int id : {CBytemenderDlg::IDC_EDIT, CBytemenderDlg::IDC_COPY, CBytemenderDlg::IDC_DELETE,
                   CBytemenderDlg::IDOK_})
        Click(id);
    dlg.OnListDoubleClick();
    EXPECT_EQ(dlg.Items(), FiveItems());
    EXPECT_EQ(prompts_.editorRuns, 0);
    EXPECT_EQ(Settings(), settings);
}

TEST_F(CommandsTest, ToggleFlipsEverySelectedRowWithoutSaving) {
    CBytemenderDlg& dlg = OpenWith(FiveItems());
    dlg.Items()[3].enabled = 5; // any nonzero value is "on"
    const std::string settings = Settings();
    Select({1, 3, 4});
    Click(CBytemenderDlg::IDOK_);
    EXPECT_EQ(Flags(), (std::vector<int>{0, 0, 0, 0, 1}));
    EXPECT_EQ(Selected(), (std::vector<int>{1, 3, 4}));
    EXPECT_EQ(Cell(4, 4), "Yes");
    EXPECT_EQ(Cell(1, 4), "No");
    EXPECT_EQ(Settings(), settings);

    // Enter with the focus in the list presses "有效/无效"; the window stays.
    dlg.ListView()->setFocus();
    QTest::keyClick(dlg.ListView(), Qt::Key_Return);
    EXPECT_EQ(Flags(), (std::vector<int>{0, 1, 0, 1, 0}));
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(Settings(), settings);
}

TEST_F(CommandsTest, EscapeDisablesAllWithoutSavingOrClosing) {
    PatchList items = FiveItems();
    for (PatchItem& item : items)
        item.enabled = 1;
    CBytemenderDlg& dlg = OpenWith(items);
    const std::string settings = Settings();
    dlg.ListView()->setFocus();
    QTest::keyClick(dlg.ListView(), Qt::Key_Escape);
    EXPECT_EQ(Flags(), (std::vector<int>(5, 0)));
    for (int row = 0; row < 5; ++row)
        EXPECT_EQ(Cell(row, 4), "No");
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(Settings(), settings);
    Click(CBytemenderDlg::IDCANCEL_);
    EXPECT_TRUE(dlg.isVisible());
}

TEST_F(CommandsTest, DeleteRemovesOnlyTheFirstSelectedRow) {
    const struct {
        int count;
        std::initializer_list<int> selected;
        std::vector<std::uint32_t> offsetsAfter;
        std::vector<int> selectedAfter;
    } cases[] = {
        {5, {1, 3}, {0x10, 0x30, 0x40, 0x50}, {1, 3}},
        {8, {2, 7}, {0x10, 0x20, 0x40, 0x50, 0x60, 0x70, 0x80}, {2}},
        {1, {0}, {}, {}},
        {3, {2}, {0x10, 0x20}, {}},
    };
    for (const auto& c : cases) {
        PatchList items;
        for (int i = 0; i < c.count; ++i)
            items.push_back(
                PatchItem{static_cast<std::uint32_t>(0x10 * (i + 1)), "d", "00", "01", 0});
        OpenWith(items, "/data/game.bin");
        Select(c.selected);
        Click(CBytemenderDlg::IDC_DELETE);
        EXPECT_EQ(Offsets(), c.offsetsAfter) << c.count;
        EXPECT_EQ(Selected(), c.selectedAfter) << c.count;
        EXPECT_NE(Settings().find("PathList\\Count = " + std::to_string(c.offsetsAfter.size())),
                  std::string::npos);
        EXPECT_EQ(Settings().find("PathList\\" +
                                  std::string(c.offsetsAfter.size() < 10 ? "000" : "00") +
                                  std::to_string(c.offsetsAfter.size()) + "\\"),
                  std::string::npos);
        EXPECT_NE(Settings().find("FileName = /data/game.bin"), std::string::npos);
    }
}

TEST_F(CommandsTest, CopyInsertsAboveAndIsSelected) {
    CBytemenderDlg& dlg = OpenWith(FiveItems());
    Select({3, 4});
    Click(CBytemenderDlg::IDC_COPY);
    ASSERT_EQ(dlg.Items().size(), 6u);
    EXPECT_EQ(dlg.Items()[3], FiveItems()[3]);
    EXPECT_EQ(dlg.Items()[4], FiveItems()[3]);
    EXPECT_EQ(dlg.Items()[5], FiveItems()[4]);
    EXPECT_EQ(Cell(3, 4), "Yes"); // the flag is copied too
    EXPECT_EQ(Selected(), (std::vector<int>{3, 4}));
    EXPECT_NE(Settings().find("PathList\\Count = 6"), std::string::npos);
    EXPECT_NE(Settings().find("PathList\\0004\\Offset = 0x00000040"), std::string::npos);
    EXPECT_EQ(prompts_.editorRuns, 0);
}

TEST_F(CommandsTest, EditChangesInPlaceAndAddSorts) {
    CBytemenderDlg& dlg = OpenWith(FiveItems(), "/data/game.bin");
    // Edit row 4 (0x50) down to 0x05: it keeps its row.
    Select({4});
    prompts_.editor = [](CItemEditDlg& ed) {
        ed.show();
        EXPECT_EQ(ed.windowTitle(), QString::fromUtf8("修改项目"));
        EXPECT_EQ(EditorBox(ed, CItemEditDlg::IDC_OFFSET)->text(), "00000050");
        TypeInto(EditorBox(ed, CItemEditDlg::IDC_OFFSET), "5");
        ClickEditorButton(ed, CItemEditDlg::IDOK_);
        return Finish(ed);
    };
    Click(CBytemenderDlg::IDC_EDIT);
    EXPECT_EQ(prompts_.editorModes, std::vector<int>{1});
    EXPECT_EQ(Offsets(), (std::vector<std::uint32_t>{0x10, 0x20, 0x30, 0x40, 0x05}));
    EXPECT_EQ(Cell(4, 0), "00000005");
    EXPECT_EQ(dlg.Items()[4].enabled, 0);
    EXPECT_NE(Settings().find("PathList\\0004\\Offset = 0x00000005"), std::string::npos);

    // Add sorts the whole list again; the same row numbers stay selected.
    prompts_.editor = Fill("25", "new", "00", "01");
    Click(CBytemenderDlg::IDC_ADD);
    EXPECT_EQ(Offsets(), (std::vector<std::uint32_t>{0x05, 0x10, 0x20, 0x25, 0x30, 0x40}));
    EXPECT_EQ(dlg.Items()[3], (PatchItem{0x25, "new", "00", "01", 0}));
    EXPECT_EQ(Selected(), std::vector<int>{4});
    EXPECT_NE(Settings().find("PathList\\0003\\Descrip = new"), std::string::npos);

    // Equal offsets keep their order: the new one goes after.
    prompts_.editor = Fill("10", "second 10", "00", "01");
    Click(CBytemenderDlg::IDC_ADD);
    EXPECT_EQ(dlg.Items()[1].description, "item 0");
    EXPECT_EQ(dlg.Items()[2].description, "second 10");
}

TEST_F(CommandsTest, CancelledEditorSavesNothing) {
    CBytemenderDlg& dlg = OpenWith(FiveItems());
    const std::string settings = Settings();
    Select({2});
    // A refused "确定" (new data emptied) and then "取消": the values it stored
    // stay in the list in memory, but nothing is saved and no row moves.
    prompts_.editor = Fill("1", "emptied", nullptr, "");
    Click(CBytemenderDlg::IDC_EDIT);
    EXPECT_EQ(dlg.Items()[2], (PatchItem{1, "emptied", "00", "", 0}));
    EXPECT_EQ(Settings(), settings);

    prompts_.editor = CancelEditor();
    Click(CBytemenderDlg::IDC_ADD);
    EXPECT_EQ(dlg.Items().size(), 5u);
    EXPECT_EQ(Settings(), settings);
}

TEST_F(CommandsTest, DoubleClickFlipsTheFirstSelectedRowAndSaves) {
    CBytemenderDlg& dlg = OpenWith(FiveItems());
    Select({2, 3});
    dlg.OnListDoubleClick();
    EXPECT_EQ(Flags(), (std::vector<int>{0, 1, 1, 1, 0}));
    EXPECT_EQ(Selected(), (std::vector<int>{2, 3}));
    EXPECT_NE(Settings().find("PathList\\0002\\Path = 1"), std::string::npos);
    EXPECT_NE(Settings().find("PathList\\0003\\Path = 1"), std::string::npos);

    // A real double click on a row's cell.
    QTableView* view = dlg.ListView();
    const QRect cell = view->visualRect(dlg.Model()->index(1, 1));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_EQ(Flags(), (std::vector<int>{0, 0, 1, 1, 0}));
    EXPECT_NE(Settings().find("PathList\\0001\\Path = 0"), std::string::npos);
}

TEST_F(CommandsTest, SaveUsesFlagsInMemoryButStoresTheOldOnes) {
    const std::string target = temp_.File("s.bin");
    WriteBytes(target, Bytes({0, 0, 0, 0, 0, 0}));
    CBytemenderDlg& dlg = Open();
    prompts_.chooser.push_back(target);
    Click(CBytemenderDlg::IDC_FILE);
    dlg.Items() = {PatchItem{1, "a", "00", "11", 0}, PatchItem{4, "b", "00", "22", 1}};
    dlg.SavePatchList();
    const std::string settings = Settings();
    Select({0, 1});
    Click(CBytemenderDlg::IDOK_);
    Click(CBytemenderDlg::IDC_SAVE);
    EXPECT_EQ(ReadBytes(target), Bytes({0, 0x11, 0, 0, 0, 0}));
    EXPECT_EQ(Settings(), settings);
    EXPECT_NE(Settings().find("PathList\\0000\\Path = 0"), std::string::npos);
    EXPECT_NE(Settings().find("PathList\\0001\\Path = 1"), std::string::npos);
    EXPECT_TRUE(prompts_.messages.empty());
}

} // namespace
