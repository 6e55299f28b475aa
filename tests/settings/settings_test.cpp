// The settings store in memory: key comparison, lookups, write order,
// enumeration, section removal, and the text helpers of the file format.
#include "settings/AppSetting.h"
#include "settings/IniText.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace {

std::string Saved(CAppSetting& store, const TempDir& dir) {
    const std::string path = dir.File("out.ini");
    store.Save(path.c_str());
    return ReadBytes(path);
}

struct Visit {
    std::string key;
    std::string name;
};

int Record(const char* key, const char* name, const char*, void* context) {
    static_cast<std::vector<Visit>*>(context)->push_back({key, name});
    return 1;
}

std::vector<std::string> Names(CAppSetting& store, const char* path, int allLevels) {
    std::vector<Visit> visits;
    store.EnumKeys(path, &visits, &Record, allLevels);
    std::vector<std::string> names;
    for (const Visit& v : visits) {
        names.push_back(v.name);
    }
    return names;
}

bool Has(CAppSetting& store, const char* key) {
    return store.GetValue(key, nullptr, nullptr) != 0;
}

} // namespace

TEST(KeyCompare, FoldsAsciiOnlyAndComparesOtherBytesUnsigned) {
    struct Case {
        const char* a;
        const char* b;
        int sign;
    } cases[] = {
        {"PathList\\Count", "pathlist\\COUNT", 0},
        {"a", "B", -1},
        {"0", "a", -1},      // digits sort before letters
        {"_", "a", -1},      // '_' (95) against folded 'a' (97)
        {"_", "A", -1},      // A folds to a, so '_' stays lower
        {"\xC4", "z", 1},    // bytes above 127 compare unsigned
        {"\xE4", "\xC4", 1}, // and are not folded
        {"Path", "PathList", -1},
        {"", "a", -1},
        // Eight bytes and more are compared a word at a time.
        {"PathList\\0001\\Descrip", "PATHLIST\\0001\\DESCRIP", 0},
        {"PathList\\0001\\Descrip", "pathlist\\0001\\DescriQ", -1},
        {"PathList\\0010\\Offset", "PathList\\0009\\Offset", 1},
        {"ABCDEFGH\xC1", "abcdefgh\xE1", -1}, // 0xC1 is no 'A'
        {"ABCDEFG\xC1", "abcdefg\xE1", -1},
        {"ABCDEFG[", "abcdefgz", -1}, // '[' and '@' sit next to the letters
        {"ABCDEFGZ", "abcdefg[", 1},
        {"abcdefg@", "ABCDEFG`", -1},
        {"abcdefg\x80", "ABCDEFG\x7F", 1},
    };
    for (const Case& c : cases) {
        const int r = CompareKeys(c.a, c.b);
        EXPECT_EQ((r > 0) - (r < 0), c.sign) << c.a << " vs " << c.b;
    }
}

TEST(Store, LookupIgnoresCaseAndKeyKeepsFirstSpelling) {
    TempDir dir;
    CAppSetting store;
    store.SetValue("PathList\\Count", "1", -1);
    store.SetValue("pathlist\\count", "2", -1);
    const char* value = nullptr;
    ASSERT_EQ(store.GetValue("PATHLIST\\COUNT", &value, nullptr), 1);
    EXPECT_STREQ(value, "2");
    EXPECT_EQ(Saved(store, dir), "PathList\\Count = 2\r\n");
}

