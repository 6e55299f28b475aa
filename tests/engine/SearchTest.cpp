#include "engine/Search.h"

#include "engine/FileSearch.h"
#include "engine/HexText.h"
#include "engine/PatternSearch.h"

#include "tests/support/TestFiles.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <random>

namespace {

using Offsets = std::vector<std::uint32_t>;

// Reference: every start position, leftmost match first, no overlaps.
Offsets Naive(const std::string& data, const std::string& pattern) {
    Offsets found;
    if (pattern.empty() || pattern.size() > data.size())
        return found;
    for (std::size_t i = 0; i + pattern.size() <= data.size();) {
        if (std::memcmp(data.data() + i, pattern.data(), pattern.size()) == 0) {
            found.push_back(static_cast<std::uint32_t>(i));
            i += pattern.size();
        } else {
            ++i;
        }
    }
    return found;
}

Offsets Find(const std::string& data, const std::string& pattern, FindStats* stats = nullptr) {
    Offsets found;
    FindInBuffer(reinterpret_cast<const std::uint8_t*>(data.data()), data.size(),
                 reinterpret_cast<const std::uint8_t*>(pattern.data()), pattern.size(), &found,
                 stats);
    return found;
}

Offsets Sequence(std::uint32_t count, std::uint32_t step) {
    Offsets offsets;
    for (std::uint32_t i = 0; i < count; ++i)
        offsets.push_back(i * step);
    return offsets;
}

TEST(FormatSearchResult, Texts) {
    const std::string nine = "多个: 00000000, 00000010, 00000020, 00000030, 00000040, "
                             "00000050, 00000060, 00000070, 00000080, ";
    struct Case {
        bool read;
        Offsets matches;
        std::string text;
    } cases[] = {
        {false, {}, "文件读取失败"},
        {true, {}, "没找到"},
        {true, {1000}, "000003e8"},
        {true, {0xFFFFFFFFu}, "ffffffff"},
        {true, {0, 2}, "多个: 00000000, 00000002, "},
        {true, {0, 1, 2, 3}, "多个: 00000000, 00000001, 00000002, 00000003, "},
        {true, Sequence(9, 16), nine},
        {true, Sequence(10, 16), nine + "00000090, ..."},
        {true, Sequence(11, 16), nine + "00000090, ..."},
        {true, Sequence(20, 16), nine + "00000090, ..."},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatSearchResult(c.read, {c.matches.begin(), c.matches.end()}), c.text)
            << c.matches.size();
}

TEST(FindInBuffer, EdgesOfTheData) {
    struct Case {
        std::string data, pattern;
        Offsets matches;
    } cases[] = {
        {"AAAA", "AA", {0, 2}},
        {"AAAAA", "AA", {0, 2}},
        {"AAAA", "A", {0, 1, 2, 3}},
        {"xyzAB", "AB", {3}}, // ends at the last byte
        {"AB", "ABC", {}},    // one byte longer than the data
        {"ABC", "ABC", {0}},
        {"", "A", {}},
        {"ABC", "", {}},
        {"abababab", "aba", {0, 4}},
        {std::string(100, 'A') + "B", std::string(64, 'A') + "B", {36}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Find(c.data, c.pattern), c.matches) << c.data << " / " << c.pattern;
}

// Small alphabets give many partial matches; lengths around the block sizes
// of the vector scan put matches at every position relative to the end.
TEST(FindInBuffer, SameMatchesAsNaiveScanOnRandomData) {
    std::mt19937 rng(12345);
    for (int round = 0; round < 4000; ++round) {
        const int letters = 1 + round % 4;
        std::string data(rng() % 300, 'a');
        for (char& c : data)
            c = static_cast<char>('a' + rng() % letters);
        std::string pattern(1 + rng() % (round % 5 == 0 ? 70 : 6), 'a');
        for (char& c : pattern)
            c = static_cast<char>('a' + rng() % letters);
        if (round % 3 == 0 && pattern.size() <= data.size()) // plant one at the end
            data.replace(data.size() - pattern.size(), pattern.size(), pattern);
        ASSERT_EQ(Find(data, pattern), Naive(data, pattern)) << data << " / " << pattern;
    }
}

// Inputs that make a first-byte scan quadratic: the matches must stay the
// naive ones, also after the scan hands over to the linear search.
TEST(FindInBuffer, CollapseProneInputs) {
    const std::string as(1 << 20, 'A');
    std::string planted = as;
    const std::string mid = std::string(1024, 'A') + "B" + std::string(1023, 'A');
    planted.replace(700000, mid.size(), mid);
    std::mt19937 rng(7);
    std::string abc(2 << 20, 'A');
    for (char& c : abc)
        c = static_cast<char>('A' + rng() % 3);
    std::string pattern3 = "A" + std::string(98, 'C') + "B";
    abc.replace(1500000, pattern3.size(), pattern3);
    abc.replace(abc.size() - pattern3.size(), pattern3.size(), pattern3);
    // Every even position passes the filter and then compares long runs.
    std::string ab;
    for (int i = 0; i < (1 << 20); ++i)
        ab += "AB";
    std::string longPeriodic, shortPeriodic = "ABABABABABABABABABABAA";
    for (int i = 0; i < 500; ++i)
        longPeriodic += "AB";
    longPeriodic += "AA";
    ab.replace(900000, longPeriodic.size(), longPeriodic);
    ab.replace(1800000, shortPeriodic.size(), shortPeriodic);
    ab.replace(ab.size() - longPeriodic.size(), longPeriodic.size(), longPeriodic);
    struct Case {
        const std::string* data;
        std::string pattern;
        bool linear; // whether the scan must have handed over
    } cases[] = {
        {&as, "AAAA", false},
        {&as, "AAAB", false},
        {&as, std::string(15, 'A') + "B", false},
        {&as, std::string(2047, 'A') + "B", false},
        {&planted, mid, false},
        {&planted, std::string(1500, 'A'), false},
        {&abc, pattern3, false},
        {&abc, "A" + std::string(300, 'C') + "B", false},
        {&ab, longPeriodic, true},
        {&ab, shortPeriodic, true},
        {&ab, "ABAB", false},
    };
    for (const Case& c : cases) {
        FindStats stats;
        EXPECT_EQ(Find(*c.data, c.pattern, &stats), Naive(*c.data, c.pattern)) << c.pattern.size();
        EXPECT_EQ(stats.usedLinearSearch, c.linear) << c.pattern.size();
    }
}

// Reference for the wildcard search: every start position, leftmost first.
Offsets NaiveMasked(const std::string& data, const MaskedPattern& pattern) {
    Offsets found;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.data());
    if (!pattern.HasFixedBits() || pattern.size() == 0 || pattern.size() > data.size())
        return found;
    for (std::size_t i = 0; i + pattern.size() <= data.size();) {
        bool equal = true;
        for (std::size_t k = 0; k < pattern.size() && equal; ++k)
            equal = (bytes[i + k] & pattern.mask[k]) == pattern.value[k];
        if (equal) {
            found.push_back(static_cast<std::uint32_t>(i));
            i += pattern.size();
        } else {
            ++i;
        }
    }
    return found;
}

Offsets FindMasked(const std::string& data, const std::string& text) {
    Offsets found;
    FindMaskedInBuffer(reinterpret_cast<const std::uint8_t*>(data.data()), data.size(),
                       ParseSearchPattern(text.c_str(), 2048), &found);
    return found;
}

TEST(ParseSearchPattern, WildcardsBesideHexPairs) {
    struct Case {
        const char* text;
        const char* shown; // spaced pairs, empty for no bytes
    } cases[] = {
        {"41 ?? 42", "41 ?? 42"},
        {"4?", "4?"},
        {"?a", "?A"},
        {"41??42", "41 ?? 42"},
        {"41 ? 42", "41 42"}, // a lone '?' separates, as a lone digit does
        {"zz 4 1", ""},       // lone digits are dropped, as in hex data text
        {"e8 ?? ?? ?? ?? 90", "E8 ?? ?? ?? ?? 90"},
        {"??", "??"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseSearchPattern(c.text, 2048).Text(), c.shown) << c.text;
    // A text without wildcards gives the bytes the hex data text gives.
    for (const char* text : {"41 42 4", "4142434", "x41-42y", "1 23 45"}) {
        std::uint8_t bytes[16];
        const std::uint32_t n = ParseHexText(text, bytes, sizeof bytes);
        const MaskedPattern pattern = ParseSearchPattern(text, 16);
        EXPECT_EQ(pattern.value, std::vector<std::uint8_t>(bytes, bytes + n)) << text;
        EXPECT_EQ(pattern.mask, std::vector<std::uint8_t>(n, 0xFF)) << text;
    }
}

TEST(FindMaskedInBuffer, Cases) {
    std::string big(3 << 20, 'x'); // beyond one block of anchor hits
    big.replace(big.size() - 6, 6, "ABzCDq");
    big.replace((1 << 20) - 2, 5, "ABzCD"); // straddles the first block's end
    struct Case {
        std::string data, pattern;
        Offsets found;
    } cases[] = {
        {"AxBAyB", "41 ?? 42", {0, 3}},
        {"AAAA", "41 ??", {0, 2}},     // no overlaps
        {"AAAAB", "41 41 ?? 42", {1}}, // anchor hits that overlap each other
        {"ABAB", "?1 4?", {0, 2}},     // nibbles only
        {"QAB", "5? 41 ?2", {0}},
        {"AB", "41 42 ??", {}}, // longer than the data
        {"ABC", "?? ??", {}},   // no fixed bit
        {"ABC", "", {}},
        {big, "41 42 ?? 43 44", {(1 << 20) - 2, static_cast<std::uint32_t>(big.size() - 6)}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FindMasked(c.data, c.pattern), c.found) << c.pattern;
}

TEST(FindMaskedInBuffer, SameMatchesAsNaiveMaskedScan) {
    std::mt19937 random(20261209);
    for (int round = 0; round < 400; ++round) {
        // Few distinct values, so patterns and their overlaps occur often.
        const int alphabet = 2 + static_cast<int>(random() % 3);
        std::string data(static_cast<std::size_t>(random() % 3000), '\0');
        for (char& c : data)
            c = static_cast<char>(0x40 + static_cast<int>(random() % alphabet));
        MaskedPattern pattern;
        const std::size_t length = 1 + random() % 12;
        for (std::size_t k = 0; k < length; ++k) {
            static constexpr std::uint8_t kMasks[] = {0xFF, 0xFF, 0xFF, 0x00, 0xF0, 0x0F};
            const std::uint8_t mask = kMasks[random() % 6];
            pattern.mask.push_back(mask);
            pattern.value.push_back(
                static_cast<std::uint8_t>((0x40 + static_cast<int>(random() % alphabet)) & mask));
        }
        Offsets found;
        FindMaskedInBuffer(reinterpret_cast<const std::uint8_t*>(data.data()), data.size(), pattern,
                           &found);
        ASSERT_EQ(found, NaiveMasked(data, pattern)) << pattern.Text() << " round " << round;
    }
}

TEST(FindAllOccurrences, ReadsTheFile) {
    TempDir dir;
    WriteBytes(dir.File("f"), "AAAA");
    WriteBytes(dir.File("empty"), "");
    const std::uint8_t aa[] = {'A', 'A'};
    Offsets matches{99};
    EXPECT_EQ(FindAllOccurrences(&matches, dir.File("f").c_str(), aa, 2), 1);
    EXPECT_EQ(matches, (Offsets{0, 2}));
    EXPECT_EQ(FindAllOccurrences(&matches, dir.File("empty").c_str(), aa, 2), 1);
    EXPECT_TRUE(matches.empty());
    matches = {99};
    EXPECT_EQ(FindAllOccurrences(&matches, dir.File("missing").c_str(), aa, 0), 0);
    EXPECT_TRUE(matches.empty());
}

// A file searched block by block finds what a scan of the whole file finds,
// across the block boundaries (every 1 MiB) too, and lists only the first.
TEST(SearchFile, SameMatchesAsTheWholeFile) {
    TempDir dir;
    constexpr std::size_t kMiB = std::size_t(1) << 20;
    std::mt19937 random(7);
    std::string noise(2 * kMiB + 77, '\0');
    for (char& c : noise)
        c = static_cast<char>(random() % 4); // many partial matches
    std::string across = noise;
    across.replace(kMiB - 3, 8, "\x41\x42\x43\x44\x41\x42\x43\x44"); // over the first boundary
    const std::string zeros(3 * kMiB + 1, '\0');
    struct Case {
        const char* name;
        const std::string& data;
        const char* pattern;
        std::size_t limit;
    } cases[] = {
        {"a match over the boundary", across, "41 42 43 44 41 42", 10},
        {"wildcards over the boundary", across, "?1 ?? 43 ?4", 10},
        {"runs of one value, listing cut", zeros, "00 00 00", 5},
        {"one byte everywhere", zeros, "00", 3},
        {"partial matches", noise, "01 02 03 ?? 00", 1000},
        {"nibbles only", noise, "?1 ?2 ?3", 1000},
        {"pattern longer than the file", std::string("\x41"), "41 41", 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File("backup");
        WriteBytes(path, c.data);
        const MaskedPattern pattern = ParseSearchPattern(c.pattern, 2048);
        std::vector<std::uint32_t> whole;
        FindMaskedInBuffer(reinterpret_cast<const std::uint8_t*>(c.data.data()), c.data.size(),
                           pattern, &whole);
        FileMatches found;
        ASSERT_TRUE(SearchFile(path, pattern, c.limit, &found));
        EXPECT_EQ(found.count, whole.size());
        whole.resize(std::min(whole.size(), c.limit));
        EXPECT_EQ(found.listed, std::vector<std::uint64_t>(whole.begin(), whole.end()));
    }
    FileMatches found;
    found.count = 9;
    EXPECT_FALSE(SearchFile(dir.File("missing"), ParseSearchPattern("41", 1), 10, &found));
    EXPECT_EQ(found.count, 0u);
}

TEST(SearchBackupForHexText, WholeSearch) {
    TempDir dir;
    std::string file(2000, '\0');
    file[1000] = '\x41';
    file += "AAAA";
    WriteBytes(dir.File("backup"), file);
    const std::string backup = dir.File("backup");
    struct Case {
        std::string path, text, result;
    } cases[] = {
        {backup, "00 41 00", "000003e7"},
        {backup, "41 41", "多个: 000007d0, 000007d2, "},
        {backup, "", "没找到"},
        {backup, "zz", "没找到"},
        {dir.File("missing"), "", "文件读取失败"},
        {backup, std::string("41 00\0 41", 9), "000003e8"}, // the text ends at the zero
        // only the first 4095 characters count: the second pair is cut off
        {backup, std::string(4092, ' ') + "41 41",
         "多个: 000003e8, 000007d0, 000007d1, "
         "000007d2, 000007d3, "},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SearchBackupForHexText(c.path, c.text), c.result) << c.text.size();
        // Text without wildcards searches the same with them allowed.
        EXPECT_EQ(SearchBackupForPattern(c.path, c.text), c.result) << c.text.size();
    }
    const Case wild[] = {
        {backup, "00 ?? 00",
         "多个: 00000000, 00000003, 00000006, 00000009, 0000000c, "
         "0000000f, 00000012, 00000015, 00000018, 0000001b, ..."},
        {backup, "?? 41 ?? 00", "000003e7"},
        {backup, "4? 4? 4?", "000007d0"},
        {backup, "?? ??", "搜索数据至少要有一个确定的字节"},
        {dir.File("missing"), "41 ??", "文件读取失败"},
    };
    for (const Case& c : wild)
        EXPECT_EQ(SearchBackupForPattern(c.path, c.text), c.result) << c.text;
}

} // namespace
