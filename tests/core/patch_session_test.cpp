// The session without a window: what opening the settings file found, and
// when the target counts as changed by someone else.
#include "tests/support/TestFiles.h"

#include "core/PatchSession.h"

#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// Runs check as the unprivileged user (see RunInChild); the child's
// failures are its own, the parent sees them as its exit status.
void AsUnprivilegedUser(const std::function<void()>& check) {
    EXPECT_EQ(RunInChild(true,
                         [&] {
                             check();
                             return ::testing::Test::HasFailure() ? 1 : 0;
                         }),
              0);
}

TEST(PatchSessionTest, OpenTellsMissingLoadedAndUnreadableApart) {
    const std::string list = "FileName = /data/t.bin\r\nPathList\\Count = 1\r\n"
                             "PathList\\0000\\Offset = 0x10\r\nPathList\\0000\\Path = 1\r\n";
    const struct {
        const char* name;
        std::function<void(const std::string&)> make;
        SettingsFileState state;
        std::size_t items;
        bool asNobody = false;
    } cases[] = {
        {"missing", [](const std::string&) {}, SettingsFileState::Missing, 0},
        {"list", [&](const std::string& f) { WriteBytes(f, list); }, SettingsFileState::Loaded, 1},
        {"empty", [](const std::string& f) { WriteBytes(f, ""); }, SettingsFileState::Loaded, 0},
        {"folder", [](const std::string& f) { fs::create_directory(f); },
         SettingsFileState::Unreadable, 0},
        {"fifo", [](const std::string& f) { ::mkfifo(f.c_str(), 0666); },
         SettingsFileState::Unreadable, 0},
        // Only its owner may read it; its folder lets anyone replace it.
        {"no permission",
         [&](const std::string& f) {
             WriteBytes(f, list);
             fs::permissions(f, fs::perms::owner_write);
         },
         SettingsFileState::Unreadable, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        fs::permissions(dir.path(), fs::perms::all);
        const std::string file = dir.File("list.ini");
        c.make(file);
        const fs::file_type type = fs::symlink_status(file).type();
        const bool regular = type == fs::file_type::regular; // a FIFO is never opened
        const std::string bytes = regular ? ReadBytes(file) : "";
        auto check = [&] {
            PatchSession session;
            EXPECT_EQ(session.Open(file), c.state);
            EXPECT_EQ(session.Items().size(), c.items);
            EXPECT_EQ(session.SettingsFilePath(), file);
            session.Items().push_back(PatchItem{0x20, "new", "00", "01", 0});
            const SessionOutcome saved = session.SaveList();
            const bool unreadable = c.state == SettingsFileState::Unreadable;
            EXPECT_EQ(saved.ok(), !unreadable);
            if (unreadable) {
                EXPECT_EQ(saved.status, SessionOutcome::Status::NotSaved);
                EXPECT_EQ(saved.text, " 设置文件无法读取, 列表不会写入该文件! \n" + file);
                EXPECT_NE(session.UnreadableText().find(file), std::string::npos);
            }
        };
        if (c.asNobody)
            AsUnprivilegedUser(check);
        else
            check();
        if (c.state == SettingsFileState::Unreadable) {
            EXPECT_EQ(fs::symlink_status(file).type(), type);
            if (regular) {
                EXPECT_EQ(ReadBytes(file), bytes);
            }
        } else {
            EXPECT_NE(ReadBytes(file).find("PathList\\Count = " + std::to_string(c.items + 1)),
                      std::string::npos);
        }
    }
}

// A list of n items as the program saves it: FileName, the items, the count.
std::string SavedList(int n) {
    PatchSession session;
    TempDir dir;
    session.Open(dir.File("list.ini"));
    session.TargetPath() = "/data/t.bin";
    for (int i = 0; i < n; ++i)
        session.Items().push_back(PatchItem{static_cast<std::uint32_t>(i * 16),
                                            "item " + std::to_string(i), "00", "01", 1});
    EXPECT_TRUE(session.SaveList().ok());
    return ReadBytes(dir.File("list.ini"));
}

TEST(PatchSessionTest, DamagedFileLoadsWhatItHoldsAndIsKeptUntilTheUserSays) {
    const std::string whole = SavedList(100);
    const std::size_t middle = whole.find("PathList\\0050\\OldHex");
    ASSERT_NE(middle, std::string::npos);
    std::string zeros = whole;
    zeros.replace(middle + 5, 16, std::string(16, '\0'));
    std::string countOff = whole;
    countOff.replace(countOff.find("Count = 100"), 11, "Count = 120");
    const struct {
        const char* name;
        std::string bytes;
        SettingsFileState state;
        std::size_t items; // loaded
        const char* says;  // part of the message
    } cases[] = {
        {"intact", whole, SettingsFileState::Loaded, 100, ""},
        {"zero bytes after the end", whole + std::string(4096, '\0'), SettingsFileState::Loaded,
         100, ""},
        // Item 50 loses its OldHex line; everything else is read.
        {"zero bytes in the middle", zeros, SettingsFileState::Damaged, 100, "零字节之后还有文本"},
        {"cut short", whole.substr(0, middle), SettingsFileState::Damaged, 51,
         "有项目但没有项目数"},
        {"cut short, zero filled", whole.substr(0, middle) + std::string(512, '\0'),
         SettingsFileState::Damaged, 51, "有项目但没有项目数"},
        {"count too large", countOff, SettingsFileState::Damaged, 120,
         "项目数为 120, 但存有 100 个项目"},
        {"count too small", std::string(whole).replace(whole.find("Count = 100"), 11, "Count = 7"),
         SettingsFileState::Damaged, 7, "项目数为 7, 但存有 100 个项目"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string file = dir.File("list.ini");
        WriteBytes(file, c.bytes);
        PatchSession session;
        EXPECT_EQ(session.Open(file), c.state);
        EXPECT_EQ(session.Items().size(), c.items);
        if (c.state == SettingsFileState::Loaded) {
            EXPECT_TRUE(session.SaveList().ok());
            continue;
        }
        EXPECT_NE(session.DamagedText().find(c.says), std::string::npos) << session.DamagedText();
        EXPECT_NE(session.DamagedText().find(std::to_string(c.items) + " 个项目"),
                  std::string::npos);
        // Neither a list save, nor a new target, nor "保存" writes it.
        const SessionOutcome saved = session.SaveList();
        EXPECT_EQ(saved.status, SessionOutcome::Status::NotSaved);
        EXPECT_EQ(saved.text, " 设置文件已损坏, 列表不会写入该文件! \n" + file);
        WriteBytes(dir.File("t.bin"), "target");
        EXPECT_EQ(session.ChooseTarget(dir.File("t.bin")).status, SessionOutcome::Status::NotSaved);
        EXPECT_EQ(session.Apply({}).status, SessionOutcome::Status::NotSaved);
        EXPECT_EQ(ReadBytes(file), c.bytes);
        // Kept: the recovered list is saved whole and reads back intact.
        session.KeepRecovered();
        EXPECT_EQ(session.FileState(), SettingsFileState::Loaded);
        EXPECT_TRUE(session.SaveList().ok());
        PatchSession again;
        EXPECT_EQ(again.Open(file), SettingsFileState::Loaded);
        EXPECT_EQ(again.Items().size(), c.items);
    }
}

// A pristine copy in Path_bak is never a target, under any name: the
// rebuild would write over it.
TEST(PatchSessionTest, NoFileInTheBackupFolderIsATarget) {
    TempDir dir;
    PatchSession session;
    session.Open(dir.File("list.ini"));
    WriteBytes(dir.File("other.bin"), "other's pristine bytes");
    ASSERT_TRUE(session.ChooseTarget(dir.File("other.bin")).ok());
    const std::string backup = dir.File("Path_bak/other.bin");
    fs::create_symlink(backup, dir.File("link.bin"));
    fs::create_directory_symlink(dir.File("Path_bak"), dir.File("bak"));
    fs::create_hard_link(backup, dir.File("hard.bin"));
    for (const char* name :
         {"Path_bak/other.bin", "link.bin", "bak/other.bin", "hard.bin", "bak/new.bin"}) {
        SCOPED_TRACE(name);
        const SessionOutcome chosen = session.ChooseTarget(dir.File(name));
        EXPECT_EQ(chosen.status, SessionOutcome::Status::TargetInBackupFolder);
        EXPECT_EQ(chosen.text, " 选择的文件在备份文件夹中, 不能作为目标文件! ");
        EXPECT_EQ(session.TargetPath(), dir.File("other.bin"));
    }
    // A target swapped for a link to another target's backup after it was
    // chosen: "保存" writes nothing.
    fs::create_directory(dir.File("sub"));
    WriteBytes(dir.File("sub/game.bin"), "game");
    ASSERT_TRUE(session.ChooseTarget(dir.File("sub/game.bin")).ok());
    fs::remove(dir.File("sub/game.bin"));
    fs::create_symlink(backup, dir.File("sub/game.bin"));
    for (const auto answer : {TargetChangedAnswer::Overwrite, TargetChangedAnswer::Rebackup})
        EXPECT_EQ(session.Apply([answer] { return answer; }).status,
                  SessionOutcome::Status::TargetInBackupFolder);
    EXPECT_EQ(ReadBytes(backup), "other's pristine bytes");
}

// A file no rebuild takes (4 GiB or more) is refused before it is copied,
// whether chosen or grown since and backed up again at "保存".
TEST(PatchSessionTest, TargetTooLargeForAnyRebuildIsNeverCopied) {
    TempDir dir;
    PatchSession session;
    session.Open(dir.File("list.ini"));
    const std::string huge = dir.File("huge.bin");
    WriteBytes(huge, "");
    ASSERT_EQ(::truncate(huge.c_str(), off_t(1) << 32), 0); // sparse: no disk space
    const SessionOutcome chosen = session.ChooseTarget(huge);
    EXPECT_EQ(chosen.status, SessionOutcome::Status::TargetTooLarge);
    EXPECT_EQ(chosen.text, " 选择的文件有 4294967296 字节, 本程序只能修补小于 4 GiB (4294967296 "
                           "字节) 的文件; 未复制该文件! ");
    EXPECT_EQ(session.TargetPath(), "");
    EXPECT_FALSE(fs::exists(dir.File("Path_bak/huge.bin")));

    const std::string game = dir.File("game.bin");
    WriteBytes(game, "game");
    ASSERT_TRUE(session.ChooseTarget(game).ok());
    ASSERT_EQ(::truncate(game.c_str(), (off_t(1) << 32) + 1), 0);
    EXPECT_EQ(session.Apply([] { return TargetChangedAnswer::Rebackup; }).status,
              SessionOutcome::Status::TargetTooLarge);
    EXPECT_EQ(ReadBytes(dir.File("Path_bak/game.bin")), "game");
}

// In a folder that takes no new file the settings file and the backup are
// written in place; a write that fails part way there is told as such, and
// a backup left half written is no longer recorded.
TEST(PatchSessionTest, InPlaceWritesThatFailPartWaySayWhatTheyLeft) {
    TempDir dir;
    const std::string list = dir.File("list.ini");
    WriteBytes(list, "FileName = \r\nPathList\\Count = 0\r\n");
    fs::create_directory(dir.File("Path_bak"));
    const std::string backup = dir.File("Path_bak/t.bin");
    WriteBytes(backup, std::string(4096, 'o'));
    WriteBytes(dir.File("t.bin"), std::string(4096, 'n'));
    for (const std::string& file : {list, backup})
        fs::permissions(file, fs::perms::all & ~fs::perms::owner_exec & ~fs::perms::group_exec &
                                  ~fs::perms::others_exec);
    for (const std::string& folder : {dir.path(), dir.File("Path_bak")})
        fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec |
                                    fs::perms::group_read | fs::perms::group_exec |
                                    fs::perms::others_read | fs::perms::others_exec);
    AsUnprivilegedUser([&] {
        PatchSession session;
        ASSERT_EQ(session.Open(list), SettingsFileState::Loaded);
        session.Items().push_back(PatchItem{0x20, std::string(200, 'd'), "00", "01", 0});
        {
            FileSizeLimit limit(64);
            ASSERT_TRUE(limit.active());
            const SessionOutcome saved = session.SaveList();
            EXPECT_EQ(saved.status, SessionOutcome::Status::NotSaved);
            EXPECT_NE(saved.text.find("该文件只写入了一部分"), std::string::npos) << saved.text;
            EXPECT_EQ(fs::file_size(list), 64u);
            const SessionOutcome chosen = session.ChooseTarget(dir.File("t.bin"));
            EXPECT_EQ(chosen.status, SessionOutcome::Status::BackupFailed);
            EXPECT_NE(chosen.text.find("备份文件只写入了一部分"), std::string::npos) << chosen.text;
        }
        FileFingerprint recorded;
        EXPECT_FALSE(session.RecordedBackup(&recorded));
        EXPECT_EQ(ReadBytes(backup).substr(0, 64), std::string(64, 'n'));
        // Once there is room, a copy in place is recorded only when whole.
        EXPECT_TRUE(session.ChooseTarget(dir.File("t.bin")).ok());
        EXPECT_TRUE(session.RecordedBackup(&recorded));
        EXPECT_EQ(recorded.size, 4096u);
        EXPECT_EQ(ReadBytes(backup), std::string(4096, 'n'));
    });
    fs::permissions(dir.path(), fs::perms::owner_all);
    fs::permissions(dir.File("Path_bak"), fs::perms::owner_all);
}

TEST(PatchSessionTest, TargetCountsAsChangedOnlyAgainstARecord) {
    TempDir dir;
    const std::string target = dir.File("t.bin");
    WriteBytes(target, "pristine");
    PatchSession session;
    session.Open(dir.File("list.ini"));
    ASSERT_TRUE(session.ChooseTarget(target).ok());
    EXPECT_EQ(session.BackupPath(), dir.File("Path_bak/t.bin"));
    FileFingerprint backup;
    ASSERT_TRUE(session.RecordedBackup(&backup));
    EXPECT_EQ(backup.size, 8u);
    EXPECT_FALSE(session.RecordedTarget(&backup));

    const struct {
        const char* name;
        const char* contents; // null: no target
        const char* damage;   // a record key spoiled, or null
        bool changed;
    } cases[] = {
        {"same size, other bytes", "pristinE", nullptr, true},
        {"no target", nullptr, nullptr, false},
        {"damaged hash is no record", "pristinE", kBackupSha256Key, false},
        {"damaged size is no record", "pristinE", kBackupSizeKey, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(target);
        if (c.contents)
            WriteBytes(target, c.contents);
        PatchSession reopened;
        reopened.Open(dir.File("list.ini"));
        if (c.damage)
            reopened.Settings().SetString(c.damage, "12x");
        EXPECT_EQ(reopened.TargetChanged(), c.changed);
        // Without an answer nothing is written.
        if (c.changed) {
            EXPECT_EQ(reopened.Apply(nullptr).status, SessionOutcome::Status::Cancelled);
            EXPECT_EQ(ReadBytes(target), c.contents);
        }
    }
}

// t.bin ("pristine") in dir chosen as the target of list.ini, and item
// added to the session's list in memory; the target's path.
std::string ChooseTargetWithItem(const TempDir& dir, PatchSession& session, const PatchItem& item) {
    const std::string target = dir.File("t.bin");
    WriteBytes(target, "pristine");
    session.Open(dir.File("list.ini"));
    EXPECT_TRUE(session.ChooseTarget(target).ok());
    session.Items().push_back(item);
    return target;
}

// Apply writes the list as it stands before the rebuild, unless the file
// holds it already: whatever changed in memory reaches the file, and the
// target is rebuilt from the same list.
TEST(PatchSessionTest, ApplyStoresWhatChangedInMemoryFirst) {
    const struct {
        const char* name;
        std::function<void(PatchSession&)> change;
        const char* rebuilt;
    } cases[] = {
        {"nothing changed", [](PatchSession&) {}, "qristine"},
        {"flag turned off", [](PatchSession& s) { s.Items()[0].enabled = 0; }, "pristine"},
        {"new bytes", [](PatchSession& s) { s.Items()[0].newHex = "72"; }, "rristine"},
        {"other setting",
         [](PatchSession& s) { s.Settings().SetString("PathList\\0000\\Descrip", "b"); },
         "qristine"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        std::string target;
        {
            PatchSession first;
            target = ChooseTargetWithItem(dir, first, PatchItem{0, "a", "70", "71", 1});
            ASSERT_TRUE(first.SaveList().ok());
        }
        PatchSession session;
        session.Open(dir.File("list.ini"));
        c.change(session);
        ASSERT_TRUE(session.Apply(nullptr).ok());
        EXPECT_EQ(ReadBytes(target), c.rebuilt);
        PatchSession reopened;
        reopened.Open(dir.File("list.ini"));
        EXPECT_TRUE(reopened.Items() == session.Items());
    }
}

// Signatures are checked against the backup whenever the list is loaded; the
// check is passed over only while the items and the backup stand as they did
// when it last ran. A signature taken out of the file by hand, or a backup
// replaced with other bytes around an item, gets a new one.
TEST(PatchSessionTest, SignaturesAreCheckedAgainWhenTheListOrTheBackupChanges) {
    TempDir dir;
    std::string bytes(256, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 37 + 11); // every byte once
    const std::string target = dir.File("t.bin");
    const std::string list = dir.File("list.ini");
    WriteBytes(target, bytes);
    char oldHex[5];
    std::snprintf(oldHex, sizeof oldHex, "%02X%02X", bytes[100] & 0xFF, bytes[101] & 0xFF);
    std::string signature;
    {
        PatchSession session;
        session.Open(list);
        ASSERT_TRUE(session.ChooseTarget(target).ok());
        session.Items().push_back(PatchItem{100, "item", oldHex, "0000", 1});
        ASSERT_TRUE(session.SaveList().ok());
        signature = session.Items()[0].signature;
        ASSERT_FALSE(signature.empty());
    }
    const std::string saved = ReadBytes(list);
    const auto loadedSignature = [&list] {
        PatchSession session;
        session.Open(list);
        return session.Items().empty() ? std::string("<no item>") : session.Items()[0].signature;
    };
    EXPECT_EQ(loadedSignature(), signature);

    std::string handEdited = saved;
    for (const char* key : {"PathList\\0000\\Signature = ", "PathList\\0000\\SignatureAt = "}) {
        const std::size_t at = handEdited.find(key);
        ASSERT_NE(at, std::string::npos) << key;
        handEdited.erase(at, handEdited.find('\n', at) + 1 - at);
    }
    WriteBytes(list, handEdited);
    EXPECT_EQ(loadedSignature(), signature);

    WriteBytes(list, saved);
    std::string other = bytes;
    for (std::size_t i = 0; i < other.size(); ++i)
        if (i != 100 && i != 101)
            other[i] = static_cast<char>(other[i] ^ 0x5A);
    WriteBytes(dir.File("Path_bak/t.bin"), other);
    const std::string remade = loadedSignature();
    EXPECT_FALSE(remade.empty());
    EXPECT_NE(remade, signature);
}

// After a rebuild the target's stamp is recorded. While the stamp matches the
// file is not read at all; anything that changes it (even with the size kept
// and the modification time put back) sends the check back to the hash.
TEST(PatchSessionTest, TargetStampSparesOnlyTheHashOfAnUntouchedTarget) {
    const struct {
        const char* name;
        std::function<void(const std::string& target)> change;
        bool changed;
        const char* stamp = nullptr; // written over the recorded stamp
    } cases[] = {
        // With the hash records spoiled (no change made), only the stamp can
        // say "unchanged".
        {"untouched: the stamp alone decides", nullptr, false},
        {"untouched, damaged stamp: no stamp", [](const std::string&) {}, true, "1 2 3 4"},
        {"rewritten in place, same size, modification time put back",
         [](const std::string& target) {
             struct stat before {};
             ::stat(target.c_str(), &before);
             WriteBytes(target, "pristinE");
             const timespec times[2] = {before.st_atim, before.st_mtim};
             ::utimensat(AT_FDCWD, target.c_str(), times, 0);
         },
         true},
        {"replaced by another file with the bytes of the last rebuild",
         [](const std::string& target) {
             const std::string bytes = ReadBytes(target);
             fs::remove(target);
             WriteBytes(target, bytes);
         },
         false},
        {"touched only",
         [](const std::string& target) { ::utimensat(AT_FDCWD, target.c_str(), nullptr, 0); },
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        std::string target;
        {
            PatchSession session;
            target =
                ChooseTargetWithItem(dir, session, PatchItem{0, "", "70", "50", 1}); // "Pristine"
            ASSERT_TRUE(session.Apply(nullptr).ok());
            ASSERT_TRUE(session.Settings().GetValue(kTargetStampKey, nullptr, nullptr));
        }
        // The file system's clock moves on from the rebuild (the stamp cannot
        // tell apart two writes within one of its ticks).
        ::usleep(30000);
        if (c.change)
            c.change(target);
        PatchSession reopened;
        reopened.Open(dir.File("list.ini"));
        const std::string other(64, 'a');
        if (c.stamp)
            reopened.Settings().SetString(kTargetStampKey, c.stamp);
        if (!c.change || c.stamp) {
            reopened.Settings().SetString(kBackupSha256Key, other.c_str());
            reopened.Settings().SetString(kTargetSha256Key, other.c_str());
        }
        EXPECT_EQ(reopened.TargetChanged(), c.changed);
    }
}

} // namespace

namespace {

// A program whose folder the user may not write keeps its list and backups
// in the user's XDG folders, made on first use.
TEST(PatchSessionTest, ProgramFolderNotWritableUsesXdgFolders) {
    TempDir dir;
    fs::permissions(dir.path(), fs::perms::all);
    const std::string target = dir.File("target.bin");
    WriteBytes(target, "0123456789");
    fs::permissions(target, fs::perms::all);
    std::string module;
    ASSERT_TRUE(GetModuleFileName(&module));
    fs::remove(module + ".ini"); // a file beside the program would be used as it is
    AsUnprivilegedUser([&] {
        ::setenv("HOME", dir.File("home").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", dir.File("config").c_str(), 1);
        ::setenv("XDG_DATA_HOME", dir.File("data").c_str(), 1);
        PatchSession session;
        EXPECT_EQ(session.OpenDefault(), SettingsFileState::Missing);
        EXPECT_FALSE(session.Portable());
        const std::string name = module.substr(module.rfind('/') + 1);
        EXPECT_EQ(session.SettingsFilePath(), dir.File("config/bytemender/" + name + ".ini"));
        EXPECT_TRUE(session.ChooseTarget(target).ok());
        EXPECT_EQ(session.BackupPath(), dir.File("data/bytemender/Path_bak/target.bin"));
        EXPECT_EQ(ReadBytes(session.BackupPath()), "0123456789");
        EXPECT_NE(ReadBytes(session.SettingsFilePath()).find("FileName = " + target),
                  std::string::npos);
    });
}

} // namespace
