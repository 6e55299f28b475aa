#include "winutil/FileUtil.h"

#include "tests/support/TestFiles.h"
#include "winutil/FdIo.h"
#include "winutil/UniqueFd.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

bool Exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

// Sizes either side of the switch between heap and mapped blocks.
TEST(ReadFileWhole, ReadsWholeFileWithTwoZeroBytesAfterIt) {
    TempDir dir;
    for (std::size_t size : {0u, 1u, 4096u, (1u << 20) - 67, 1u << 20, (3u << 20) + 5}) {
        std::string bytes(size, '\0');
        for (std::size_t i = 0; i < size; ++i)
            bytes[i] = static_cast<char>(i * 7 + 1);
        WriteBytes(dir.File("f"), bytes);
        std::uint32_t length = 12345;
        char* data = ReadFileWhole(dir.File("f").c_str(), &length);
        ASSERT_NE(data, nullptr) << size;
        EXPECT_EQ(length, size);
        EXPECT_EQ(std::string(data, size), bytes);
        EXPECT_EQ(data[size], 0);
        EXPECT_EQ(data[size + 1], 0);
        FreeFileData(data);
    }
}

TEST(ReadFileWhole, RefusesMissingFilesFoldersAndFilesOf4GiB) {
    TempDir dir;
    for (std::uint64_t size : {std::uint64_t(1) << 32, (std::uint64_t(1) << 32) + 9}) {
        const int fd = ::open(dir.File("big").c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(size)), 0); // sparse
        ::close(fd);
        std::uint32_t length = 77;
        EXPECT_EQ(ReadFileWhole(dir.File("big").c_str(), &length), nullptr);
        EXPECT_EQ(length, 0u);
    }
    for (const std::string& path : {dir.File("missing"), dir.path()}) {
        std::uint32_t length = 77;
        EXPECT_EQ(ReadFileWhole(path.c_str(), &length), nullptr) << path;
        EXPECT_EQ(length, 0u);
    }
    // A FIFO without a writer is refused at once, not waited on.
    ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);
    EXPECT_EQ(
        RunInChild(
            false, [&] { return ReadFileWhole(dir.File("fifo").c_str(), nullptr) ? 1 : 0; }, 5),
        0);
}

TEST(ReadFileWhole, WideNameIsConverted) {
    TempDir dir;
    WriteBytes(dir.File("补丁.bin"), "xy");
    const std::u16string wide = u"/补丁.bin";
    const std::string prefix = dir.path();
    std::u16string path(prefix.begin(), prefix.end()); // mkdtemp names are ASCII
    path += wide;
    std::uint32_t length = 0;
    char* data = ReadFileWholeW(path.c_str(), &length);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(std::string(data, length), "xy");
    FreeFileData(data);
}

TEST(FileBuffer, FailedLoadLeavesItEmptyAndReloadReplacesContents) {
    TempDir dir;
    WriteBytes(dir.File("a"), "abc");
    FileBuffer buffer;
    ASSERT_TRUE(buffer.Load(dir.File("a").c_str()));
    EXPECT_EQ(buffer.length, 3u);
    EXPECT_EQ(buffer.capacity, 3u);
    EXPECT_EQ(buffer.owns, 1u);
    EXPECT_FALSE(buffer.Load(dir.File("missing").c_str())); // frees "abc" first
    EXPECT_EQ(buffer.data, nullptr);
    EXPECT_EQ(buffer.length + buffer.capacity + buffer.owns, 0u);
    ASSERT_TRUE(buffer.Load(dir.File("a").c_str()));
    buffer.Release();
    EXPECT_EQ(buffer.data, nullptr);
}

TEST(WriteFileWhole, CountsAndNullData) {
    TempDir dir;
    const std::string path = dir.File("out");
    struct Case {
        const char* data;
        std::uint32_t count;
        std::uint32_t result;
        std::string contents;
    } cases[] = {
        {"hello\0world", 11, 11, std::string("hello\0world", 11)},
        {"hello\0world", 0, 5, "hello"}, // count 0: text length
        {nullptr, 5, 0, ""},             // creates or truncates only
    };
    for (const Case& c : cases) {
        WriteBytes(path, "previous contents");
        EXPECT_EQ(WriteFileWhole(path.c_str(), c.data, c.count), c.result);
        EXPECT_EQ(ReadBytes(path), c.contents);
    }
    EXPECT_EQ(WriteFileWhole(dir.path().c_str(), "x", 1), 0u); // a folder
}

TEST(WriteFileWhole, PathOf520BytesIsRefused) {
    TempDir dir;
    std::string folder = dir.path() + "/" + std::string(200, 'd');
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    folder += "/" + std::string(200, 'e');
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    const std::string fits = folder + "/" + std::string(519 - folder.size() - 1, 'f');
    ASSERT_EQ(fits.size(), 519u);
    EXPECT_EQ(WriteFileWhole(fits.c_str(), "ab", 2), 2u);
    const std::string tooLong = fits + "g";
    EXPECT_EQ(WriteFileWhole(tooLong.c_str(), "ab", 2), 0u);
    EXPECT_FALSE(Exists(tooLong));
}

// A file size limit makes the kernel accept only part of the write.
TEST(WriteFileWhole, ShortWriteReportsBytesActuallyWritten) {
    TempDir dir;
    const std::string data(5000, 'z');
    std::uint32_t written = 0;
    {
        FileSizeLimit limit(1000);
        ASSERT_TRUE(limit.active());
        written = WriteFileWhole(dir.File("short").c_str(), data.data(), 5000);
    }
    EXPECT_EQ(written, 1000u);
    EXPECT_EQ(ReadBytes(dir.File("short")).size(), 1000u);
}