TEST(Store, MissingKeysLeaveOutputsAlone) {
    CAppSetting store;
    const char* value = "untouched";
    int line = 77;
    EXPECT_EQ(store.GetValue("nope", &value, &line), 0);
    EXPECT_STREQ(value, "untouched");
    EXPECT_EQ(line, 77);
    EXPECT_EQ(store.GetString("nope", &value), 0);
    EXPECT_EQ(value, nullptr);
    char buffer[8] = "keep";
    EXPECT_EQ(store.GetStringCopy("nope", buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "keep");
    EXPECT_EQ(store.RemoveKey("nope"), 0);
    EXPECT_EQ(store.DeleteKey("nope"), 1);
}

TEST(Store, ValueLessEntryHasNoValue) {
    CAppSetting store;
    store.SetValue("; comment", nullptr, 3);
    const char* value = "x";
    int line = 0;
    EXPECT_EQ(store.GetValue("; comment", &value, &line), 1);
    EXPECT_EQ(value, nullptr);
    EXPECT_EQ(line, 3);
    char buffer[8] = "keep";
    EXPECT_EQ(store.GetStringCopy("; comment", buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "keep");
}

TEST(Store, LineNumberKeptWhenSetFromMemory) {
    CAppSetting store;
    store.SetValue("k", "a", 5);
    store.SetValue("k", "b", -1);
    int line = 0;
    store.GetValue("k", nullptr, &line);
    EXPECT_EQ(line, 5);
    store.SetValue("k", "c", 9);
    store.GetValue("k", nullptr, &line);
    EXPECT_EQ(line, 9);
    store.SetValue("new", "v", -1);
    store.GetValue("new", nullptr, &line);
    EXPECT_EQ(line, -1);
}

TEST(Store, GetStringCopyBounds) {
    CAppSetting store;
    store.SetString("k", "0123456789");
    struct Case {
        int size;
        const char* expected;
    } cases[] = {{10, "012345678"}, {11, "0123456789"}, {1, ""}, {-1, "0123456789"}};
    for (const Case& c : cases) {
        char buffer[32];
        std::memset(buffer, 'x', sizeof buffer);
        EXPECT_EQ(store.GetStringCopy("k", buffer, c.size), 1) << c.size;
        EXPECT_STREQ(buffer, c.expected) << c.size;
    }
    char untouched[4] = "abc";
    EXPECT_EQ(store.GetStringCopy("k", untouched, 0), 0);
    EXPECT_STREQ(untouched, "abc");
}

TEST(Store, ValuePointerStaysValidUntilReplaced) {
    CAppSetting store;
    store.SetString("a", "first value that is long enough to live on the heap");
    const char* value = nullptr;
    store.GetString("a", &value);
    for (int i = 0; i < 1000; ++i) {
        store.SetInt(("other\\" + std::to_string(i)).c_str(), i);
    }
    EXPECT_STREQ(value, "first value that is long enough to live on the heap");
}

// A table as large as a long patch list: its entries outgrow the first node
// blocks into huge-page blocks whose room is not a whole number of entries.
// Every entry must keep its own memory (the sanitizer build catches a node
// placed past a block's end) and read back what was set, also after the list
// save's remove-and-set-again cycle.
TEST(Store, LargeTableKeepsEveryEntry) {
    CAppSetting store;
    store.keepOrder = 0;
    constexpr int kCount = 120000;
    for (int round = 0; round < 2; ++round) {
        store.DeleteSection("PathList");
        for (int i = 0; i < kCount; ++i) {
            store.SetInt(("PathList\\" + std::to_string(i)).c_str(), i + round);
        }
    }
    for (int i = 0; i < kCount; i += 997) {
        std::int32_t value = -1;
        ASSERT_EQ(store.GetInt(("PathList\\" + std::to_string(i)).c_str(), &value), 1);
        EXPECT_EQ(value, i + 1);
    }
}

// The table against a plain ordered map, for keys that arrive in the orders
// the store meets: sorted (a file saved by the program), reversed, scattered,
// and a list past 10,000 items written again (its five-digit item numbers
// sort among the four-digit ones). Keys are set, set again in other letter
// case, removed and set again, and whole sections are removed; the saved file
// and every lookup must agree with the map.
struct TableCase {
    const char* name;
    std::vector<std::string> (*keys)();
};

std::vector<std::string> SectionKeys(int sections, int perSection) {
    std::vector<std::string> keys;
    for (int s = 0; s < sections; ++s) {
        for (int n = 0; n < perSection; ++n) {
            char key[64];
            std::snprintf(key, sizeof key, "Sec%02d\\%d\\Value", s, n);
            keys.push_back(key);
        }
    }
    return keys;
}

std::vector<std::string> Ascending() {
    std::vector<std::string> keys = SectionKeys(6, 3000);
    std::sort(keys.begin(), keys.end(), KeyLess{});
    return keys;
}

std::vector<std::string> Descending() {
    std::vector<std::string> keys = Ascending();
    std::reverse(keys.begin(), keys.end());
    return keys;
}

std::vector<std::string> Scattered() {
    std::vector<std::string> keys = SectionKeys(6, 3000);
    std::mt19937 rng(7);
    std::shuffle(keys.begin(), keys.end(), rng);
    return keys;
}

std::vector<std::string> LongList() {
    std::vector<std::string> keys;
    for (int n = 0; n < 12000; ++n) {
        for (const char* field : {"Offset", "Descrip", "OldHex", "NewHex", "Path"}) {
            char key[64];
            std::snprintf(key, sizeof key, "Sec01\\%04d\\%s", n, field);
            keys.push_back(key);
        }
    }
    return keys;
}

void PrintTo(const TableCase& c, std::ostream* out) {
    *out << c.name;
}

class TableModel : public ::testing::TestWithParam<TableCase> {};

std::string Folded(std::string key) {
    for (char& c : key) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return key;
}

TEST_P(TableModel, AgreesWithAnOrderedMap) {
    TempDir dir;
    CAppSetting store;
    store.keepOrder = 0;
    // folded key -> (spelling at creation, value)
    std::map<std::string, std::pair<std::string, std::string>> model;
    auto set = [&](const std::string& key, const std::string& value) {
        store.SetString(key.c_str(), value.c_str());
        auto& slot = model[Folded(key)];
        if (slot.first.empty()) {
            slot.first = key;
        }
        slot.second = value;
    };
    auto remove = [&](const std::string& key) {
        EXPECT_EQ(store.RemoveKey(key.c_str()), model.erase(Folded(key)) == 1 ? 1 : 0) << key;
    };
    const std::vector<std::string> keys = GetParam().keys();
    for (std::size_t i = 0; i < keys.size(); ++i) {
        set(keys[i], std::to_string(i));
    }
    std::mt19937 rng(11);
    for (int step = 0; step < 20000; ++step) {
        std::string key = keys[rng() % keys.size()];
        switch (rng() % 3) {
        case 0:
            remove(key);
            break;
        case 1: {
            // Another spelling of the last segment: section paths keep
            // theirs, as DeleteSection compares them byte for byte.
            const std::size_t last = key.rfind('\\') + 1;
            std::transform(key.begin() + static_cast<std::ptrdiff_t>(last), key.end(),
                           key.begin() + static_cast<std::ptrdiff_t>(last),
                           [](char c) { return static_cast<char>(std::toupper(c)); });
            set(key, "upper " + std::to_string(step));
            break;
        }
        default:
            set(key, "again " + std::to_string(step));
            break;
        }
    }
    for (const char* section : {"Sec03", "SEC05"}) {
        store.DeleteSection(section);
        const std::string prefix = Folded(section) + "\\";
        for (auto it = model.lower_bound(prefix);
             it != model.end() && it->first.compare(0, prefix.size(), prefix) == 0;) {
            if (it->second.first.compare(0, prefix.size() - 1, section) == 0) {
                it = model.erase(it); // the section removes what is spelt as it is
            } else {
                ++it;
            }
        }
    }
    std::string expected;
    for (const auto& [folded, entry] : model) {
        expected += entry.first + " = " + entry.second + "\r\n";
    }
    // The first line that differs, not two files of 100,000 lines.
    const std::string saved = Saved(store, dir);
    const auto differ = std::mismatch(saved.begin(), saved.end(), expected.begin(), expected.end());
    const std::size_t from =
        saved.rfind('\n', static_cast<std::size_t>(differ.first - saved.begin()));
    EXPECT_EQ(saved.size(), expected.size());
    EXPECT_TRUE(saved == expected)
        << "first difference after: " << saved.substr(from == std::string::npos ? 0 : from, 80);
    for (std::size_t i = 0; i < keys.size(); i += 7) {
        const char* value = nullptr;
        const auto it = model.find(Folded(keys[i]));
        EXPECT_EQ(store.GetString(keys[i].c_str(), &value), it != model.end() ? 1 : 0) << keys[i];
        if (it != model.end() && value != nullptr) {
            EXPECT_EQ(it->second.second, value) << keys[i];
        }
    }
}

INSTANTIATE_TEST_SUITE_P(KeyOrders, TableModel,
                         ::testing::Values(TableCase{"Ascending", &Ascending},
                                           TableCase{"Descending", &Descending},
                                           TableCase{"Scattered", &Scattered},
                                           TableCase{"ListPastTenThousandItems", &LongList}),
                         [](const ::testing::TestParamInfo<TableCase>& info) {
                             return std::string(info.param.name);
                         });

// A removed key set again is a new entry: its spelling is the new one, and
// while the write order is kept it stands after the lines already there.
TEST(WriteOrder, RemovedKeySetAgainIsANewEntry) {
    TempDir dir;
    CAppSetting store;
    int line = 0;
    for (const char* key : {"a", "b", "c"}) {
        store.SetValue(key, "1", ++line);
    }
    store.RemoveKey("b");
    store.SetValue("B", "4", -1);
    ASSERT_EQ(store.GetValue("b", nullptr, &line), 1);
    EXPECT_EQ(line, -1);
    EXPECT_EQ(Saved(store, dir), "a = 1\r\nc = 1\r\nB = 4\r\n");
    store.keepOrder = 0;
    EXPECT_EQ(Saved(store, dir), "a = 1\r\nB = 4\r\nc = 1\r\n");
}

TEST(WriteOrder, KeepOrderKeepsPlacesAndAppendsNewKeys) {
    TempDir dir;
    CAppSetting store;
    store.SetValue("b", "1", 1);
    store.SetValue("", nullptr, 2);
    store.SetValue("a", "2", 3);
    store.SetValue("", nullptr, 4); // a second blank line keeps its own place
    store.SetValue("B", "3", 5);    // same key: new value, first place
    store.SetValue("c", "4", -1);
    EXPECT_EQ(Saved(store, dir), "b = 3\r\n\r\na = 2\r\n\r\nc = 4\r\n");
    store.keepOrder = 0;
    EXPECT_EQ(Saved(store, dir), "\r\na = 2\r\nb = 3\r\nc = 4\r\n");
}

TEST(WriteOrder, ValueTakenAwayStandsTwice) {
    TempDir dir;
    CAppSetting store;
    store.SetValue("k", "v", 1);
    store.SetValue("x", "y", 2);
    store.SetValue("K", nullptr, 3);
    EXPECT_EQ(Saved(store, dir), "k\r\nx = y\r\nk\r\n");
}

TEST(WriteOrder, RemovedKeyLeavesEveryPlace) {
    TempDir dir;
    CAppSetting store;
    store.SetValue("#", nullptr, 1);
    store.SetValue("a", "1", 2);
    store.SetValue("#", nullptr, 3);
    EXPECT_EQ(store.RemoveKey("#"), 1);
    EXPECT_EQ(Saved(store, dir), "a = 1\r\n");
}

TEST(WriteOrder, TurningKeepOrderBackOnNeverWritesRemovedEntries) {
    TempDir dir;
    CAppSetting store;
    store.SetValue("z", "1", 1);
    store.SetValue("y", "2", 2);
    store.SetValue("x", "3", 3);
    store.keepOrder = 0;
    store.RemoveKey("y");
    store.SetValue("b", "4", -1);
    store.SetValue("a", "5", -1);
    store.keepOrder = 1;
    // Kept lines first, then the entries made meanwhile in key order.
    EXPECT_EQ(Saved(store, dir), "z = 1\r\nx = 3\r\na = 5\r\nb = 4\r\n");
    store.SetValue("c", "6", -1);
    EXPECT_EQ(Saved(store, dir), "z = 1\r\nx = 3\r\na = 5\r\nb = 4\r\nc = 6\r\n");
}

TEST(WriteOrder, ManyRemovalsKeepTheRestInOrder) {
    TempDir dir;
    CAppSetting store;
    std::string expected;
    for (int i = 0; i < 5000; ++i) {
        const std::string key = "k" + std::to_string(4999 - i);
        store.SetValue(key.c_str(), "v", i + 1);
        if (i % 3 == 0) {
            expected += key + " = v\r\n";
        }
    }
    for (int i = 0; i < 5000; ++i) {
        if (i % 3 != 0) {
            store.RemoveKey(("k" + std::to_string(4999 - i)).c_str());
        }
    }
    EXPECT_EQ(Saved(store, dir), expected);
}

TEST(WriteOrder, UnlinkOrderRefusesForeignEntries) {
    CAppSetting store;
    store.SetValue("a", "1", -1);
    SettingEntry foreign;
    foreign.key = "a";
    EXPECT_EQ(store.UnlinkOrder(&foreign), 0);
    EXPECT_EQ(store.UnlinkOrder(nullptr), 0);
}

TEST(Store, ClearKeepsCurrentFile) {
    TempDir dir;
    CAppSetting store;
    store.SetValue("a", "1", -1);
    store.Save(dir.File("s.ini").c_str());
    store.Clear();
    EXPECT_FALSE(Has(store, "a"));
    EXPECT_FALSE(store.CurrentFile().empty());
}

class EnumKeysTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* key : {"PathList\\Count", "PathList\\0000\\Offset",
                                "PathList\\0000\\Descrip", "PathList\\0001\\Offset", "FileName"}) {
            store.SetValue(key, "v", -1);
        }
    }
    CAppSetting store;
};

