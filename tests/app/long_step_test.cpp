// The window's long steps on real files: a step the user cancels leaves the
// settings file, the backup folder, the target and every other file as they
// were, and the same step run to its end does its work. The steps are
// cancelled as they start (through the long step observer), on a target of
// a few copy blocks, so that the rebuild and the backup copy stop with a
// temporary file written and dropped.
#include "MainWindowFixture.h"

#include "editor/LongStep.h"
#include "engine/Progress.h"

#include <QLineEdit>

#include <fstream>
#include <map>

namespace {

namespace fs = std::filesystem;

// Larger than one copy block of the rebuild: the copy is cut between blocks.
constexpr std::uintmax_t kLargeSize = std::uintmax_t(96) << 20;

// A large file of zero bytes (sparse where the file system allows).
std::string LargeFile(const TempDir& temp, const std::string& name) {
    const std::string path = temp.File(name);
    WriteBytes(path, "");
    fs::resize_file(path, kLargeSize);
    return path;
}

// Every file of these folders, and the one file, by path: their bytes.
using Snapshot = std::map<std::string, std::string>;
Snapshot TakeSnapshot(const std::vector<std::string>& folders, const std::string& file) {
    Snapshot files;
    for (const std::string& folder : folders) {
        std::error_code ignored;
        for (const auto& entry : fs::directory_iterator(folder, ignored))
            files[entry.path().string()] = ReadBytes(entry.path().string());
    }
    if (fs::exists(file))
        files[file] = ReadBytes(file);
    return files;
}

struct StepCase {
    const char* name;
    // Scripts the prompts and starts the command.
    std::function<void(CBytemenderDlg&, ScriptedPrompts&, const TempDir&)> start;
    // What the command did when it ran to its end.
    std::function<void(CBytemenderDlg&, const TempDir&)> done;
};

std::string PrintName(const ::testing::TestParamInfo<StepCase>& info) {
    return info.param.name;
}

class LongStepTest : public MainWindowTest, public ::testing::WithParamInterface<StepCase> {
  protected:
    void TearDown() override {
        SetLongStepObserver({});
        MainWindowTest::TearDown();
    }
};

TEST_P(LongStepTest, CancelledStepLeavesEveryFileAsItWasAndTheStepWorksAfterwards) {
    const std::string target = LargeFile(temp_, "large.bin");
    CBytemenderDlg& dlg = OpenShown();
    prompts_.chooser.push_back(target);
    Click(CBytemenderDlg::IDC_FILE);
    ASSERT_EQ(dlg.TargetPath(), target);
    dlg.Items() = Items(2); // item 1 (0x20) enabled
    ASSERT_TRUE(dlg.SavePatchList());
    dlg.RefreshList();
    // A flag changed in memory only: a cancelled "保存" must not save it.
    Select({0});
    Click(CBytemenderDlg::IDOK_);
    const std::vector<int> flags = Flags();
    ASSERT_EQ(flags, (std::vector<int>{1, 1}));

    const Snapshot before = TakeSnapshot({temp_.path(), backupDir_}, settingsFile_);
    int started = 0;
    SetLongStepObserver([&](Progress& progress) {
        ++started;
        progress.Cancel();
    });
    GetParam().start(dlg, prompts_, temp_);
    EXPECT_EQ(started, 1);
    EXPECT_EQ(TakeSnapshot({temp_.path(), backupDir_}, settingsFile_), before);
    EXPECT_EQ(dlg.TargetPath(), target);
    EXPECT_EQ(dlg.Items().size(), 2u);
    EXPECT_EQ(Flags(), flags);
    EXPECT_EQ(dlg.Model()->rowCount(), 2);
    EXPECT_TRUE(prompts_.messages.empty());
    EXPECT_TRUE(prompts_.notices.empty());
    EXPECT_FALSE(dlg.StatusLine()->text().isEmpty());
    EXPECT_FALSE(LongStepRunning(&dlg));

    SetLongStepObserver({});
    GetParam().start(dlg, prompts_, temp_);
    EXPECT_TRUE(prompts_.messages.empty());
    GetParam().done(dlg, temp_);
}

// One byte of a file.
char ByteAt(const std::string& path, std::uint64_t offset) {
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    return static_cast<char>(in.get());
}

const StepCase kSteps[] = {
    {"Save",
     [](CBytemenderDlg& dlg, ScriptedPrompts&, const TempDir&) {
         QTest::mouseClick(dlg.Button(CBytemenderDlg::IDC_SAVE), Qt::LeftButton);
     },
     [](CBytemenderDlg& dlg, const TempDir&) {
         EXPECT_EQ(ByteAt(dlg.TargetPath(), 0x10), 1);
         EXPECT_EQ(ByteAt(dlg.TargetPath(), 0x20), 1);
         EXPECT_EQ(fs::file_size(dlg.TargetPath()), kLargeSize);
     }},
    {"ChooseTarget",
     [](CBytemenderDlg& dlg, ScriptedPrompts& prompts, const TempDir& temp) {
         const std::string other = temp.File("other.bin");
         if (!fs::exists(other))
             LargeFile(temp, "other.bin");
         prompts.chooser.push_back(other);
         QTest::mouseClick(dlg.Button(CBytemenderDlg::IDC_FILE), Qt::LeftButton);
     },
     [](CBytemenderDlg& dlg, const TempDir& temp) {
         EXPECT_EQ(dlg.TargetPath(), temp.File("other.bin"));
         EXPECT_EQ(fs::file_size(dlg.BackupPath()), kLargeSize);
     }},
    {"Import",
     [](CBytemenderDlg& dlg, ScriptedPrompts& prompts, const TempDir& temp) {
         const std::string patch = temp.File("change.ips");
         WriteBytes(patch, Bytes({'P', 'A', 'T', 'C', 'H', 0, 0, 0x30, 0, 1, 5, 'E', 'O', 'F'}));
         prompts.chooser.push_back(patch);
         dlg.OnImport();
     },
     [](CBytemenderDlg& dlg, const TempDir&) {
         ASSERT_EQ(dlg.Items().size(), 3u);
         EXPECT_EQ(dlg.Items()[2].offset, 0x30u);
         EXPECT_EQ(dlg.Items()[2].newHex, "05");
     }},
    {"Export",
     [](CBytemenderDlg& dlg, ScriptedPrompts& prompts, const TempDir& temp) {
         prompts.saveChooser.push_back(std::make_pair(temp.File("out.ips"), PatchFormat::Ips));
         dlg.OnExport();
     },
     [](CBytemenderDlg&, const TempDir& temp) {
         EXPECT_EQ(ReadBytes(temp.File("out.ips")),
                   Bytes({'P', 'A', 'T', 'C',  'H', 0, 0, 0x10, 0,   1,
                          1,   0,   0,   0x20, 0,   1, 1, 'E',  'O', 'F'}));
     }},
    {"Diff",
     [](CBytemenderDlg& dlg, ScriptedPrompts& prompts, const TempDir& temp) {
         const std::string patched = temp.File("patched.bin");
         if (!fs::exists(patched)) {
             LargeFile(temp, "patched.bin");
             std::fstream out(patched, std::ios::binary | std::ios::in | std::ios::out);
             out.seekp(0x4000000);
             out.put(7);
         }
         prompts.chooser.push_back(dlg.BackupPath());
         prompts.chooser.push_back(patched);
         dlg.OnDiffFiles();
     },
     [](CBytemenderDlg& dlg, const TempDir&) {
         ASSERT_EQ(dlg.Items().size(), 3u);
         EXPECT_EQ(dlg.Items()[2].offset, 0x4000000u);
         EXPECT_EQ(dlg.Items()[2].newHex, "07");
     }},
};

INSTANTIATE_TEST_SUITE_P(Steps, LongStepTest, ::testing::ValuesIn(kSteps), PrintName);

// The item editor's search of the backup: cancelled, the offset box keeps
// its text; run to its end, it shows where the bytes are.
TEST_F(MainWindowTest, CancelledSearchLeavesTheOffsetBox) {
    const std::string target = temp_.File("small.bin");
    WriteBytes(target, Bytes({0, 0, 0xAB, 0xCD, 0}));
    OpenShown();
    prompts_.chooser.push_back(target);
    Click(CBytemenderDlg::IDC_FILE);
    std::vector<std::string> offsets;
    prompts_.editor = [&](CItemEditDlg& dlg) {
        dlg.show();
        auto* box = [&](int id) { return qobject_cast<QLineEdit*>(GetDlgItem(&dlg, id)); };
        box(CItemEditDlg::IDC_OLDDATA)->setText("AB CD");
        box(CItemEditDlg::IDC_OFFSET)->setText("kept");
        auto* search = qobject_cast<QPushButton*>(GetDlgItem(&dlg, CItemEditDlg::IDC_SEARCH));
        SetLongStepObserver([](Progress& progress) { progress.Cancel(); });
        QTest::mouseClick(search, Qt::LeftButton);
        offsets.push_back(box(CItemEditDlg::IDC_OFFSET)->text().toStdString());
        SetLongStepObserver({});
        QTest::mouseClick(search, Qt::LeftButton);
        offsets.push_back(box(CItemEditDlg::IDC_OFFSET)->text().toStdString());
        dlg.reject();
        return CItemEditDlg::kResultCancel;
    };
    Click(CBytemenderDlg::IDC_ADD);
    SetLongStepObserver({});
    EXPECT_EQ(offsets, (std::vector<std::string>{"kept", "00000002"}));
}

} // namespace