TEST(SplitPath, LaterSeparatorWins) {
    struct Case {
        const char* path;
        bool result;
        const char* directory;
        const char* name;
    } cases[] = {
        {"/a/b\\c.exe", true, "/a/b", "c.exe"},
        {"C:\\x/y.bin", true, "C:\\x", "y.bin"},
        {"C:/x\\y.bin", true, "C:/x", "y.bin"},
        {"plain.txt", false, "plain.txt", "plain.txt"},
        {"", false, "", ""},
        {"dir/", true, "dir", ""},
        {"/root", true, "", "root"},
    };
    for (const Case& c : cases) {
        std::string directory = "old", name = "old";
        EXPECT_EQ(SplitPath(c.path, &directory, &name), c.result) << c.path;
        EXPECT_EQ(directory, c.directory) << c.path;
        EXPECT_EQ(name, c.name) << c.path;
        std::string onlyName;
        EXPECT_EQ(SplitPath(c.path, nullptr, &onlyName), c.result);
        EXPECT_EQ(onlyName, c.name);
    }
}

TEST(GetModuleDir, IsTheExecutablesFolderWithoutTrailingSeparator) {
    std::string dir, file;
    ASSERT_TRUE(GetModuleDir(&dir));
    ASSERT_TRUE(GetModuleFileName(&file));
    ASSERT_FALSE(dir.empty());
    EXPECT_NE(dir.back(), '/');
    EXPECT_EQ(file.substr(0, dir.size() + 1), dir + "/");
    EXPECT_EQ(file.find('/', dir.size() + 1), std::string::npos);
}

TEST(HasFileChanged, SizeAndWriteTimeChangesAreSeenOnce) {
    TempDir dir;
    const std::string path = dir.File("watched");
    const std::u16string wide(path.begin(), path.end());
    FileChangeStamp stamp;
    EXPECT_FALSE(HasFileChanged(wide.c_str(), &stamp)); // missing = size 0, time 0
    WriteBytes(path, "one");
    EXPECT_TRUE(HasFileChanged(wide.c_str(), &stamp)); // seen for the first time
    EXPECT_EQ(stamp.size, 3u);
    EXPECT_FALSE(HasFileChanged(wide.c_str(), &stamp));
    timespec times[2] = {{0, UTIME_OMIT}, {12345, 678}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0); // same size, new time
    EXPECT_TRUE(HasFileChanged(wide.c_str(), &stamp));
    EXPECT_FALSE(HasFileChanged(wide.c_str(), &stamp));
    ::unlink(path.c_str());
    EXPECT_TRUE(HasFileChanged(wide.c_str(), &stamp)); // disappeared: once
    EXPECT_FALSE(HasFileChanged(wide.c_str(), &stamp));
}

TEST(HasFileChanged, EarlyCallsSkipTheFileAndPushTheNextLookOut) {
    TempDir dir;
    const std::string path = dir.File("watched");
    const std::u16string wide(path.begin(), path.end());
    WriteBytes(path, "data");
    FileChangeStamp stamp;
    stamp.minInterval = 60000;
    EXPECT_TRUE(HasFileChanged(wide.c_str(), &stamp)); // first look
    const std::uint32_t first = stamp.lastTick;
    EXPECT_NE(first, 0u);
    WriteBytes(path, "changed data");
    stamp.lastTick = GetTickCountMs() - 59000; // interval not yet over
    EXPECT_FALSE(HasFileChanged(wide.c_str(), &stamp));
    EXPECT_GE(stamp.lastTick - first, 0u);
    EXPECT_LT(GetTickCountMs() - stamp.lastTick, 1000u); // pushed to now
    stamp.lastTick = GetTickCountMs() - 61000;           // interval over
    const std::uint32_t before = stamp.lastTick;
    EXPECT_TRUE(HasFileChanged(wide.c_str(), &stamp));
    EXPECT_EQ(stamp.lastTick, before); // a real look keeps the tick
}

TEST(HasFileChanged, NullStampUsesTheDefaultStamp) {
    TempDir dir;
    const std::string path = dir.File("watched");
    const std::u16string wide(path.begin(), path.end());
    WriteBytes(path, "12345");
    HasFileChanged(wide.c_str(), nullptr);
    EXPECT_EQ(DefaultFileChangeStamp().size, 5u);
    EXPECT_FALSE(HasFileChanged(wide.c_str(), nullptr));
}

} // namespace

TEST(ReadAllAt, EarlyEndIsToldFromAnError) {
    TempDir dir;
    WriteBytes(dir.File("f"), "abcdef");
    const UniqueFd fd(::open(dir.File("f").c_str(), O_RDWR | O_CLOEXEC));
    ASSERT_TRUE(fd.valid());
    struct Case {
        std::uint64_t offset;
        std::size_t size;
        bool ok; // else the file ends first, with errno 0
    } const cases[] = {{2, 4, true}, {0, 0, true}, {4, 3, false}, {6, 1, false}};
    for (const Case& c : cases) {
        char out[8] = {};
        errno = EINVAL;
        EXPECT_EQ(ReadAllAt(fd.get(), c.offset, out, c.size), c.ok) << c.offset;
        if (c.ok) {
            EXPECT_EQ(std::string(out, c.size), std::string("abcdef").substr(c.offset, c.size));
        } else {
            EXPECT_EQ(errno, 0) << c.offset;
        }
    }
    EXPECT_FALSE(ReadAllAt(-1, 0, nullptr, 1));
    EXPECT_EQ(errno, EBADF);
    // Written bytes land at the offset and are read back there.
    ASSERT_TRUE(WriteAllAt(fd.get(), 3, "XY", 2));
    char back[6];
    ASSERT_TRUE(ReadAllAt(fd.get(), 0, back, 6));
    EXPECT_EQ(std::string(back, 6), "abcXYf");
}
