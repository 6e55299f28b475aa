// The settings file on a real file system: reading hand-written files,
// directives, exact bytes of saved files, and saving that never destroys the
// previous file.
#include "settings/AppSetting.h"
#include "settings/IniText.h"
#include "tests/support/TestFiles.h"
#include "winutil/CodePage.h"
#include "winutil/FileUtil.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::string Value(CAppSetting& store, const std::string& key) {
    const char* value = nullptr;
    if (store.GetValue(key.c_str(), &value, nullptr) == 0) {
        return "<missing>";
    }
    return value == nullptr ? "<none>" : value;
}

std::string Current(const CAppSetting& store) {
    return WideToCodePage(store.CurrentFile());
}

// Loads text from a file in dir and saves it with the given keepOrder.
std::string Resaved(const TempDir& dir, const std::string& text, int keepOrder) {
    WriteBytes(dir.File("in.ini"), text);
    CAppSetting store;
    EXPECT_EQ(store.Load(dir.File("in.ini").c_str(), 1), 1);
    store.keepOrder = keepOrder;
    store.Save(dir.File("out.ini").c_str());
    return ReadBytes(dir.File("out.ini"));
}

std::vector<std::string> Listing(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST(ParseLines, HandWrittenQuirks) {
    TempDir dir;
    const std::string text = "a=b\r\n"
                             "k = v = w\r\n"
                             "  name = spaced\r\n"
                             "path = C:\\Data\r\n"
                             "win = C:\\Windows\r\n"
                             "#note = dropped\r\n"
                             "#note\r\n"
                             "[Heading]\r\n"
                             "empty = \r\n"
                             " = no key\r\n"
                             "trail = x \r\n"
                             "left= x\r\n"
                             "right =x\r\n";
    WriteBytes(dir.File("a.ini"), text);
    CAppSetting store;
    ASSERT_EQ(store.Load(dir.File("a.ini").c_str(), 1), 1);
    const struct {
        std::string key;
        std::string value;
    } cases[] = {
        {"a=b", "<none>"},      {"k", "v = w"},       {"  name", "spaced"}, {"name", "<missing>"},
        {"path", "C:\xDAta"},   {"win", "C:Windows"}, {"#note", "<none>"},  {"[heading]", "<none>"},
        {"empty", ""},          {"", "no key"},       {"trail", "x "},      {"left= x", "<none>"},
        {"right =x", "<none>"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Value(store, c.key), c.value) << "key [" << c.key << "]";
    }
    int line = 0;
    store.GetValue("k", nullptr, &line);
    EXPECT_EQ(line, 2);
}

TEST(ParseLines, LineEndsBomAndLongLines) {
    TempDir dir;
    std::string text = "\xEF\xBB\xBF"
                       "first = 1\rsecond = 2\nthird = 3\r\n\n\rfourth = 4";
    WriteBytes(dir.File("a.ini"), text);
    CAppSetting store;
    ASSERT_EQ(store.Load(dir.File("a.ini").c_str(), 1), 1);
    EXPECT_EQ(Value(store, "\xEF\xBB\xBF"
                           "first"),
              "1");
    EXPECT_EQ(Value(store, "first"), "<missing>");
    EXPECT_EQ(Value(store, "second"), "2");
    EXPECT_EQ(Value(store, "third"), "3");
    EXPECT_EQ(Value(store, "fourth"), "4");
    int line = 0;
    store.GetValue("fourth", nullptr, &line);
    EXPECT_EQ(line, 6); // the LF and the lone CR after "third" are two empty lines

    const std::string longLine = "long = " + std::string(9993, 'v'); // 10000 bytes
    WriteBytes(dir.File("b.ini"), longLine + "\r\nnext = 1\r\n");
    CAppSetting other;
    ASSERT_EQ(other.Load(dir.File("b.ini").c_str(), 1), 1);
    EXPECT_EQ(Value(other, "long"), std::string(8191 - 7, 'v'));
    EXPECT_EQ(Value(other, "next"), "1");
}

TEST(SaveBytes, PatchListInKeyOrder) {
    TempDir dir;
    CAppSetting store;
    store.keepOrder = 0;
    store.SetInt("PathList\\Count", 2);
    store.SetString("FileName", "D:\\work\\data.bin");
    const struct {
        unsigned offset;
        const char* descrip;
        const char* oldHex;
        const char* newHex;
        int enabled;
    } items[] = {{0x10, "first change", "7405", "EB05", 1},
                 {0x200, "second change", "00", "01", 0}};
    for (int n = 0; n < 2; ++n) {
        const std::string prefix = "PathList\\000" + std::to_string(n) + "\\";
        store.SetHex((prefix + "Offset").c_str(), items[n].offset);
        store.SetString((prefix + "Descrip").c_str(), items[n].descrip);
        store.SetString((prefix + "OldHex").c_str(), items[n].oldHex);
        store.SetString((prefix + "NewHex").c_str(), items[n].newHex);
        store.SetInt((prefix + "Path").c_str(), items[n].enabled);
    }
    EXPECT_EQ(store.Save(dir.File("s.ini").c_str()), 12);
    EXPECT_EQ(ReadBytes(dir.File("s.ini")), "FileName = D:\\\\work\\\\data.bin\r\n"
                                            "PathList\\0000\\Descrip = first change\r\n"
                                            "PathList\\0000\\NewHex = EB05\r\n"
                                            "PathList\\0000\\Offset = 0x00000010\r\n"
                                            "PathList\\0000\\OldHex = 7405\r\n"
                                            "PathList\\0000\\Path = 1\r\n"
                                            "PathList\\0001\\Descrip = second change\r\n"
                                            "PathList\\0001\\NewHex = 01\r\n"
                                            "PathList\\0001\\Offset = 0x00000200\r\n"
                                            "PathList\\0001\\OldHex = 00\r\n"
                                            "PathList\\0001\\Path = 0\r\n"
                                            "PathList\\Count = 2\r\n");
    CAppSetting back;
    ASSERT_EQ(back.Load(dir.File("s.ini").c_str(), 1), 1);
    EXPECT_EQ(Value(back, "FileName"), "D:\\work\\data.bin");
}

TEST(SaveBytes, ReadAndSavedAgain) {
    TempDir dir;
    const struct {
        const char* name;
        std::string in;
        int keepOrder;
        std::string out;
    } cases[] = {
        {"duplicates keep places", "b = 1\r\n\r\n; c\r\na = 2\r\n\r\n; c\r\nB = 3\r\n", 1,
         "b = 3\r\n\r\n; c\r\na = 2\r\n\r\n; c\r\n"},
        {"duplicates once in key order", "b = 1\r\n\r\n; c\r\na = 2\r\n\r\n; c\r\nB = 3\r\n", 0,
         "\r\n; c\r\na = 2\r\nb = 3\r\n"},
        {"plain line takes value away, kept order", "k = v\r\nx = 1\r\nk\r\n", 1,
         "k\r\nx = 1\r\nk\r\n"},
        {"plain line takes value away, key order", "k = v\r\nx = 1\r\nk\r\n", 0, "k\r\nx = 1\r\n"},
        {"case of first plain line", "[Head]\r\n[HEAD]\r\n", 0, "[Head]\r\n"},
        {"equals without blanks", "a=b\n", 1, "a=b\r\n"},
        {"patch list sorted",
         "PathList\\Count = 1\r\nFileName = x\r\nPathList\\0000\\Path = 1\r\n"
         "PathList\\0000\\Offset = 0x1\r\nPathList\\0000\\OldHex = 00\r\n"
         "PathList\\0000\\NewHex = 01\r\nPathList\\0000\\Descrip = d\r\n",
         0,
         "FileName = x\r\nPathList\\0000\\Descrip = d\r\nPathList\\0000\\NewHex = 01\r\n"
         "PathList\\0000\\Offset = 0x1\r\nPathList\\0000\\OldHex = 00\r\n"
         "PathList\\0000\\Path = 1\r\nPathList\\Count = 1\r\n"},
        {"directive lines are not kept", "#include = missing.ini\r\n#Other = 1\r\na = 1\r\n", 1,
         "a = 1\r\n"},
        {"mixed line ends become CR LF", "a = 1\rb = 2\nc = 3", 1, "a = 1\r\nb = 2\r\nc = 3\r\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Resaved(dir, c.in, c.keepOrder), c.out) << c.name;
    }
}

TEST(SaveBytes, EscapedValuesReadBackByteForByte) {
    TempDir dir;
    const std::string value = "a\\b\tc\rd\ne\"f \xE4\xFF = g\\";
    CAppSetting store;
    store.SetString("k", value.c_str());
    store.Save(dir.File("s.ini").c_str());
    EXPECT_EQ(ReadBytes(dir.File("s.ini")), "k = a\\\\b\\tc\\rd\\ne\\\"f \xE4\xFF = g\\\\\r\n");
    CAppSetting back;
    back.Load(dir.File("s.ini").c_str(), 1);
    EXPECT_EQ(Value(back, "k"), value);
}

TEST(SaveBytes, HexEscapeOfZeroNeverReachesTheFile) {
    TempDir dir;
    EXPECT_EQ(Resaved(dir, "a = x\\00y\r\nb = \\0\r\n", 1), "a = x\r\nb = \xFF\r\n");
}

TEST(SaveBytes, LargeStoreWrittenWhole) {
    TempDir dir;
    CAppSetting store;
    store.keepOrder = 0;
    std::string expected;
    for (int i = 0; i < 3000; ++i) { // about 100000 bytes
        char key[32];
        std::snprintf(key, sizeof key, "Key%05d", i);
        const std::string value(20, static_cast<char>('a' + i % 26));
        store.SetString(key, value.c_str());
        expected += std::string(key) + " = " + value + "\r\n";
    }
    ASSERT_GT(expected.size(), 65536u);
    EXPECT_EQ(store.Save(dir.File("s.ini").c_str()), 3000);
    EXPECT_EQ(ReadBytes(dir.File("s.ini")), expected);
    // A value that doubles when escaped, up to the longest line the reader
    // keeps, is written whole.
    const std::string huge(4093, '"');
    store.Clear();
    store.SetString("h", huge.c_str());
    EXPECT_EQ(store.Save(), 1);
    std::string escaped;
    for (int i = 0; i < 4093; ++i) {
        escaped += "\\\"";
    }
    EXPECT_EQ(ReadBytes(dir.File("s.ini")), "h = " + escaped + "\r\n");
}

TEST(SaveFile, PathBecomesCurrentFileAndEmptyStore) {
    TempDir dir;
    CAppSetting store;
    EXPECT_EQ(store.Save(), 0); // no current file
    store.SetValue("a", "1", -1);
    EXPECT_EQ(store.Save(dir.File("one.ini").c_str()), 1);
    EXPECT_EQ(Current(store), dir.File("one.ini"));
    store.SetValue("b", "2", -1);
    EXPECT_EQ(store.Save(), 2);
    EXPECT_EQ(ReadBytes(dir.File("one.ini")), "a = 1\r\nb = 2\r\n");
    store.Clear();
    EXPECT_EQ(store.Save(), 0);
    EXPECT_TRUE(std::filesystem::exists(dir.File("one.ini")));
    EXPECT_EQ(ReadBytes(dir.File("one.ini")), "");
    EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"one.ini"}));
}

