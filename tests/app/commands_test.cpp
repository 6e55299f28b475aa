// The main window's commands on real files: the settings file and the Path_bak
// folder beside this test program, targets in a temporary folder, and scripted
// prompts in place of message boxes, the file chooser and the modal run of the
// item editor (which is shown and driven through its widgets).
#include "MainWindowFixture.h"
#include "tests/support/TypeText.h"

#include "engine/Fingerprint.h"
#include "winutil/Translate.h"

#include <QLineEdit>
#include <sstream>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Message = ScriptedPrompts::Message;

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

class CommandsTest : public MainWindowTest {
  protected:
    // Writes a file of these contents in the temporary folder and makes it the
    // target with "文件".
    std::string ChooseNewTarget(const std::string& name, const std::string& contents) {
        const std::string target = temp_.File(name);
        WriteBytes(target, contents);
        prompts_.chooser.push_back(target);
        Click(CBytemenderDlg::IDC_FILE);
        return target;
    }
};

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

    CBytemenderDlg& dlg = OpenShown();
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
    EXPECT_TRUE(SettingsHave("FileName = " + target));
    // Every success is told in the status line, without a click.
    const auto status = [&] { return dlg.StatusLine()->toolTip().toStdString(); };
    EXPECT_EQ(status(), "目标文件: data.bin, 备份已保存到 " + backup);

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
    EXPECT_TRUE(SettingsHave("PathList\\0000\\NewHex = EB 05"));
    EXPECT_EQ(status(),
              "列表已保存到 " + fs::path(settingsFile_).filename().string() + " (1 个项目)");

    // "有效/无效" on the selected row, then "保存".
    Select({0});
    Click(CBytemenderDlg::IDOK_);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(Cell(0, 4), "Yes");
    EXPECT_EQ(status(), "有效项目: 1 / 1 (尚未写入设置文件)");
    Click(CBytemenderDlg::IDC_SAVE);
    EXPECT_TRUE(prompts_.messages.empty());
    EXPECT_EQ(status(), "已重建目标文件 " + target + " (应用了 1 个有效项目)");
    std::string expected = original;
    expected.replace(0x10, 2, Bytes({0xEB, 0x05}));
    EXPECT_EQ(ReadBytes(target), expected);
    EXPECT_EQ(ReadBytes(backup), original);
    EXPECT_TRUE(SettingsHave("PathList\\0000\\Path = 1"));

    // An enabled item whose old data is not there stops the rebuild.
    prompts_.editor = Fill("30", "坏的", "AA BB 00", "11 22 33");
    Click(CBytemenderDlg::IDC_ADD);
    ASSERT_EQ(dlg.Items().size(), 2u);
    Select({1});
    Click(CBytemenderDlg::IDOK_);
    Select({});
    EXPECT_EQ(Flags(), (std::vector<int>{1, 1}));
    // Changed by hand since the last rebuild: the user overwrites it anyway.
    WriteBytes(target, "changed by hand");
    prompts_.targetAnswers = {TargetChangedAnswer::Overwrite};
    Click(CBytemenderDlg::IDC_SAVE);
    const std::vector<Message> refused = {{"坏的\r\n原始数据不匹配!", "Error"}};
    EXPECT_EQ(prompts_.messages, refused);
    EXPECT_EQ(ReadBytes(target), "changed by hand");

    // Disabled again, the rebuild restores backup + the first item.
    Select({1});
    Click(CBytemenderDlg::IDOK_);
    prompts_.targetAnswers = {TargetChangedAnswer::Overwrite};
    Click(CBytemenderDlg::IDC_SAVE);
    EXPECT_EQ(prompts_.messages, refused);
    EXPECT_EQ(ReadBytes(target), expected);
    EXPECT_EQ(prompts_.targetQuestions, std::vector<std::string>(2, target));
}

