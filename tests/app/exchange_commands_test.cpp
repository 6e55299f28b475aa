// The window's "导入...", "导出..." and "比较文件..." through scripted prompts on
// real files, and the Qt dialogs behind those prompts, made without running
// them.
#include "MainWindowFixture.h"

#include "app/ExchangePrompts.h"

#include <QAction>
#include <QFileDialog>

namespace {

using Message = ScriptedPrompts::Message;

class ExchangeCommandsTest : public MainWindowTest {
  protected:
    // The target data.bin (64 bytes, byte i is i) chosen with "文件".
    CBytemenderDlg& OpenWithTarget() {
        CBytemenderDlg& dlg = OpenShown();
        for (int i = 0; i < 64; ++i)
            original_.push_back(static_cast<char>(i));
        WriteBytes(target_, original_);
        prompts_.chooser.push_back(target_);
        Click(CBytemenderDlg::IDC_FILE);
        prompts_.chooserStarts.clear();
        return dlg;
    }
    void Trigger(int entry) { window_->ExchangeActions().at(entry)->trigger(); }

    std::string original_;
    std::string target_ = temp_.File("data.bin");
};

TEST_F(ExchangeCommandsTest, ImportExportAndDiffThroughTheMenu) {
    CBytemenderDlg& dlg = OpenWithTarget();
    // "重新定位...", the three entries, then a separator and the About entry.
    const QList<QAction*> actions = dlg.actions();
    ASSERT_EQ(actions.size(), 6);
    EXPECT_EQ(actions.mid(1, 3), dlg.ExchangeActions());
    EXPECT_EQ(actions[3]->text(), "比较文件(&D)...");
    EXPECT_TRUE(actions[4]->isSeparator());

    const std::string dif = temp_.File("p.dif");
    WriteBytes(dif, "This difference file was created by IDA\n\ndata.bin\n"
                    "00000020: 20 01\n00000021: 21 02\n");
    prompts_.chooser.push_back(dif);
    Trigger(0);
    EXPECT_EQ(prompts_.chooserPurposes, std::vector<ExchangeFile>{ExchangeFile::PatchToImport});
    EXPECT_EQ(prompts_.chooserStarts, std::vector<std::string>{temp_.path()});
    ASSERT_EQ(dlg.Items(), (PatchList{{0x20, "p.dif #1", "20 21", "01 02", 1}}));
    // Each success is told in the status line: how many items, which file.
    const auto status = [&] { return dlg.StatusLine()->toolTip().toStdString(); };
    EXPECT_EQ(status(), "已从 " + dif + " 导入 1 个项目");
    EXPECT_TRUE(SettingsHave("PathList\\0000\\Descrip = p.dif #1"));
    EXPECT_EQ(Cell(0, PatchListModel::StateColumn), "! 原样"); // enabled, not yet applied

    const std::string haxdiff = temp_.File("out.haxdiff");
    prompts_.saveChooser.push_back(std::pair{haxdiff, PatchFormat::HaxDiff});
    Trigger(1);
    ASSERT_EQ(prompts_.saveChooserStarts.size(), 1u);
    EXPECT_EQ(prompts_.saveChooserStarts[0], std::pair(temp_.File("data.ips"), PatchFormat::Ips));
    EXPECT_NE(ReadBytes(haxdiff).find("@@ 20,-2,+2"), std::string::npos) << ReadBytes(haxdiff);
    EXPECT_EQ(status(), "已导出 1 个项目到 " + haxdiff);

    // The backup and the target are offered; one item per run joins the list.
    std::string patched = original_;
    patched[0x08] = 'x';
    WriteBytes(target_, patched);
    prompts_.chooser.push_back(dlg.BackupPath());
    prompts_.chooser.push_back(target_);
    Trigger(2);
    EXPECT_EQ(prompts_.chooserStarts,
              (std::vector<std::string>{temp_.path(), dlg.BackupPath(), target_}));
    EXPECT_EQ(Offsets(), (std::vector<std::uint32_t>{0x08, 0x20}));
    EXPECT_EQ(dlg.Model()->rowCount(), 2);
    EXPECT_EQ(Cell(0, PatchListModel::StateColumn), "已应用");
    EXPECT_EQ(status(), "比较 " + dlg.BackupPath() + " 与 " + target_ + ": 增加了 1 个项目");
    EXPECT_TRUE(prompts_.messages.empty());
}

TEST_F(ExchangeCommandsTest, RefusalsAreToldAndChangeNothing) {
    OpenShown();
    Trigger(0); // no target: no chooser either
    ASSERT_EQ(prompts_.messages.size(), 1u);
    EXPECT_EQ(prompts_.messages[0].caption, "错误");
    EXPECT_TRUE(prompts_.chooserStarts.empty());

    CBytemenderDlg& dlg = OpenWithTarget();
    const std::string bad = temp_.File("bad.ips");
    WriteBytes(bad, "PATCH" + Bytes({0, 0, 0x20, 0, 4, 1}));
    prompts_.chooser.push_back(bad);
    const std::string saved = Settings();
    Trigger(0);
    ASSERT_EQ(prompts_.messages.size(), 2u);
    EXPECT_EQ(prompts_.messages[1].text.rfind(" 无法导入补丁文件! \nbad.ips: 第 1 条记录", 0), 0u)
        << prompts_.messages[1].text;
    EXPECT_TRUE(dlg.Items().empty());
    EXPECT_EQ(Settings(), saved);

    // Identical files: nothing to add, and the status line says so (no box
    // to click away).
    prompts_.chooser.push_back(dlg.BackupPath());
    prompts_.chooser.push_back(target_);
    Trigger(2);
    EXPECT_TRUE(prompts_.notices.empty());
    EXPECT_EQ(dlg.StatusLine()->toolTip().toStdString(), "两个文件的内容相同, 列表未改变.");
}

// The export chooser: the typed name's extension picks the format when it
// names another one; a name without extension gets the filter's.
TEST(ExportChooser, FormatFromFilterAndExtension) {
    TempDir dir;
    const struct {
        const char* typed;
        PatchFormat filter;
        const char* path;
        PatchFormat format;
    } cases[] = {
        {"a", PatchFormat::Ips32, "a.ips", PatchFormat::Ips32},
        {"b.dif", PatchFormat::Ips, "b.dif", PatchFormat::IdaDif},
        {"c.IPS", PatchFormat::Ips32, "c.IPS", PatchFormat::Ips32},
        {"e.txt", PatchFormat::HaxDiff, "e.txt", PatchFormat::HaxDiff},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        const std::unique_ptr<QFileDialog> dialog =
            MakeExportDialog(nullptr, dir.File(c.typed), c.filter);
        std::string path;
        PatchFormat format = PatchFormat::Ips;
        ASSERT_TRUE(ExportChoiceOf(*dialog, &path, &format));
        EXPECT_EQ(path, dir.File(c.path));
        EXPECT_EQ(format, c.format);
    }
}

} // namespace
