// bytemender-cli run as a process on real files: a whole session, the list
// shared with the window's store, and bad input that must change nothing.
#include "tests/support/RunProgram.h"
#include "tests/support/TestFiles.h"

#include "cli/Cli.h"
#include "core/PatchListStore.h"
#include "settings/AppSetting.h"
#include "tests/support/SourceTexts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <functional>
#include <map>
#include <optional>
#include <poll.h>
#include <random>
#include <spawn.h>
#include <sstream>
#include <string_view>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Every file below a folder with its bytes (folders as "<dir>").
std::map<std::string, std::string> Snapshot(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const std::string path = entry.path().string();
        if (!entry.is_regular_file())
            files[path] = "<dir>";
        else if (entry.file_size() < (1u << 20))
            files[path] = ReadBytes(path);
        else // only the huge settings file of one case
            files[path] = "<" + std::to_string(entry.file_size()) + " bytes>";
    }
    return files;
}

PatchList LoadWithWindowStore(const std::string& settings, std::string* target) {
    CAppSetting store;
    store.Load(settings.c_str(), 1);
    store.keepOrder = 0;
    PatchList list;
    ReadPatchItems(store, list);
    SortPatchList(list);
    if (target)
        *target = ReadTargetPath(store);
    return list;
}

PatchItem Item(std::uint32_t offset, std::string description, std::string oldHex,
               std::string newHex, std::int32_t enabled) {
    return PatchItem{offset, std::move(description), std::move(oldHex), std::move(newHex), enabled};
}

// A folder with a copy of the program (so that its default settings file and
// Path_bak are the folder's own) and a 4 KiB target with known bytes.
class CliTest : public ::testing::Test {
  public:
    void SetUp() override {
        ASSERT_FALSE(dir_.path().empty());
        fs::copy_file(BM_CLI_PROGRAM, program_);
        original_.resize(4096);
        for (std::size_t i = 0; i < original_.size(); ++i)
            original_[i] = static_cast<char>((i * 7 + 3) & 0xFF);
        original_.replace(0x10, 2, Bytes({0x74, 0x05}));
        WriteBytes(target_, original_);
    }

    Outcome Cli(std::vector<std::string> args, const char* lang = nullptr) {
        return RunProgram(program_, args, lang);
    }

    // The target chosen and two items: row 1 at 0x10 (enabled), row 2 at 0x200.
    void PrepareList() {
        for (const auto& args : std::vector<std::vector<std::string>>{
                 {"target", target_},
                 {"add", "--offset", "10", "--old", "7405", "--new", "EB05", "--enable"},
                 {"add", "--offset", "0x200", "--old", Hex(0x200), "--new", "00"}}) {
            const Outcome run = Cli(args);
            ASSERT_EQ(run.status, 0) << args[0] << ": " << run.err;
        }
    }

    std::string Hex(std::size_t offset) const {
        char text[4];
        std::snprintf(text, sizeof text, "%02X", static_cast<unsigned char>(original_[offset]));
        return text;
    }

    TempDir dir_;
    std::string program_ = dir_.File("bytemender-cli");
    std::string settings_ = dir_.File("bytemender.ini");
    std::string backup_ = dir_.File("Path_bak/game.bin");
    std::string target_ = dir_.File("game.bin");
    std::string original_;
};

