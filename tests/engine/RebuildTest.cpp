#include "engine/Rebuild.h"

#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

using Status = RebuildOutcome::Status;

PatchItem Item(std::uint32_t offset, const char* oldHex, const char* newHex, int enabled = 1,
               const char* description = "item") {
    return PatchItem{offset, description, oldHex, newHex, enabled};
}

const std::string kUntouched = "target before the rebuild";

struct Scenario {
    const char* name;
    std::string backup;
    std::vector<PatchItem> items;
    Status status;
    std::string target; // expected target contents afterwards
    std::string text = "";
};

TEST(RebuildTarget, Scenarios) {
    const std::string b = "0123456789"; // 30 31 ... 39
    const Scenario scenarios[] = {
        {"no items", b, {}, Status::Ok, b},
        {"only disabled items", b, {Item(0, "zz", "41", 0), Item(99, "", "41", 0)}, Status::Ok, b},
        {"applied", b, {Item(2, "32 33", "41 42")}, Status::Ok, "01AB456789"},
        {"empty old data not compared", b, {Item(0, "", "5A")}, Status::Ok, "Z123456789"},
        {"empty new data changes nothing", b, {Item(9, "39", "")}, Status::Ok, b},
        {"ends exactly at the end", b, {Item(8, "3839", "4142")}, Status::Ok, "01234567AB"},
        {"one byte past the end",
         b,
         {Item(9, "39", "4142", 1, "past")},
         Status::OutOfRange,
         kUntouched,
         "past\r\n文件范围超出!"},
        {"old longer than new",
         b,
         {Item(9, "3900", "41", 1, "long old")},
         Status::OutOfRange,
         kUntouched,
         "long old\r\n文件范围超出!"},
        {"offset at the top of 32 bits",
         b,
         {Item(0xFFFFFFFFu, "", "41", 1, "top")},
         Status::OutOfRange,
         kUntouched,
         "top\r\n文件范围超出!"},
        {"old data differs",
         b,
         {Item(0, "31", "41", 1, "描述")},
         Status::OldDataMismatch,
         kUntouched,
         "描述\r\n原始数据不匹配!"},
        {"first fails, second not applied",
         b,
         {Item(0, "FF", "41", 1, "first"), Item(1, "", "42", 1, "second")},
         Status::OldDataMismatch,
         kUntouched,
         "first\r\n原始数据不匹配!"},
        {"second fails after first applied in memory",
         b,
         {Item(0, "30", "41"), Item(20, "", "42", 1, "second")},
         Status::OutOfRange,
         kUntouched,
         "second\r\n文件范围超出!"},
        {"overlap sees the earlier new data",
         b,
         {Item(1, "3132", "AAAA"), Item(2, "AA", "BB")},
         Status::Ok,
         "0\xAA\xBB"
         "3456789"},
        {"overlap with the original bytes fails",
         b,
         {Item(1, "3132", "AAAA"), Item(2, "32", "BB", 1, "late")},
         Status::OldDataMismatch,
         kUntouched,
         "late\r\n原始数据不匹配!"},
        {"empty backup", "", {}, Status::BackupUnreadable, kUntouched, " 无法访问选择的文件! "},
    };
    for (const Scenario& s : scenarios) {
        TempDir dir;
        WriteBytes(dir.File("backup"), s.backup);
        WriteBytes(dir.File("target"), kUntouched);
        const RebuildOutcome outcome =
            RebuildTarget(dir.File("backup"), s.items, dir.File("target"));
        EXPECT_EQ(outcome.status, s.status) << s.name;
        EXPECT_EQ(outcome.text, s.text) << s.name;
        EXPECT_EQ(ReadBytes(dir.File("target")), s.target) << s.name;
        EXPECT_EQ(ReadBytes(dir.File("backup")), s.backup) << s.name; // never written
        if (!outcome.ok()) {
            const bool item = s.status == Status::OutOfRange || s.status == Status::OldDataMismatch;
            EXPECT_EQ(outcome.caption, item ? "Error" : "错误") << s.name;
        }
    }
}

TEST(RebuildTarget, LongDescriptionIsKeptWhole) {
    TempDir dir;
    WriteBytes(dir.File("backup"), "abc");
    const std::string description(10000, 'd');
    PatchItem item = Item(3, "", "00");
    item.description = description;
    const std::vector<PatchItem> items{item};
    const RebuildOutcome outcome = RebuildTarget(dir.File("backup"), items, dir.File("target"));
    EXPECT_EQ(outcome.text, description + "\r\n文件范围超出!");
}

TEST(RebuildTarget, MissingBackupAndUnwritableTarget) {
    TempDir dir;
    EXPECT_EQ(RebuildTarget(dir.File("none"), {}, dir.File("target")).status,
              Status::BackupUnreadable);
    WriteBytes(dir.File("backup"), "abc");
    const RebuildOutcome outcome = RebuildTarget(dir.File("backup"), {}, dir.path());
    EXPECT_EQ(outcome.status, Status::WriteFailed);
    EXPECT_EQ(outcome.text, " 无法写入输出文件! ");
    EXPECT_EQ(outcome.caption, "错误");
}

// Only part of the file reaches the disk: that is a failure, not a success.
TEST(RebuildTarget, ShortWriteIsAFailure) {
    TempDir dir;
    WriteBytes(dir.File("backup"), std::string(5000, 'b'));
    RebuildOutcome outcome;
    {
        FileSizeLimit limit(4096);
        ASSERT_TRUE(limit.active());
        outcome = RebuildTarget(dir.File("backup"), {}, dir.File("target"));
    }
    EXPECT_EQ(outcome.status, Status::WriteFailed);
}

TEST(MakeBackupPath, FileNameGoesIntoPathBak) {
    TempDir dir;
    struct Case {
        std::string target;
        std::string name;
    } cases[] = {
        {"/home/u/game.exe", "game.exe"}, {"C:\\games\\game.exe", "game.exe"},
        {"a\\b/c.bin", "c.bin"},          {"a/b\\c.bin", "c.bin"},
        {"plain.dat", "plain.dat"},       {"", ""},
    };
    for (const Case& c : cases) {
        std::string backup = "old";
        EXPECT_TRUE(MakeBackupPath(dir.path(), c.target, &backup)) << c.target;
        EXPECT_EQ(backup, dir.path() + "/Path_bak/" + c.name) << c.target;
    }
    struct stat st;
    ASSERT_EQ(::stat(dir.File("Path_bak").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    // With no target the backup path is the folder, which does not load as a file.
    std::string folder;
    MakeBackupPath(dir.path(), "", &folder);
    EXPECT_EQ(RebuildTarget(folder, {}, dir.File("t")).status, Status::BackupUnreadable);
}

TEST(MakeBackupPath, RefusesPathsOf520BytesOrMore) {
    TempDir dir;
    const std::string folder = dir.path() + "/Path_bak/";
    std::string backup = "old";
    const std::string fits(519 - folder.size(), 'n');
    EXPECT_TRUE(MakeBackupPath(dir.path(), "/x/" + fits, &backup));
    EXPECT_EQ(backup.size(), 519u);
    EXPECT_FALSE(MakeBackupPath(dir.path(), "/x/" + fits + "n", &backup));
    EXPECT_EQ(backup, "");
}

} // namespace