TEST_F(CommandsTest, RebuildFailuresAreShownWithTheirCaptions) {
    CBytemenderDlg& dlg = OpenShown();
    const std::string target = ChooseNewTarget("t.bin", "0123");
    dlg.Items() = {PatchItem{3, "末尾", "", "41 42", 1}};
    Click(CBytemenderDlg::IDC_SAVE);
    fs::remove(dlg.BackupPath());
    Click(CBytemenderDlg::IDC_SAVE);
    EXPECT_EQ(prompts_.messages, (std::vector<Message>{{"末尾\r\n文件范围超出!", "Error"},
                                                       {" 无法访问选择的文件! ", "错误"}}));
    EXPECT_EQ(ReadBytes(target), "0123");
}

// ---------------------------------------------------------------------------
// Choosing the target

TEST_F(CommandsTest, CancelledChooserChangesOnlyTheCurrentFolder) {
    CBytemenderDlg& dlg = OpenShown();
    const std::string target = ChooseNewTarget("keep.bin", "pristine");
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
    CBytemenderDlg& dlg = OpenShown();
    dlg.Items() = Items(5);
    prompts_.chooser = {temp_.File("a/x.bin"), temp_.File("b/x.bin"), temp_.File("b/x.bin")};
    Click(CBytemenderDlg::IDC_FILE);
    EXPECT_EQ(ReadBytes(backupDir_ + "/x.bin"), "first");
    // The enabled items 1 and 3 lie past the end of the new file: the old
    // backup is replaced only when the user says so.
    prompts_.replaceBackupAnswers = {false, true};
    Click(CBytemenderDlg::IDC_FILE);
    EXPECT_EQ(ReadBytes(backupDir_ + "/x.bin"), "first");
    EXPECT_EQ(dlg.TargetPath(), temp_.File("a/x.bin"));
    ASSERT_EQ(prompts_.messages.size(), 1u);
    EXPECT_NE(prompts_.messages[0].text.find("00000020  item 1\n00000040  item 3"),
              std::string::npos);
    Click(CBytemenderDlg::IDC_FILE);
    EXPECT_EQ(prompts_.replaceBackupQuestions.size(), 2u);
    EXPECT_EQ(ReadBytes(backupDir_ + "/x.bin"), "second");
    EXPECT_EQ(dlg.TargetPath(), temp_.File("b/x.bin"));
    // The list stays whatever file it was made for, and is saved with it.
    EXPECT_EQ(dlg.Items(), Items(5));
    EXPECT_TRUE(SettingsHave("PathList\\Count = 5"));
    EXPECT_FALSE(fs::exists(backupDir_ + "/x.bin.part"));
}

TEST_F(CommandsTest, TargetsThatCannotBeBackedUpAreRefused) {
    CBytemenderDlg& dlg = OpenShown();
    const std::string good = ChooseNewTarget("good.bin", "good");
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
        {backup, " 选择的文件在备份文件夹中, 不能作为目标文件! "},
    };
    for (const auto& c : cases) {
        prompts_.messages.clear();
        prompts_.chooser.push_back(c.chosen);
        Click(CBytemenderDlg::IDC_FILE);
        EXPECT_EQ(prompts_.messages, (std::vector<Message>{{c.message, "错误"}}))
            << c.chosen.size();
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
    CBytemenderDlg& dlg = OpenShown();
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
    CBytemenderDlg& dlg = OpenWith(Items(5));
    const std::string settings = Settings();
    for (int id : {CBytemenderDlg::IDC_EDIT, CBytemenderDlg::IDC_COPY, CBytemenderDlg::IDC_DELETE,
                   CBytemenderDlg::IDOK_})
        Click(id);
    dlg.OnListDoubleClick();
    EXPECT_EQ(dlg.Items(), Items(5));
    EXPECT_EQ(prompts_.editorRuns, 0);
    EXPECT_EQ(Settings(), settings);
}

TEST_F(CommandsTest, ToggleFlipsEverySelectedRowWithoutSaving) {
    CBytemenderDlg& dlg = OpenWith(Items(5));
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
        OpenWith(Items(c.count), "/data/game.bin");
        Select(c.selected);
        Click(CBytemenderDlg::IDC_DELETE);
        EXPECT_EQ(Offsets(), c.offsetsAfter) << c.count;
        EXPECT_EQ(Selected(), c.selectedAfter) << c.count;
        const std::string count = std::to_string(c.offsetsAfter.size());
        EXPECT_TRUE(SettingsHave("PathList\\Count = " + count));
        // No item is stored past the new count.
        EXPECT_FALSE(
            SettingsHave("PathList\\" + std::string(4 - count.size(), '0') + count + "\\"));
        EXPECT_TRUE(SettingsHave("FileName = /data/game.bin"));
    }
}

