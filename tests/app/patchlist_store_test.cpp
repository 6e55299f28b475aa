// The patch list and the target path in the settings store, the list's order
// and the window caption.
#include "tests/support/TestFiles.h"

#include "core/PatchListStore.h"
#include "settings/AppSetting.h"

#include <gtest/gtest.h>

namespace {

std::string Repeat(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i)
        out += text;
    return out;
}

PatchItem Item(std::uint32_t offset, std::string description, std::string oldHex,
               std::string newHex, std::int32_t enabled) {
    PatchItem item;
    item.offset = offset;
    item.description = std::move(description);
    item.oldHex = std::move(oldHex);
    item.newHex = std::move(newHex);
    item.enabled = enabled;
    return item;
}

// A store opened the way the main window opens it: on a file (which may not
// exist), then switched to key-ordered saving.
class StoreTest : public ::testing::Test {
  protected:
    void Open(const std::string& text) {
        WriteBytes(file_, text);
        OpenExisting();
    }
    void OpenExisting() {
        store_.Load(file_.c_str(), 1);
        store_.keepOrder = 0;
    }
    PatchList Loaded() {
        PatchList list;
        ReadPatchItems(store_, list);
        SortPatchList(list);
        return list;
    }
    // Saves list into the store and reads the written file back.
    std::string SavedText(const PatchList& list, const std::string& target) {
        WritePatchList(store_, list, target);
        return ReadBytes(file_);
    }

    TempDir dir_;
    std::string file_ = dir_.File("bytemender.ini");
    CAppSetting store_;
};

TEST_F(StoreTest, FirstSaveOnMissingFileWritesKeysSortedWithCrLf) {
    OpenExisting(); // no file yet
    const PatchList list = {Item(0x10, "first change", "7405", "EB05", 1),
                            Item(0x200, "second change", "00", "01", 0)};
    EXPECT_EQ(SavedText(list, "D:\\work\\data.bin"), "FileName = D:\\\\work\\\\data.bin\r\n"
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

    // ... and it reads back as it was.
    CAppSetting again;
    again.Load(file_.c_str(), 1);
    PatchList loaded;
    ReadPatchItems(again, loaded);
    EXPECT_EQ(loaded, list);
    EXPECT_EQ(ReadTargetPath(again), "D:\\work\\data.bin");
}

TEST_F(StoreTest, MissingFileGivesEmptyTargetAndList) {
    OpenExisting();
    EXPECT_EQ(ReadTargetPath(store_), "");
    EXPECT_TRUE(Loaded().empty());
}

TEST_F(StoreTest, CountDecidesHowManyItemsLoad) {
    struct Case {
        const char* name;
        const char* text;
        std::vector<std::uint32_t> offsets; // after sorting
    };
    const Case cases[] = {
        {"count above stored: defaults sort first",
         "PathList\\Count = 3\r\nPathList\\0000\\Offset = 0x20\r\n"
         "PathList\\0000\\Descrip = kept\r\nPathList\\0000\\Path = 1\r\n",
         {0, 0, 0x20}},
        {"count below stored: rest ignored",
         "PathList\\Count = 1\r\nPathList\\0000\\Offset = 0x20\r\nPathList\\0001\\Offset = "
         "0x30\r\n",
         {0x20}},
        {"zero", "PathList\\Count = 0\r\nPathList\\0000\\Offset = 0x20\r\n", {}},
        {"no count (a file cut short): every stored item number",
         "PathList\\0000\\Offset = 0x20\r\nPathList\\0002\\Offset = 0x10\r\n",
         {0, 0x10, 0x20}},
        {"2^31 reads as negative",
         "PathList\\Count = 2147483648\r\nPathList\\0000\\Offset = 0x20\r\n",
         {}},
        {"all bits set", "PathList\\Count = 0xFFFFFFFF\r\nPathList\\0000\\Offset = 0x20\r\n", {}},
        {"absurd count is bounded by the stored item numbers",
         "PathList\\Count = 2147483647\r\nPathList\\0000\\Offset = 0x20\r\n"
         "PathList\\0002\\Offset = 0x10\r\n",
         {0, 0x10, 0x20}},
        {"only the keys the list writes count, in any letter case",
         "PathList\\Count = 3\r\nPathList\\1\\Offset = 0x50\r\nPathList\\00002\\Offset = 0x60\r\n"
         "pathlist\\0001\\OFFSET = 0x30\r\nPathList\\0002\\Offset\\x = 0x70\r\n"
         "PathListX\\0002\\Offset = 0x80\r\nPathList\\0003\\Offset = 0x90\r\n",
         {0, 0, 0x30}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Open(c.text);
        std::vector<std::uint32_t> offsets;
        for (const PatchItem& item : Loaded())
            offsets.push_back(item.offset);
        EXPECT_EQ(offsets, c.offsets);
    }
}

TEST_F(StoreTest, ExtraItemsFromALargerCountAreDisabledAndEmpty) {
    Open("PathList\\Count = 3\r\nPathList\\0000\\Offset = 0x20\r\n"
         "PathList\\0000\\Descrip = kept\r\nPathList\\0000\\Path = 1\r\n");
    const PatchList list = Loaded();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0], PatchItem{});
    EXPECT_EQ(list[1], PatchItem{});
    EXPECT_EQ(list[2], Item(0x20, "kept", "", "", 1));
}