TEST(SaveFile, FailuresLeaveNoFileAndReturnZero) {
    TempDir dir;
    WriteBytes(dir.File("plain"), "not a folder");
    std::filesystem::create_directory(dir.File("folder.ini"));
    CAppSetting store;
    store.SetValue("a", "1", -1);
    EXPECT_EQ(store.Save(dir.File("missing/s.ini").c_str()), 0);
    EXPECT_EQ(store.Save(dir.File("plain/s.ini").c_str()), 0);
    EXPECT_EQ(store.Save(dir.File("folder.ini").c_str()), 0);
    EXPECT_TRUE(std::filesystem::is_directory(dir.File("folder.ini")));
    EXPECT_TRUE(std::filesystem::is_empty(dir.File("folder.ini")));
    EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"folder.ini", "plain"}));
}

// Run as an unprivileged user, so the permission bits count also for root.
TEST(SaveFile, ReadOnlyFileIsKeptAndReadOnlyFolderIsWrittenInPlace) {
    const std::string old = "old = 1\r\nkept = \xFF\r\n";
    const struct {
        const char* name;
        mode_t fileMode;
        mode_t folderMode;
        int result;
        std::string contents;
    } cases[] = {
        {"read-only file", 0444, 0755, 0, old},
        {"read-only folder, writable file", 0644, 0555, 1, "new = 2\r\n"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        ::chmod(dir.path().c_str(), 0777);
        const std::string folder = dir.File("sub");
        const std::string file = folder + "/s.ini";
        ::mkdir(folder.c_str(), 0755);
        WriteBytes(file, old);
        GiveToUnprivileged(file);
        GiveToUnprivileged(folder);
        ::chmod(file.c_str(), c.fileMode);
        ::chmod(folder.c_str(), c.folderMode);
        const int result = RunInChild(true, [&] {
            CAppSetting store;
            store.SetValue("new", "2", -1);
            return store.Save(file.c_str());
        });
        ::chmod(folder.c_str(), 0755);
        EXPECT_EQ(result, c.result) << c.name;
        EXPECT_EQ(ReadBytes(file), c.contents) << c.name;
        EXPECT_EQ(Listing(folder), (std::vector<std::string>{"s.ini"})) << c.name;
    }
}

TEST(SaveFile, WriteErrorKeepsOldFileByteForByte) {
    TempDir dir;
    const std::string old = "old = 1\r\nkept = \xFF\r\n";
    WriteBytes(dir.File("s.ini"), old);
    CAppSetting store;
    for (int i = 0; i < 20000; ++i) {
        store.SetInt(("Key\\" + std::to_string(i)).c_str(), i);
    }
    // A file size limit makes the write fail part way, also for root.
    int result = -1;
    {
        FileSizeLimit limit(4096);
        ASSERT_TRUE(limit.active());
        result = store.Save(dir.File("s.ini").c_str());
    }
    EXPECT_EQ(result, 0);
    EXPECT_EQ(ReadBytes(dir.File("s.ini")), old);
    EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"s.ini"}));
}