TEST_F(CommandsTest, CopyInsertsAboveAndIsSelected) {
    CBytemenderDlg& dlg = OpenWith(Items(5));
    Select({3, 4});
    Click(CBytemenderDlg::IDC_COPY);
    ASSERT_EQ(dlg.Items().size(), 6u);
    EXPECT_EQ(dlg.Items()[3], Items(5)[3]);
    EXPECT_EQ(dlg.Items()[4], Items(5)[3]);
    EXPECT_EQ(dlg.Items()[5], Items(5)[4]);
    EXPECT_EQ(Cell(3, 4), "Yes"); // the flag is copied too
    EXPECT_EQ(Selected(), (std::vector<int>{3, 4}));
    EXPECT_TRUE(SettingsHave("PathList\\Count = 6"));
    EXPECT_TRUE(SettingsHave("PathList\\0004\\Offset = 0x00000040"));
    EXPECT_EQ(prompts_.editorRuns, 0);
}

TEST_F(CommandsTest, EditChangesInPlaceAndAddSorts) {
    CBytemenderDlg& dlg = OpenWith(Items(5), "/data/game.bin");
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
    EXPECT_TRUE(SettingsHave("PathList\\0004\\Offset = 0x00000005"));

    // Add sorts the whole list again; the same row numbers stay selected.
    prompts_.editor = Fill("25", "new", "00", "01");
    Click(CBytemenderDlg::IDC_ADD);
    EXPECT_EQ(Offsets(), (std::vector<std::uint32_t>{0x05, 0x10, 0x20, 0x25, 0x30, 0x40}));
    EXPECT_EQ(dlg.Items()[3], (PatchItem{0x25, "new", "00", "01", 0}));
    EXPECT_EQ(Selected(), std::vector<int>{4});
    EXPECT_TRUE(SettingsHave("PathList\\0003\\Descrip = new"));

    // Equal offsets keep their order: the new one goes after.
    prompts_.editor = Fill("10", "second 10", "00", "01");
    Click(CBytemenderDlg::IDC_ADD);
    EXPECT_EQ(dlg.Items()[1].description, "item 0");
    EXPECT_EQ(dlg.Items()[2].description, "second 10");
}

TEST_F(CommandsTest, CancelledEditorSavesNothing) {
    CBytemenderDlg& dlg = OpenWith(Items(5));
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
    CBytemenderDlg& dlg = OpenWith(Items(5));
    Select({2, 3});
    dlg.OnListDoubleClick();
    EXPECT_EQ(Flags(), (std::vector<int>{0, 1, 1, 1, 0}));
    EXPECT_EQ(Selected(), (std::vector<int>{2, 3}));
    EXPECT_TRUE(SettingsHave("PathList\\0002\\Path = 1"));
    EXPECT_TRUE(SettingsHave("PathList\\0003\\Path = 1"));

    // A real double click on a row's cell.
    QTableView* view = dlg.ListView();
    const QRect cell = view->visualRect(dlg.Model()->index(1, 1));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_EQ(Flags(), (std::vector<int>{0, 0, 1, 1, 0}));
    EXPECT_TRUE(SettingsHave("PathList\\0001\\Path = 0"));
}

// "保存" stores the flags it rebuilds with.
TEST_F(CommandsTest, SaveStoresTheFlagsItRebuildsWith) {
    CBytemenderDlg& dlg = OpenShown();
    const std::string target = ChooseNewTarget("s.bin", Bytes({0, 0, 0, 0, 0, 0}));
    dlg.Items() = {PatchItem{1, "a", "00", "11", 0}, PatchItem{4, "b", "00", "22", 1}};
    dlg.SavePatchList();
    Select({0, 1});
    Click(CBytemenderDlg::IDOK_);
    Click(CBytemenderDlg::IDC_SAVE);
    EXPECT_EQ(ReadBytes(target), Bytes({0, 0x11, 0, 0, 0, 0}));
    EXPECT_TRUE(SettingsHave("PathList\\0000\\Path = 1"));
    EXPECT_TRUE(SettingsHave("PathList\\0001\\Path = 0"));
    EXPECT_TRUE(prompts_.messages.empty());
}