TEST_F(EnumKeysTest, DirectChildrenOncePerFirstSegment) {
    EXPECT_EQ(Names(store, "PathList", 0), (std::vector<std::string>{"0000", "0001", "Count"}));
    EXPECT_EQ(Names(store, "PathList\\\\", 0), (std::vector<std::string>{"0000", "0001", "Count"}));
    EXPECT_EQ(Names(store, "PathList", 1),
              (std::vector<std::string>{"0000\\Descrip", "0000\\Offset", "0001\\Offset", "Count"}));
    EXPECT_EQ(Names(store, "PathList\\0000", 0), (std::vector<std::string>{"Descrip", "Offset"}));
}

TEST_F(EnumKeysTest, EmptyPathStartsAtFirstKey) {
    EXPECT_EQ(Names(store, "", 0), (std::vector<std::string>{"FileName", "PathList"}));
    EXPECT_EQ(Names(store, nullptr, 1).size(), 5u);
}

TEST_F(EnumKeysTest, PrefixWithoutBackslashAndValueLessEntries) {
    store.SetValue("PathListX", "v", -1);
    store.SetValue("PathList\\Note", nullptr, -1);
    EXPECT_EQ(Names(store, "PathList", 0),
              (std::vector<std::string>{"0000", "0001", "Count", "X"}));
}

