// Texts shown to the user pass through Translate, so that each program can
// show them in the user's language. The source texts are the program's own
// (mostly Chinese) and are what every caller gets until a program installs a
// translator; the settings file never depends on the language.
#pragma once

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Marks a source text for the translation tools (lupdate) where it is
// defined; the text itself is unchanged.
#ifndef QT_TRANSLATE_NOOP
#define QT_TRANSLATE_NOOP(context, text) text
#endif

// Returns the text to show for source in context, or an empty string when it
// has no translation.
using TranslatorFunction = std::string (*)(const char* context, const char* source);

// Installs the program's translator (null removes it).
void SetTranslator(TranslatorFunction translator);

// The translation of source, or source itself.
std::string Translate(const char* context, const char* source);

// templ with its placeholders %1 to %9 replaced by the arguments in one pass,
// as Qt's QString::arg fills them: the translation may order them its own
// way, and text brought in by an argument is never read as a placeholder. A
// placeholder without an argument, and any other '%', stay as they are.
std::string FormatText(std::string_view templ, std::initializer_list<std::string_view> args);

// The language the user asks for, read from the environment as gettext reads
// it: the locale is the first of LC_ALL, LC_MESSAGES and LANG that is set;
// under no locale, C or POSIX the answer is Unset and LANGUAGE is ignored.
// Otherwise the first entry of the colon-separated LANGUAGE list that is
// English or Chinese decides (entries in other languages are passed over),
// else the locale's own language when it is one of the two.
enum class InterfaceLanguage { Unset, English, Chinese };
InterfaceLanguage RequestedLanguage();

// True when the requested language is English. The window shows its Chinese
// source texts unless English is asked for; the command line (cli/) speaks
// English unless Chinese is.
bool UserInterfaceIsEnglish();

// Qt takes the formats of dates and sizes in its own dialogs (the file
// chooser) from the environment (LC_ALL, LC_TIME, LC_NUMERIC, LC_MESSAGES,
// LANG), once,
// while the application object is made. Where the environment names no
// formats of its own (unset, C or POSIX), a window shown in Chinese lends it
// the Chinese ones for that moment. Make this before the application object
// and Restore() it right after: the environment and the C library's locale
// are then as the user set them again. Without a loan (English, a real
// locale, or Windows, whose dialogs follow Windows' own language) nothing
// changes.
class DialogFormatLoan {
  public:
    explicit DialogFormatLoan(bool chinese);
    ~DialogFormatLoan() { Restore(); }
    DialogFormatLoan(const DialogFormatLoan&) = delete;
    DialogFormatLoan& operator=(const DialogFormatLoan&) = delete;

    // Whether the environment holds the lent formats now.
    bool Lent() const { return !saved_.empty(); }
    void Restore();

  private:
    struct Saved {
        const char* name;
        std::optional<std::string> value;
    };
    std::vector<Saved> saved_;
};