// Every subcommand once, in the order a user would run them.
TEST_F(CliTest, ScriptedSession) {
    std::string patched = original_;
    patched.replace(0x10, 2, Bytes({0xEB, 0x05}));
    struct Step {
        std::vector<std::string> args;
        int status;
        std::string out; // a fragment of standard output
    };
    const Step steps[] = {
        {{"target", target_}, 0, "备份文件: " + backup_},
        {{"add", "--offset", "0x200", "--old", Hex(0x200), "--new", "00", "--description", "b"},
         0,
         "已增加为第 1 行."},
        {{"add", "--offset", "10", "--old", "74 05", "--new", "EB05", "--description", "jump"},
         0,
         "已增加为第 1 行."},
        {{"enable", "1"}, 0, "1 个项目设为有效"},
        {{"status"}, 1, "1   00000010  是    !original  74 05       jump"},
        {{"apply", "--dry-run"}, 0, "00000010  长度 1  74  ->  EB\n"},
        {{"apply"}, 0, "应用了 1 个有效项目"},
        {{"status", "--json"}, 0, "\"state\": \"applied\", \"asListed\": true"},
        {{"list"}, 0, "2   00000200  否    original  b     " + Hex(0x200) + "      00\n"},
        {{"search", "7405"}, 0, "00000010\n"},
        {{"search", "7? 05 ?1"}, 0, "00000010\n"},
        {{"copy", "2"}, 0, "副本是第 2 行"},
        {{"edit", "2", "--description", "copy", "--new", "FF"}, 0, "已修改第 2 行."},
        {{"remove", "3"}, 0, "已删除第 3 行."},
        {{"disable", "--all"}, 0, "1 个项目设为无效"},
        {{"apply"}, 0, "应用了 0 个有效项目"},
        {{"status"}, 0, "全部 2 个项目都与列表一致."},
    };
    for (const Step& step : steps) {
        const Outcome run = Cli(step.args);
        EXPECT_EQ(run.status, step.status) << step.args[0] << "\n" << run.err;
        EXPECT_NE(run.out.find(step.out), std::string::npos) << step.args[0] << "\n" << run.out;
        if (step.args == std::vector<std::string>{"apply", "--dry-run"}) {
            EXPECT_EQ(ReadBytes(target_), original_) << "a dry run wrote the target";
        }
        if (run.out.find("应用了 1 个有效项目") != std::string::npos) {
            EXPECT_EQ(ReadBytes(target_), patched);
        }
    }
    EXPECT_EQ(ReadBytes(target_), original_) << "no enabled item: a copy of the backup";
    EXPECT_EQ(ReadBytes(backup_), original_);
    std::string target;
    const PatchList expected{Item(0x10, "jump", "74 05", "EB05", 0),
                             Item(0x200, "copy", Hex(0x200), "FF", 0)};
    EXPECT_EQ(LoadWithWindowStore(settings_, &target), expected);
    EXPECT_EQ(target, target_);
}

// The window's store reads what the command line saved, and the other way
// round; the file is byte for byte what the window writes for the same list.
TEST_F(CliTest, SharesTheListWithTheWindow) {
    PrepareList();
    CAppSetting store;
    store.Load(settings_.c_str(), 1);
    store.keepOrder = 0;
    PatchList list;
    ReadPatchItems(store, list);
    SortPatchList(list);
    EXPECT_EQ(list,
              (PatchList{Item(0x10, "", "7405", "EB05", 1), Item(0x200, "", Hex(0x200), "00", 0)}));
    const std::string saved = ReadBytes(settings_);
    WritePatchList(store, list, ReadTargetPath(store));
    EXPECT_EQ(ReadBytes(settings_), saved);

    // The window saves odd texts and a stored flag of 5; the command line
    // keeps them through a change of another item.
    list.push_back(Item(0x8, "line\nbreak \\ \"quoted\" 中文", "ab", "cd", 5));
    SortPatchList(list);
    WritePatchList(store, list, target_);
    const Outcome run = Cli({"enable", "1", "2", "3"});
    ASSERT_EQ(run.status, 0) << run.err;
    list[2].enabled = 1;
    EXPECT_EQ(LoadWithWindowStore(settings_, nullptr), list);
    const Outcome json = Cli({"list", "--json"});
    EXPECT_NE(json.out.find(R"("description": "line\nbreak \\ \"quoted\" 中文")"),
              std::string::npos)
        << json.out;

    // A hand-edited file: keys in other letter case, a key without a value, a
    // count above the items stored, decimal and hex offsets. The command line
    // reads it as the window does; the count makes it a damaged file, saved
    // over only with --keep-recovered.
    WriteBytes(settings_, "; notes\r\nFileName = " + target_ +
                              "\r\npathlist\\count = 4\r\n"
                              "PathList\\0000\\Offset = 0x300\r\nPathList\\0000\\Descrip = c\r\n"
                              "PathList\\0000\\OldHex = 01\r\nPathList\\0000\\NewHex = 02\r\n"
                              "PathList\\0000\\Path = 5\r\nPathList\\0001\\Offset = 16\r\n"
                              "pathlist\\0001\\descrip = b\r\nPathList\\0001\\OldHex\r\n"
                              "PathList\\0001\\NewHex = AA\r\nPathList\\0002\\Offset = 0x10\r\n");
    const PatchList handEdited = LoadWithWindowStore(settings_, nullptr);
    ASSERT_EQ(handEdited.size(), 4u);
    const std::string damaged = ReadBytes(settings_);
    const Outcome refused = Cli({"disable", "1"});
    EXPECT_EQ(refused.status, 3);
    EXPECT_NE(refused.err.find("设置文件已损坏: 项目数为 4, 但存有 3 个项目"), std::string::npos)
        << refused.err;
    EXPECT_NE(refused.err.find("--keep-recovered"), std::string::npos);
    EXPECT_EQ(ReadBytes(settings_), damaged);
    const Outcome listed = Cli({"list"});
    EXPECT_EQ(listed.status, 0);
    EXPECT_NE(listed.err.find("已损坏"), std::string::npos);
    ASSERT_EQ(Cli({"--keep-recovered", "disable", "1"}).status, 0);
    EXPECT_EQ(Cli({"list"}).err, "");
    EXPECT_EQ(LoadWithWindowStore(settings_, nullptr), handEdited);
    EXPECT_EQ(handEdited[3], Item(0x300, "c", "01", "02", 5));
}