TEST(SaveFile, KeepsPermissionsAndSymbolicLinks) {
    TempDir dir;
    WriteBytes(dir.File("s.ini"), "a = 0\r\n");
    chmod(dir.File("s.ini").c_str(), 0640);
    CAppSetting store;
    store.SetValue("a", "1", -1);
    ASSERT_EQ(store.Save(dir.File("s.ini").c_str()), 1);
    struct stat st {};
    stat(dir.File("s.ini").c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    const mode_t mask = umask(022);
    ASSERT_EQ(store.Save(dir.File("new.ini").c_str()), 1);
    umask(mask);
    stat(dir.File("new.ini").c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0644u);

    std::filesystem::create_symlink("s.ini", dir.File("link.ini"));
    store.SetValue("a", "2", -1);
    ASSERT_EQ(store.Save(dir.File("link.ini").c_str()), 1);
    EXPECT_TRUE(std::filesystem::is_symlink(dir.File("link.ini")));
    EXPECT_EQ(ReadBytes(dir.File("s.ini")), "a = 2\r\n");
}

TEST(LoadFile, MissingUnreadableAndFolder) {
    TempDir dir;
    std::filesystem::create_directory(dir.File("folder.ini"));
    CAppSetting store;
    store.SetValue("a", "1", -1);
    EXPECT_EQ(store.Load(dir.File("missing.ini").c_str(), 0), 0);
    EXPECT_EQ(Value(store, "a"), "1");
    EXPECT_EQ(Current(store), dir.File("missing.ini"));
    EXPECT_EQ(store.Load(dir.File("folder.ini").c_str(), 1), 0);
    EXPECT_EQ(Value(store, "a"), "<missing>");
    WriteBytes(dir.File("empty.ini"), "");
    EXPECT_EQ(store.Load(dir.File("empty.ini").c_str(), 1), 1);
}

// Files no save of the store could have written are not read, so that the
// program never replaces them with a list.
TEST(LoadFile, NoSettingsFileIsRefused) {
    using namespace std::string_literals;
    TempDir dir;
    const struct {
        const char* name;
        std::function<void(const std::string&)> make;
        SettingsRefusal refusal;
    } cases[] = {
        {"a program: NUL bytes",
         [](const std::string& path) {
             WriteBytes(path, "\x7F"
                              "ELF\2\1\1\0\0a = 1\r\n"s);
         },
         SettingsRefusal::NotText},
        {"NUL and other control bytes after settings lines",
         [](const std::string& path) { WriteBytes(path, "a = 1\r\n\0\1\2b = 2\r\n"s); },
         SettingsRefusal::NotText},
        // A file named by a directive above the control bytes is not read
        // in place of this one, nor added to it.
        {"redirect above NUL and control bytes",
         [](const std::string& path) {
             WriteBytes(path + ".other", "a = 1\r\n");
             WriteBytes(path, "#redirect = " + path + ".other\r\nb = 2\r\n\0\1\2"s);
         },
         SettingsRefusal::NotText},
        {"include above NUL and control bytes",
         [](const std::string& path) {
             WriteBytes(path + ".other", "a = 1\r\n");
             WriteBytes(path, "#include = " + path + ".other\r\nb = 2\r\n\0\1\2"s);
         },
         SettingsRefusal::NotText},
        {"larger than a settings file can be",
         [](const std::string& path) {
             WriteBytes(path, "a = 1\r\n");
             ASSERT_EQ(::truncate(path.c_str(), off_t(kMaxSettingsFileBytes) + 1), 0);
         },
         SettingsRefusal::TooLarge},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File("s.ini");
        c.make(path);
        CAppSetting store;
        EXPECT_EQ(store.Load(path.c_str(), 1), 0);
        EXPECT_EQ(store.Refusal(), c.refusal);
        EXPECT_EQ(Value(store, "a"), "<missing>");
    }
}

// A settings file that another program holds is named as in use, and stays
// as it was.
TEST(SaveFile, FileInUseIsNamedAsSuch) {
    TempDir dir;
    ::chmod(dir.path().c_str(), 0755);
    std::filesystem::create_directory(dir.File("sub"));
    const RunningProgram program(dir.File("sub"), "s.ini");
    ASSERT_TRUE(program.running());
    const int refusal = RunInChild(true, [&] {
        CAppSetting store;
        store.SetValue("k", "1", -1);
        return store.Save(program.path().c_str()) == 0 ? static_cast<int>(store.Refusal()) : 99;
    });
    EXPECT_EQ(refusal, static_cast<int>(SettingsRefusal::InUse));
    EXPECT_TRUE(ReadBytes(program.path()) == ReadBytes("/bin/sleep"));
}

TEST(SaveFile, LineTheReaderWouldCutIsNeverWritten) {
    TempDir dir;
    const std::string path = dir.File("s.ini");
    const std::string old = "old = 1\r\n";
    WriteBytes(path, old);
    // "k = " and the value: the longest line the reader keeps whole, then
    // one byte more; a backslash takes two bytes once escaped.
    const std::string fits(kLineCapacity - 1 - 4, 'v');
    const struct {
        const char* name;
        std::string value;
        bool saved;
    } cases[] = {
        {"longest line", fits, true},
        {"one byte more", fits + "v", false},
        {"escapes make it longer", fits.substr(1) + "\\", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes(path, old);
        CAppSetting store;
        store.SetValue("k", c.value.c_str(), -1);
        EXPECT_EQ(store.Save(path.c_str()) != 0, c.saved);
        EXPECT_EQ(store.Refusal(), c.saved ? SettingsRefusal::None : SettingsRefusal::LineTooLong);
        EXPECT_EQ(store.RefusedKey(), c.saved ? "" : "k");
        if (!c.saved) {
            EXPECT_EQ(ReadBytes(path), old);
            EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"s.ini"}));
            continue;
        }
        CAppSetting back;
        ASSERT_EQ(back.Load(path.c_str(), 1), 1);
        EXPECT_EQ(Value(back, "k"), c.value);
    }
}

