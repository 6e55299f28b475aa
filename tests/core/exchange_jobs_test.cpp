// Import, export and diff on a session's list, on real files: what joins the
// list and the settings file, and that a refusal changes neither.
#include "tests/support/TestFiles.h"

#include "core/PatchExchangeJobs.h"
#include "core/PatchSession.h"
#include "engine/Progress.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Status = ExchangeOutcome::Status;

std::string Dif(const std::string& lines) {
    return "This difference file was created by IDA\r\n\r\ngame.bin\r\n" + lines;
}

// A session whose target game.bin (256 bytes, byte i is i) is chosen, with
// two items: 0x10 enabled and 0x40 disabled.
class ExchangeJobsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(dir_.path().empty());
        for (int i = 0; i < 256; ++i)
            original_.push_back(static_cast<char>(i));
        WriteBytes(target_, original_);
        session_.Open(settings_);
        ASSERT_TRUE(session_.ChooseTarget(target_).ok());
        session_.Items() = {{0x10, "mine", "10", "AA", 1}, {0x40, "off", "40", "BB", 0}};
        ASSERT_TRUE(session_.SaveList().ok());
    }
    std::vector<std::uint32_t> Offsets() const {
        std::vector<std::uint32_t> offsets;
        for (const PatchItem& item : session_.Items())
            offsets.push_back(item.offset);
        return offsets;
    }

    TempDir dir_;
    std::string original_;
    std::string target_ = dir_.File("game.bin");
    std::string settings_ = dir_.File("list.ini");
    PatchSession session_;
};

TEST_F(ExchangeJobsTest, ImportAddsEnabledItemsInOffsetOrderAndSaves) {
    const std::string patch = dir_.File("p.dif");
    WriteBytes(patch, Dif("00000020: 20 01\r\n00000021: 21 02\r\n00000010: 10 CC\r\n"
                          "00000008: 08 FF\r\n"));
    const ExchangeOutcome outcome = ImportIntoSession(session_, patch);
    ASSERT_TRUE(outcome.ok()) << outcome.text;
    EXPECT_EQ(outcome.count, 3u);
    EXPECT_EQ(outcome.format, PatchFormat::IdaDif);
    // The imported 0x10 comes after the one already at 0x10.
    const PatchList expected{{0x08, "p.dif #1", "08", "FF", 1},
                             {0x10, "mine", "10", "AA", 1},
                             {0x10, "p.dif #2", "10", "CC", 1},
                             {0x20, "p.dif #3", "20 21", "01 02", 1},
                             {0x40, "off", "40", "BB", 0}};
    EXPECT_EQ(session_.Items(), expected);
    PatchSession reopened;
    reopened.Open(settings_);
    EXPECT_EQ(reopened.Items(), expected);

    // A list that cannot be saved keeps the new items in memory and says so.
    const std::string saved = ReadBytes(settings_);
    WriteBytes(patch, Dif("00000030: 30 00\r\n"));
    {
        FileSizeLimit limit(64);
        const ExchangeOutcome notSaved = ImportIntoSession(session_, patch);
        EXPECT_EQ(notSaved.status, Status::NotSaved);
        EXPECT_NE(notSaved.text.find(" 无法将列表写入设置文件! "), std::string::npos);
    }
    EXPECT_EQ(session_.Items().size(), 6u);
    EXPECT_EQ(ReadBytes(settings_), saved);
}