// Someone else updated the target after it was rebuilt (the same size, other
// bytes, the item's own bytes unchanged): apply writes it only when told how.
TEST_F(CliTest, ChangedTargetIsWrittenOnlyWhenTold) {
    std::string updated = original_;
    updated.replace(0x300, 3, "new");
    std::string patchedUpdate = updated;
    patchedUpdate.replace(0x10, 2, Bytes({0xEB, 0x05}));
    std::string patchedOriginal = original_;
    patchedOriginal.replace(0x10, 2, Bytes({0xEB, 0x05}));
    const struct {
        std::vector<std::string> args;
        int status;
        std::string message; // a fragment of standard output, or of standard error
        std::string target;  // afterwards
        std::string backup;
    } cases[] = {
        {{"apply"}, 1, "目标文件 " + target_ + " 在备份或上次重建之后被修改过", updated, original_},
        {{"apply", "--dry-run"}, 0, "apply 不会写入它", updated, original_},
        {{"apply", "--dry-run", "--rebackup"},
         0,
         "00000010  长度 1  74  ->  EB",
         updated,
         original_},
        {{"apply", "--rebackup"}, 0, "已从目标文件的当前内容重新备份", patchedUpdate, updated},
        {{"apply", "--overwrite"}, 0, "已由备份文件重建", patchedOriginal, original_},
        {{"apply", "--rebackup", "--overwrite"}, 2, "excludes", updated, original_},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.back());
        fs::remove_all(dir_.File("Path_bak"));
        fs::remove(settings_);
        WriteBytes(target_, original_);
        PrepareList();
        ASSERT_EQ(Cli({"apply"}).status, 0);
        WriteBytes(target_, updated);
        const Outcome run = Cli(c.args);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_NE((run.out + run.err).find(c.message), std::string::npos) << run.out << run.err;
        EXPECT_EQ(ReadBytes(target_), c.target);
        EXPECT_EQ(ReadBytes(backup_), c.backup);
        // Once written, the target is what the list last saw: no more question.
        if (c.status == 0 && c.args.size() == 2 && c.args[1] != "--dry-run") {
            EXPECT_EQ(Cli({"apply"}).status, 0);
        }
    }
}