TEST(LoadFile, LoadWithoutClearingAddsToTheStore) {
    TempDir dir;
    WriteBytes(dir.File("a.ini"), "a = 1\r\nb = 1\r\n");
    WriteBytes(dir.File("b.ini"), "b = 2\r\nc = 2\r\n");
    CAppSetting store;
    store.Load(dir.File("a.ini").c_str(), 1);
    store.Load(dir.File("b.ini").c_str(), 0);
    store.Save(dir.File("out.ini").c_str());
    EXPECT_EQ(ReadBytes(dir.File("out.ini")), "a = 1\r\nb = 2\r\nc = 2\r\n");
}

class DirectiveTest : public ::testing::Test {
  protected:
    std::string LoadAndSave(const std::string& file) {
        CAppSetting store;
        loaded = store.Load(dir.File(file).c_str(), 1);
        current = Current(store);
        store.Save(dir.File("out.ini").c_str());
        return ReadBytes(dir.File("out.ini"));
    }
    TempDir dir;
    int loaded = -1;
    std::string current;
};

TEST_F(DirectiveTest, RelativeAbsoluteSelfAndMissingIncludes) {
    std::filesystem::create_directory(dir.File("sub"));
    WriteBytes(dir.File("b.ini"), "b = 1\r\n");
    WriteBytes(dir.File("sub/c.ini"), "c = 1\r\n");
    WriteBytes(dir.File("a.ini"), "a = 1\r\n"
                                  "#include = b.ini\r\n"
                                  "#INCLUDE = " +
                                      dir.File("sub/c.ini") +
                                      "\r\n"
                                      "#include = a.ini\r\n"
                                      "#include = A.INI\r\n"
                                      "#Include = nothing.ini\r\n"
                                      "z = 1\r\n");
    EXPECT_EQ(LoadAndSave("a.ini"), "a = 1\r\nb = 1\r\nc = 1\r\nz = 1\r\n");
    EXPECT_EQ(current, dir.File("a.ini"));
}

