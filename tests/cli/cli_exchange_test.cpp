// bytemender-cli import, export and diff through the in-process entry, on real
// files: each once, and bad input that gets its exit status and changes no file.
#include "tests/support/TestFiles.h"

#include "cli/Cli.h"
#include "tests/support/SourceTexts.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

// A 4 KiB target (byte i is i mod 256) chosen, with one enabled item at 0x10.
class CliExchangeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(dir_.path().empty());
        for (int i = 0; i < 4096; ++i)
            original_.push_back(static_cast<char>(i));
        WriteBytes(target_, original_);
        ASSERT_EQ(Cli({"target", target_}).status, 0);
        ASSERT_EQ(Cli({"add", "--offset", "10", "--old", "10", "--new", "AA", "--enable"}).status,
                  0);
    }
    Outcome Cli(std::vector<std::string> args) {
        args.insert(args.begin(), {"bytemender-cli", "--settings", settings_});
        std::vector<const char*> argv;
        for (const std::string& arg : args)
            argv.push_back(arg.c_str());
        std::ostringstream out, err;
        const int status = RunCli(static_cast<int>(argv.size()), argv.data(), out, err);
        return {status, out.str(), err.str()};
    }
    std::string File(const std::string& name, const std::string& contents) {
        WriteBytes(dir_.File(name), contents);
        return dir_.File(name);
    }

    TempDir dir_;
    std::string original_;
    std::string target_ = dir_.File("game.bin");
    std::string settings_ = dir_.File("list.ini");
};

const char kDif[] = "This difference file was created by IDA\n\ngame.bin\n";

TEST_F(CliExchangeTest, ImportExportDiff) {
    std::string patched = original_;
    patched[0x300] = 'x';
    const struct {
        std::vector<std::string> args;
        std::string out;
    } steps[] = {
        {{"import", File("p.dif", std::string(kDif) + "00000020: 20 01\n00000021: 21 02\n")},
         "已从 " + dir_.File("p.dif") + " (dif) 导入 1 个项目"},
        {{"export", dir_.File("out.patch"), "--format", "IPS32"}, "已导出 2 个项目"},
        {{"diff", target_, File("patched.bin", patched)}, "已为不同的字节增加 1 个项目"},
        {{"disable", "1"}, ""},
        {{"export", dir_.File("all.haxdiff"), "--all"}, "已导出 3 个项目"},
        {{"list"}, "3   00000300  是    !original  patched.bin #1  00      78\n"},
    };
    for (const auto& step : steps) {
        const Outcome run = Cli(step.args);
        EXPECT_EQ(run.status, 0) << step.args[0] << ": " << run.err;
        EXPECT_NE(run.out.find(step.out), std::string::npos) << run.out;
    }
    EXPECT_EQ(ReadBytes(dir_.File("out.patch")),
              "IPS32" + Bytes({0, 0, 0, 0x10, 0, 1, 0xAA, 0, 0, 0, 0x20, 0, 2, 1, 2}) + "EEOF");
    // --all: the item disabled before it is exported too.
    EXPECT_NE(ReadBytes(dir_.File("all.haxdiff")).find("@@ 10,"), std::string::npos);
}

TEST_F(CliExchangeTest, BadInputChangesNothing) {
    const std::string longer = File("longer.bin", original_ + "z");
    const struct {
        const char* name;
        std::vector<std::string> args;
        int status;
        std::string message;
    } cases[] = {
        {"malformed patch",
         {"import", File("bad.dif", std::string(kDif) + "00000020: 2 01\n")},
         2,
         "bad.dif: 第 4 行: 应为 \"OFFSET: OLD NEW\""},
        {"old byte differs",
         {"import", File("mm.dif", std::string(kDif) + "00000020: 99 01\n")},
         1,
         "偏移 0x00000020 处的原始数据在补丁中是 99, 在备份文件中却是 20"},
        {"missing patch", {"import", dir_.File("none.ips")}, 3, "none.ips 无法读取"},
        {"no format", {"export", dir_.File("x.txt")}, 2, "x.txt 的扩展名不对应任何补丁格式"},
        {"over the target", {"export", target_, "--format", "ips"}, 2, "导出不会替换它"},
        {"a .1337 file needs a PE backup",
         {"export", dir_.File("x.1337")},
         2,
         "备份文件不是 PE 文件"},
        {"lengths differ", {"diff", target_, longer}, 2, "--common-length 只比较前"},
    };
    const std::string settings = ReadBytes(settings_);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome run = Cli(c.args);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(ReadBytes(settings_), settings);
        EXPECT_EQ(ReadBytes(target_), original_);
        EXPECT_FALSE(fs::exists(dir_.File("x.ips")) || fs::exists(dir_.File("x.1337")));
    }
    // An item whose old data the backup does not hold is refused before writing.
    ASSERT_EQ(Cli({"edit", "1", "--old", "11"}).status, 0);
    EXPECT_EQ(Cli({"export", dir_.File("x.ips")}).status, 1);
    EXPECT_FALSE(fs::exists(dir_.File("x.ips")));
}

} // namespace