// Without --settings the program takes the window's settings file by the
// window's rule: in a folder the user may not write, the user's XDG folders.
TEST_F(CliTest, DefaultSettingsFollowTheWindowsRule) {
    const std::string home = dir_.File("home");
    fs::create_directory(home);
    GiveToUnprivileged(home);
    GiveToUnprivileged(target_);
    fs::permissions(dir_.path(), fs::perms::owner_read | fs::perms::owner_exec |
                                     fs::perms::group_read | fs::perms::group_exec |
                                     fs::perms::others_read | fs::perms::others_exec);
    const int status = RunInChild(true, [&] {
        ::setenv("HOME", home.c_str(), 1);
        ::unsetenv("XDG_CONFIG_HOME");
        ::setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
        for (const auto& args : std::vector<std::vector<std::string>>{
                 {"target", target_},
                 {"add", "--offset", "10", "--old", "7405", "--new", "EB05", "--enable"},
                 {"apply"}}) {
            if (Cli(args).status != 0)
                return 1;
        }
        return 0;
    });
    EXPECT_EQ(status, 0);
    std::string target;
    EXPECT_EQ(LoadWithWindowStore(home + "/.config/bytemender/bytemender.ini", &target).size(), 1u);
    EXPECT_EQ(target, target_);
    EXPECT_EQ(ReadBytes(home + "/data/bytemender/Path_bak/game.bin"), original_);
    EXPECT_FALSE(fs::exists(settings_));
    EXPECT_FALSE(fs::exists(dir_.File("Path_bak")));
}