// ---------------------------------------------------------------------------
// A list that cannot reach the settings file is never lost in silence.

TEST_F(CommandsTest, ListThatCannotBeWrittenIsReportedAndKept) {
    const struct {
        int button;
        const char* message;
        std::size_t itemsAfter;
    } cases[] = {
        {CBytemenderDlg::IDC_DELETE, " 无法将列表写入设置文件! \n", 1},
        {CBytemenderDlg::IDC_SAVE, " 无法将列表写入设置文件, 未重建目标文件! \n", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button);
        CBytemenderDlg& dlg = OpenShown();
        const std::string target = ChooseNewTarget("small.bin", Bytes({0, 0, 0, 0}));
        dlg.Items() = {PatchItem{1, "a", "00", "11", 1}, PatchItem{2, "b", "00", "22", 1}};
        ASSERT_TRUE(dlg.SavePatchList());
        dlg.Items()[1].enabled = 0; // in memory only
        const std::string settings = Settings();
        prompts_.messages.clear();
        Select({0});
        {
            // The settings file no longer fits; the four-byte target would.
            FileSizeLimit limit(64);
            ASSERT_TRUE(limit.active());
            Click(c.button);
        }
        EXPECT_EQ(prompts_.messages, (std::vector<Message>{{c.message + settingsFile_, "错误"}}));
        EXPECT_EQ(Settings(), settings);
        EXPECT_EQ(ReadBytes(target), Bytes({0, 0, 0, 0}));
        EXPECT_EQ(dlg.Items().size(), c.itemsAfter);
        // Once the cause is gone the list in memory is saved as it stands.
        EXPECT_TRUE(dlg.SavePatchList());
        EXPECT_TRUE(SettingsHave("PathList\\Count = " + std::to_string(c.itemsAfter)));
    }
}

// A settings file that is there but cannot be read (here a folder) is never
// replaced by the empty list the window starts with.
TEST_F(CommandsTest, UnreadableSettingsFileIsToldOnceAndNeverReplaced) {
    ASSERT_TRUE(fs::create_directory(settingsFile_));
    CBytemenderDlg& dlg = Open();
    EXPECT_TRUE(dlg.Items().empty());
    // Told over the window, once it shows.
    EXPECT_TRUE(prompts_.messages.empty());
    dlg.show();
    QCoreApplication::processEvents();
    ASSERT_EQ(prompts_.messages.size(), 1u);
    EXPECT_EQ(prompts_.messages[0].caption, "错误");
    EXPECT_NE(prompts_.messages[0].text.find(settingsFile_), std::string::npos);
    // The status line keeps saying it, with the file's path.
    const auto statusLine = [&] { return dlg.StatusLine()->toolTip().toStdString(); };
    EXPECT_NE(statusLine().find("列表不会保存: 无法读取设置文件 " + settingsFile_),
              std::string::npos);

    // Commands still work in memory and say, in the status line rather than
    // in a box each time, that the list was not saved.
    prompts_.editor = Fill("10", "x", "00", "01");
    Click(CBytemenderDlg::IDC_ADD);
    Click(CBytemenderDlg::IDC_SAVE);
    EXPECT_EQ(dlg.Items().size(), 1u);
    EXPECT_EQ(prompts_.messages.size(), 1u);
    EXPECT_NE(statusLine().find(settingsFile_), std::string::npos);
    EXPECT_NE(statusLine().find("设置文件无法读取, 列表不会写入该文件, 未重建目标文件!"),
              std::string::npos);
    EXPECT_TRUE(fs::is_directory(settingsFile_));
}

TEST_F(CommandsTest, UnreadableSettingsFileMessageSpeaksTheUsersLanguage) {
    SetTranslator([](const char* context, const char* source) {
        return std::string(context) == "PatchSession" && std::string(source) == "错误"
                   ? std::string("Error")
                   : std::string();
    });
    ASSERT_TRUE(fs::create_directory(settingsFile_));
    OpenShown();
    SetTranslator(nullptr);
    ASSERT_EQ(prompts_.messages.size(), 1u);
    EXPECT_EQ(prompts_.messages[0].caption, "Error");
}