TEST_F(StoreTest, SavingASmallerListDropsTheOldItemKeys) {
    Open("FileName = /data/t.bin\r\nPathList\\Count = 2\r\nPathList\\0000\\Offset = 1\r\n"
         "PathList\\0001\\Offset = 2\r\nPathList\\0001\\Descrip = gone\r\n");
    EXPECT_EQ(SavedText({}, "/data/t.bin"), "FileName = /data/t.bin\r\nPathList\\Count = 0\r\n");
}

TEST_F(StoreTest, OffsetsReadAsDecimalOrHexAndSortStablyAsUnsigned) {
    Open("PathList\\Count = 6\r\n"
         "PathList\\0000\\Offset = 0x300\r\nPathList\\0000\\Descrip = a\r\n"
         "PathList\\0001\\Offset = 0x10\r\nPathList\\0001\\Descrip = b\r\n"
         "PathList\\0002\\Offset = 16\r\nPathList\\0002\\Descrip = c\r\n"
         "PathList\\0003\\Offset = 0XFFFFFFF0\r\nPathList\\0003\\Descrip = d\r\n"
         "PathList\\0004\\Offset = 0x0000001a\r\nPathList\\0004\\Descrip = e\r\n"
         "PathList\\0005\\Offset = 0x10\r\nPathList\\0005\\Descrip = f\r\n");
    const PatchList list = Loaded();
    std::string order;
    for (const PatchItem& item : list)
        order += item.description;
    EXPECT_EQ(order, "bcfead"); // equal offsets keep their stored order
    EXPECT_EQ(list[3].offset, 0x1au);
    EXPECT_EQ(list[5].offset, 0xFFFFFFF0u);
    // Also in lists longer than 16, which a plain sort orders differently.
    PatchList many;
    for (int i = 0; i < 40; ++i)
        many.push_back(Item(i % 3 ? 0x20 : 0x10, std::to_string(100 + i), "", "", 1));
    SortPatchList(many);
    for (std::size_t i = 1; i < many.size(); ++i)
        EXPECT_TRUE(
            many[i - 1].offset < many[i].offset ||
            (many[i - 1].offset == many[i].offset && many[i - 1].description < many[i].description))
            << i;

    const std::string saved = SavedText(list, "");
    EXPECT_NE(saved.find("PathList\\0001\\Offset = 0x00000010\r\n"), std::string::npos);
    EXPECT_NE(saved.find("PathList\\0003\\Offset = 0x0000001A\r\n"), std::string::npos);
    EXPECT_NE(saved.find("PathList\\0005\\Offset = 0xFFFFFFF0\r\n"), std::string::npos);
}

