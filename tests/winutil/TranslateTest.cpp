#include "winutil/Translate.h"

#include <clocale>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>

namespace {

struct LanguageCase {
    const char* language;
    const char* lcAll;
    const char* lcMessages;
    const char* lang;
    InterfaceLanguage requested;
};

#ifndef _WIN32
// The language comes from Windows' own setting there, not the environment.
void SetOrClear(const char* name, const char* value) {
    if (value)
        ::setenv(name, value, 1);
    else
        ::unsetenv(name);
}

TEST(Translate, InterfaceLanguageFromTheEnvironment) {
    using enum InterfaceLanguage;
    const LanguageCase cases[] = {
        {nullptr, nullptr, nullptr, nullptr, Unset},
        {nullptr, nullptr, nullptr, "en_US.UTF-8", English},
        {nullptr, nullptr, nullptr, "en", English},
        {nullptr, nullptr, nullptr, "zh_CN.UTF-8", Chinese},
        {nullptr, nullptr, nullptr, "zh_TW", Chinese},
        {nullptr, nullptr, nullptr, "C.UTF-8", Unset},
        {nullptr, nullptr, nullptr, "POSIX", Unset},
        {nullptr, nullptr, nullptr, "eng_XX", Unset},
        {nullptr, nullptr, nullptr, "zhx", Unset},
        {nullptr, "de_DE.UTF-8", nullptr, "en_GB.UTF-8", Unset},
        {nullptr, nullptr, "en_GB.UTF-8", "zh_CN.UTF-8", English},
        {"en_US:zh_CN", nullptr, nullptr, "zh_CN.UTF-8", English},
        {"zh_CN:en", nullptr, nullptr, "en_US.UTF-8", Chinese},
        // Languages without texts are passed over, as gettext does.
        {"fr:de:en", nullptr, nullptr, "zh_CN.UTF-8", English},
        {"fr:zh", nullptr, nullptr, "en_US.UTF-8", Chinese},
        {"fr", nullptr, nullptr, "zh_CN.UTF-8", Chinese},
        {"::", nullptr, nullptr, "en_US.UTF-8", English},
        {"fr", nullptr, nullptr, "de_DE.UTF-8", Unset},
        // LANGUAGE counts only beside a real locale.
        {"en_US", nullptr, nullptr, "C", Unset},
        {"zh_CN", "POSIX", nullptr, "zh_CN.UTF-8", Unset},
        {"en_US", nullptr, nullptr, nullptr, Unset},
    };
    for (const LanguageCase& c : cases) {
        SetOrClear("LANGUAGE", c.language);
        SetOrClear("LC_ALL", c.lcAll);
        SetOrClear("LC_MESSAGES", c.lcMessages);
        SetOrClear("LANG", c.lang);
        SCOPED_TRACE(std::string(c.language ? c.language : "-") + " " + (c.lcAll ? c.lcAll : "-") +
                     " " + (c.lcMessages ? c.lcMessages : "-") + " " + (c.lang ? c.lang : "-"));
        EXPECT_EQ(RequestedLanguage(), c.requested);
        EXPECT_EQ(UserInterfaceIsEnglish(), c.requested == English);
    }
}

// The Chinese formats are lent to Qt's dialogs only where the environment
// names none, and the environment is the user's again after the loan.
TEST(Translate, DialogFormatsLentOnlyWhereTheEnvironmentHasNone) {
    const struct {
        const char* name;
        bool chinese;
        const char* lcAll;
        const char* lcTime;
        const char* lang;
        const char* lentAll; // LC_ALL, LC_TIME and LC_NUMERIC during the loan
        const char* lentTime;
        const char* lentNumeric;
    } cases[] = {
        {"no locale", true, nullptr, nullptr, nullptr, nullptr, "zh_CN.UTF-8", "zh_CN.UTF-8"},
        {"C.UTF-8", true, nullptr, nullptr, "C.UTF-8", nullptr, "zh_CN.UTF-8", "zh_CN.UTF-8"},
        {"C everywhere", true, "C", nullptr, "C", "zh_CN.UTF-8", nullptr, nullptr},
        {"German dates", true, nullptr, "de_DE.UTF-8", "C", nullptr, "de_DE.UTF-8", "zh_CN.UTF-8"},
        {"a real locale", true, nullptr, nullptr, "en_US.UTF-8", nullptr, nullptr, nullptr},
        {"LC_ALL real", true, "fr_FR.UTF-8", nullptr, "C", "fr_FR.UTF-8", nullptr, nullptr},
        {"English window", false, nullptr, nullptr, "C", nullptr, nullptr, nullptr},
    };
    auto variable = [](const char* name) {
        const char* value = std::getenv(name);
        return std::string(value ? value : "-");
    };
    const std::string locale = std::setlocale(LC_ALL, nullptr);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetOrClear("LC_ALL", c.lcAll);
        SetOrClear("LC_TIME", c.lcTime);
        SetOrClear("LC_NUMERIC", nullptr);
        SetOrClear("LC_MESSAGES", nullptr);
        SetOrClear("LANG", c.lang);
        {
            DialogFormatLoan loan(c.chinese);
            EXPECT_EQ(variable("LC_ALL"), c.lentAll ? c.lentAll : "-");
            EXPECT_EQ(variable("LC_TIME"), c.lentTime ? c.lentTime : c.lcTime ? c.lcTime : "-");
            EXPECT_EQ(variable("LC_NUMERIC"), c.lentNumeric ? c.lentNumeric : "-");
        }
        EXPECT_EQ(variable("LC_ALL"), c.lcAll ? c.lcAll : "-");
        EXPECT_EQ(variable("LC_TIME"), c.lcTime ? c.lcTime : "-");
        EXPECT_EQ(variable("LC_NUMERIC"), "-");
        EXPECT_EQ(variable("LC_MESSAGES"), "-");
    }
    SetOrClear("LC_ALL", nullptr);
    SetOrClear("LC_TIME", nullptr);
    SetOrClear("LANG", nullptr);
    std::setlocale(LC_ALL, locale.c_str());
}

#endif

TEST(Translate, SourceTextUnlessTheTranslatorHasOne) {
    EXPECT_EQ(Translate("Ctx", "保存"), "保存");
    SetTranslator([](const char* context, const char* source) -> std::string {
        return std::string(context) == "Ctx" && std::string(source) == "保存" ? "Save" : "";
    });
    EXPECT_EQ(Translate("Ctx", "保存"), "Save");
    EXPECT_EQ(Translate("Other", "保存"), "保存");
    SetTranslator(nullptr);
    EXPECT_EQ(Translate("Ctx", "保存"), "保存");
}

TEST(Translate, FormatTextFillsNumberedPlaceholders) {
    const struct {
        const char* templ;
        std::initializer_list<std::string_view> args;
        const char* text;
    } cases[] = {
        {"第 %1 行: %2", {"5", "x"}, "第 5 行: x"},
        {"%2 before %1, %1 again", {"a", "b"}, "b before a, a again"},
        // Arguments are not read again: a file name holding "%2" stays so.
        {"%1: %2", {"50%2.bin", "y"}, "50%2.bin: y"},
        // Other percent signs, a missing argument and a trailing '%' stay.
        {"100% %0 %3 %", {"a", "b"}, "100% %0 %3 %"},
        {"%1%1%9", {"a", "", "", "", "", "", "", "", "i"}, "aai"},
        {"%10", {"a"}, "a0"},
        {"", {"a"}, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatText(c.templ, c.args), c.text) << c.templ;
}

} // namespace