TEST_F(DirectiveTest, IncludedFileCountsItsOwnLinesAndSetsExistingKeys) {
    WriteBytes(dir.File("b.ini"), "\r\nshared = from b\r\n");
    WriteBytes(dir.File("a.ini"), "shared = from a\r\n#include = b.ini\r\nlast = 1\r\n");
    CAppSetting store;
    store.Load(dir.File("a.ini").c_str(), 1);
    int line = 0;
    EXPECT_EQ(Value(store, "shared"), "from b");
    store.GetValue("shared", nullptr, &line);
    EXPECT_EQ(line, 2);
    store.GetValue("last", nullptr, &line);
    EXPECT_EQ(line, 3);
    store.Save(dir.File("out.ini").c_str());
    EXPECT_EQ(ReadBytes(dir.File("out.ini")), "shared = from b\r\n\r\nlast = 1\r\n");
}

TEST_F(DirectiveTest, IncludeCyclesEnd) {
    WriteBytes(dir.File("a.ini"), "a1 = 1\r\n#include = b.ini\r\na2 = 1\r\n");
    WriteBytes(dir.File("b.ini"), "b1 = 1\r\n#include = c.ini\r\nb2 = 1\r\n");
    WriteBytes(dir.File("c.ini"), "c1 = 1\r\n#include = a.ini\r\n#include = ./b.ini\r\nc2 = 1\r\n");
    EXPECT_EQ(LoadAndSave("a.ini"), "a1 = 1\r\nb1 = 1\r\nc1 = 1\r\nc2 = 1\r\nb2 = 1\r\na2 = 1\r\n");
    EXPECT_EQ(current, dir.File("a.ini"));
}

