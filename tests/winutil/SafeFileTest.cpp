#include "winutil/SafeFile.h"

#include "tests/support/TestFiles.h"

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Reason = SafeFile::Reason;
namespace fs = std::filesystem;

const std::string kOld = "the old contents, longer than the new ones";
const std::string kNew = "new contents";

struct stat Stat(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st;
}

// Writes contents to d/name with the given bits; returns the path.
std::string Put(const std::string& d, const std::string& name, const std::string& contents,
                mode_t mode = 0644) {
    WriteBytes(d + "/" + name, contents);
    ::chmod((d + "/" + name).c_str(), mode);
    return d + "/" + name;
}

// A folder the unprivileged user owns and may not write, holding a file "f"
// it may write.
std::string ReadOnlyFolderWithFile(const std::string& d) {
    ::mkdir((d + "/sub").c_str(), 0755);
    const std::string file = Put(d, "sub/f", kOld);
    GiveToUnprivileged(file);
    GiveToUnprivileged(d + "/sub");
    ::chmod((d + "/sub").c_str(), 0555);
    return file;
}

void SetAge(const std::string& path, int seconds) {
    const timespec times[2] = {{0, UTIME_OMIT}, {::time(nullptr) - seconds, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

int TemporaryFiles(const std::string& d) {
    int count = 0;
    for (const auto& entry : fs::recursive_directory_iterator(d))
        count += entry.path().filename().string().find(".bytemender-") != std::string::npos;
    return count;
}

struct Case {
    const char* name;
    bool unprivileged;
    std::function<std::string(const std::string&)> setup; // returns the path to replace
    Reason reason;
    std::string file;     // checked afterwards: holds contents (unless empty)
    std::string contents; // kNew or kOld
    std::function<void(const std::string&)> check = [](const std::string&) {};
    int leftOver = 0; // temporary files afterwards
    rlim_t sizeLimit = RLIM_INFINITY;
};

TEST(SafeFile, ReplaceCases) {
    const Case cases[] = {
        {"new file", false, [](const std::string& d) { return d + "/f"; }, Reason::Ok, "f", kNew,
         [](const std::string& d) { EXPECT_EQ(Stat(d + "/f").st_mode & 07777, 0644u); }},
        {"existing file keeps its bits and owner", false,
         [](const std::string& d) {
             GiveToUnprivileged(Put(d, "f", kOld, 0640));
             return d + "/f";
         },
         Reason::Ok, "f", kNew,
         [](const std::string& d) {
             EXPECT_EQ(Stat(d + "/f").st_mode & 07777, 0640u);
             EXPECT_EQ(Stat(d + "/f").st_uid, ::geteuid() == 0 ? kUnprivileged : ::geteuid());
         }},
        {"bits the file-creation mask removes are kept", false,
         [](const std::string& d) { return Put(d, "f", kOld, 0664); }, Reason::Ok, "f", kNew,
         [](const std::string& d) { EXPECT_EQ(Stat(d + "/f").st_mode & 07777, 0664u); }},
        {"the owner's set-user and set-group program keeps those bits", true,
         [](const std::string& d) {
             const std::string file = Put(d, "f", kOld, 0755);
             GiveToUnprivileged(file);
             ::chmod(file.c_str(), 06755); // after the owner changed: that clears them
             return file;
         },
         Reason::Ok, "f", kNew,
         [](const std::string& d) { EXPECT_EQ(Stat(d + "/f").st_mode & 07777, 06755u); }},
        {"someone else's set-user file never becomes the writer's", true,
         [](const std::string& d) {
             if (::geteuid() != 0) // then everyone is the owner here; nothing to show
                 return Put(d, "f", kOld, 0755);
             return Put(d, "f", kOld, 04777);
         },
         Reason::Ok, "f", kNew,
         [](const std::string& d) { EXPECT_EQ(Stat(d + "/f").st_mode & 06000, 0u); }},
        {"the owner's set-user program written in place keeps the bit", true,
         [](const std::string& d) {
             const std::string file = ReadOnlyFolderWithFile(d);
             ::chmod(file.c_str(), 04755);
             return file;
         },
         Reason::Ok, "sub/f", kNew,
         [](const std::string& d) { EXPECT_EQ(Stat(d + "/sub/f").st_mode & 07777, 04755u); }},
        {"symbolic link stays a link, the file it names changes", false,
         [](const std::string& d) {
             ::mkdir((d + "/sub").c_str(), 0755);
             Put(d, "sub/real", kOld);
             fs::create_symlink("sub/real", d + "/link");
             return d + "/link";
         },
         Reason::Ok, "sub/real", kNew,
         [](const std::string& d) { EXPECT_TRUE(fs::is_symlink(d + "/link")); }},
        {"dangling link: the file it names is made", false,
         [](const std::string& d) {
             fs::create_symlink("made", d + "/link");
             return d + "/link";
         },
         Reason::Ok, "made", kNew,
         [](const std::string& d) { EXPECT_TRUE(fs::is_symlink(d + "/link")); }},
        {"FIFO refused without blocking", false,
         [](const std::string& d) {
             ::mkfifo((d + "/f").c_str(), 0666);
             return d + "/f";
         },
         Reason::NotRegular, "", "",
         [](const std::string& d) { EXPECT_TRUE(fs::is_fifo(d + "/f")); }},
        {"device refused", false, NullDeviceIn, Reason::NotRegular, "", "",
         [](const std::string& d) { EXPECT_TRUE(fs::is_character_file(d + "/null")); }},
        {"folder refused", false,
         [](const std::string& d) {
             ::mkdir((d + "/f").c_str(), 0755);
             return d + "/f";
         },
         Reason::NotRegular, "", "",
         [](const std::string& d) { EXPECT_TRUE(fs::is_empty(d + "/f")); }},
        {"read-only file is never replaced", true,
         [](const std::string& d) {
             GiveToUnprivileged(Put(d, "f", kOld, 0444));
             return d + "/f";
         },
         Reason::ReadOnly, "f", kOld},
        {"read-only folder, writable file: written in place", true, ReadOnlyFolderWithFile,
         Reason::Ok, "sub/f", kNew},
        {"read-only folder, short write in place is a failure", true, ReadOnlyFolderWithFile,
         Reason::IoError, "", "", [](const std::string&) {}, 0, 4},
        {"read-only folder, no file", true,
         [](const std::string& d) { return ReadOnlyFolderWithFile(d) + "-missing"; },
         Reason::FolderRefused, "", "",
         [](const std::string& d) { EXPECT_FALSE(fs::exists(d + "/sub/f-missing")); }},
        {"sticky folder, someone else's writable file: written in place", true,
         [](const std::string& d) {
             ::mkdir((d + "/sticky").c_str(), 0755);
             ::chmod((d + "/sticky").c_str(), 01777);
             return Put(d, "sticky/f", kOld, 0666);
         },
         Reason::Ok, "sticky/f", kNew,
         [](const std::string& d) { EXPECT_EQ(Stat(d + "/sticky/f").st_uid, ::geteuid()); }},
        {"stale temporary files of the same file are removed", false,
         [](const std::string& d) {
             const struct {
                 const char* name;
                 int age;
             } files[] = {{".f.bytemender-AAAAAA", 120},
                          {".f.bytemender-BBBBBB", 10}, // may be a save running now
                          {".g.bytemender-CCCCCC", 120},
                          {".f.bytemender-DDDDD", 120}};
             for (const auto& file : files)
                 SetAge(Put(d, file.name, "left over"), file.age);
             return d + "/f";
         },
         Reason::Ok, "f", kNew,
         [](const std::string& d) { EXPECT_FALSE(fs::exists(d + "/.f.bytemender-AAAAAA")); }, 3},
    };
    const mode_t mask = ::umask(022);
    for (const Case& c : cases) {
        TempDir dir;
        ::chmod(dir.path().c_str(), 0777); // the unprivileged user works here too
        const std::string path = c.setup(dir.path());
        if (path.empty()) {
            std::printf("[ SKIPPED  ] %s: cannot be made here\n", c.name);
            continue;
        }
        const int status = RunInChild(c.unprivileged, [&] {
            const rlimit limit{c.sizeLimit, c.sizeLimit};
            std::signal(SIGXFSZ, SIG_IGN);
            ::setrlimit(RLIMIT_FSIZE, &limit);
            Reason why = Reason::Ok;
            ReplaceFileContents(path, kNew.data(), kNew.size(), &why);
            return static_cast<int>(why);
        });
        EXPECT_EQ(status, static_cast<int>(c.reason)) << c.name;
        if (!c.file.empty()) {
            EXPECT_EQ(ReadBytes(dir.File(c.file)), c.contents) << c.name;
        }
        c.check(dir.path());
        EXPECT_EQ(TemporaryFiles(dir.path()), c.leftOver) << c.name;
        ::chmod(dir.File("sub").c_str(), 0755);
    }
    ::umask(mask);
}

// A flush part way lets the caller work on while the disk catches up: the
// file keeps its old contents until the commit, which puts in what was
// written after the flush as well, and cuts an old file written in place to
// the new length.
TEST(SafeFile, FlushPartWayThenCommit) {
    const struct {
        const char* name;
        bool unprivileged;
        std::function<std::string(const std::string&)> setup;
        std::string file;
    } cases[] = {
        {"temporary file", false, [](const std::string& d) { return Put(d, "f", kOld); }, "f"},
        {"written in place", true, ReadOnlyFolderWithFile, "sub/f"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        ::chmod(dir.path().c_str(), 0777);
        const std::string path = c.setup(dir.path());
        const int status = RunInChild(c.unprivileged, [&] {
            SafeFile file;
            if (!file.Open(path) || !file.Write("new ", 4) || !file.Flush())
                return 1;
            if (!file.InPlace() && ReadBytes(path) != kOld)
                return 2;
            return file.Write("contents", 8) && file.Commit() ? 0 : 3;
        });
        EXPECT_EQ(status, 0);
        EXPECT_EQ(ReadBytes(dir.File(c.file)), kNew);
        EXPECT_EQ(TemporaryFiles(dir.path()), 0);
        ::chmod(dir.File("sub").c_str(), 0755);
    }
}

// A running program can be renamed over but not written: where its folder
// takes no new file, the write in place is refused as "in use" (ETXTBSY),
// not as an unnamed I/O error, and the program stays whole.
TEST(SafeFile, RunningProgramWrittenInPlaceIsInUse) {
    TempDir dir;
    ::chmod(dir.path().c_str(), 0777);
    const std::string program = ReadOnlyFolderWithFile(dir.path());
    ::chmod(dir.File("sub").c_str(), 0755);
    const std::string original = ReadBytes("/bin/sleep");
    WriteBytes(program, original);
    ::chmod(program.c_str(), 0755);
    ::chmod(dir.File("sub").c_str(), 0555);
    const pid_t running = ::fork();
    if (running == 0) {
        ::execl(program.c_str(), "sleep", "30", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ASSERT_GT(running, 0);
    // Until the program runs, its file may still be written.
    const std::string exe = "/proc/" + std::to_string(running) + "/exe";
    std::error_code error;
    for (int tries = 0; tries < 500 && fs::read_symlink(exe, error) != program; ++tries)
        ::usleep(10000);
    ASSERT_EQ(fs::read_symlink(exe, error), program);

    const int status = RunInChild(true, [&] {
        Reason why = Reason::Ok;
        ReplaceFileContents(program, kNew.data(), kNew.size(), &why);
        return static_cast<int>(why);
    });
    ::kill(running, SIGKILL);
    ::waitpid(running, nullptr, 0);
    ::chmod(dir.File("sub").c_str(), 0755);
    EXPECT_EQ(status, static_cast<int>(Reason::InUse));
    EXPECT_TRUE(ReadBytes(program) == original);
    EXPECT_EQ(TemporaryFiles(dir.path()), 0);
}

} // namespace
