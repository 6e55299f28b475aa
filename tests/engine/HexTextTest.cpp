#include "engine/HexText.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

std::vector<std::uint8_t> Parse(const char* text, std::uint32_t capacity = 64) {
    std::vector<std::uint8_t> out(capacity + 1, 0xEE);
    out.resize(ParseHexText(text, out.data(), capacity));
    return out;
}

TEST(ParseHexText, PairsOfAdjacentDigits) {
    using Bytes = std::vector<std::uint8_t>;
    struct Case {
        const char* text;
        Bytes bytes;
    } cases[] = {
        {"", {}},
        {"12AB", {0x12, 0xAB}},
        {"12 AB", {0x12, 0xAB}},
        {"12,AB", {0x12, 0xAB}},
        {"12-AB", {0x12, 0xAB}},
        {"aBcD", {0xAB, 0xCD}},
        {"0x12", {0x12}},
        {"0x12 0xAB", {0x12, 0xAB}},
        {"1 2 3 4", {}},
        {"123", {0x12}},
        {"12 345", {0x12, 0x34}},
        {"1 23", {0x23}},
        {"1G2", {}},
        {"G12", {0x12}},
        {"12G", {0x12}},
        {"zz", {}},
        {"    ", {}},
        {"\xe4\xb8\xad"
         "ff",
         {0xFF}}, // bytes above 0x7F separate
        {"fF\t00\r\n9a", {0xFF, 0x00, 0x9A}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Parse(c.text), c.bytes) << "'" << c.text << "'";
}

TEST(ParseHexText, StopsAtCapacity) {
    EXPECT_EQ(Parse("AABBCC", 2), (std::vector<std::uint8_t>{0xAA, 0xBB}));
    std::uint8_t out[2] = {0x55, 0x55};
    EXPECT_EQ(ParseHexText("AABBCC", out, 0), 0u);
    EXPECT_EQ(out[0], 0x55);
    EXPECT_EQ(Parse(std::string(9000, 'f').c_str(), 4096).size(), 4096u);
}

TEST(HexDigitTable, ExactlyTheTwentyTwoDigits) {
    const std::string digits = "0123456789abcdefABCDEF";
    int count = 0;
    for (int c = 0; c < 256; ++c) {
        const bool digit = digits.find(static_cast<char>(c)) != std::string::npos && c != 0;
        EXPECT_EQ(IsHexDigit(static_cast<unsigned char>(c)), digit) << c;
        if (!digit) {
            EXPECT_EQ(kHexDigitValue[c], 255) << c;
        }
        count += digit;
    }
    EXPECT_EQ(count, 22);
    EXPECT_EQ(kHexDigitValue['f'], 15);
    EXPECT_EQ(kHexDigitValue['A'], 10);
}

TEST(FormatHexText, UpperCasePairsThatParseBack) {
    std::vector<std::uint8_t> all(256);
    for (int i = 0; i < 256; ++i)
        all[i] = static_cast<std::uint8_t>(i);
    std::string text(513, 'x');
    FormatHexText(all.data(), 256, text.data());
    EXPECT_EQ(text.substr(0, 8), "00010203");
    EXPECT_EQ(text.substr(504, 8), "FCFDFEFF");
    EXPECT_EQ(text[512], '\0');
    EXPECT_EQ(Parse(text.c_str(), 256), all);
    const std::uint8_t three[] = {0x00, 0xAB, 0x7F};
    char small[7];
    FormatHexText(three, 3, small);
    EXPECT_STREQ(small, "00AB7F");
    FormatHexText(three, 0, small);
    EXPECT_STREQ(small, "");
    // Spaced pairs, as items made by the program store them.
    char spaced[10];
    EXPECT_EQ(FormatSpacedHexText(three, 3, spaced), 8u);
    EXPECT_STREQ(spaced, "00 AB 7F");
    EXPECT_EQ(FormatSpacedHexText(three, 1, spaced), 2u);
    EXPECT_STREQ(spaced, "00");
    EXPECT_EQ(FormatSpacedHexText(three, 0, spaced), 0u);
    EXPECT_STREQ(spaced, "");
}

} // namespace