TEST_F(DirectiveTest, SelfIncludeUnderAnotherSpellingIsNotFollowed) {
    WriteBytes(dir.File("a.ini"), "a = 1\r\n#include = ./a.ini\r\n#include = ../" +
                                      std::filesystem::path(dir.path()).filename().string() +
                                      "/a.ini\r\nb = 1\r\n");
    EXPECT_EQ(LoadAndSave("a.ini"), "a = 1\r\nb = 1\r\n");
}

TEST_F(DirectiveTest, IncludingAFileAgainAfterItWasReadWorks) {
    WriteBytes(dir.File("b.ini"), "#\r\n");
    WriteBytes(dir.File("a.ini"), "#include = b.ini\r\nx = 1\r\n#include = b.ini\r\n");
    EXPECT_EQ(LoadAndSave("a.ini"), "#\r\nx = 1\r\n#\r\n");
}

TEST_F(DirectiveTest, RedirectReplacesEverything) {
    WriteBytes(dir.File("b.ini"), "b = 1\r\n");
    WriteBytes(dir.File("a.ini"),
               "above = 1\r\n#redirect = " + dir.File("b.ini") + "\r\nbelow = 1\r\n");
    EXPECT_EQ(LoadAndSave("a.ini"), "b = 1\r\n");
    EXPECT_EQ(current, dir.File("b.ini"));
    EXPECT_EQ(loaded, 1);
}

