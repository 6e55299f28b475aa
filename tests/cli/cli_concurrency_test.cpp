// Several programs on one list, and programs killed part way: bytemender-cli
// as real processes on real files. No change of the list is lost, the backup
// copy is never a patched file, and a kill at any step leaves records that
// describe the files on disk (no false "changed" question, no silent revert).
#include "tests/support/RunProgram.h"
#include "tests/support/TestFiles.h"

#include "core/PatchListStore.h"
#include "settings/AppSetting.h"
#include "winutil/FileLock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

class CliConcurrencyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(dir_.path().empty());
        original_.assign(1 << 20, '\0');
        for (std::size_t i = 0; i < original_.size(); ++i)
            original_[i] = static_cast<char>((i * 13 + 5) & 0xFF);
        original_[0x10] = 0;
        patched_ = original_;
        patched_[0x10] = 1;
        Reset();
    }

    // A fresh list on the original target: one enabled item at 0x10 (00 -> 01).
    void Reset() {
        fs::remove_all(dir_.File("Path_bak"));
        fs::remove(settings_);
        WriteBytes(target_, original_);
        for (const auto& args :
             std::vector<std::vector<std::string>>{{"target", target_},
                                                   {"add", "--offset", "10", "--old", "00", "--new",
                                                    "01", "--enable", "--description", "item"}}) {
            const Outcome run = Cli(args);
            ASSERT_EQ(run.status, 0) << run.err;
        }
    }

    Outcome Cli(std::vector<std::string> args) {
        args.insert(args.begin(), {"--settings", settings_});
        return RunProgram(BM_CLI_PROGRAM, args, "zh_CN.UTF-8");
    }

    // bytemender-cli under strace, killed as it enters its kill-th rename (the
    // step that puts a finished file in place). Exit status 137 when it was.
    Outcome CliKilledAtRename(int kill, std::vector<std::string> args) {
        std::vector<std::string> traced{
            "-f",
            "-qq",
            "-o",
            dir_.File("trace"),
            "-e",
            "trace=rename,renameat,renameat2",
            "-e",
            "inject=rename,renameat,renameat2:signal=KILL:when=" + std::to_string(kill),
            BM_CLI_PROGRAM,
            "--settings",
            settings_};
        traced.insert(traced.end(), args.begin(), args.end());
        return RunProgram(kStrace, traced, "zh_CN.UTF-8");
    }

    std::size_t ItemCount() {
        CAppSetting store;
        store.Load(settings_.c_str(), 1);
        PatchList list;
        ReadPatchItems(store, list);
        return list.size();
    }

    // Runs every command at once, each as its own process.
    std::vector<Outcome> AllAtOnce(const std::vector<std::vector<std::string>>& commands) {
        std::vector<Outcome> outcomes(commands.size());
        std::vector<std::thread> threads;
        for (std::size_t i = 0; i < commands.size(); ++i)
            threads.emplace_back([&, i] { outcomes[i] = Cli(commands[i]); });
        for (std::thread& thread : threads)
            thread.join();
        return outcomes;
    }

    static constexpr const char* kStrace = "/usr/bin/strace";
    TempDir dir_;
    std::string settings_ = dir_.File("list.ini");
    std::string target_ = dir_.File("game.bin");
    std::string backup_ = dir_.File("Path_bak/game.bin");
    std::string original_;
    std::string patched_;
};

std::vector<std::string> AddAt(int offset) {
    return {"add", "--offset", std::to_string(offset), "--old", "00", "--new", "01"};
}

