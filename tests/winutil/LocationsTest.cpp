#include "winutil/Locations.h"

#include "tests/support/TestFiles.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

struct Case {
    const char* name;
    bool folderWritable; // the program's folder, for the user 65534
    bool iniPresent;
    const char* configHome; // relative to the temporary folder; "rel" = a relative value
    bool portable;
};

// Each case runs as user 65534 over a real program folder whose write bits
// are set as the case says; the child reports by its exit status.
TEST(DataLocations, PortableOrXdg) {
    const Case cases[] = {
        {"writable folder", true, false, "cfg", true},
        {"read-only folder", false, false, "cfg", false},
        {"read-only folder holding the file", false, true, "cfg", true},
        {"relative XDG value falls back to the home folder", false, false, "rel", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        ASSERT_FALSE(dir.path().empty());
        ::chmod(dir.path().c_str(), 0777);
        const std::string program = dir.File("prog");
        std::filesystem::create_directory(program);
        const std::string ini = program + "/bytemender.ini";
        if (c.iniPresent)
            WriteBytes(ini, "FileName = x\r\n");
        ::chmod(program.c_str(), c.folderWritable ? 0777 : 0555);
        const std::string home = dir.File("home");
        const bool relative = std::string(c.configHome) == "rel";
        const std::string config = relative ? "cfg" : dir.File(c.configHome);
        const std::string expectedSettings =
            c.portable ? ini
                       : (relative ? home + "/.config" : config) + "/bytemender/bytemender.ini";
        const std::string expectedBackup =
            c.portable ? program + "/Path_bak" : home + "/.local/share/bytemender/Path_bak";
        const int status = RunInChild(true, [&] {
            ::setenv("HOME", home.c_str(), 1);
            ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
            ::unsetenv("XDG_DATA_HOME");
            const DataLocations where = ResolveDataLocations(ini);
            if (where.portable != c.portable)
                return 1;
            if (where.settingsFile != expectedSettings)
                return 2;
            if (where.backupFolder != expectedBackup)
                return 3;
            // Created on first use, by the user, below a home folder it may write.
            if (!c.portable && !CreateFolders(where.backupFolder))
                return 4;
            return 0;
        });
        EXPECT_EQ(status, 0);
    }
}

TEST(DataLocations, SystemProgramFolderIsNeverPortable) {
    const DataLocations where = ResolveDataLocations("/usr/bin/bytemender-no-such.ini");
    EXPECT_FALSE(where.portable);
    EXPECT_NE(where.settingsFile.find("/bytemender/bytemender-no-such.ini"), std::string::npos);
}

// The system's folders are whole path components: a writable folder whose
// name merely starts like one is the program's own. Each row runs in a child
// confined (chroot) to a temporary folder that holds the named folders.
TEST(DataLocations, SystemFoldersAreWholeComponents) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to confine a child to a folder";
    const struct {
        const char* folder;
        bool portable;
    } cases[] = {
        {"/usr/local/bin", false}, {"/opt", false},    {"/sbin", false},
        {"/usrlocal", true},       {"/optimus", true}, {"/binaries/x", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder);
        TempDir dir;
        ASSERT_TRUE(std::filesystem::create_directories(dir.path() + c.folder));
        const int status = RunInChild(false, [&] {
            if (::chroot(dir.path().c_str()) != 0 || ::chdir("/") != 0)
                return 2;
            return ResolveDataLocations(std::string(c.folder) + "/b.ini").portable ? 1 : 0;
        });
        if (status == 2)
            GTEST_SKIP() << "this system does not let the test confine a child";
        EXPECT_EQ(status, c.portable ? 1 : 0);
    }
}

} // namespace
