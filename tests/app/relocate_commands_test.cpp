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
    WriteBytes(target_, v2);
    prompts_.chooser.push_back(target_);
    // The items no longer fit the new version: the user takes it as the
    // backup all the same, to relocate them.
    prompts_.replaceBackupAnswers.push_back(true);
    Click(CBytemenderDlg::IDC_FILE);
    EXPECT_EQ(prompts_.replaceBackupQuestions.size(), 1u);
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

} // namespace