TEST_F(EnumKeysTest, LowerCasePrefixStopsTheWalk) {
    store.SetValue("pathlist\\0000\\Zzz", "v", -1); // sorts between 0000\Offset and 0001
    EXPECT_EQ(Names(store, "PathList", 1),
              (std::vector<std::string>{"0000\\Descrip", "0000\\Offset"}));
}

TEST_F(EnumKeysTest, CallbackStopsAndMayChangeTheStore) {
    int calls = 0;
    store.EnumKeys(
        "PathList", &calls,
        [](const char*, const char*, const char*, void* c) -> int {
            return ++*static_cast<int*>(c) < 2;
        },
        1);
    EXPECT_EQ(calls, 2);
    // A callback that removes the key it was given and the next one.
    std::vector<std::string> seen;
    struct Ctx {
        CAppSetting* store;
        std::vector<std::string>* seen;
    } ctx{&store, &seen};
    store.EnumKeys(
        "PathList", &ctx,
        [](const char* key, const char*, const char*, void* c) {
            auto* x = static_cast<Ctx*>(c);
            x->seen->push_back(key);
            x->store->RemoveKey(key);
            x->store->RemoveKey("PathList\\0001\\Offset");
            return 1;
        },
        1);
    EXPECT_EQ(seen, (std::vector<std::string>{"PathList\\0000\\Descrip", "PathList\\0000\\Offset",
                                              "PathList\\Count"}));
}

