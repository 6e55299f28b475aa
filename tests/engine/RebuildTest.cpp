#include "engine/Rebuild.h"

#include "engine/Progress.h"

#include "tests/support/TestFiles.h"

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>

namespace {

using Status = RebuildOutcome::Status;
namespace fs = std::filesystem;

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
    // More than one block of the hash that runs beside the copy, with an item
    // across the border of the first.
    const std::string big = std::string((1 << 20) + 5, 'x');
    const Scenario scenarios[] = {
        {"item across a hashing block",
         big,
         {Item((1 << 20) - 1, "7878", "4142")},
         Status::Ok,
         std::string(big).replace((1 << 20) - 1, 2, "AB")},
        {"no items", b, {}, Status::Ok, b},
        {"only disabled items", b, {Item(0, "zz", "41", 0), Item(99, "", "41", 0)}, Status::Ok, b},
        {"a negative flag is enabled", b, {Item(0, "30", "41", -1)}, Status::Ok, "A123456789"},
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
        {"later items cut and overlay earlier ones",
         b,
         {Item(1, "", "AAAAAAAAAAAA"), Item(3, "AA", "BB"), Item(2, "AABBAA", "CCCCCC"),
          Item(0, "30AA", "DDDD")},
         Status::Ok,
         "\xDD\xDD\xCC\xCC\xCC\xAA\xAA"
         "789"},
    };
    for (const Scenario& s : scenarios) {
        TempDir dir;
        WriteBytes(dir.File("backup"), s.backup);
        WriteBytes(dir.File("target"), kUntouched);
        FileFingerprint written;
        written.size = 99;
        const RebuildOutcome outcome =
            RebuildTarget(dir.File("backup"), s.items, dir.File("target"), &written);
        EXPECT_EQ(outcome.status, s.status) << s.name;
        // What the rebuild says it wrote is what the target holds.
        FileFingerprint expected;
        if (outcome.ok())
            expected = FileFingerprint{s.target.size(), Sha256(s.target.data(), s.target.size())};
        EXPECT_EQ(written, expected) << s.name;
        EXPECT_EQ(outcome.text, s.text) << s.name;
        EXPECT_EQ(ReadBytes(dir.File("target")), s.target) << s.name;
        EXPECT_EQ(ReadBytes(dir.File("backup")), s.backup) << s.name; // never written
        const bool item = s.status == Status::OutOfRange || s.status == Status::OldDataMismatch;
        if (!outcome.ok()) {
            EXPECT_EQ(outcome.caption, item ? "Error" : "错误") << s.name;
        }
        if (item) { // the index names the item the text names
            EXPECT_EQ(s.items.at(outcome.failedItem).description + "\r\n",
                      s.text.substr(0, s.text.find('\n') + 1))
                << s.name;
        }
        // Planning checks alike and, when it passes, holds what the rebuild wrote.
        const RebuildPlan plan = PlanRebuild(dir.File("backup"), s.items);
        EXPECT_EQ(plan.status, s.status) << s.name;
        EXPECT_EQ(plan.failedItem, outcome.failedItem) << s.name;
        std::string planned = s.backup;
        for (const PatchedRun& run : plan.runs)
            planned.replace(run.offset, run.bytes.size(),
                            std::string(run.bytes.begin(), run.bytes.end()));
        if (plan.status == Status::Ok) {
            EXPECT_EQ(planned, s.target) << s.name;
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

// Starts a copy of a program at path and returns once it runs from there.
pid_t RunProgramCopy(const std::string& path) {
    WriteBytes(path, ReadBytes("/bin/sleep"));
    ::chmod(path.c_str(), 0755);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execl(path.c_str(), path.c_str(), "30", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    const std::string exe = "/proc/" + std::to_string(pid) + "/exe";
    std::error_code ignored;
    for (int i = 0; i < 200 && fs::read_symlink(exe, ignored) != path; ++i)
        ::usleep(10000);
    return pid;
}

// What kind of file the backup and the target are. Every row runs in a child
// process with a time limit, so a rebuild that blocks fails instead of hanging.
TEST(RebuildTarget, FileKinds) {
    const std::string backup = "0123456789";
    const std::string patched = "A123456789";
    const std::vector<PatchItem> items{Item(0, "30", "41")};
    pid_t program = -1;
    struct Row {
        const char* name;
        bool unprivileged;
        std::function<std::string(const std::string&)> setup; // returns the target path
        Status status;
        std::function<void(const std::string&)> check;
    } rows[] = {
        {"FIFO backup", false,
         [&](const std::string& d) {
             fs::remove(d + "/backup");
             ::mkfifo((d + "/backup").c_str(), 0666);
             WriteBytes(d + "/target", kUntouched);
             return d + "/target";
         },
         Status::BackupUnreadable,
         [&](const std::string& d) { EXPECT_EQ(ReadBytes(d + "/target"), kUntouched); }},
        {"FIFO target", false,
         [&](const std::string& d) {
             ::mkfifo((d + "/target").c_str(), 0666);
             return d + "/target";
         },
         Status::WriteFailed,
         [&](const std::string& d) { EXPECT_TRUE(fs::is_fifo(d + "/target")); }},
        {"device target", false, NullDeviceIn, Status::WriteFailed,
         [&](const std::string& d) { EXPECT_TRUE(fs::is_character_file(d + "/null")); }},
        {"target is the backup", false, [&](const std::string& d) { return d + "/backup"; },
         Status::WriteFailed, [&](const std::string&) {}},
        {"target is a symbolic link to the backup", false,
         [&](const std::string& d) {
             fs::create_symlink("backup", d + "/target");
             return d + "/target";
         },
         Status::WriteFailed, [&](const std::string&) {}},
        {"target is a hard link to the backup", false,
         [&](const std::string& d) {
             fs::create_hard_link(d + "/backup", d + "/target");
             return d + "/target";
         },
         Status::WriteFailed, [&](const std::string&) {}},
        {"read-only target", true,
         [&](const std::string& d) {
             WriteBytes(d + "/target", kUntouched);
             ::chmod((d + "/target").c_str(), 0444);
             return d + "/target";
         },
         Status::WriteFailed,
         [&](const std::string& d) { EXPECT_EQ(ReadBytes(d + "/target"), kUntouched); }},
        {"symbolic link target stays a link", false,
         [&](const std::string& d) {
             WriteBytes(d + "/real", kUntouched);
             fs::create_symlink("real", d + "/target");
             return d + "/target";
         },
         Status::Ok,
         [&](const std::string& d) {
             EXPECT_TRUE(fs::is_symlink(d + "/target"));
             EXPECT_EQ(ReadBytes(d + "/real"), patched);
         }},
        {"running program", false,
         [&](const std::string& d) {
             program = RunProgramCopy(d + "/target");
             return d + "/target";
         },
         Status::Ok,
         [&](const std::string& d) {
             EXPECT_TRUE(ReadBytes(d + "/target") == patched); // no dump of the program
             ::kill(program, SIGKILL);
             ::waitpid(program, nullptr, 0);
         }},
    };
    for (const Row& row : rows) {
        TempDir dir;
        ::chmod(dir.path().c_str(), 0777); // the unprivileged user works here too
        const std::string d = dir.path();
        WriteBytes(d + "/backup", backup);
        const std::string target = row.setup(d);
        if (target.empty()) {
            std::printf("[ SKIPPED  ] %s: cannot be made here\n", row.name);
            continue;
        }
        const int status = RunInChild(
            row.unprivileged,
            [&] { return static_cast<int>(RebuildTarget(d + "/backup", items, target).status); },
            10);
        EXPECT_EQ(status, static_cast<int>(row.status)) << row.name;
        if (!fs::is_fifo(d + "/backup")) {
            EXPECT_EQ(ReadBytes(d + "/backup"), backup) << row.name;
        }
        row.check(d);
    }
}

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    std::string bytes(in ? static_cast<std::size_t>(in.tellg()) : 0, '\0');
    in.seekg(0);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

// A rebuild killed at any point leaves the target as it was or as the
// rebuild makes it, byte for byte. The child rebuilds from two backups of
// different length and contents in turn and reports each finished rebuild;
// the kill comes after a random time, whose range follows the machine's pace
// so that a kill usually lands within the first or the second rebuild.
TEST(RebuildTarget, KilledAtAnyPointLeavesTheOldOrTheNewTarget) {
    TempDir dir;
    const std::string d = dir.path();
    constexpr std::size_t kSize = std::size_t(16) << 20;
    const std::string backups[2] = {d + "/one", d + "/two"};
    WriteBytes(backups[0], std::string(kSize, '\x11'));
    WriteBytes(backups[1], std::string(kSize + 12345, '\x22'));
    const std::vector<PatchItem> items{Item(0, "", "AABB"), Item(kSize - 1, "", "CC")};
    std::string results[2];
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(RebuildTarget(backups[i], items, d + "/result").ok());
        results[i] = ReadWhole(d + "/result");
    }
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(RebuildTarget(backups[0], items, d + "/target").ok());
    const auto once = std::chrono::steady_clock::now() - start;
    double range = 2.0 * static_cast<double>(
                             std::chrono::duration_cast<std::chrono::microseconds>(once).count());

    std::mt19937 random(20240601);
    int current = 0;
    int finished = 0;
    for (int kill = 0; kill < 20; ++kill) {
        int done[2];
        ASSERT_EQ(::pipe2(done, O_CLOEXEC), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            for (int i = 1 - current;; i = 1 - i) {
                if (RebuildTarget(backups[i], items, d + "/target").ok())
                    (void)::write(done[1], "+", 1);
            }
        }
        ::close(done[1]);
        ::usleep(static_cast<useconds_t>(std::uniform_real_distribution<>(0, range)(random)));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        char reports[64];
        const ssize_t count = ::read(done[0], reports, sizeof reports);
        ::close(done[0]);
        finished += count > 0 ? static_cast<int>(count) : 0;
        range *= count <= 0 ? 1.5 : count >= 2 ? 0.7 : 1.0;

        const std::string now = ReadWhole(d + "/target");
        const int found = now == results[0] ? 0 : now == results[1] ? 1 : -1;
        ASSERT_NE(found, -1) << "torn target after kill " << kill << ": " << now.size() << " bytes";
        current = found;
        for (const auto& entry : fs::directory_iterator(d)) { // what the kill left
            if (entry.path().filename().string().starts_with(".target.bytemender-"))
                fs::remove(entry.path());
        }
    }
    EXPECT_GT(finished, 0); // the kills did not all come before the first rename
}

// The thread's Progress: the bytes copied and hashed are counted, and a
// cancel stops the rebuild or the backup copy only before the new contents
// would take the file's place; then the file is untouched and no temporary
// is left. A cancel that comes once the caller has recorded what is about to
// be written (beforeReplacing) comes too late: the step finishes.
TEST(RebuildTarget, CancelOnlyBeforeTheNewContentsTakeThePlace) {
    TempDir dir;
    const std::string backup = dir.File("backup");
    const std::string target = dir.File("target");
    const std::string contents = std::string((1 << 20) + 7, 'b');
    const std::vector<PatchItem> items{Item(3, "62", "AA")};
    struct Case {
        const char* name;
        bool cancelFirst;
        bool cancelBeforeReplacing;
        Status status;
    } const cases[] = {
        {"cancelled from the start", true, false, Status::Cancelled},
        {"cancelled after the record", false, true, Status::Ok},
        {"not cancelled", false, false, Status::Ok},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes(backup, contents);
        WriteBytes(target, kUntouched);
        Progress progress;
        if (c.cancelFirst)
            progress.Cancel();
        const ProgressScope scope(&progress);
        FileFingerprint written;
        const RebuildOutcome outcome =
            RebuildTarget(backup, items, target, &written, [&](const FileFingerprint&) {
                if (c.cancelBeforeReplacing)
                    progress.Cancel();
                return true;
            });
        EXPECT_EQ(outcome.status, c.status);
        EXPECT_TRUE(outcome.text.empty());
        std::string expected = contents;
        expected[3] = '\xAA';
        EXPECT_EQ(ReadWhole(target), c.status == Status::Ok ? expected : kUntouched);
        EXPECT_EQ(progress.Total(), 2 * contents.size());
        if (c.status == Status::Ok) {
            EXPECT_EQ(progress.Permille(), 1000);
        }
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
    }
    // The backup copy the same way: cancelled, the old copy stays.
    WriteBytes(target, kUntouched);
    Progress progress;
    progress.Cancel();
    const ProgressScope scope(&progress);
    EXPECT_EQ(MakeBackupCopy(target, backup, nullptr), BackupCopy::Failed);
    EXPECT_EQ(ReadWhole(backup), contents);
}

TEST(MakeBackupCopy, CopiesRegularFilesOnly) {
    TempDir dir;
    const std::string d = dir.path();
    WriteBytes(d + "/target", "target bytes");
    WriteBytes(d + "/backup", "old backup");
    EXPECT_EQ(MakeBackupCopy(d + "/target", d + "/backup"), BackupCopy::Done);
    EXPECT_EQ(ReadBytes(d + "/backup"), "target bytes");
    fs::create_symlink("backup", d + "/link");
    EXPECT_EQ(MakeBackupCopy(d + "/link", d + "/backup"), BackupCopy::Failed); // the same file
    ::mkfifo((d + "/fifo").c_str(), 0666);
    EXPECT_EQ(
        RunInChild(
            false,
            [&] { return MakeBackupCopy(d + "/fifo", d + "/backup") == BackupCopy::Done ? 1 : 0; },
            5),
        0);
    EXPECT_EQ(ReadBytes(d + "/backup"), "target bytes");
    // The list naming the new backup is saved before the old backup is
    // replaced; when that fails the old backup stays.
    WriteBytes(d + "/target", "newer bytes");
    for (const bool saved : {false, true}) {
        std::string before;
        EXPECT_EQ(MakeBackupCopy(d + "/target", d + "/backup", nullptr,
                                 [&] { return before = ReadBytes(d + "/backup"), saved; }),
                  saved ? BackupCopy::Done : BackupCopy::Failed);
        EXPECT_EQ(before, "target bytes");
        EXPECT_EQ(ReadBytes(d + "/backup"), saved ? "newer bytes" : "target bytes");
    }
}

// A backup that another program holds (here a running program that must be
// written in place) is named as in use, and stays whole.
TEST(MakeBackupCopy, BackupInUseIsNamedAsSuch) {
    TempDir dir;
    ::chmod(dir.path().c_str(), 0755);
    WriteBytes(dir.File("target"), "target bytes");
    GiveToUnprivileged(dir.File("target"));
    fs::create_directory(dir.File("Path_bak"));
    const RunningProgram backup(dir.File("Path_bak"), "target");
    ASSERT_TRUE(backup.running());
    EXPECT_EQ(
        RunInChild(
            true,
            [&] { return static_cast<int>(MakeBackupCopy(dir.File("target"), backup.path())); }),
        static_cast<int>(BackupCopy::InUse));
    EXPECT_TRUE(ReadBytes(backup.path()) == ReadBytes("/bin/sleep"));
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
