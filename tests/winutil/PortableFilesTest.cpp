// The file door and the safe replace on both systems: names Windows takes
// for devices, same-file checks, non-ASCII names, replacing a file that is
// open for reading, the list lock, and the SHA-256 of the system's library.
#include "winutil/FdIo.h"
#include "winutil/FileLock.h"
#include "winutil/FileUtil.h"
#include "winutil/SafeFile.h"
#include "winutil/Sha256.h"
#include "winutil/UniqueFd.h"

#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

namespace {

struct DeviceCase {
    const char* path;
    bool device;
};

TEST(PortableFiles, WindowsDeviceNames) {
    const DeviceCase cases[] = {
        {"NUL", true},       {"nul.txt", true},      {"C:\\dir\\con", true},
        {"dir/COM1", true},  {"lpt9.log", true},     {"\\\\.\\PhysicalDrive0", true},
        {"CONOUT$", true},   {"aux .ini", true},     {"COM0", false},
        {"console", false},  {"nullify.bin", false}, {"C:\\nul\\file.bin", false},
        {"目录\\NUL", true}, {"普通.bin", false},    {"", false},
    };
    for (const DeviceCase& c : cases)
        EXPECT_EQ(IsWindowsDeviceName(c.path), c.device) << c.path;
}

TEST(PortableFiles, NonAsciiNamesAreWrittenReadAndCompared) {
    TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    const std::string folder = dir.File("补丁 folder");
    ASSERT_TRUE(MakeFolder(folder, 0777));
    const std::string path = folder + "/目标文件.bin";
    ASSERT_TRUE(ReplaceFileContents(path, "abc", 3));

    const FileInfo info = LookAtPath(path);
    EXPECT_EQ(info.kind, FileKind::Regular);
    EXPECT_EQ(info.size, 3u);
    EXPECT_TRUE(SameFile(path, folder + "/./目标文件.bin"));
    EXPECT_FALSE(SameFile(path, folder));
    EXPECT_EQ(LookAtPath(folder).kind, FileKind::Folder);
    EXPECT_EQ(LookAtPath(folder + "/missing").kind, FileKind::Missing);

    std::uint32_t length = 0;
    char* data = ReadFileWhole(path.c_str(), &length);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(std::string(data, length), "abc");
    FreeFileData(data);
}

TEST(PortableFiles, AFileOpenForReadingIsReplacedAndTheReaderKeepsTheOldBytes) {
    TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    const std::string path = dir.File("open.bin");
    ASSERT_TRUE(ReplaceFileContents(path, "old", 3));
    FileInfo info;
    const UniqueFd reader(OpenRegularForReading(path.c_str(), &info));
    ASSERT_TRUE(reader.valid());

    ASSERT_TRUE(ReplaceFileContents(path, "newer", 5));
    char seen[3] = {};
    ASSERT_TRUE(ReadAllAt(reader.get(), 0, seen, sizeof seen));
    EXPECT_EQ(std::string(seen, 3), "old");
    EXPECT_EQ(LookAtPath(path).size, 5u);
}

TEST(PortableFiles, FoldersAreRefusedForReadingAndReplacing) {
    TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    FileInfo info;
    EXPECT_LT(OpenRegularForReading(dir.path().c_str(), &info), 0);
    SafeFile file;
    EXPECT_FALSE(file.Open(dir.path()));
    EXPECT_EQ(file.Why(), SafeFile::Reason::NotRegular);
}

TEST(PortableFiles, TheListLockExcludesASecondHolderAndNamesTheFirst) {
    TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    const std::string list = dir.File("列表.ini");
    FileLock first;
    ASSERT_EQ(first.Acquire(list, std::chrono::milliseconds(0)), FileLock::Result::Locked);
    FileLock second;
    EXPECT_EQ(second.Acquire(list, std::chrono::milliseconds(20)), FileLock::Result::Busy);
    EXPECT_NE(second.Holder(), 0);
    EXPECT_EQ(second.HolderName(), "winutil_tests");
    EXPECT_FALSE(second.Held());
    first.Release();
    EXPECT_EQ(second.Acquire(list, std::chrono::milliseconds(0)), FileLock::Result::Locked);
    EXPECT_TRUE(second.Held());
}

TEST(PortableFiles, Sha256OfKnownTexts) {
    const auto hex = [](const std::array<std::uint8_t, 32>& digest) {
        std::string text;
        for (std::uint8_t byte : digest) {
            text += "0123456789abcdef"[byte >> 4];
            text += "0123456789abcdef"[byte & 15];
        }
        return text;
    };
    EXPECT_EQ(hex(Sha256("", 0)),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    Sha256Stream stream;
    ASSERT_TRUE(stream.Add("a", 1));
    ASSERT_TRUE(stream.Add("bc", 2));
    std::array<std::uint8_t, 32> digest{};
    ASSERT_TRUE(stream.Finish(&digest));
    EXPECT_EQ(hex(digest), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_FALSE(stream.Add("x", 1)); // finished once
}

} // namespace