TEST_F(EnumKeysTest, DeleteSectionRemovesEverythingBelow) {
    store.SetValue("PathListX", "keep", -1);
    store.SetValue("PathList", "self", -1);
    EXPECT_EQ(store.DeleteSection("PathList"), 1);
    for (const char* key : {"PathList", "PathList\\Count", "PathList\\0000\\Offset",
                            "PathList\\0000\\Descrip", "PathList\\0001\\Offset"}) {
        EXPECT_FALSE(Has(store, key)) << key;
    }
    EXPECT_TRUE(Has(store, "FileName"));
    EXPECT_EQ(store.DeleteSection("Nothing\\Here"), 1);
    EXPECT_TRUE(Has(store, "FileName"));
}

TEST_F(EnumKeysTest, DeleteSectionWithTrailingBackslash) {
    store.DeleteSection("PathList\\");
    EXPECT_FALSE(Has(store, "PathList\\0000\\Offset"));
    EXPECT_FALSE(Has(store, "PathList\\Count"));
}

TEST(LongKeys, EnumAndDeleteSectionWorkAtAnyLength) {
    CAppSetting store;
    const std::string longSegment(2000, 'S');
    const std::string section = "Root\\" + longSegment;
    store.SetValue((section + "\\a").c_str(), "1", -1);
    store.SetValue((section + "\\" + longSegment + "\\b").c_str(), "2", -1);
    // Shares the first 519 bytes with the section but is another key.
    const std::string sibling = "Root\\" + std::string(1000, 'S') + "T";
    store.SetValue(sibling.c_str(), "3", -1);
    EXPECT_EQ(Names(store, section.c_str(), 0), (std::vector<std::string>{"a", longSegment}));
    store.DeleteSection(section.c_str());
    EXPECT_FALSE(Has(store, (section + "\\a").c_str()));
    EXPECT_FALSE(Has(store, (section + "\\" + longSegment + "\\b").c_str()));
    EXPECT_TRUE(Has(store, sibling.c_str()));
}