// A settings file cut short (the count, its last line, is gone) shows the
// items it still holds and is saved over only when the user keeps them.
TEST_F(CommandsTest, DamagedSettingsFileIsReplacedOnlyWhenTheUserKeepsTheRecoveredList) {
    const std::string cut = "FileName = /data/t.bin\r\n"
                            "PathList\\0000\\Offset = 0x10\r\nPathList\\0001\\Offset = 0x20\r\n"
                            "PathList\\0002\\Desc";
    for (const bool keep : {false, true}) {
        SCOPED_TRACE(keep ? "kept" : "left alone");
        prompts_ = ScriptedPrompts();
        prompts_.keepRecoveredAnswers.push_back(keep);
        CBytemenderDlg& dlg = OpenShown(cut.c_str());
        ASSERT_EQ(prompts_.damageQuestions.size(), 1u);
        EXPECT_NE(prompts_.damageQuestions[0].find("已读取其中完好的 2 个项目"), std::string::npos)
            << prompts_.damageQuestions[0];
        EXPECT_EQ(Offsets(), (std::vector<std::uint32_t>{0x10, 0x20}));
        prompts_.editor = Fill("30", "x", "00", "01");
        Click(CBytemenderDlg::IDC_ADD);
        EXPECT_EQ(dlg.Items().size(), 3u);
        if (keep) {
            EXPECT_TRUE(prompts_.messages.empty());
            EXPECT_TRUE(SettingsHave("PathList\\Count = 3\r\n"));
        } else {
            EXPECT_EQ(prompts_.messages,
                      (std::vector<Message>{
                          {" 设置文件已损坏, 列表不会写入该文件! \n" + settingsFile_, "错误"}}));
            EXPECT_EQ(Settings(), cut);
        }
    }
}

// ---------------------------------------------------------------------------
// A target changed by someone else is not silently reverted.

std::string Sha256Text(const std::string& bytes) {
    FileFingerprint print;
    print.sha256 = Sha256(bytes.data(), bytes.size());
    return print.Sha256Hex();
}

TEST_F(CommandsTest, ChangedTargetIsRebuiltOnlyAsTheUserSays) {
    const std::string original = Bytes({0x11, 0x22, 0x33, 0x44, 0x00, 0x55, 0x66, 0x77});
    std::string patched = original;
    patched[4] = '\xFF';
    // The same size as the original, and still the old byte at the patch.
    const std::string updated = Bytes({0xAA, 0xBB, 0xCC, 0xDD, 0x00, 0xEE, 0xEE, 0xEE});
    std::string updatedPatched = updated;
    updatedPatched[4] = '\xFF';
    using Answer = TargetChangedAnswer;
    const struct {
        const char* name;
        bool oldSettingsFile; // written before records were kept
        std::optional<std::string> replacement;
        std::vector<Answer> answers;
        std::string targetAfter;
        std::string backupAfter;
    } cases[] = {
        {"nothing changed", false, std::nullopt, {}, patched, original},
        {"updated, new backup", false, updated, {Answer::Rebackup}, updatedPatched, updated},
        {"other size, overwrite", false, "updated program", {Answer::Overwrite}, patched, original},
        {"updated, cancel", false, updated, {Answer::Cancel}, updated, original},
        {"old settings file", true, updated, {}, patched, original},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        window_.reset();
        Cleanup();
        prompts_ = ScriptedPrompts();
        OpenShown();
        const std::string target = ChooseNewTarget("app.bin", original);
        const std::string backup = window_->BackupPath();
        window_->Items() = {PatchItem{4, "p", "00", "FF", 1}};
        Click(CBytemenderDlg::IDC_SAVE); // the target is still the backup: no question
        ASSERT_EQ(ReadBytes(target), patched);
        if (c.oldSettingsFile) {
            window_.reset();
            std::string kept;
            std::istringstream lines(Settings());
            for (std::string line; std::getline(lines, line);) {
                if (line.rfind("Backup", 0) != 0 && line.rfind("Target", 0) != 0)
                    kept += line + "\n";
            }
            WriteBytes(settingsFile_, kept);
            OpenShown();
        }
        if (c.replacement)
            WriteBytes(target, *c.replacement);
        prompts_.targetAnswers.assign(c.answers.begin(), c.answers.end());
        Click(CBytemenderDlg::IDC_SAVE);
        EXPECT_EQ(prompts_.targetQuestions, std::vector<std::string>(c.answers.size(), target));
        EXPECT_EQ(ReadBytes(target), c.targetAfter);
        EXPECT_EQ(ReadBytes(backup), c.backupAfter);
        EXPECT_TRUE(prompts_.messages.empty());
        // The record follows what the rebuild wrote (a cancel keeps the last).
        const std::string recorded =
            c.answers == std::vector<Answer>{Answer::Cancel} ? patched : c.targetAfter;
        EXPECT_TRUE(SettingsHave("TargetSize = " + std::to_string(recorded.size()) + "\r\n"));
        EXPECT_TRUE(SettingsHave("TargetSha256 = " + Sha256Text(recorded) + "\r\n"));
        if (!c.oldSettingsFile) {
            EXPECT_TRUE(SettingsHave("BackupSha256 = " + Sha256Text(c.backupAfter) + "\r\n"));
        }
    }
}

} // namespace