// An item the list holds already (the same offset and bytes, however typed)
// is not added again; the window is told how many were skipped.
TEST_F(ExchangeJobsTest, ImportSkipsItemsTheListHolds) {
    session_.Items()[0].newHex = "aa";
    const std::string patch = dir_.File("p.dif");
    WriteBytes(patch, Dif("00000010: 10 AA\r\n00000040: 40 BB\r\n00000050: 50 CC\r\n"));
    ExchangeOutcome outcome = ImportIntoSession(session_, patch);
    EXPECT_EQ(outcome.count, 1u);
    EXPECT_EQ(outcome.skipped, 2u);
    EXPECT_EQ(outcome.text, " 已导入 1 个项目; 跳过了列表中已有的 2 个相同项目. ");
    EXPECT_EQ(Offsets(), (std::vector<std::uint32_t>{0x10, 0x40, 0x50}));
    outcome = ImportIntoSession(session_, patch);
    EXPECT_EQ(outcome.count, 0u);
    EXPECT_EQ(outcome.text, " 补丁文件中的 3 个项目都已在列表中, 列表未改变. ");
    EXPECT_EQ(Offsets(), (std::vector<std::uint32_t>{0x10, 0x40, 0x50}));
}

// All or nothing: a patch that fails at its second line adds nothing.
TEST_F(ExchangeJobsTest, RefusedImportChangesNothing) {
    const std::string patch = dir_.File("b.dif");
    WriteBytes(patch, Dif("00000020: 20 01\r\n00000021: 99 02\r\n"));
    const PatchList before = session_.Items();
    const std::string saved = ReadBytes(settings_);
    const ExchangeOutcome outcome = ImportIntoSession(session_, patch);
    EXPECT_EQ(outcome.status, Status::Refused);
    EXPECT_EQ(outcome.problem, ExchangeProblem::Mismatch);
    EXPECT_EQ(outcome.text,
              " 无法导入补丁文件! \nb.dif: 第 5 行: 偏移 0x00000021 处的原始数据在补丁中是 99, "
              "在备份文件中却是 21\n列表未改变.");
    EXPECT_EQ(outcome.caption, "错误");
    EXPECT_EQ(session_.Items(), before);
    EXPECT_EQ(ReadBytes(settings_), saved);
}

// Only the enabled items; nothing at all when none is, or when the file
// chosen is the backup copy.
TEST_F(ExchangeJobsTest, ExportWritesTheEnabledItemsOrNothing) {
    const std::string out = dir_.File("out.ips");
    ASSERT_TRUE(ExportFromSession(session_, out, PatchFormat::Ips, false).ok());
    EXPECT_EQ(ReadBytes(out), "PATCH" + Bytes({0, 0, 0x10, 0, 1, 0xAA}) + "EOF");
    fs::remove(out);
    EXPECT_EQ(ExportFromSession(session_, session_.BackupPath(), PatchFormat::Ips, false).status,
              Status::ListFile);
    EXPECT_EQ(ReadBytes(session_.BackupPath()), original_);
    session_.Items()[0].enabled = 0;
    EXPECT_EQ(ExportFromSession(session_, out, PatchFormat::Ips, false).status,
              Status::NothingToExport);
    EXPECT_FALSE(fs::exists(out));
}

TEST_F(ExchangeJobsTest, DiffAddsOneItemPerRunAndAsksAboutLengths) {
    std::string patched = original_;
    patched[0x20] = 1;
    patched[0x21] = 2;
    patched[0x30] = 3;
    patched[0x50] = 4;
    patched[0x55] = 5; // four equal bytes apart: one run with 0x50
    const std::string file = dir_.File("patched.bin");
    WriteBytes(file, patched);
    ExchangeOutcome outcome = DiffIntoSession(session_, session_.BackupPath(), file, nullptr);
    ASSERT_TRUE(outcome.ok()) << outcome.text;
    EXPECT_EQ(outcome.count, 3u);
    EXPECT_EQ(Offsets(), (std::vector<std::uint32_t>{0x10, 0x20, 0x30, 0x40, 0x50}));
    EXPECT_EQ(session_.Items()[4],
              (PatchItem{0x50, "patched.bin #3", "50 51 52 53 54 55", "04 51 52 53 54 05", 1}));
    PatchSession reopened;
    reopened.Open(settings_);
    EXPECT_EQ(reopened.Items(), session_.Items());

    // Different lengths: only when the user agrees, and then as far as both go.
    WriteBytes(file, patched.substr(0, 0x40));
    const PatchList before = session_.Items();
    std::vector<std::uint64_t> asked;
    for (const bool agree : {false, true}) {
        outcome = DiffIntoSession(session_, session_.BackupPath(), file,
                                  [&](std::uint64_t a, std::uint64_t b) {
                                      asked = {a, b};
                                      return agree;
                                  });
        EXPECT_EQ(asked, (std::vector<std::uint64_t>{256, 0x40}));
        EXPECT_EQ(outcome.status, agree ? Status::Ok : Status::Cancelled);
        EXPECT_EQ(outcome.text, "");
        EXPECT_EQ(session_.Items().size(), before.size() + (agree ? 2 : 0));
    }
}