TEST(LongKeys, DeepKeyIsRemovedWithoutRecursion) {
    CAppSetting store;
    std::string key = "Deep";
    for (int i = 0; i < 3000; ++i) {
        key += "\\x";
    }
    store.SetValue(key.c_str(), "v", -1);
    store.SetValue("Deeper", "keep", -1);
    store.DeleteSection("Deep");
    EXPECT_FALSE(Has(store, key.c_str()));
    EXPECT_TRUE(Has(store, "Deeper"));
}

// ---- text helpers ----

TEST(NextLineTest, LineEndsAndEndOfText) {
    const char* text = "one\r\ntwo\rthree\nfour";
    const char* cursor = nullptr;
    char line[64];
    EXPECT_EQ(NextLine(text, &cursor, nullptr, 0), 1);
    const struct {
        int result;
        const char* line;
    } expected[] = {{1, "one"}, {1, "two"}, {1, "three"}, {2, "four"}};
    for (const auto& e : expected) {
        EXPECT_EQ(NextLine(text, &cursor, line, sizeof line), e.result);
        EXPECT_STREQ(line, e.line);
    }
    EXPECT_EQ(NextLine(text, &cursor, line, sizeof line), 0);
}

TEST(NextLineTest, EmptyLinesCrCrAndLfCr) {
    const char* text = "\r\n\r\ra\n\rb\n";
    const char* cursor = text;
    char line[16];
    std::vector<std::string> lines;
    int r;
    while ((r = NextLine(text, &cursor, line, sizeof line)) != 0) {
        lines.push_back(line);
        ASSERT_EQ(r, 1);
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"", "", "", "a", "", "b"}));
}

TEST(NextLineTest, LongLineKeepsCapacityMinusOne) {
    const std::string text = std::string(10000, 'x') + "\nnext";
    std::vector<char> line(kLineCapacity);
    const char* cursor = text.c_str();
    EXPECT_EQ(NextLine(text.c_str(), &cursor, line.data(), kLineCapacity), 1);
    EXPECT_EQ(std::strlen(line.data()), 8191u);
    EXPECT_EQ(NextLine(text.c_str(), &cursor, line.data(), kLineCapacity), 2);
    EXPECT_STREQ(line.data(), "next");
    // Exactly capacity - 1 and capacity bytes.
    for (std::size_t n : {std::size_t{8191}, std::size_t{8192}}) {
        const std::string t(n, 'y');
        cursor = t.c_str();
        EXPECT_EQ(NextLine(t.c_str(), &cursor, line.data(), kLineCapacity), 2);
        EXPECT_EQ(std::strlen(line.data()), 8191u);
    }
}

TEST(NextLineTest, ProcessWideCursor) {
    char line[8];
    NextLine("a\nb", nullptr, nullptr, 0);
    EXPECT_EQ(NextLine(nullptr, nullptr, line, sizeof line), 1);
    EXPECT_STREQ(line, "a");
    EXPECT_EQ(NextLine(nullptr, nullptr, line, sizeof line), 2);
    EXPECT_STREQ(line, "b");
    EXPECT_EQ(NextLine(nullptr, nullptr, line, sizeof line), 0);
}