TEST_F(StoreTest, EnabledFlagsKeepTheirReadValue) {
    Open("PathList\\Count = 4\r\n"
         "PathList\\0000\\Offset = 1\r\nPathList\\0000\\Path = 5\r\n"
         "PathList\\0001\\Offset = 2\r\nPathList\\0001\\Path = 0x10\r\n"
         "PathList\\0002\\Offset = 3\r\nPathList\\0002\\Path = 0\r\n"
         "PathList\\0003\\Offset = 4\r\nPathList\\0003\\Path = -1\r\n");
    const PatchList list = Loaded();
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0].enabled, 5);
    EXPECT_EQ(list[1].enabled, 16);
    EXPECT_EQ(list[2].enabled, 0);
    EXPECT_EQ(list[3].enabled, -1);
    const std::string saved = SavedText(list, "");
    EXPECT_NE(saved.find("PathList\\0000\\Path = 5\r\n"), std::string::npos);
    EXPECT_NE(saved.find("PathList\\0001\\Path = 16\r\n"), std::string::npos);
}

TEST_F(StoreTest, TextFieldsNeedAValue) {
    // A line without " = " is a key without a value: the field stays empty.
    Open("PathList\\Count = 1\r\nPathList\\0000\\Descrip\r\n"
         "PathList\\0000\\OldHex = \r\nPathList\\0000\\NewHex = 90 90\r\n");
    const PatchList list = Loaded();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0], Item(0, "", "", "90 90", 0));
}

TEST_F(StoreTest, ItemNumbersGrowPastFourDigits) {
    EXPECT_EQ(PatchItemKey(0, "Offset"), "PathList\\0000\\Offset");
    EXPECT_EQ(PatchItemKey(10000, "Path"), "PathList\\10000\\Path");

    OpenExisting();
    PatchList list(10001);
    list.back() = Item(0x1234, "last", "01", "02", 1);
    const std::string saved = SavedText(list, "");
    EXPECT_NE(saved.find("PathList\\10000\\Offset = 0x00001234\r\n"), std::string::npos);
    EXPECT_NE(saved.find("PathList\\Count = 10001\r\n"), std::string::npos);
    PatchList loaded;
    ReadPatchItems(store_, loaded);
    ASSERT_EQ(loaded.size(), 10001u);
    EXPECT_EQ(loaded.back(), list.back());
}

TEST_F(StoreTest, TargetPathLongerThan519BytesIsRefusedNotCut) {
    const std::string fits = "/" + std::string(518, 'p');
    Open("FileName = " + fits + "\r\n");
    EXPECT_EQ(ReadTargetPath(store_), fits);
    Open("FileName = " + fits + "q\r\n");
    EXPECT_EQ(ReadTargetPath(store_), "");
}

TEST(WindowTitle, FollowsTheTargetFileName) {
    const struct {
        std::string target;
        std::string title;
    } cases[] = {
        {"", "Bytemender"},
        {"D:\\data\\game.bin", "Bytemender - game.bin"},
        {"D:\\data/sub\\x.bin", "Bytemender - x.bin"},
        {"/home/u/sub\\dir/y.bin", "Bytemender - y.bin"},
        {"x.bin", "Bytemender - x.bin"},
        {"/home/u/数据.bin", "Bytemender - 数据.bin"},
        {std::string(519, 'n'), "Bytemender - " + std::string(511, 'n')},
        // A cut never leaves half a character: 170 three-byte characters are
        // 510 bytes, and the next one would not fit.
        {Repeat("数", 172), "Bytemender - " + Repeat("数", 170)},
        {Repeat("\U0001F600", 128), "Bytemender - " + Repeat("\U0001F600", 127)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MakeWindowTitle(c.target), c.title) << c.target;
}

} // namespace