// English unless Chinese is asked for: the command line's own texts, its
// help and the rebuild's message.
TEST_F(CliTest, EnglishInterface) {
    PrepareList();
    ASSERT_EQ(Cli({"edit", "1", "--old", "0102"}).status, 0);
    const struct {
        const char* lang;
        std::vector<std::string> args;
        int status;
        std::string message; // a fragment of standard output or standard error
    } cases[] = {
        {"en_US.UTF-8", {"remove", "3"}, 2, "row 3 does not exist: the list has rows 1 to 2"},
        {"en_US.UTF-8", {"--help"}, 0, "-h,--help                   Print this help and exit"},
        {"en_US.UTF-8", {"apply"}, 1, "row 1 at offset 00000010:\n\nThe old data does not match!"},
        {"en_US.UTF-8", {"list"}, 0, "ROW  OFFSET    ENABLED  STATE"},
        // Scripts under C or POSIX, and other languages, get English.
        {"C", {"apply"}, 1, "row 1 at offset 00000010:\n\nThe old data does not match!"},
        {"POSIX", {"remove", "3"}, 2, "row 3 does not exist: the list has rows 1 to 2"},
        {"de_DE.UTF-8", {"apply"}, 1, "row 1 at offset 00000010:\n\nThe old data does not match!"},
        {"zh_CN.UTF-8", {"apply"}, 1, "第 1 行, 偏移 00000010:\n\n原始数据不匹配!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.lang) + " " + c.args[0]);
        const Outcome run = Cli(c.args, c.lang);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_NE((run.out + run.err).find(c.message), std::string::npos) << run.out << run.err;
    }
}

// Help for the program and every subcommand, through the in-process entry.
TEST(CliHelp, EverySubcommandHasHelp) {
    for (const char* command : {"list", "status", "apply", "target", "add", "edit", "copy",
                                "remove", "enable", "disable", "search"}) {
        std::ostringstream out;
        std::ostringstream err;
        const char* argv[] = {"bytemender-cli", command, "--help"};
        EXPECT_EQ(RunCli(3, argv, out, err), 0) << command;
        EXPECT_NE(out.str().find(std::string("Usage: bytemender-cli ") + command),
                  std::string::npos)
            << out.str();
    }
    std::ostringstream out;
    std::ostringstream err;
    const char* argv[] = {"bytemender-cli", "--version"};
    EXPECT_EQ(RunCli(2, argv, out, err), 0);
    EXPECT_EQ(out.str().rfind("bytemender-cli ", 0), 0u);
}

// Bad input: the exit status, what the message says, and no file changed.
// A pattern found everywhere lists the first 100,000 offsets and the number
// found, not every one of them.
TEST_F(CliTest, SearchListingStopsAtAStatedNumber) {
    WriteBytes(target_, std::string(300000, '\0'));
    ASSERT_EQ(Cli({"target", target_}).status, 0);
    const Outcome run = Cli({"search", "00 00"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 100001);
    EXPECT_NE(run.out.find("00030d3e\n... 共找到 150000 处, 只列出了前 100000 处.\n"),
              std::string::npos);
}

// search, the dry run, export and import of a large file read what they
// need: peak memory stays far below the file's size (128 MiB, all zeros but
// the first 4 KiB, where search finds "00 00" 67 million times). Memory is
// measured per command, in a child of its own. A sanitizer's shadow memory
// and quarantine make the figures meaningless.
TEST_F(CliTest, LargeFileCommandsStayWithinMemory) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "peak memory under a sanitizer";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) ||                         \
    __has_feature(memory_sanitizer)
    GTEST_SKIP() << "peak memory under a sanitizer";
#endif
#endif
    ASSERT_EQ(::truncate(target_.c_str(), off_t(128) << 20), 0); // sparse
    PrepareList();
    // Row 2 has no signature (its bytes repeat every 256 bytes), and a list
    // saved with it makes signatures from the whole backup again.
    ASSERT_EQ(Cli({"remove", "2"}).status, 0);
    const std::string ips = dir_.File("patch.ips");
    struct Step {
        const char* name;
        std::vector<std::string> args;
        std::string output;              // a fragment of standard output
        std::vector<std::string> before; // run first, outside the measure
    };
    const Step steps[] = {
        {"search", {"search", "00 00"}, "共找到 67106816 处", {}},
        {"dry run", {"apply", "--dry-run"}, "00000010  长度 1  74  ->  EB", {}},
        {"export", {"export", ips}, "", {}},
        {"import", {"import", ips}, "", {}},
        // The item comes back new: saving the list makes its signature.
        {"import that saves", {"import", ips}, "", {"remove", "1"}},
        {"relocate", {"relocate", "--dry-run"}, "", {}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        if (!step.before.empty()) {
            ASSERT_EQ(Cli(step.before).status, 0);
        }
        const int peakMiB = RunInChild(
            false,
            [&] {
                const Outcome run = Cli(step.args);
                if (run.status != 0 || run.out.find(step.output) == std::string::npos)
                    return 255;
                rusage usage{};
                ::getrusage(RUSAGE_CHILDREN, &usage);
                return static_cast<int>(std::min<long>(usage.ru_maxrss >> 10, 254));
            },
            120);
        EXPECT_LT(peakMiB, 64) << "MiB (255: the command failed)";
    }
}

// The dry run compares the files a block (1 MiB) at a time: a change over a
// block boundary is still one range, shown from its start.
TEST_F(CliTest, DryRunRangesGoOnAcrossBlocks) {
    std::string bytes(3 << 20, '\0');
    std::mt19937 random(5);
    for (char& c : bytes)
        c = static_cast<char>(random());
    WriteBytes(target_, bytes);
    // Spaced hex of the target's bytes at offset.
    const auto hex = [&bytes](std::size_t offset, std::size_t length) {
        std::string text;
        char pair[4];
        for (std::size_t i = 0; i < length; ++i) {
            std::snprintf(pair, sizeof pair, i ? " %02X" : "%02X",
                          static_cast<unsigned char>(bytes[offset + i]));
            text += pair;
        }
        return text;
    };
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"target", target_},
             {"add", "--offset", "FFFFE", "--old", hex(0xFFFFE, 4), "--new", "01020304",
              "--enable"},
             {"add", "--offset", "1FFFF0", "--old", hex(0x1FFFF0, 40), "--new",
              std::string(80, '0'), "--enable"}}) {
        const Outcome run = Cli(args);
        ASSERT_EQ(run.status, 0) << args[0] << ": " << run.err;
    }
    const Outcome run = Cli({"apply", "--dry-run"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "000ffffe  长度 4  " + hex(0xFFFFE, 4) +
                           "  ->  01 02 03 04\n001ffff0  长度 40  " + hex(0x1FFFF0, 16) +
                           " ...  ->  " +
                           "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 ...\n"
                           "将有 2 处共 44 字节改变, 未写入任何文件.\n");
}

