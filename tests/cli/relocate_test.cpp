// Relocation on real programs: two versions of a small C program built with
// gcc (ELF) and with MinGW (PE), the second with a function added in front
// of the patched ones and a longer string, so that code, data and relative
// displacements move. Items made at function starts in version 1 must land at
// the same functions in version 2, and the rebuild must then give version 2
// with every patch.
#include "tests/support/SourceTexts.h"
#include "tests/support/TestFiles.h"

#include "cli/Cli.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <vector>

namespace {

constexpr const char* kVersion1 = R"(#include <stdio.h>
static const char greeting[] = "hello";
__attribute__((noinline)) int alpha(int x) { return x * 3 + greeting[x & 3]; }
__attribute__((noinline)) int beta(int x) { printf("%s %d\n", greeting, x); return alpha(x) - 1; }
int main(int argc, char **argv) { (void)argv; return beta(argc) + alpha(argc); }
)";

constexpr const char* kVersion2 = R"(#include <stdio.h>
static const char greeting[] = "hello, and welcome to the second version";
__attribute__((noinline)) int gamma_(int x) { puts(greeting); return x ^ 0x55; }
__attribute__((noinline)) int alpha(int x) { return x * 3 + greeting[x & 3]; }
__attribute__((noinline)) int beta(int x) { printf("%s %d\n", greeting, x); return alpha(x) - 1; }
int main(int argc, char **argv) { (void)argv; return beta(argc) + alpha(argc) + gamma_(argc); }
)";

struct Toolchain {
    const char* name;
    const char* compiler;
    const char* nm;
    const char* objdump;
    const char* suffix; // MinGW adds ".exe" to a name without one
    // CTest lists a row by its name, not by its bytes.
    friend void PrintTo(const Toolchain& t, std::ostream* os) { *os << t.name; }
};

std::string Output(const std::string& command) {
    std::string text;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            text.append(buffer, n);
        ::pclose(pipe);
    }
    return text;
}

// The file offset of a function, from the symbol table and the .text header.
std::uint32_t FunctionOffset(const Toolchain& tools, const std::string& program,
                             const char* function) {
    std::istringstream symbol(Output(std::string(tools.nm) + " " + program + " | awk '$3==\"" +
                                     function + "\"{print $1}'"));
    std::istringstream text(Output(std::string(tools.objdump) + " -h " + program +
                                   " | awk '$2==\".text\"{print $4, $6}'"));
    unsigned long long address = 0, vma = 0, fileOffset = 0;
    symbol >> std::hex >> address;
    text >> std::hex >> vma >> fileOffset;
    return static_cast<std::uint32_t>(address - vma + fileOffset);
}

std::string HexOf(const std::string& bytes) {
    std::string text;
    char pair[4];
    for (const char c : bytes) {
        std::snprintf(pair, sizeof pair, "%02X ", static_cast<unsigned char>(c));
        text += pair;
    }
    return text;
}

class RelocateProgram : public ::testing::TestWithParam<Toolchain> {
  protected:
    struct Run {
        int status;
        std::string out;
    };
    Run Cli(std::vector<std::string> args) {
        args.insert(args.begin(), {"bytemender-cli", "--settings", dir_.File("bytemender.ini")});
        std::vector<const char*> argv;
        for (const std::string& arg : args)
            argv.push_back(arg.c_str());
        std::ostringstream out, err;
        const int status = RunCli(static_cast<int>(argv.size()), argv.data(), out, err);
        return {status, out.str() + err.str()};
    }
    // Builds source into a program named name; false when the compiler is missing.
    bool Build(const char* source, const std::string& name) {
        WriteBytes(dir_.File(name + ".c"), source);
        const std::string command = std::string(GetParam().compiler) + " -O1 -fno-inline -o " +
                                    Program(name) + " " + dir_.File(name + ".c") + " 2>/dev/null";
        return std::system(command.c_str()) == 0;
    }
    std::string Program(const std::string& name) const {
        return dir_.File(name) + GetParam().suffix;
    }
    TempDir dir_;
};

