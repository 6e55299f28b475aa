#include "engine/PatchExchange.h"

#include "engine/Rebuild.h"
#include "tests/engine/ExchangeRoundTrip.h"
#include "tests/support/TestFiles.h"
#include "winutil/Translate.h"

#include <gtest/gtest.h>

#include "winutil/FdIo.h"
#include <algorithm>
#include <filesystem>

#ifndef _WIN32
#include <sys/mman.h>
#endif

// Readable failures: the fields rather than the object's bytes.
void PrintTo(const PatchItem& item, std::ostream* out) {
    *out << "{" << item.offset << ", \"" << item.description << "\", " << item.oldHex << " -> "
         << item.newHex << ", " << item.enabled << "}";
}

namespace {

using ByteVector = std::vector<std::uint8_t>;

ByteVector ToBytes(std::string_view text) {
    return ByteVector(text.begin(), text.end());
}

// Items the program makes store their data as spaced upper-case pairs.
std::string Hex(const ByteVector& bytes, std::size_t at, std::size_t count) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (std::size_t i = at; i < at + count; ++i) {
        if (i > at)
            text += ' ';
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

// "4142" as the program writes it: "41 42".
std::string Spaced(const std::string& pairs) {
    if (pairs.find(' ') != std::string::npos)
        return pairs;
    std::string text;
    for (std::size_t i = 0; i < pairs.size(); i += 2)
        text += (i > 0 ? " " : "") + pairs.substr(i, 2);
    return text;
}

PatchItem Item(std::uint32_t offset, std::string oldHex, std::string newHex, std::string name = "",
               int enabled = 1) {
    return PatchItem{offset, std::move(name), Spaced(oldHex), Spaced(newHex), enabled};
}

// The items an import or a diff gives: named "<name> #1", "#2", ... in order.
PatchList Named(PatchList items, const std::string& name) {
    for (std::size_t i = 0; i < items.size(); ++i) {
        items[i].description = name + " #" + std::to_string(i + 1);
        items[i].enabled = 1;
    }
    return items;
}

void Put32(ByteVector* image, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        (*image)[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// The hex text of count bytes at at with every bit flipped: new bytes that
// differ from the old ones everywhere.
std::string FlippedHex(const ByteVector& bytes, std::size_t at, std::size_t count) {
    ByteVector flipped(bytes.begin() + at, bytes.begin() + at + count);
    for (std::uint8_t& byte : flipped)
        byte = static_cast<std::uint8_t>(~byte);
    return Hex(flipped, 0, count);
}

// A PE32 (or PE32+) image: headers up to 0x200; ".text" at RVA 0x1000 with
// 0x400 bytes of file data from 0x200 of which textMapped are mapped; ".data"
// at RVA 0x3000 with the rest of the file from 0x600. size reaches past the
// IPS "EOF" offset.
ByteVector TinyPe(std::size_t size = 0x460000, bool pe32Plus = false,
                  std::uint32_t textMapped = 0x300) {
    ByteVector image(size);
    for (std::size_t i = 0; i < size; ++i)
        image[i] = static_cast<std::uint8_t>(i * 7 + (i >> 8));
    std::fill(image.begin(), image.begin() + 0x200, 0);
    image[0] = 'M';
    image[1] = 'Z';
    Put32(&image, 0x3C, 0x40);
    Put32(&image, 0x40, 0x00004550);      // "PE\0\0"
    image[0x46] = 2;                      // sections
    image[0x54] = pe32Plus ? 0xF0 : 0xE0; // optional header size
    image[0x58] = 0x0B, image[0x59] = pe32Plus ? 2 : 1;
    Put32(&image, 0x58 + 60, 0x200); // SizeOfHeaders
    const std::size_t table = 0x58 + image[0x54];
    const std::uint32_t sections[2][4] = {
        {textMapped, 0x1000, 0x400, 0x200},
        {0, 0x3000, static_cast<std::uint32_t>(size - 0x600), 0x600}};
    for (int s = 0; s < 2; ++s)
        for (int f = 0; f < 4; ++f)
            Put32(&image, table + 40 * s + 8 + 4 * f, sections[s][f]);
    return image;
}

const ByteVector& Backup() {
    static const ByteVector backup = TinyPe();
    return backup;
}

// An anonymous mapping of size bytes of zeros, pages made only when read.
struct Sparse {
    explicit Sparse(std::size_t size) : size(size) {
#ifdef _WIN32
        data = static_cast<const std::uint8_t*>(AllocatePages(size));
#else
        void* p =
            ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        data = p == MAP_FAILED ? nullptr : static_cast<const std::uint8_t*>(p);
#endif
    }
    ~Sparse() {
#ifdef _WIN32
        FreePages(const_cast<std::uint8_t*>(data), size);
#else
        if (data)
            ::munmap(const_cast<std::uint8_t*>(data), size);
#endif
    }
    std::span<const std::uint8_t> bytes() const {
        return {data, data ? size : 0};
    }
    const std::uint8_t* data;
    std::size_t size;
};

const PatchFormat kAllFormats[] = {PatchFormat::Ips, PatchFormat::Ips32, PatchFormat::IdaDif,
                                   PatchFormat::X64dbg1337, PatchFormat::HaxDiff};

TEST(PatchExchange, ItemsSurviveEveryFormat) {
    const ByteVector& b = Backup();
    // Every byte of the long run changes (a .dif lists only those that do).
    const std::string runLong = FlippedHex(b, 0x700, kExchangeRunLength);
    // Offsets in the headers, in both sections, around the IPS "EOF" offset
    // and at the end; items touching one another come back as they went when
    // the run splits at the same place.
    const PatchList items = {
        Item(0x10, Hex(b, 0x10, 2), "EB05"),
        Item(0x204, Hex(b, 0x204, 3), "909090"),
        Item(0x700, Hex(b, 0x700, kExchangeRunLength), runLong),
        Item(0x700 + kExchangeRunLength, Hex(b, 0x700 + kExchangeRunLength, 2), "0102"),
        Item(0x454F46, Hex(b, 0x454F46, 1), "AA"),
        Item(0x454F48, "", "BBCC"), // no old data given: the backup's bytes come back
        Item(static_cast<std::uint32_t>(b.size() - 1), Hex(b, b.size() - 1, 1), "FF"),
    };
    PatchList expected = items;
    expected[5].oldHex = Hex(b, 0x454F48, 2);
    for (PatchFormat format : kAllFormats) {
        SCOPED_TRACE(PatchFormatName(format));
        ByteVector file;
        std::string error;
        ASSERT_TRUE(ExportPatchData(items, b, "game.exe", format, false, &file, &error)) << error;
        PatchFormat detected;
        ASSERT_TRUE(DetectPatchFormat(file, "x", &detected));
        EXPECT_EQ(detected, format);
        PatchList back;
        ASSERT_TRUE(ImportPatchData(format, file, "p", b, &back, &error)) << error;
        EXPECT_EQ(back, Named(expected, "p"));
    }
}

struct Exported {
    const char* name;
    PatchFormat format;
    PatchList items;
    std::string file; // expected bytes, or the start of the expected message
    bool ok = true;
};

TEST(PatchExchange, ExportWritesTheFormat) {
    const ByteVector& b = Backup();
    const std::string eofByte = std::string(1, static_cast<char>(b[0x454F45]));
    const Exported cases[] = {
        {"IPS record moved off the EOF offset repeats the unchanged byte",
         PatchFormat::Ips,
         {Item(0x454F46, "", "AA")},
         "PATCH\x45\x4F\x45" + Bytes({0, 2}) + eofByte +
             "\xAA"
             "EOF"},
        {"a run through the EOF offset starts before it",
         PatchFormat::Ips,
         {Item(0x454F45, "", "11"), Item(0x454F46, "", "22")},
         "PATCH\x45\x4F\x45" + Bytes({0, 2, 0x11, 0x22}) + "EOF"},
        {"touching items make one IPS32 record; an empty item is no overlap",
         PatchFormat::Ips32,
         {Item(0x20, "", "11"), Item(0x21, "", "2233"),
          Item(0x22, "", "")}, // the empty one writes nothing
         "IPS32" + Bytes({0, 0, 0, 0x20, 0, 3, 0x11, 0x22, 0x33}) + "EEOF"},
        {"disabled items stay out",
         PatchFormat::IdaDif,
         {Item(0x20, Hex(b, 0x20, 1), "11"), Item(0x30, "", "22", "", 0)},
         "This difference file was created by IDA\r\n\r\ngame.exe\r\n00000020: " + Hex(b, 0x20, 1) +
             " 11\r\n"},
        {".1337 gives addresses in the loaded image",
         PatchFormat::X64dbg1337,
         {Item(0x10, "", "11"), Item(0x5FF - 0x100, "", "22")},
         ">game.exe\r\n00000010:" + Hex(b, 0x10, 1) + "->11\r\n000012FF:" + Hex(b, 0x4FF, 1) +
             "->22\r\n"},
        {"haxdiff hunks",
         PatchFormat::HaxDiff,
         {Item(0x1A, "", "0102")},
         "haxdiff/1.0\n@@ 1A,-2,+2\n- " + Hex(b, 0x1A, 1) + " " + Hex(b, 0x1B, 1) + "\n+ 01 02\n"},
        {"old data not matching the backup",
         PatchFormat::HaxDiff,
         {Item(0x20, "", "11"), Item(0x30, "01", "22", "second")},
         "项目 2 \"second\" (偏移 0x00000030): 原始数据与备份文件不匹配, 位于 0x00000030 "
         "(项目中是 01, 备份文件中是 " +
             Hex(b, 0x30, 1) + ")",
         false},
        {"overlapping items",
         PatchFormat::IdaDif,
         {Item(0x30, "", "112233", "a"), Item(0x32, "", "44", "b")},
         "项目 2 \"b\" (偏移 0x00000032) 与 项目 1 \"a\" (偏移 0x00000030) 重叠",
         false},
        {"old data reaching past the end",
         PatchFormat::Ips,
         {Item(static_cast<std::uint32_t>(b.size() - 1), "0000", "11", "end")},
         "项目 1 \"end\" (偏移 0x0045FFFF): 超出了备份文件的末尾 (4587520 字节)",
         false},
        {".1337 of file data the image does not map",
         PatchFormat::X64dbg1337,
         {Item(0x500, "", "11")},
         "偏移 0x00000500 不在备份文件的文件头或任何节的数据之内",
         false},
    };
    for (const Exported& c : cases) {
        SCOPED_TRACE(c.name);
        ByteVector file = ToBytes("untouched");
        std::string error;
        EXPECT_EQ(ExportPatchData(c.items, b, "game.exe", c.format, false, &file, &error), c.ok);
        if (c.ok)
            EXPECT_EQ(std::string(file.begin(), file.end()), c.file);
        else {
            EXPECT_EQ(error.substr(0, c.file.size()), c.file) << error;
            EXPECT_EQ(file, ToBytes("untouched"));
        }
    }
    // Reach: IPS offsets end at 0xFFFFFF; the IPS32 end marker offset is
    // moved like IPS's. A sparse backup of zeros stands for a large file.
    const Sparse big(0x45454F50);
    ASSERT_TRUE(big.data);
    ByteVector file;
    std::string error;
    EXPECT_FALSE(ExportPatchData(PatchList{Item(0x1000000, "", "11")}, big.bytes(), "big",
                                 PatchFormat::Ips, false, &file, &error));
    EXPECT_EQ(error,
              "偏移 0x01000000 超出了 IPS 的范围 (记录最多从 0x00FFFFFF 开始; IPS32 可达 4 GiB)");
    ASSERT_TRUE(ExportPatchData(PatchList{Item(0x45454F46, "", "11")}, big.bytes(), "big",
                                PatchFormat::Ips32, false, &file, &error));
    EXPECT_EQ(std::string(file.begin(), file.end()),
              "IPS32\x45\x45\x4F\x45" + Bytes({0, 2, 0, 0x11}) + "EEOF");
}

struct Imported {
    const char* name;
    PatchFormat format;
    std::string file;
    PatchList items; // without names
    std::string error = "";
    ByteVector backup = {}; // empty: Backup()
};

TEST(PatchExchange, ImportReadsHandWrittenFiles) {
    const ByteVector& b = Backup();
    const std::string at2 = Hex(b, 2, 1), at3 = Hex(b, 3, 1), at10 = Hex(b, 0x10, 1);
    const std::string lower2 = [&] {
        std::string s = at2;
        std::transform(s.begin(), s.end(), s.begin(), ::tolower);
        return s;
    }();
    const std::string end = "0x00460000"; // the backup's length
    const std::uint8_t notAtEof = b[0x454F45] ^ 0xFF;
    const Imported cases[] = {
        {"IPS record and run",
         PatchFormat::Ips,
         "PATCH" + Bytes({0, 0, 2, 0, 2, 0x41, 0x42, 0, 0, 0x10, 0, 0, 0, 3, 0x5A}) + "EOF",
         {Item(2, Hex(b, 2, 2), "4142"), Item(0x10, Hex(b, 0x10, 3), "5A5A5A")}},
        {"IPS overlapping records: the later wins, touching ones join",
         PatchFormat::Ips,
         "PATCH" + Bytes({0, 0, 2, 0, 2, 0xAA, 0xAA, 0, 0, 3, 0, 1, 0xBB, 0, 0, 4, 0, 1, 0xCC}) +
             "EOF",
         {Item(2, Hex(b, 2, 3), "AABBCC")}},
        {"IPS runs over runs and records: each byte from the last record that covers it",
         PatchFormat::Ips,
         "PATCH" + Bytes({0, 0,    0x20, 0, 0, 0, 8,    0x11, 0, 0,    0x22, 0, 2, 0xAA, 0xBB, 0,
                          0, 0x21, 0,    0, 0, 2, 0x33, 0,    0, 0x26, 0,    0, 0, 4,    0x44}) +
             "EOF",
         {Item(0x20, Hex(b, 0x20, 10), "113333BB111144444444")}},
        {"IPS truncation to the backup's own length",
         PatchFormat::Ips,
         "PATCH" + Bytes({0, 0, 2, 0, 1, 0x41}) + "EOF" + Bytes({0x46, 0, 0}),
         {Item(2, at2, "41")}},
        {"IPS record at the offset before EOF changing its first byte keeps it",
         PatchFormat::Ips,
         "PATCH\x45\x4F\x45" + Bytes({0, 2, notAtEof, 0x41}) + "EOF",
         {Item(0x454F45, Hex(b, 0x454F45, 2), Hex({notAtEof}, 0, 1) + "41")}},
        {"IPS32 record",
         PatchFormat::Ips32,
         "IPS32" + Bytes({0, 0x45, 0x4F, 0x46, 0, 1, 0x41}) + "EEOF",
         {Item(0x454F46, Hex(b, 0x454F46, 1), "41")}},
        {"IDA .dif with CR LF, 16-digit offsets, an older header and lower case",
         PatchFormat::IdaDif,
         "This difference file has been created by IDA Pro\r\n\r\ngame.exe\r\n"
         "0000000000000002: " +
             lower2 + " 41\r\n0000000000000003: " + at3 +
             " 42\r\n"
             "00000010: " +
             at10 + " 5a\r\n",
         {Item(2, at2 + at3, "4142"), Item(0x10, at10, "5A")}},
        {".1337 through the section table",
         PatchFormat::X64dbg1337,
         ">game.exe\n00000010:" + at10 + "->90\n00001004:" + Hex(b, 0x204, 1) +
             "->90\n"
             "0000000000003000:" +
             Hex(b, 0x600, 1) + "->91\n",
         {Item(0x10, at10, "90"), Item(0x204, Hex(b, 0x204, 1), "90"),
          Item(0x600, Hex(b, 0x600, 1), "91")}},
        {".1337 in a PE32+ image",
         PatchFormat::X64dbg1337,
         ">game.exe\n00001004:" + Hex(b, 0x204, 1) + "->90\n",
         {Item(0x204, Hex(b, 0x204, 1), "90")},
         "",
         TinyPe(0x1000, true)},
        {"haxdiff with comments and hunks without old bytes",
         PatchFormat::HaxDiff,
         "haxdiff/1.0\n# made by hand\n@@ 2,-2,+2\n- " + at2 + at3 +
             "\n+ 41\n+ 42\n\n@@ 10,-1,+1 @@\n+ 5A\n",
         {Item(2, at2 + at3, "4142"), Item(0x10, at10, "5A")}},
        // Refusals, each naming the place.
        {"IPS truncated record",
         PatchFormat::Ips,
         "PATCH" + Bytes({0, 0, 2, 0}),
         {},
         "p: 第 1 条记录 (位于字节 0x00000005): 文件不完整: 在记录的偏移和长度中间结束"},
        {"IPS truncated data",
         PatchFormat::Ips,
         "PATCH" + Bytes({0, 0, 2, 0, 1, 0x41, 0, 0, 3, 0, 4, 1, 2}),
         {},
         "p: 第 2 条记录 (位于字节 0x0000000B): 文件不完整: 声明了 4 个数据字节, 实际只有 2 个"},
        {"IPS without end marker",
         PatchFormat::Ips,
         "PATCH" + Bytes({0, 0, 2, 0, 1, 0x41}),
         {},
         "p: 文件在结束标记 \"EOF\" 之前就结束了"},
        {"IPS truncation after EOF",
         PatchFormat::Ips,
         "PATCH" + Bytes({0, 0, 2, 0, 1, 0x41}) + "EOF" + Bytes({0, 0, 0x10}),
         {},
         "p: 补丁在 \"EOF\" 之后把文件长度设为 16 字节 (备份文件有 4587520 字节)"},
        {"IPS truncation growing the file",
         PatchFormat::Ips,
         "PATCH" + Bytes({0, 0, 2, 0, 1, 0x41}) + "EOF" + Bytes({0x46, 0, 1}),
         {},
         "p: 补丁在 \"EOF\" 之后把文件长度设为 4587521 字节"},
        {"IPS record past the end",
         PatchFormat::Ips,
         "PATCH" + Bytes({0x45, 0xFF, 0xFF, 0, 2, 1, 2}) + "EOF",
         {},
         "p: 第 1 条记录 (位于字节 0x00000005): 偏移 0x0045FFFF + 2 字节超出了备份文件的末尾 (" +
             std::to_string(b.size()) + " 字节)"},
        {"IPS header", PatchFormat::Ips, "PATCX", {}, "p: 不是 IPS 文件: 开头不是 \"PATCH\""},
        {"IPS32 ending in the IPS end marker",
         PatchFormat::Ips32,
         "IPS32" + Bytes({0, 0, 0, 2, 0, 1, 1}) + "EOF",
         {},
         "p: 第 2 条记录 (位于字节 0x0000000C): 文件不完整"},
        {".dif old byte mismatch",
         PatchFormat::IdaDif,
         "This difference file was created by IDA\n\ngame.exe\n00000002: " + at2 +
             " 41\n00000003: 99 42\n",
         {},
         "p: 第 5 行: 偏移 0x00000003 处的原始数据在补丁中是 99, 在备份文件中却是 " + at3},
        {".dif odd hex",
         PatchFormat::IdaDif,
         "This difference file was created by IDA\n\ngame.exe\n00000002: 3 41\n",
         {},
         "p: 第 4 行: 应为 \"OFFSET: OLD NEW\", 每个字节为两位十六进制数"},
        {".dif offset past the end",
         PatchFormat::IdaDif,
         "This difference file was created by IDA\n\ngame.exe\n00000002: " + at2 + " 41\n" +
             end.substr(2) + ": 00 01\n",
         {},
         "p: 第 5 行: 偏移 " + end + " + 1 字节超出了备份文件的末尾"},
        {".dif header", PatchFormat::IdaDif, "Difference\n", {}, "p: 第 1 行: 不是 IDA 差异文件"},
        {".1337 malformed line",
         PatchFormat::X64dbg1337,
         ">game.exe\n00001004:90-91\n",
         {},
         "p: 第 2 行: 应为 \"RVA:OLD->NEW\""},
        {".1337 address in no section's file data",
         PatchFormat::X64dbg1337,
         ">game.exe\n00001004:" + Hex(b, 0x204, 1) + "->90\n00001300:00->90\n",
         {},
         "p: 第 3 行: RVA 0x00001300 不在备份文件的文件头或任何节的数据之内"},
        {".1337 address in the part of a section only memory holds",
         PatchFormat::X64dbg1337,
         ">game.exe\n00001500:" + Hex(b, 0x700, 1) + "->90\n",
         {},
         "p: 第 2 行: RVA 0x00001500 不在备份文件的文件头或任何节的数据之内",
         TinyPe(0x1000, false, 0x800)},
        {"haxdiff size change",
         PatchFormat::HaxDiff,
         "@@ 2,-2,+3\n+ 01 02 03\n",
         {},
         "p: 第 1 行: 该差异块把 2 字节替换为 3 字节"},
        {"haxdiff short hunk",
         PatchFormat::HaxDiff,
         "x\n@@ 2,-2,+2\n+ 01\n@@ 8,-1,+1\n",
         {},
         "p: 第 2 行: 该差异块声明了 2 个新字节, 但其 \"+ \" 行中有 1 个"},
        {"haxdiff odd hex",
         PatchFormat::HaxDiff,
         "@@ 2,-1,+1\n+ 0 1\n",
         {},
         "p: 第 2 行: 十六进制数字的个数为奇数"},
        {"haxdiff hunk whose end wraps past 2^64",
         PatchFormat::HaxDiff,
         "@@ FFFFFFFFFFFFFFFF,-2,+2\n+ 01 02\n",
         {},
         "p: 第 1 行: 偏移 0xFFFFFFFFFFFFFFFF + 2 字节超出了备份文件的末尾"},
        {"haxdiff old byte mismatch",
         PatchFormat::HaxDiff,
         "@@ 2,-1,+1\n- 99\n+ 01\n",
         {},
         "p: 第 1 行: 偏移 0x00000002 处的原始数据在补丁中是 99"},
        {"haxdiff hunk header",
         PatchFormat::HaxDiff,
         "@@ 2,1,1\n",
         {},
         "p: 第 1 行: 应为十六进制的差异块头"},
    };
    for (const Imported& c : cases) {
        SCOPED_TRACE(c.name);
        PatchList items = {Item(1, "", "")};
        const PatchList before = items;
        std::string error;
        const bool ok = ImportPatchData(c.format, ToBytes(c.file), "p",
                                        c.backup.empty() ? b : c.backup, &items, &error);
        EXPECT_EQ(ok, c.error.empty()) << error;
        if (ok)
            EXPECT_EQ(items, Named(c.items, "p"));
        else {
            EXPECT_EQ(error.substr(0, c.error.size()), c.error);
            EXPECT_EQ(items, before); // all or nothing
        }
    }
    PatchList items;
    std::string error;
    EXPECT_FALSE(ImportPatchData(PatchFormat::X64dbg1337, ToBytes(">a\n10:00->01\n"), "p",
                                 ToBytes(std::string(64, '\0')), &items, &error));
    EXPECT_EQ(error, "p: 第 2 行: 备份文件不是 PE 文件, 因此无法在其中找到 RVA 0x00000010");
}

// The messages come in the user's language, the facts filled into the
// translation wherever it puts them.
TEST(PatchExchange, MessagesFollowTheTranslation) {
    SetTranslator([](const char* context, const char* source) -> std::string {
        if (std::string_view(context) != "PatchExchange")
            return "";
        if (std::string_view(source) == "第 %1 行")
            return "line %1";
        if (std::string_view(source) == "偏移 %1 处的原始数据在补丁中是 %2, 在备份文件中却是 %3")
            return "%3 in the backup, %2 in the patch at %1";
        return "";
    });
    PatchList items;
    std::string error;
    const bool ok = ImportPatchData(PatchFormat::HaxDiff, ToBytes("x\n@@ 2,-1,+1\n- 99\n+ 01\n"),
                                    "p", Backup(), &items, &error);
    SetTranslator(nullptr);
    EXPECT_FALSE(ok);
    EXPECT_EQ(error, "p: line 2: " + Hex(Backup(), 2, 1) +
                         " in the backup, 99 in the patch at "
                         "0x00000002");
}

TEST(PatchExchange, LongRunsSplitAndFilesReadAndWritten) {
    TempDir dir;
    const ByteVector& b = Backup();
    WriteBytes(dir.File("game.exe"), std::string(b.begin(), b.end()));
    // One IPS run of 10000 bytes: items of kExchangeRunLength bytes and the
    // rest.
    constexpr std::size_t L = kExchangeRunLength;
    WriteBytes(dir.File("big.ips"), "PATCH" + Bytes({0, 0x10, 0, 0, 0, 0x27, 0x10, 0x90}) + "EOF");
    PatchList items;
    std::string error;
    PatchFormat format = PatchFormat::HaxDiff;
    ASSERT_TRUE(ImportPatchFile(dir.File("big.ips"), dir.File("game.exe"), &items, &error, &format))
        << error;
    EXPECT_EQ(format, PatchFormat::Ips);
    const std::size_t parts = (10000 + L - 1) / L;
    ASSERT_EQ(items.size(), parts);
    for (std::size_t i = 0; i < parts; ++i) {
        const std::size_t length = i + 1 < parts ? L : 10000 - L * (parts - 1);
        EXPECT_EQ(items[i].offset, 0x1000 + L * i);
        EXPECT_EQ(items[i].description, "big.ips #" + std::to_string(i + 1));
        EXPECT_EQ(items[i].oldHex, Hex(b, 0x1000 + L * i, length));
        std::string nops;
        for (std::size_t k = 0; k < length; ++k)
            nops += k > 0 ? " 90" : "90";
        EXPECT_EQ(items[i].newHex, nops);
    }
    // A patch writing the same bytes over and over (more than the changes are
    // allowed to hold before they are merged): the last write wins.
    std::string repeated = "PATCH";
    for (int i = 0; i < 7000; ++i)
        repeated += Bytes({0, 0x10, 0, 0, 0, 0x10, 0, i % 2 ? 0x11 : 0x22});
    ASSERT_TRUE(
        ImportPatchData(PatchFormat::Ips, ToBytes(repeated + "EOF"), "r", b, &items, &error));
    std::string elevens;
    for (int k = 0; k < 4096; ++k)
        elevens += "11";
    EXPECT_EQ(items, Named({Item(0x1000, Hex(b, 0x1000, L), elevens.substr(0, 2 * L)),
                            Item(0x1000 + L, Hex(b, 0x1000 + L, 4096 - L),
                                 elevens.substr(0, 2 * (4096 - L)))},
                           "r"));

    // Written files: replaced whole, untouched when the export is refused.
    // Every byte changes, so that the .dif lists each one.
    items = Named({Item(0x1000, Hex(b, 0x1000, L), FlippedHex(b, 0x1000, L)),
                   Item(0x1000 + L, Hex(b, 0x1000 + L, 16), FlippedHex(b, 0x1000 + L, 16))},
                  "r");
    const std::string dif = dir.File("out.dif");
    ASSERT_TRUE(
        ExportPatchFile(items, dir.File("game.exe"), PatchFormat::IdaDif, false, dif, &error))
        << error;
    PatchList back;
    ASSERT_TRUE(ImportPatchFile(dif, dir.File("game.exe"), &back, &error, &format)) << error;
    EXPECT_EQ(format, PatchFormat::IdaDif);
    EXPECT_EQ(back, Named(items, "out.dif"));
    const std::string written = ReadBytes(dif);
    items[0].oldHex = "FFFF";
    EXPECT_FALSE(
        ExportPatchFile(items, dir.File("game.exe"), PatchFormat::IdaDif, false, dif, &error));
    EXPECT_EQ(ReadBytes(dif), written);
    EXPECT_FALSE(
        ExportPatchFile(back, dir.File("game.exe"), PatchFormat::Ips, false, dir.path(), &error));
    EXPECT_EQ(error, dir.path() + ": 不是普通文件");

    WriteBytes(dir.File("notes.txt"), "nothing here");
    EXPECT_FALSE(ImportPatchFile(dir.File("notes.txt"), dir.File("game.exe"), &items, &error));
    EXPECT_EQ(error, dir.File("notes.txt") +
                         ": 不是已知格式的补丁文件 (IPS, IPS32, IDA .dif, x64dbg .1337, haxdiff)");
}

TEST(PatchExchange, FormatNamesAndDetection) {
    for (PatchFormat format : kAllFormats) {
        PatchFormat back = PatchFormat::Ips;
        EXPECT_TRUE(PatchFormatFromName(PatchFormatName(format), &back));
        EXPECT_EQ(back, format);
    }
    PatchFormat format = PatchFormat::HaxDiff;
    EXPECT_TRUE(PatchFormatFromName("DIF", &format));
    EXPECT_EQ(format, PatchFormat::IdaDif);
    EXPECT_FALSE(PatchFormatFromName("bps", &format));
    const struct {
        const char* contents;
        const char* name;
        bool found;
        PatchFormat format;
    } cases[] = {
        {"PATCHEOF", "x.bin", true, PatchFormat::Ips},
        {"IPS32EEOF", "x.ips", true, PatchFormat::Ips32},
        {"\xEF\xBB\xBFThis difference file", "x", true, PatchFormat::IdaDif},
        {">a.exe\r\n", "x", true, PatchFormat::X64dbg1337},
        {"haxdiff/1.0\n", "x", true, PatchFormat::HaxDiff},
        {"", "dir.d/fix.1337", true, PatchFormat::X64dbg1337},
        {"@@ 0,-1,+1\n", "fix.txt", true, PatchFormat::HaxDiff},
        {"", "C:\\p\\fix.HAXDIFF", true, PatchFormat::HaxDiff},
        {"", "fix.ips", true, PatchFormat::Ips},
        {"hello", "fix.txt", false, PatchFormat::Ips},
        {"hello", "ips", false, PatchFormat::Ips},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.contents);
        PatchFormat found = PatchFormat::Ips;
        EXPECT_EQ(DetectPatchFormat(ToBytes(c.contents), c.name, &found), c.found);
        EXPECT_EQ(found, c.format);
    }
}

TEST(DiffFiles, RunsJoinAcrossShortGaps) {
    TempDir dir;
    ByteVector original(600 * 1024);
    for (std::size_t i = 0; i < original.size(); ++i)
        original[i] = static_cast<std::uint8_t>(i * 13 + (i >> 10));
    ByteVector patched = original;
    const auto change = [&](std::size_t at, std::size_t count) {
        for (std::size_t i = at; i < at + count; ++i)
            patched[i] = static_cast<std::uint8_t>(~original[i]);
    };
    change(0, 1);                   // at the start
    change(8, 2);                   // 7 equal bytes before: joined with the first
    change(100, 1), change(109, 1); // 8 equal bytes between: two items
    change(200, 9);                 // ends after one 8-byte step
    change(256 * 1024 - 5, 3);      // a gap of 6 across the block boundary: joined
    change(256 * 1024 + 1, 2);
    change(512 * 1024 - 5, 1); // 8 equal bytes across the next boundary: two items
    change(512 * 1024 + 4, 1);
    change(300000, 5000);           // long: split at kExchangeRunLength bytes
    change(original.size() - 1, 1); // at the end
    const auto span = [&](std::size_t at, std::size_t count) {
        return Item(static_cast<std::uint32_t>(at), Hex(original, at, count),
                    Hex(patched, at, count));
    };
    const PatchList expected =
        Named({span(0, 10), span(100, 1), span(109, 1), span(200, 9), span(256 * 1024 - 5, 8),
               span(300000, kExchangeRunLength),
               span(300000 + kExchangeRunLength, 5000 - kExchangeRunLength),
               span(512 * 1024 - 5, 1), span(512 * 1024 + 4, 1), span(original.size() - 1, 1)},
              "new.bin");
    WriteBytes(dir.File("old.bin"), std::string(original.begin(), original.end()));
    WriteBytes(dir.File("new.bin"), std::string(patched.begin(), patched.end()));
    PatchList items;
    std::string error;
    ASSERT_TRUE(DiffFiles(dir.File("old.bin"), dir.File("new.bin"), false, &items, &error))
        << error;
    EXPECT_EQ(items, expected);

    // Different lengths: refused, or the common length on request.
    WriteBytes(dir.File("longer.bin"), std::string(patched.begin(), patched.end()) + "tail");
    EXPECT_FALSE(DiffFiles(dir.File("old.bin"), dir.File("longer.bin"), false, &items, &error));
    EXPECT_EQ(error.substr(0, error.find(';')), "两个文件的长度不同 (" + dir.File("old.bin") +
                                                    ": " + std::to_string(original.size()) +
                                                    " 字节, " + dir.File("longer.bin") + ": " +
                                                    std::to_string(patched.size() + 4) + " 字节)");
    EXPECT_EQ(items, expected);
    ASSERT_TRUE(DiffFiles(dir.File("longer.bin"), dir.File("old.bin"), true, &items, &error));
    EXPECT_EQ(items.size(), expected.size());
    EXPECT_FALSE(DiffFiles(dir.File("old.bin"), dir.path(), false, &items, &error));
    EXPECT_EQ(error, dir.path() + ": 不是普通文件");

    // Files that differ everywhere make no reviewable list.
    const std::size_t huge = (std::size_t(16) << 20) + 1;
    WriteBytes(dir.File("zeros.bin"), std::string(huge, '\0'));
    WriteBytes(dir.File("ones.bin"), std::string(huge, '\xFF'));
    EXPECT_FALSE(DiffFiles(dir.File("zeros.bin"), dir.File("ones.bin"), false, &items, &error));
    EXPECT_EQ(error, "两个文件的差异超过 16 MiB: 变化太多, 无法作为修补列表");
}

TEST(DiffFiles, GivesBackTheItemsOfARebuild) {
    TempDir dir;
    const ByteVector& b = Backup();
    const std::string backup = dir.File("backup.exe"), target = dir.File("target.exe");
    WriteBytes(backup, std::string(b.begin(), b.begin() + 0x8000));
    const PatchList items = {
        Item(0x10, Hex(b, 0x10, 2), "EB05", "jump"),
        Item(0x100, Hex(b, 0x100, 1), "90", "off", 0), // disabled: not in the target
        Item(0x204, "", "9090", "nops"),
        Item(0x20A, Hex(b, 0x20A, 1), "C3", "joined"), // 4 equal bytes after "nops"
    };
    ASSERT_TRUE(RebuildTarget(backup, items, target).ok());
    PatchList diffed;
    std::string error;
    ASSERT_TRUE(DiffFiles(backup, target, false, &diffed, &error)) << error;
    EXPECT_EQ(diffed, Named({Item(0x10, Hex(b, 0x10, 2), "EB05"),
                             Item(0x204, Hex(b, 0x204, 7), "90 90 " + Hex(b, 0x206, 4) + " C3")},
                            "target.exe"));
}

// The committed fuzz corpora, replayed through the fuzz targets' check so the
// sanitizer builds cover them without a fuzzing compiler.
TEST(PatchExchange, FuzzCorporaRoundTrip) {
    for (const bool ips32 : {false, true}) {
        const std::string folder =
            std::string(BM_EXCHANGE_CORPUS_DIR) + (ips32 ? "/ips32_corpus" : "/ips_corpus");
        std::size_t checked = 0;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            const std::string bytes = ReadBytes(entry.path().string());
            std::string why;
            EXPECT_TRUE(CheckIpsRoundTrip(
                ips32, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), &why))
                << entry.path() << ": " << why;
            ++checked;
        }
        EXPECT_GT(checked, 0u) << folder;
    }
}

} // namespace