namespace {

// A second program on the window's settings file: its own session.
struct OtherProgram {
    PatchSession session;
    bool Change(const std::function<void(PatchList&)>& change) {
        return session
            .Change([&](PatchList& list) {
                change(list);
                return true;
            })
            .ok();
    }
};

} // namespace

// Another program changes the list while the window is open: the window's
// next saving command reads the file again and keeps that change, the flags
// it changed in memory stay on their items, an item that is gone is not
// touched, and on activation the list on screen follows the file.
TEST_F(CommandsTest, ListChangedBehindTheWindowsBackIsKept) {
    CBytemenderDlg& dlg = OpenWith(Items(4));
    Select({0});
    Click(CBytemenderDlg::IDOK_); // item 0 enabled, in memory only
    OtherProgram other;
    ASSERT_EQ(other.session.Open(dlg.Session().SettingsFilePath()), SettingsFileState::Loaded);
    ASSERT_TRUE(other.Change([](PatchList& list) {
        list.insert(list.begin(), PatchItem{0x8, "other", "00", "02", 1});
    }));

    Select({2}); // "item 2" on the window's screen, the file's fourth
    Click(CBytemenderDlg::IDC_DELETE);
    PatchList expected = Items(4);
    expected[0].enabled = 1;
    expected.erase(expected.begin() + 2);
    expected.insert(expected.begin(), PatchItem{0x8, "other", "00", "02", 1});
    EXPECT_EQ(dlg.Items(), expected);
    EXPECT_TRUE(SettingsHave("PathList\\0000\\Descrip = other"));
    EXPECT_TRUE(SettingsHave("PathList\\0001\\Path = 1"));
    EXPECT_TRUE(SettingsHave("PathList\\Count = 4"));
    EXPECT_TRUE(prompts_.messages.empty());

    // Removed by the other program before the window deletes it too.
    ASSERT_TRUE(other.Change([](PatchList& list) { list.erase(list.begin() + 2); }));
    Select({2});
    const std::string before = Settings();
    Click(CBytemenderDlg::IDC_DELETE);
    ASSERT_EQ(prompts_.messages.size(), 1u);
    EXPECT_NE(prompts_.messages[0].text.find("已被另一个程序修改或删除"), std::string::npos);
    EXPECT_EQ(Settings(), before);
    EXPECT_EQ(dlg.Items().size(), 3u);

    // Activation shows what the file holds now, and says so.
    ASSERT_TRUE(other.Change([](PatchList& list) {
        list.push_back(PatchItem{0x99, "late", "00", "03", 0});
    }));
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(&dlg, &activate);
    EXPECT_EQ(dlg.Items().back().description, "late");
    EXPECT_EQ(window_->Model()->rowCount(), 4);
    EXPECT_TRUE(dlg.windowTitle().contains(QStringLiteral("已重新读取")));
}
