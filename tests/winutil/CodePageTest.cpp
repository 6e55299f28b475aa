#include "winutil/CodePage.h"

#include <gtest/gtest.h>

namespace {

TEST(CodePage, ValidTextRoundTrips) {
    for (const std::string& text :
         std::initializer_list<std::string>{"", "plain ASCII", "错误 无法访问选择的文件!",
                                            "é€😀\x7f", std::string("nul\0inside", 10)}) {
        EXPECT_EQ(WideToCodePage(CodePageToWide(text)), text);
    }
    EXPECT_EQ(CodePageToWide("a中😀"), std::u16string(u"a\u4e2d\U0001F600"));
}

TEST(CodePage, InvalidBytesBecomeReplacementCharacters) {
    struct Case {
        std::string bytes;
        std::u16string wide;
    } cases[] = {
        {"\xff", u"\xfffd"},
        {"a\x80z", u"a\xfffdz"},
        {"\xe4\xb8", u"\xfffd"},                           // cut short at the end
        {"\xe4\xb8z", u"\xfffdz"},                         // cut short before ASCII
        {"\xc0\xaf", u"\xfffd\xfffd"},                     // overlong '/'
        {"\xed\xa0\x80", u"\xfffd\xfffd\xfffd"},           // encoded surrogate
        {"\xf4\x90\x80\x80", u"\xfffd\xfffd\xfffd\xfffd"}, // above U+10FFFF
    };
    for (const Case& c : cases)
        EXPECT_EQ(CodePageToWide(c.bytes), c.wide) << c.bytes;
}

TEST(CodePage, LoneSurrogatesBecomeQuestionMarks) {
    const char16_t high[] = {u'a', 0xD800, u'b', 0};
    const char16_t low[] = {0xDC00, 0xD83D, 0};
    EXPECT_EQ(WideToCodePage(high), "a?b");
    EXPECT_EQ(WideToCodePage(low), "??");
}

} // namespace