TEST_P(RelocateProgram, ItemsFollowTheirFunctionsIntoTheNextVersion) {
    const Toolchain& tools = GetParam();
    if (!Build(kVersion1, "v1") || !Build(kVersion2, "v2"))
        GTEST_SKIP() << tools.compiler << " is not installed";
    const std::string v1 = ReadBytes(Program("v1"));
    const std::string v2 = ReadBytes(Program("v2"));
    const char* functions[] = {"alpha", "beta"};
    const std::string patch = "\x31\xC0\xC3\x90\x90"; // xor eax, eax; ret
    const std::string target = dir_.File("program");
    WriteBytes(target, v1);
    ASSERT_EQ(Cli({"target", target}).status, 0);
    for (const char* function : functions) {
        const std::uint32_t at = FunctionOffset(tools, Program("v1"), function);
        char offset[16];
        std::snprintf(offset, sizeof offset, "%x", at);
        ASSERT_EQ(Cli({"add", "--offset", offset, "--old", HexOf(v1.substr(at, 5)), "--new",
                       HexOf(patch), "--description", function, "--enable"})
                      .status,
                  0);
    }
    // beta calls printf and alpha and loads the string: those fields are wildcards.
    const Run listed = Cli({"list", "--json"});
    EXPECT_NE(listed.out.find("\"signature\": \""), std::string::npos);
    EXPECT_NE(listed.out.find("??"), std::string::npos) << listed.out;

    // The program is updated. A list made on another version meets the new
    // one in the backup: relocate on its own moves the items.
    const std::string backup = dir_.File("Path_bak/program");
    const std::string settings = ReadBytes(dir_.File("bytemender.ini"));
    WriteBytes(backup, v2);
    EXPECT_EQ(Cli({"apply"}).status, 1); // the items are not at their offsets
    const Run dry = Cli({"relocate", "--dry-run"});
    EXPECT_EQ(dry.status, 0) << dry.out;
    EXPECT_NE(dry.out.find("将移动 2 个项目, 0 个无法重新定位"), std::string::npos) << dry.out;
    const Run moved = Cli({"relocate", "--json"});
    ASSERT_EQ(moved.status, 0) << moved.out;
    EXPECT_NE(moved.out.find("\"moved\": 2"), std::string::npos) << moved.out;
    EXPECT_EQ(Cli({"relocate"}).status, 0); // nothing left to move
    std::string expected = v2;
    for (const char* function : functions)
        expected.replace(FunctionOffset(tools, Program("v2"), function), patch.size(), patch);

    // One step from the updated target, by either road: the moves are
    // printed, the new backup taken and the target rebuilt with them.
    for (const char* road : {"apply --rebackup", "target"}) {
        WriteBytes(dir_.File("bytemender.ini"), settings);
        WriteBytes(backup, v1);
        WriteBytes(target, v2);
        const Run run =
            road == std::string("target") ? Cli({"target", target}) : Cli({"apply", "--rebackup"});
        ASSERT_EQ(run.status, 0) << road << ": " << run.out;
        EXPECT_NE(run.out.find("-> "), std::string::npos) << road << ": " << run.out;
        EXPECT_EQ(ReadBytes(backup), v2) << road;
        if (road == std::string("target")) {
            ASSERT_EQ(Cli({"apply"}).status, 0);
        }
        EXPECT_EQ(ReadBytes(target), expected) << road;
    }

    // An update that changed alpha's first bytes: it cannot be placed, so
    // nothing changes until --force takes the new backup with beta moved.
    std::string changed = v2;
    changed[FunctionOffset(tools, Program("v2"), "alpha")] ^= 0x40;
    WriteBytes(dir_.File("bytemender.ini"), settings);
    WriteBytes(backup, v1);
    WriteBytes(target, changed);
    const Run refused = Cli({"apply", "--rebackup"});
    EXPECT_EQ(refused.status, 1) << refused.out;
    EXPECT_NE(refused.out.find("无法重新定位, 在备份文件中没找到它的特征码: alpha"),
              std::string::npos)
        << refused.out;
    EXPECT_EQ(ReadBytes(dir_.File("bytemender.ini")), settings);
    EXPECT_EQ(ReadBytes(backup), v1);
    EXPECT_EQ(ReadBytes(target), changed);
    const Run forced = Cli({"apply", "--rebackup", "--force"});
    EXPECT_EQ(forced.status, 1) << forced.out; // the rebuild refuses alpha
    EXPECT_EQ(ReadBytes(backup), changed);
    EXPECT_EQ(Cli({"relocate", "--dry-run"}).status, 1); // alpha stays unplaced
}

INSTANTIATE_TEST_SUITE_P(
    Toolchains, RelocateProgram,
    ::testing::Values(Toolchain{"ElfGcc", "gcc", "nm", "objdump", ""},
                      Toolchain{"PeMingw", "x86_64-w64-mingw32-gcc", "x86_64-w64-mingw32-nm",
                                "x86_64-w64-mingw32-objdump", ".exe"}),
    [](const ::testing::TestParamInfo<Toolchain>& info) { return std::string(info.param.name); });

} // namespace
