// bytemender-cli import, export and diff through the in-process entry, on real
// files: each once, and bad input that gets its exit status and changes no file.
#include "tests/support/TestFiles.h"

#include "cli/Cli.h"
#include "tests/support/SourceTexts.h"

#include <gtest/gtest.h>

#include <cstdio>
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
    std::string Sparse(const std::string& name, std::uintmax_t size) {
        WriteBytes(dir_.File(name), "PATCH");
        std::error_code error;
        fs::resize_file(dir_.File(name), size, error);
        EXPECT_FALSE(error) << error.message();
        return dir_.File(name);
    }
    static std::string Changed(std::string bytes, std::size_t at, char to) {
        bytes[at] = to;
        return bytes;
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

// Items as long as an item may be come back whole from the settings file:
// runs are split where their hex text still fits one of its lines, so the
// rebuild writes every byte the diff found. A patch imported twice adds
// nothing the second time; a .dif lists only the bytes that change.
TEST_F(CliExchangeTest, LongRunsRepeatedImportsAndUnchangedBytes) {
    std::string big(0x3000, '\0');
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i);
    const std::string bigTarget = File("big.bin", big);
    std::string patched = big; // a run of 4096 changed bytes
    for (std::size_t i = 0x100; i < 0x1100; ++i)
        patched[i] = static_cast<char>(~big[i]);
    const std::string diffed = File("patched.bin", patched);
    std::string oldHex, newHex; // 4080 bytes: the longest data an item takes
    for (std::size_t i = 0x1100; i < 0x1100 + 4080; ++i) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02X", static_cast<unsigned char>(big[i]));
        oldHex += pair;
        newHex += "5A";
        patched[i] = 0x5A;
    }
    patched[0x10] = static_cast<char>(0xAA); // the list's first item
    const std::string dif = std::string(kDif) + "00000020: 20 01\n00000021: 21 21\n";
    const struct {
        std::vector<std::string> args;
        std::string out;
    } steps[] = {
        {{"target", bigTarget}, ""},
        {{"diff", bigTarget, diffed}, "已为不同的字节增加 2 个项目"},
        {{"add", "--offset", "1100", "--old", oldHex, "--new", newHex, "--enable"},
         "已增加为第 4 行."},
        {{"apply"}, ""},
        {{"import", File("p.dif", dif)}, "导入 1 个项目"},
        {{"import", dir_.File("p.dif")}, "跳过了 1 个列表中已有的相同项目. 列表未改变."},
        {{"export", dir_.File("out.dif"), "--all"}, "已导出 5 个项目"},
    };
    for (const auto& step : steps) {
        const Outcome run = Cli(step.args);
        ASSERT_EQ(run.status, 0) << step.args[0] << ": " << run.err;
        EXPECT_NE(run.out.find(step.out), std::string::npos) << run.out;
    }
    EXPECT_TRUE(ReadBytes(bigTarget) == patched) << "the rebuild left bytes unpatched";
    const std::string exported = ReadBytes(dir_.File("out.dif"));
    EXPECT_NE(exported.find("00000020: 20 01\r\n"), std::string::npos);
    EXPECT_EQ(exported.find("00000021:"), std::string::npos) << "a byte that does not change";
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
        {"original file is not the backup",
         {"diff", File("other.bin", Changed(original_, 0x300, 'q')),
          File("patched.bin", Changed(original_, 0x300, 'x'))},
         1,
         "other.bin: 偏移 0x00000300 处的字节是 71, 在备份文件 "},
        {"a .1337 file needs a PE backup to import too",
         {"import", File("p.1337", ">game.bin\n00000020:20->01\n")},
         2,
         "备份文件不是 PE 文件"},
        {"patch file too large",
         {"import", Sparse("huge.ips", (64 << 20) + 1)},
         2,
         "huge.ips: 补丁文件大于 64 MiB, 未读取"},
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