// The scan of one line: its end, its first '=' and whether a backslash
// follows it, at every place a line may put them (the scan reads sixteen
// bytes at a time, so the places around those boundaries matter most).
TEST(ScanLineTest, AgreesWithAByteByByteReading) {
    const auto expected = [](const std::string& text) {
        LineShape shape;
        shape.length = std::min(text.find_first_of(std::string("\r\n\0", 3)), text.size());
        shape.firstEquals = std::min(text.find('='), shape.length);
        shape.escapes = text.find('\\', shape.firstEquals) < shape.length;
        return shape;
    };
    std::mt19937 random(7);
    const char marks[] = {'=', '\\', '\r', '\n', '\0', ' '};
    std::vector<std::string> lines = {
        "",         "a = b",         "pa\\th = v\r\n", "key = v\\al\r\n", "no separator\n",
        "a\r\n= b", "a = b\0c = d\\"};
    for (std::size_t length = 1; length <= 70; ++length) {
        for (int round = 0; round < 40; ++round) {
            std::string line(length, 'x');
            for (int m = static_cast<int>(random() % 4); m > 0; --m)
                line[random() % length] = marks[random() % sizeof marks];
            lines.push_back(line);
        }
    }
    for (const std::string& line : lines) {
        const LineShape want = expected(line);
        const LineShape got = ScanLine(line.data(), line.data() + line.size());
        EXPECT_EQ(got.length, want.length) << testing::PrintToString(line);
        EXPECT_EQ(got.firstEquals, want.firstEquals) << testing::PrintToString(line);
        EXPECT_EQ(got.escapes, want.escapes) << testing::PrintToString(line);
    }
}

TEST(Escape, OnlyFiveBytesAreEscaped) {
    char out[64];
    EXPECT_STREQ(EscapeText(out, "a\tb\nc\rd\"e\\f"), "a\\tb\\nc\\rd\\\"e\\\\f");
    EXPECT_STREQ(EscapeText(out, "\x01\x7F\x80\xFF' ="), "\x01\x7F\x80\xFF' =");
    char* made = EscapeText(nullptr, "\\");
    EXPECT_STREQ(made, "\\\\");
    FreeString(made);
}

TEST(Unescape, DecodingRules) {
    const struct {
        const char* in;
        std::string out;
    } cases[] = {
        {"\\41", "A"},
        {"\\n\\N\\r\\R\\t\\T", "\n\n\r\r\t\t"},
        {"\\q\\\\\\\"", "q\\\""},
        {"abc\\", "abc"},
        {"\\4", "\xFF"},          // lone digit at the end
        {"\\4gX", "\xFFX"},       // the non-digit after it is used up
        {"C:\\Data", "C:\xDAta"}, // hand-written quirks
        {"C:\\Windows", "C:Windows"},
        {"ab\\00cd", "ab"}, // a decoded zero byte ends the value
        {"\\0", "\xFF"},
        {"\\ff\\FF", "\xFF\xFF"},
    };
    for (const auto& c : cases) {
        char out[64];
        EXPECT_EQ(std::string(UnescapeText(out, c.in)), c.out) << c.in;
    }
}

TEST(Unescape, RoundTripOfEveryByte) {
    std::string all;
    for (int c = 1; c < 256; ++c) {
        all.push_back(static_cast<char>(c));
    }
    all += "\\41\\\\x";
    char* escaped = EscapeText(nullptr, all.c_str());
    char* back = UnescapeText(nullptr, escaped);
    EXPECT_EQ(std::string(back), all);
    FreeString(escaped);
    FreeString(back);
}

TEST(SmallText, CopyBoundedAndStrip) {
    char buffer[8] = "zzzzzzz";
    CopyBounded("abcd", buffer, 4);
    EXPECT_STREQ(buffer, "abc");
    CopyBounded("ab", buffer, 4);
    EXPECT_STREQ(buffer, "ab");
    CopyBounded("abcdef", buffer, -1);
    EXPECT_STREQ(buffer, "abcdef");
    char path[] = "a\\b\\\\\\";
    EXPECT_EQ(StripTrailingBackslashes(path), 3);
    EXPECT_STREQ(path, "a\\b");
    char* copy = DupString("text");
    EXPECT_STREQ(copy, "text");
    FreeString(copy);
    EXPECT_EQ(DupString(nullptr), nullptr);
}

TEST(DeleteSectionTest, DoubledBackslashBelowThePathEnds) {
    CAppSetting store;
    for (const char* key : {"PathList\\0000\\Offset", "PathList\\\\a", "PathList\\\\\\b",
                            "PathList\\", "PathListY", "Other"}) {
        store.SetValue(key, "v", -1);
    }
    store.DeleteSection("PathList");
    for (const char* key :
         {"PathList\\0000\\Offset", "PathList\\\\a", "PathList\\\\\\b", "PathList\\"}) {
        EXPECT_FALSE(Has(store, key)) << key;
    }
    EXPECT_TRUE(Has(store, "PathListY"));
    EXPECT_TRUE(Has(store, "Other"));
}
