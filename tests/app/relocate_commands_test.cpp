// The window's "重新定位..." on real files: after the target was updated and
// backed up again, the state column marks the items that can move, the
// dialog lists moves and failures, and only a confirmation moves and saves.
#include "MainWindowFixture.h"

#include <QAction>

#include <random>

namespace {

using Message = ScriptedPrompts::Message;

class RelocateCommandsTest : public MainWindowTest {
  protected:
    std::string target_ = temp_.File("data.bin");
};

std::string HexAt(const std::string& bytes, std::size_t at, std::size_t length) {
    std::string text;
    char pair[4];
    for (std::size_t i = 0; i < length; ++i) {
        std::snprintf(pair, sizeof pair, "%02X", static_cast<unsigned char>(bytes[at + i]));
        text += pair;
    }
    return text;
}

TEST_F(RelocateCommandsTest, MovesOnlyWhatTheUserConfirmed) {
    std::mt19937 random(5);
    std::string v1(4096, '\0');
    for (char& c : v1)
        c = static_cast<char>(random());
    WriteBytes(target_, v1);
    CBytemenderDlg& dlg = OpenWith({{0x100, "first", HexAt(v1, 0x100, 4), "00000000", 1},
                                    {0x800, "second", HexAt(v1, 0x800, 4), "00000000", 1}},
                                   target_);
    prompts_.chooser.push_back(target_);
    Click(CBytemenderDlg::IDC_FILE); // the backup of version 1; the items get signatures
    ASSERT_FALSE(dlg.Items()[0].signature.empty());
    QAction* relocate = dlg.actions().at(0);
    EXPECT_EQ(relocate->text(), "重新定位(&R)...");
    relocate->trigger(); // nothing to move
    ASSERT_EQ(prompts_.notices.size(), 1u);
    EXPECT_TRUE(prompts_.relocationDialogs.empty());

    // Version 2: 16 bytes more in front, and the second item's bytes changed.
    std::string v2 = std::string(16, 'x') + v1;
    v2[0x810] ^= 0x01;
    // The list meets version 2 in the backup and the target (a list made on
    // another version).
    WriteBytes(dlg.BackupPath(), v2);
    WriteBytes(target_, v2);
    dlg.RefreshList();
    EXPECT_EQ(Cell(0, PatchListModel::StateColumn), "! 备份不符 · 可重新定位");
    EXPECT_EQ(Cell(1, PatchListModel::StateColumn), "! 备份不符");

    const std::vector<std::string> shown{
        "1 个项目将移动到它们的特征码所在的位置, 1 个无法重新定位. 确认之前不会改变任何东西.",
        "first|00000100 → 00000110|移动", "second|00000800|没找到特征码"};
    prompts_.relocationAnswers = {false, true};
    relocate->trigger(); // declined: nothing changes
    EXPECT_EQ(Offsets(), (std::vector<std::uint32_t>{0x100, 0x800}));
    EXPECT_TRUE(SettingsHave("PathList\\0000\\Offset = 0x00000100"));
    relocate->trigger();
    EXPECT_EQ(prompts_.relocationDialogs, (std::vector<std::vector<std::string>>{shown, shown}));
    EXPECT_EQ(Offsets(), (std::vector<std::uint32_t>{0x110, 0x800}));
    EXPECT_TRUE(SettingsHave("PathList\\0000\\Offset = 0x00000110"));
    EXPECT_EQ(Cell(0, PatchListModel::StateColumn), "! 原样");
    EXPECT_TRUE(prompts_.messages.empty());
}

// "保存" on an updated target, "重新备份": the items move in the same step,
// once the user confirmed the moves; when some cannot move, only "仍然替换"
// takes the new backup.
TEST_F(RelocateCommandsTest, NewBackupOfAnUpdatedTargetMovesTheItemsFirst) {
    std::mt19937 random(7);
    std::string v1(4096, '\0');
    for (char& c : v1)
        c = static_cast<char>(random());
    std::string v2 = std::string(16, 'x') + v1;
    std::string changed = v2;
    changed[0x810] ^= 0x01; // the second item's bytes
    const std::string patch(4, '\0');
    const auto patched = [&patch](std::string bytes, std::initializer_list<std::size_t> at) {
        for (const std::size_t offset : at)
            bytes.replace(offset, patch.size(), patch);
        return bytes;
    };
    const std::string summaryComplete =
        "目标文件已更新: 2 个项目将移动到它们在新版本中的位置, 0 "
        "个无法重新定位. 确认后才会移动它们, 重新备份并重建目标文件.";
    const std::string summaryIncomplete =
        "目标文件已更新: 1 个项目可以移动, 但 1 个无法重新定位, 新的备份文件无法重建它们. 取消: "
        "不做任何改变 (推荐). 仍然替换: 移动能移动的项目并重新备份, 其余项目留在原处.";
    const struct {
        const char* name;
        const std::string* update;
        std::vector<std::string> shown;
        std::vector<std::uint32_t> offsetsAfter;
        std::string targetAfter;
        std::size_t messages; // the rebuild's refusal of the item left behind
    } cases[] = {
        {"every item moves",
         &v2,
         {summaryComplete, "first|00000100 → 00000110|移动", "second|00000800 → 00000810|移动",
          "重新定位并重新备份"},
         {0x110, 0x810},
         patched(v2, {0x110, 0x810}),
         0},
        {"one item cannot move",
         &changed,
         {summaryIncomplete, "first|00000100 → 00000110|移动", "second|00000800|没找到特征码",
          "仍然替换"},
         {0x110, 0x800},
         changed,
         1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        window_.reset();
        Cleanup();
        prompts_ = ScriptedPrompts();
        WriteBytes(target_, v1);
        OpenWith({{0x100, "first", HexAt(v1, 0x100, 4), "00000000", 1},
                  {0x800, "second", HexAt(v1, 0x800, 4), "00000000", 1}},
                 target_);
        prompts_.chooser.push_back(target_);
        Click(CBytemenderDlg::IDC_FILE);
        Click(CBytemenderDlg::IDC_SAVE);
        ASSERT_EQ(ReadBytes(target_), patched(v1, {0x100, 0x800}));
        const std::string backup = window_->BackupPath();

        WriteBytes(target_, *c.update); // the program was updated
        prompts_.targetAnswers = {TargetChangedAnswer::Rebackup, TargetChangedAnswer::Rebackup};
        prompts_.relocationAnswers = {false, true};
        Click(CBytemenderDlg::IDC_SAVE); // declined: nothing changes
        EXPECT_EQ(Offsets(), (std::vector<std::uint32_t>{0x100, 0x800}));
        EXPECT_EQ(ReadBytes(backup), v1);
        EXPECT_EQ(ReadBytes(target_), *c.update);
        Click(CBytemenderDlg::IDC_SAVE);
        EXPECT_EQ(prompts_.relocationDialogs,
                  (std::vector<std::vector<std::string>>{c.shown, c.shown}));
        EXPECT_EQ(Offsets(), c.offsetsAfter);
        EXPECT_TRUE(SettingsHave("PathList\\0000\\Offset = 0x00000110"));
        EXPECT_EQ(ReadBytes(backup), *c.update);
        EXPECT_EQ(ReadBytes(target_), c.targetAfter);
        EXPECT_EQ(prompts_.messages.size(), c.messages);
        EXPECT_TRUE(prompts_.replaceBackupQuestions.empty());
    }
}

} // namespace
