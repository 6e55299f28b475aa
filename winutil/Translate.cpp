// The translation hook and the choice of the interface language.
#include "winutil/Translate.h"

#include <clocale>
#include <cstdlib>
#include <string_view>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

TranslatorFunction g_translator = nullptr;

#ifndef _WIN32

const char* Variable(const char* name) {
    const char* value = std::getenv(name);
    return value && *value ? value : nullptr;
}

// Whether a locale or LANGUAGE entry ("en", "en_US.UTF-8", "zh-CN") names
// the two-letter language.
bool IsLanguage(std::string_view tag, std::string_view language) {
    return tag.size() >= 2 && tag.substr(0, 2) == language &&
           (tag.size() == 2 || tag[2] == '_' || tag[2] == '-' || tag[2] == '.' || tag[2] == '@');
}

bool IsCLocale(std::string_view tag) {
    return tag == "C" || tag == "POSIX" || tag.substr(0, 2) == "C.";
}

#endif

} // namespace

void SetTranslator(TranslatorFunction translator) {
    g_translator = translator;
}

std::string Translate(const char* context, const char* source) {
    if (g_translator) {
        std::string text = g_translator(context, source);
        if (!text.empty())
            return text;
    }
    return source;
}

std::string FormatText(std::string_view templ, std::initializer_list<std::string_view> args) {
    std::string text;
    text.reserve(templ.size() + 16 * args.size());
    std::size_t i = 0;
    while (i < templ.size()) {
        const std::size_t mark = templ.find('%', i);
        if (mark == std::string_view::npos || mark + 1 >= templ.size()) {
            text.append(templ.substr(i));
            break;
        }
        text.append(templ.substr(i, mark - i));
        const char digit = templ[mark + 1];
        const std::size_t index = static_cast<std::size_t>(digit - '1');
        if (digit >= '1' && digit <= '9' && index < args.size()) {
            text.append(args.begin()[index]);
            i = mark + 2;
        } else {
            text += '%';
            i = mark + 1;
        }
    }
    return text;
}

#ifdef _WIN32

InterfaceLanguage RequestedLanguage() {
    // The language of Windows' own menus and dialogs for this user.
    switch (PRIMARYLANGID(GetUserDefaultUILanguage())) {
    case LANG_ENGLISH:
        return InterfaceLanguage::English;
    case LANG_CHINESE:
        return InterfaceLanguage::Chinese;
    default:
        return InterfaceLanguage::Unset;
    }
}

#else

namespace {

InterfaceLanguage LanguageOf(std::string_view tag) {
    if (IsLanguage(tag, "en"))
        return InterfaceLanguage::English;
    if (IsLanguage(tag, "zh"))
        return InterfaceLanguage::Chinese;
    return InterfaceLanguage::Unset;
}

} // namespace

InterfaceLanguage RequestedLanguage() {
    // The locale that LC_ALL, LC_MESSAGES and LANG select, in that order.
    const char* locale = Variable("LC_ALL");
    if (!locale)
        locale = Variable("LC_MESSAGES");
    if (!locale)
        locale = Variable("LANG");
    if (!locale || IsCLocale(locale))
        return InterfaceLanguage::Unset;
    // LANGUAGE lists preferred languages in order; as in gettext, those the
    // program has no texts for are passed over.
    if (const char* list = Variable("LANGUAGE")) {
        std::string_view rest(list);
        while (!rest.empty()) {
            const std::size_t colon = rest.find(':');
            const InterfaceLanguage language = LanguageOf(rest.substr(0, colon));
            if (language != InterfaceLanguage::Unset)
                return language;
            rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
        }
    }
    return LanguageOf(locale);
}

#endif

bool UserInterfaceIsEnglish() {
    return RequestedLanguage() == InterfaceLanguage::English;
}

#ifdef _WIN32

DialogFormatLoan::DialogFormatLoan(bool) {}

void DialogFormatLoan::Restore() {}

#else

namespace {

// The locale lent to the dialogs; Qt only reads its name.
constexpr const char* kChineseFormats = "zh_CN.UTF-8";

void SetVariable(const char* name, const std::optional<std::string>& value) {
    if (value)
        ::setenv(name, value->c_str(), 1);
    else
        ::unsetenv(name);
}

} // namespace

DialogFormatLoan::DialogFormatLoan(bool chinese) {
    if (!chinese)
        return;
    // LC_ALL overrides every category, so a C there is lent over in place;
    // otherwise each category falls back to LANG.
    const char* all = Variable("LC_ALL");
    const char* lang = Variable("LANG");
    std::vector<const char*> lend;
    if (all) {
        if (IsCLocale(all))
            lend.push_back("LC_ALL");
    } else {
        for (const char* category : {"LC_TIME", "LC_NUMERIC", "LC_MESSAGES"}) {
            const char* value = Variable(category);
            if (!value)
                value = lang;
            if (!value || IsCLocale(value))
                lend.push_back(category);
        }
    }
    for (const char* name : lend) {
        const char* value = std::getenv(name);
        saved_.push_back({name, value ? std::optional<std::string>(value) : std::nullopt});
        ::setenv(name, kChineseFormats, 1);
    }
}

void DialogFormatLoan::Restore() {
    if (saved_.empty())
        return;
    for (const Saved& variable : saved_)
        SetVariable(variable.name, variable.value);
    saved_.clear();
    // The application object set the C library's locale from the lent
    // environment; it follows the user's again.
    std::setlocale(LC_ALL, "");
}

#endif