// Every step the window runs off its thread, cancelled through the thread's
// Progress: the list in memory, the settings file, the target, its backup
// and every other file stay as they were, and the step says Cancelled. The
// list holds a flag changed in memory only, which a cancelled "保存" must not
// leave in the file although it saves the list before it rebuilds.
struct CancelledStep {
    const char* name;
    std::function<bool(PatchSession&, const TempDir&)> run; // true: said Cancelled
    friend void PrintTo(const CancelledStep& step, std::ostream* os) { *os << step.name; }
};

class CancelledStepTest : public ExchangeJobsTest,
                          public ::testing::WithParamInterface<CancelledStep> {};

TEST_P(CancelledStepTest, ChangesNothing) {
    const std::string patched = dir_.File("patched.bin");
    std::string changed = original_;
    changed[0x30] = 'x';
    WriteBytes(patched, changed);
    WriteBytes(dir_.File("p.dif"), Dif("00000030: 30 01\r\n"));
    session_.Items()[1].enabled = 1;
    const PatchList items = session_.Items();
    const auto snapshot = [&] {
        std::map<std::string, std::string> files;
        for (const std::string& folder : {dir_.path(), dir_.File("Path_bak")})
            for (const auto& entry : fs::directory_iterator(folder))
                if (entry.is_regular_file())
                    files[entry.path().string()] = ReadBytes(entry.path().string());
        return files;
    };
    const auto before = snapshot();
    Progress progress;
    progress.Cancel();
    {
        const ProgressScope scope(&progress);
        EXPECT_TRUE(GetParam().run(session_, dir_));
    }
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(session_.Items(), items);
    EXPECT_EQ(session_.TargetPath(), target_);
    // The next step sees the file as it is, the flag changed in memory kept.
    ASSERT_TRUE(session_.Apply(nullptr).ok());
    EXPECT_EQ(ReadBytes(target_).substr(0x40, 1), "\xBB");
}

const CancelledStep kCancelledSteps[] = {
    {"Save",
     [](PatchSession& session, const TempDir&) {
         return session.Apply(nullptr).status == SessionOutcome::Status::Cancelled;
     }},
    {"ChooseTarget",
     [](PatchSession& session, const TempDir& dir) {
         return session.ChooseTarget(dir.File("patched.bin")).status ==
                SessionOutcome::Status::Cancelled;
     }},
    {"Import",
     [](PatchSession& session, const TempDir& dir) {
         return ImportIntoSession(session, dir.File("p.dif")).status == Status::Cancelled;
     }},
    {"Export",
     [](PatchSession& session, const TempDir& dir) {
         return ExportFromSession(session, dir.File("out.ips"), PatchFormat::Ips, false).status ==
                Status::Cancelled;
     }},
    {"Diff",
     [](PatchSession& session, const TempDir& dir) {
         return DiffIntoSession(session, dir.File("game.bin"), dir.File("patched.bin"), nullptr)
                    .status == Status::Cancelled;
     }},
};

INSTANTIATE_TEST_SUITE_P(Steps, CancelledStepTest, ::testing::ValuesIn(kCancelledSteps),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
