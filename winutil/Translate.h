// Texts shown to the user pass through Translate, so that each program can
// show them in the user's language. The source texts are the program's own
// (mostly Chinese) and are what every caller gets until a program installs a
// translator; the settings file never depends on the language.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

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