TEST_F(CliTest, BadInputChangesNothing) {
    const auto removeBackup = [](CliTest& t) { fs::remove(t.backup_); };
    const auto backupIsFolder = [](CliTest& t) {
        fs::remove(t.backup_);
        fs::create_directory(t.backup_);
    };
    const auto targetIsFolder = [](CliTest& t) {
        fs::remove(t.target_);
        fs::create_directory(t.target_);
    };
    const auto hugeSettings = [](CliTest& t) {
        // Exists but cannot be read whole (4 GiB and more), even by root.
        ::truncate(t.settings_.c_str(), off_t(1) << 32);
    };
    const auto wrongOldData = [](CliTest& t) {
        ASSERT_EQ(t.Cli({"edit", "2", "--old", "0102"}).status, 0);
        ASSERT_EQ(t.Cli({"enable", "2"}).status, 0);
    };
    const auto pastTheEnd = [](CliTest& t) {
        ASSERT_EQ(t.Cli({"add", "--offset", "FFF", "--old", "00", "--new", "0102", "--enable",
                         "--description", "too far"})
                      .status,
                  0);
    };
    struct Case {
        const char* name;
        std::function<void(CliTest&)> setup;
        std::vector<std::string> args;
        int status;
        std::string message; // a fragment of standard error
        bool limitFileSize = false;
    };
    const std::string missing = dir_.File("none.ini");
    const std::vector<Case> cases = {
        {"unknown command", nullptr, {"frob"}, 2, "not expected: frob"},
        {"unknown option", nullptr, {"list", "--frob"}, 2, "--frob"},
        {"no command", nullptr, {}, 2, "需要一个命令"},
        {"row past the end", nullptr, {"remove", "3"}, 2, "第 3 行不存在: 列表只有第 1 到 2 行"},
        {"row 0", nullptr, {"enable", "2", "0"}, 2, "第 0 行不存在"},
        {"row not a number", nullptr, {"copy", "x"}, 2, "Could not convert: N = x"},
        {"bad hex offset",
         nullptr,
         {"add", "--offset", "12zz", "--old", "00", "--new", "01"},
         2,
         "\"12zz\" 不是十六进制偏移"},
        {"offset above 32 bits",
         nullptr,
         {"edit", "1", "--offset", "100000000"},
         2,
         "不是十六进制偏移"},
        {"no new data", nullptr, {"add", "--offset", "1", "--old", "00"}, 2, "--new is required"},
        {"empty old data", nullptr, {"edit", "1", "--old", ""}, 2, "第 1 行将没有原数据"},
        {"nothing to edit", nullptr, {"edit", "1"}, 2, "没有要修改的内容"},
        {"bad search hex", nullptr, {"search", "zz"}, 2, "没有可搜索的成对十六进制数字"},
        {"odd search hex", nullptr, {"search", "740"}, 2, "中有一个单独的十六进制数字"},
        {"odd wildcard", nullptr, {"search", "74 ?"}, 2, "中有一个单独的十六进制数字"},
        {"only wildcards", nullptr, {"search", "?? ??"}, 2, "至少要有一个确定的字节"},
        {"rows and --all", nullptr, {"disable", "1", "--all"}, 2, "excludes"},
        {"missing settings file",
         nullptr,
         {"--settings", missing, "list"},
         3,
         "设置文件 " + missing + " 不存在"},
        {"settings file is a folder",
         nullptr,
         {"--settings", dir_.path(), "status"},
         3,
         dir_.path() + " 不是普通文件"},
        {"unreadable settings file",
         hugeSettings,
         {"add", "--offset", "1", "--old", "00", "--new", "01"},
         3,
         "无法读取设置文件 " + settings_},
        {"settings file is a program",
         [](CliTest& t) {
             WriteBytes(t.settings_, std::string("\x7F"
                                                 "ELF\2\1\1\0\0\0\0",
                                                 12));
         },
         {"add", "--offset", "1", "--old", "00", "--new", "01"},
         3,
         "无法读取设置文件 " + settings_ + "\n该文件含有 NUL 字节, 不是设置文件"},
        {"empty settings file name",
         nullptr,
         {"--settings", "", "add", "--offset", "1", "--old", "00", "--new", "01"},
         2,
         "--settings 需要一个文件名"},
        {"settings file in a missing folder",
         nullptr,
         {"--settings", dir_.File("nofolder/list.ini"), "target", target_},
         3,
         "设置文件 " + dir_.File("nofolder/list.ini") + " 所在的文件夹 " + dir_.File("nofolder") +
             " 不存在"},
        {"data text longer than an item holds",
         nullptr,
         {"add", "--offset", "1", "--old", std::string(8161, '0'), "--new", "01"},
         2,
         "--old 有 8161 个字符, 超过了 8160 个字符 (最多 4080 字节的数据)"},
        {"description the settings file could not read back",
         nullptr,
         {"edit", "1", "--description", std::string(4095, '\\')},
         3,
         "PathList\\0000\\Descrip 的一行长于 8191 字节, 读回时会被截断"},
        {"missing target",
         nullptr,
         {"target", dir_.File("nothere.bin")},
         3,
         "nothere.bin 无法读取: No such file"},
        {"target is a folder", nullptr, {"target", dir_.path()}, 3, "不是普通文件"},
        {"target is a folder at apply",
         targetIsFolder,
         {"apply"},
         3,
         "目标文件 " + target_ + " 不是普通文件\n无法写入输出文件!"},
        {"missing backup",
         removeBackup,
         {"apply"},
         3,
         backup_ + " 无法读取: No such file or directory\n无法访问选择的文件!"},
        {"unreadable backup",
         backupIsFolder,
         {"search", "00"},
         3,
         "备份文件 " + backup_ + " 不是普通文件"},
        {"old data differs",
         wrongOldData,
         {"apply"},
         1,
         "第 2 行, 偏移 00000200:\n\n原始数据不匹配!"},
        {"item past the end",
         pastTheEnd,
         {"apply", "--dry-run"},
         1,
         "第 3 行, 偏移 00000fff:\ntoo far\n文件范围超出!"},
        {"list cannot be saved",
         nullptr,
         {"copy", "1"},
         3,
         "无法将列表写入设置文件 " + settings_,
         true},
        {"list cannot be saved for a new target of the same name",
         [](CliTest& t) {
             fs::create_directory(t.dir_.File("other"));
             WriteBytes(t.dir_.File("other/game.bin"), "tiny"); // fits the size limit
         },
         {"target", "--force", dir_.File("other/game.bin")},
         3,
         "它仍记着之前的目标文件",
         true},
        {"a new backup the enabled items cannot be rebuilt from",
         [](CliTest& t) {
             fs::create_directory(t.dir_.File("other"));
             WriteBytes(t.dir_.File("other/game.bin"), "tiny");
         },
         {"target", dir_.File("other/game.bin")},
         1,
         "保留原来的备份文件: \n00000010",
         false},
        {"list cannot be saved before apply",
         [](CliTest& t) {
             // A list from before signatures: apply stores it with them first.
             std::string text = ReadBytes(t.settings_);
             std::string kept;
             for (std::size_t at = 0; at < text.size();) {
                 const std::size_t end = std::min(text.find('\n', at), text.size() - 1) + 1;
                 const std::string line = text.substr(at, end - at);
                 if (line.find("\\Signature") == std::string::npos)
                     kept += line;
                 at = end;
             }
             ASSERT_NE(kept, text);
             WriteBytes(t.settings_, kept);
         },
         {"apply"},
         3,
         "未重建目标文件",
         true},
        // The file holds the list as it stands: it is not written again
        // before the rebuild, which is what fails then.
        {"list the file holds is not saved again before apply",
         nullptr,
         {"apply"},
         3,
         "无法写入目标文件",
         true},
        // Refused before a byte is copied: under the 64-byte file limit a copy
        // would fail with another message.
        {"target of 4 GiB",
         [](CliTest& t) {
             ASSERT_EQ(::truncate(t.target_.c_str(), off_t(1) << 32), 0); // sparse
         },
         {"target", target_},
         3,
         target_ + "\n选择的文件有 4294967296 字节, 本程序只能修补小于 4 GiB (4294967296 字节) "
                   "的文件; 未复制该文件!",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(dir_.File("Path_bak"));
        fs::remove_all(target_);
        fs::remove(settings_);
        WriteBytes(target_, original_);
        PrepareList();
        if (c.setup)
            c.setup(*this);
        const auto before = Snapshot(dir_.path());
        Outcome run;
        {
            // Files the program writes are cut at 64 bytes.
            std::optional<FileSizeLimit> limit;
            if (c.limitFileSize)
                limit.emplace(64);
            run = Cli(c.args);
        }
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_TRUE(Snapshot(dir_.path()) == before) << "files changed";
    }
}

} // namespace