// Programs racing on one list: every change they report is in the list
// afterwards, and the backup is the pristine file whatever ran alongside.
TEST_F(CliConcurrencyTest, WritersAtOnceLoseNothing) {
    struct Case {
        const char* name;
        std::vector<std::vector<std::string>> commands;
        std::size_t addedPerRound;
    };
    const Case cases[] = {
        {"add x 8",
         {AddAt(100), AddAt(101), AddAt(102), AddAt(103), AddAt(104), AddAt(105), AddAt(106),
          AddAt(107)},
         8},
        {"add during apply", {{"apply"}, AddAt(200), {"apply"}, AddAt(201)}, 2},
        {"target during apply", {{"apply"}, {"target", target_}, {"apply"}, AddAt(300)}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Reset();
        std::size_t expected = 1;
        for (int round = 0; round < 4; ++round) {
            for (const Outcome& run : AllAtOnce(c.commands))
                ASSERT_EQ(run.status, 0) << run.err;
            expected += c.addedPerRound;
            EXPECT_EQ(ItemCount(), expected) << "round " << round;
            EXPECT_TRUE(ReadBytes(backup_) == original_) << "the backup is no longer pristine";
            EXPECT_FALSE(fs::exists(FileLock::LockPathFor(settings_)));
        }
        const Outcome last = Cli({"apply"});
        EXPECT_EQ(last.status, 0) << last.err;
        EXPECT_TRUE(ReadBytes(target_) == patched_);
    }
}

// A program that holds the list makes the others wait a bounded time, then
// name it and change nothing; one killed while holding it leaves no lock.
TEST_F(CliConcurrencyTest, HeldListIsNamedAndAKilledHolderLeavesNoLock) {
    const std::string before = ReadBytes(settings_);
    {
        FileLock held;
        ASSERT_EQ(held.Acquire(settings_, std::chrono::milliseconds(0)), FileLock::Result::Locked);
        const auto start = std::chrono::steady_clock::now();
        const Outcome run =
            Cli({"--wait", "0.3", "add", "--offset", "1", "--old", "00", "--new", "01"});
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
        EXPECT_EQ(run.status, 3);
        EXPECT_NE(run.err.find("pid " + std::to_string(::getpid())), std::string::npos) << run.err;
        EXPECT_EQ(ReadBytes(settings_), before);
        // Reading needs no lock.
        EXPECT_EQ(Cli({"list"}).status, 0);
    }
    if (!fs::exists(kStrace))
        GTEST_SKIP() << "no strace to kill a holder with";
    // Killed as it saves, the lock in hand: the next program goes on at once.
    const Outcome killed = CliKilledAtRename(1, AddAt(2));
    ASSERT_EQ(killed.status, 137) << killed.err;
    const Outcome next = Cli({"--wait", "0", "add", "--offset", "3", "--old", "00", "--new", "01"});
    EXPECT_EQ(next.status, 0) << next.err;
    EXPECT_EQ(ItemCount(), 2u);
}

// apply and apply --rebackup killed before each of their renames in turn:
// the next apply never asks about a target nobody else changed, never puts
// the old version back over an updated one, and the backup stays pristine.
TEST_F(CliConcurrencyTest, KilledAtEveryStepLeavesRecordsInStep) {
    if (!fs::exists(kStrace) || RunProgram(kStrace, {"-o", dir_.File("probe"), "true"}).status != 0)
        GTEST_SKIP() << "strace cannot trace here";
    std::string updated = original_;
    updated[0x800] = static_cast<char>(updated[0x800] ^ 0x5A); // a new version, item unpatched
    std::string updatedPatched = updated;
    updatedPatched[0x10] = 1;

    int killsSeen = 0;
    for (int kill = 1; kill < 12; ++kill) {
        SCOPED_TRACE("apply killed at rename " + std::to_string(kill));
        Reset();
        const Outcome run = CliKilledAtRename(kill, {"apply"});
        if (run.status != 137) { // ran to its end: every step was covered
            EXPECT_EQ(run.status, 0) << run.err;
            break;
        }
        ++killsSeen;
        const Outcome again = Cli({"apply"});
        EXPECT_EQ(again.status, 0) << "a false question: " << again.err;
        EXPECT_TRUE(ReadBytes(target_) == patched_);
        EXPECT_TRUE(ReadBytes(backup_) == original_);
    }
    EXPECT_GE(killsSeen, 3) << "apply saves the list, records what it writes, writes, records";

    killsSeen = 0;
    for (int kill = 1; kill < 16; ++kill) {
        SCOPED_TRACE("apply --rebackup killed at rename " + std::to_string(kill));
        Reset();
        ASSERT_EQ(Cli({"apply"}).status, 0);
        WriteBytes(target_, updated);
        const Outcome run = CliKilledAtRename(kill, {"apply", "--rebackup"});
        if (run.status != 137) {
            EXPECT_EQ(run.status, 0) << run.err;
            break;
        }
        ++killsSeen;
        const Outcome again = Cli({"apply"});
        const std::string target = ReadBytes(target_);
        const std::string backup = ReadBytes(backup_);
        if (again.status == 0) { // the new backup had been taken: rebuilt from it
            EXPECT_TRUE(target == updatedPatched) << "the old version was put back";
            EXPECT_TRUE(backup == updated);
        } else { // it had not: still asked, nothing written
            EXPECT_EQ(again.status, 1) << again.err;
            EXPECT_TRUE(target == updated);
            EXPECT_TRUE(backup == original_);
        }
    }
    EXPECT_GE(killsSeen, 5);
}

// A target that still holds some of the list's new bytes, taken as the new
// backup: the items' old bytes go back into the copy. One the items cannot
// be rebuilt from keeps the old copy unless --force. Choosing the file this
// program patched keeps the backup as it is.
TEST_F(CliConcurrencyTest, BackupIsOnlyEverReplacedByAPristineCopy) {
    ASSERT_EQ(Cli({"apply"}).status, 0);
    const Outcome again = Cli({"target", target_});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_NE(again.out.find("保留原来的备份文件"), std::string::npos) << again.out;
    EXPECT_TRUE(ReadBytes(backup_) == original_);

    // Updated by someone else, the item left patched.
    std::string updated = patched_;
    updated[0x900] = static_cast<char>(updated[0x900] ^ 0x11);
    WriteBytes(target_, updated);
    const Outcome renewed = Cli({"apply", "--rebackup"});
    EXPECT_EQ(renewed.status, 0) << renewed.err;
    EXPECT_NE(renewed.out.find("00000010  item"), std::string::npos) << renewed.out;
    std::string pristine = updated;
    pristine[0x10] = 0;
    EXPECT_TRUE(ReadBytes(backup_) == pristine);
    EXPECT_TRUE(ReadBytes(target_) == updated);

    // Updated so that the item no longer fits: refused, then forced.
    std::string foreign = pristine;
    foreign[0x10] = 0x77;
    WriteBytes(target_, foreign);
    const Outcome refused = Cli({"apply", "--rebackup"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("00000010  item"), std::string::npos) << refused.err;
    EXPECT_TRUE(ReadBytes(backup_) == pristine);
    EXPECT_TRUE(ReadBytes(target_) == foreign);
    const Outcome forced = Cli({"apply", "--rebackup", "--force"});
    EXPECT_EQ(forced.status, 1) << "the item still fails the rebuild";
    EXPECT_TRUE(ReadBytes(backup_) == foreign);
}

} // namespace
