#include "winutil/SafeFile.h"

#include "tests/support/TestFiles.h"

#include <algorithm>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <vector>

namespace {

using Reason = SafeFile::Reason;
namespace fs = std::filesystem;

const std::string kOld = "the old contents, longer than the new ones";
const std::string kNew = "new contents";

std::vector<std::string> Listing(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

struct stat Stat(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st;
}

// A folder the unprivileged user owns and may not write, holding a file "f"
// it may write.
std::string ReadOnlyFolderWithFile(const std::string& dir) {
    const std::string sub = dir + "/sub";
    ::mkdir(sub.c_str(), 0755);
    WriteBytes(sub + "/f", kOld);
    GiveToUnprivileged(sub + "/f");
    GiveToUnprivileged(sub);
    ::chmod(sub.c_str(), 0555);
    return sub + "/f";
}

void SetAge(const std::string& path, int seconds) {
    const timespec times[2] = {{0, UTIME_OMIT}, {::time(nullptr) - seconds, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

struct Case {
    const char* name;
    bool unprivileged;
    std::function<std::string(const std::string&)> setup; // returns the path to replace
    Reason reason;
    std::function<void(const std::string&)> check;
    rlim_t sizeLimit = RLIM_INFINITY;
};

TEST(SafeFile, ReplaceCases) {
    const Case cases[] = {
        {"new file", false, [](const std::string& d) { return d + "/f"; }, Reason::Ok,
         [](const std::string& d) {
             EXPECT_EQ(ReadBytes(d + "/f"), kNew);
             EXPECT_EQ(Stat(d + "/f").st_mode & 07777, 0644u); // umask 022
         }},
        {"existing file keeps its bits and owner", false,
         [](const std::string& d) {
             WriteBytes(d + "/f", kOld);
             ::chmod((d + "/f").c_str(), 0640);
             GiveToUnprivileged(d + "/f");
             return d + "/f";
         },
         Reason::Ok,
         [](const std::string& d) {
             EXPECT_EQ(ReadBytes(d + "/f"), kNew);
             EXPECT_EQ(Stat(d + "/f").st_mode & 07777, 0640u);
             if (::geteuid() == 0) {
                 EXPECT_EQ(Stat(d + "/f").st_uid, kUnprivileged);
             }
         }},
        {"symbolic link stays a link, the file it names changes", false,
         [](const std::string& d) {
             ::mkdir((d + "/sub").c_str(), 0755);
             WriteBytes(d + "/sub/real", kOld);
             fs::create_symlink("sub/real", d + "/link");
             return d + "/link";
         },
         Reason::Ok,
         [](const std::string& d) {
             EXPECT_TRUE(fs::is_symlink(d + "/link"));
             EXPECT_EQ(ReadBytes(d + "/sub/real"), kNew);
             EXPECT_EQ(Listing(d + "/sub"), std::vector<std::string>{"real"});
         }},
        {"dangling link: the file it names is made", false,
         [](const std::string& d) {
             fs::create_symlink("made", d + "/link");
             return d + "/link";
         },
         Reason::Ok,
         [](const std::string& d) {
             EXPECT_TRUE(fs::is_symlink(d + "/link"));
             EXPECT_EQ(ReadBytes(d + "/made"), kNew);
         }},
        {"FIFO refused without blocking", false,
         [](const std::string& d) {
             ::mkfifo((d + "/f").c_str(), 0666);
             return d + "/f";
         },
         Reason::NotRegular, [](const std::string& d) { EXPECT_TRUE(fs::is_fifo(d + "/f")); }},
        {"device refused", false, [](const std::string&) { return std::string("/dev/null"); },
         Reason::NotRegular,
         [](const std::string&) { EXPECT_TRUE(fs::is_character_file("/dev/null")); }},
        {"folder refused", false,
         [](const std::string& d) {
             ::mkdir((d + "/f").c_str(), 0755);
             return d + "/f";
         },
         Reason::NotRegular, [](const std::string& d) { EXPECT_TRUE(fs::is_empty(d + "/f")); }},
        {"read-only file is never replaced", true,
         [](const std::string& d) {
             WriteBytes(d + "/f", kOld);
             GiveToUnprivileged(d + "/f");
             ::chmod((d + "/f").c_str(), 0444);
             return d + "/f";
         },
         Reason::ReadOnly,
         [](const std::string& d) {
             EXPECT_EQ(ReadBytes(d + "/f"), kOld);
             EXPECT_EQ(Listing(d), std::vector<std::string>{"f"});
         }},
        {"read-only folder, writable file: written in place", true, ReadOnlyFolderWithFile,
         Reason::Ok, [](const std::string& d) { EXPECT_EQ(ReadBytes(d + "/sub/f"), kNew); }},
        {"read-only folder, short write in place is a failure", true, ReadOnlyFolderWithFile,
         Reason::IoError, [](const std::string&) {}, 4},
        {"read-only folder, no file", true,
         [](const std::string& d) {
             ReadOnlyFolderWithFile(d);
             return d + "/sub/g";
         },
         Reason::FolderRefused,
         [](const std::string& d) { EXPECT_FALSE(fs::exists(d + "/sub/g")); }},
        {"sticky folder, someone else's writable file: written in place", true,
         [](const std::string& d) {
             ::mkdir((d + "/sticky").c_str(), 0755);
             ::chmod((d + "/sticky").c_str(), 01777);
             WriteBytes(d + "/sticky/f", kOld);
             ::chmod((d + "/sticky/f").c_str(), 0666);
             return d + "/sticky/f";
         },
         Reason::Ok,
         [](const std::string& d) {
             EXPECT_EQ(ReadBytes(d + "/sticky/f"), kNew);
             EXPECT_EQ(Stat(d + "/sticky/f").st_uid, ::geteuid()); // still the owner's
         }},
        {"short write keeps the old file and leaves no temporary file", false,
         [](const std::string& d) {
             WriteBytes(d + "/f", kOld);
             return d + "/f";
         },
         Reason::IoError,
         [](const std::string& d) {
             EXPECT_EQ(ReadBytes(d + "/f"), kOld);
             EXPECT_EQ(Listing(d), std::vector<std::string>{"f"});
         },
         4},
        {"stale temporary files of the same file are removed", false,
         [](const std::string& d) {
             for (const char* name : {".f.bytemender-AAAAAA", ".f.bytemender-BBBBBB",
                                      ".g.bytemender-CCCCCC", ".f.bytemender-DDDDD"})
                 WriteBytes(d + "/" + name, "left over");
             SetAge(d + "/.f.bytemender-AAAAAA", 120);
             SetAge(d + "/.f.bytemender-BBBBBB", 10); // may be a save running now
             SetAge(d + "/.g.bytemender-CCCCCC", 120);
             SetAge(d + "/.f.bytemender-DDDDD", 120);
             return d + "/f";
         },
         Reason::Ok,
         [](const std::string& d) {
             EXPECT_EQ(Listing(d),
                       (std::vector<std::string>{".f.bytemender-BBBBBB", ".f.bytemender-DDDDD",
                                                 ".g.bytemender-CCCCCC", "f"}));
         }},
    };
    const mode_t mask = ::umask(022);
    for (const Case& c : cases) {
        TempDir dir;
        ::chmod(dir.path().c_str(), 0777); // the unprivileged user works here too
        const std::string path = c.setup(dir.path());
        const int status = RunInChild(c.unprivileged, [&] {
            const rlimit limit{c.sizeLimit, c.sizeLimit};
            std::signal(SIGXFSZ, SIG_IGN);
            ::setrlimit(RLIMIT_FSIZE, &limit);
            Reason why = Reason::Ok;
            ReplaceFileContents(path, kNew.data(), kNew.size(), &why);
            return static_cast<int>(why);
        });
        EXPECT_EQ(status, static_cast<int>(c.reason)) << c.name;
        c.check(dir.path());
        ::chmod((dir.path() + "/sub").c_str(), 0755);
    }
    ::umask(mask);
}

} // namespace
