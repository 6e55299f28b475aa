// The window's long steps on real files: a step the user cancels leaves the
// settings file, the backup folder, the target and every other file as they
// were, and the same step run to its end does its work. The steps are
// cancelled as they start (through the long step observer): the rebuild and
// the backup copy stop before their first block, after "保存" has saved the
// list, which must then be put back.
#include "MainWindowFixture.h"

#include "editor/LongStep.h"
#include "engine/Progress.h"

#include <QLineEdit>

#include <fstream>
#include <map>

namespace {

namespace fs = std::filesystem;

// Large enough for a visible step on a slow disk, small enough for a test:
// the steps are cancelled as they start, whatever the size.
constexpr std::size_t kLargeSize = std::size_t(8) << 20;
// Where the items and the patches below expect a zero byte.
constexpr std::uint32_t kZeroBytes[] = {0x10, 0x20, 0x30, 0x400000};

// A large file of varied bytes (so that every item gets its signature
// quickly), zero at kZeroBytes.
std::string LargeFile(const TempDir& temp, const std::string& name) {
    std::string bytes(kLargeSize, '\0');
    std::uint32_t state = 12345;
    for (char& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 24);
    }
    for (const std::uint32_t at : kZeroBytes)
        bytes[at] = 0;
    const std::string path = temp.File(name);
    WriteBytes(path, bytes);
    return path;
}

// Every file of these folders, and the one file, by path: a hash of their
// bytes (a failure prints no file of megabytes).
using Snapshot = std::map<std::string, std::size_t>;
Snapshot TakeSnapshot(const std::vector<std::string>& folders, const std::string& file) {
    Snapshot files;
    for (const std::string& folder : folders) {
        std::error_code ignored;
        for (const auto& entry : fs::directory_iterator(folder, ignored))
            files[entry.path().string()] =
                std::hash<std::string>()(ReadBytes(entry.path().string()));
    }
    if (fs::exists(file))
        files[file] = std::hash<std::string>()(ReadBytes(file));
    return files;
}

struct StepCase {
    const char* name;
    // Makes the files the command reads (before the files are looked at).
    std::function<void(const TempDir&)> prepare;
    // Scripts the prompts and starts the command.
    std::function<void(CBytemenderDlg&, ScriptedPrompts&, const TempDir&)> start;
    // What the command did when it ran to its end.
    std::function<void(CBytemenderDlg&, const TempDir&)> done;
    friend void PrintTo(const StepCase& step, std::ostream* os) { *os << step.name; }
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

    GetParam().prepare(temp_);
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
    {"Save", [](const TempDir&) {},
     [](CBytemenderDlg& dlg, ScriptedPrompts&, const TempDir&) {
         QTest::mouseClick(dlg.Button(CBytemenderDlg::IDC_SAVE), Qt::LeftButton);
     },
     [](CBytemenderDlg& dlg, const TempDir&) {
         EXPECT_EQ(ByteAt(dlg.TargetPath(), 0x10), 1);
         EXPECT_EQ(ByteAt(dlg.TargetPath(), 0x20), 1);
         EXPECT_EQ(fs::file_size(dlg.TargetPath()), kLargeSize);
     }},
    {"ChooseTarget", [](const TempDir& temp) { LargeFile(temp, "other.bin"); },
     [](CBytemenderDlg& dlg, ScriptedPrompts& prompts, const TempDir& temp) {
         prompts.chooser.push_back(temp.File("other.bin"));
         QTest::mouseClick(dlg.Button(CBytemenderDlg::IDC_FILE), Qt::LeftButton);
     },
     [](CBytemenderDlg& dlg, const TempDir& temp) {
         EXPECT_EQ(dlg.TargetPath(), temp.File("other.bin"));
         EXPECT_EQ(fs::file_size(dlg.BackupPath()), kLargeSize);
     }},
    {"Import",
     [](const TempDir& temp) {
         WriteBytes(temp.File("change.ips"),
                    Bytes({'P', 'A', 'T', 'C', 'H', 0, 0, 0x30, 0, 1, 5, 'E', 'O', 'F'}));
     },
     [](CBytemenderDlg& dlg, ScriptedPrompts& prompts, const TempDir& temp) {
         prompts.chooser.push_back(temp.File("change.ips"));
         dlg.OnImport();
     },
     [](CBytemenderDlg& dlg, const TempDir&) {
         ASSERT_EQ(dlg.Items().size(), 3u);
         EXPECT_EQ(dlg.Items()[2].offset, 0x30u);
         EXPECT_EQ(dlg.Items()[2].newHex, "05");
     }},
    {"Export", [](const TempDir&) {},
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
     [](const TempDir& temp) {
         std::fstream out(LargeFile(temp, "patched.bin"),
                          std::ios::binary | std::ios::in | std::ios::out);
         out.seekp(kZeroBytes[3]);
         out.put(7);
     },
     [](CBytemenderDlg& dlg, ScriptedPrompts& prompts, const TempDir& temp) {
         prompts.chooser.push_back(dlg.BackupPath());
         prompts.chooser.push_back(temp.File("patched.bin"));
         dlg.OnDiffFiles();
     },
     [](CBytemenderDlg& dlg, const TempDir&) {
         ASSERT_EQ(dlg.Items().size(), 3u);
         EXPECT_EQ(dlg.Items()[2].offset, kZeroBytes[3]);
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
        const auto box = [&](int id) { return qobject_cast<QLineEdit*>(GetDlgItem(&dlg, id)); };
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
    EXPECT_TRUE(prompts_.messages.empty()) << prompts_.messages.front().text;
    EXPECT_EQ(offsets, (std::vector<std::string>{"kept", "00000002"}));
}

} // namespace