TEST_F(DirectiveTest, RedirectToMissingFileLeavesEmptyStore) {
    WriteBytes(dir.File("a.ini"),
               "above = 1\r\n#REDIRECT = " + dir.File("none.ini") + "\r\nbelow = 1\r\n");
    CAppSetting store;
    EXPECT_EQ(store.Load(dir.File("a.ini").c_str(), 1), 1);
    EXPECT_EQ(Value(store, "above"), "<missing>");
    EXPECT_EQ(Value(store, "below"), "<missing>");
    EXPECT_EQ(Current(store), dir.File("none.ini"));
}

TEST_F(DirectiveTest, SelfRedirectIsIgnored) {
    WriteBytes(dir.File("a.ini"), "a = 1\r\n#redirect = " + dir.File("A.ini") + "\r\nb = 1\r\n");
    EXPECT_EQ(LoadAndSave("a.ini"), "a = 1\r\nb = 1\r\n");
}

TEST_F(DirectiveTest, RedirectCycleEndsInTheLastFile) {
    WriteBytes(dir.File("a.ini"), "a = 1\r\n#redirect = " + dir.File("b.ini") + "\r\n");
    WriteBytes(dir.File("b.ini"), "b1 = 1\r\n#redirect = " + dir.File("c.ini") + "\r\nb2 = 1\r\n");
    WriteBytes(dir.File("c.ini"), "c1 = 1\r\n#redirect = " + dir.File("a.ini") + "\r\nc2 = 1\r\n");
    EXPECT_EQ(LoadAndSave("a.ini"), "c1 = 1\r\nc2 = 1\r\n");
    EXPECT_EQ(current, dir.File("c.ini"));
}

TEST_F(DirectiveTest, IncludedFileRedirectingBackIsIgnored) {
    WriteBytes(dir.File("a.ini"), "a1 = 1\r\n#include = b.ini\r\na2 = 1\r\n");
    WriteBytes(dir.File("b.ini"), "b1 = 1\r\n#redirect = " + dir.File("a.ini") + "\r\nb2 = 1\r\n");
    EXPECT_EQ(LoadAndSave("a.ini"), "a1 = 1\r\nb1 = 1\r\nb2 = 1\r\na2 = 1\r\n");
    EXPECT_EQ(current, dir.File("a.ini"));
}

TEST(ModuleName, ExtensionCutFromFileNameOnly) {
    const struct {
        const char* module;
        const char* ini;
    } cases[] = {
        {"/opt/app/bytemender", "/opt/app/bytemender.ini"},
        {"/opt/app.d/bytemender", "/opt/app.d/bytemender.ini"},
        {"/opt/app.d/bytemender.bin", "/opt/app.d/bytemender.ini"},
        {"C:\\x.y\\tool.exe", "C:\\x.y\\tool.ini"},
        {"/opt/.hidden", "/opt/.hidden.ini"},
        {"tool.a.b", "tool.a.ini"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SettingsFileForModule(c.module), c.ini) << c.module;
    }
}

TEST(OpenDefaultTest, ReadsTheFileBesideTheExecutable) {
    std::string module;
    ASSERT_TRUE(GetModuleFileName(&module));
    const std::string ini = SettingsFileForModule(module);
    if (std::filesystem::exists(ini)) {
        GTEST_SKIP() << ini << " exists already";
    }
    struct Remover {
        std::string path;
        ~Remover() { std::filesystem::remove(path); }
    } remover{ini};
    {
        CAppSetting store;
        store.SetValue("kept", "1", -1);
        EXPECT_EQ(store.OpenDefault(), 0); // no file yet
        EXPECT_EQ(Current(store), ini);
        EXPECT_EQ(Value(store, "kept"), "1");
        store.keepOrder = 0;
        EXPECT_EQ(store.Save(), 1); // the first save creates it
    }
    WriteBytes(ini, "FileName = x\r\n");
    CAppSetting store;
    EXPECT_EQ(store.OpenDefault(), 1);
    EXPECT_EQ(Value(store, "FileName"), "x");
    EXPECT_EQ(store.changeStamp.minInterval, 60000u);
    EXPECT_EQ(store.OpenDefault(), 0); // looked at again within the interval
}
