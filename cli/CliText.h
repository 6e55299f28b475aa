// Texts of the command-line front end: the one place every user-visible text
// passes through (so that it shows in the user's language), and the small formatting helpers of the
// table and the JSON output.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "winutil/Translate.h"

// The text to show for one of the command line's source texts (context
// "bytemender-cli"; mark each with QT_TRANSLATE_NOOP where it is written).
// Placeholders %1 .. %9 are filled with FormatText.
std::string Tr(const char* source);

// Installs the English translation of every text (the command line's, the
// engine's and the session's) unless the user asks for Chinese (a zh locale,
// or LANGUAGE naming Chinese first): a C or POSIX locale gets English.
void UseInterfaceLanguage();

// Eight lower-case hex digits, as the list shows an offset (more for an
// offset of 4 GiB or more).
std::string OffsetText(std::uint64_t offset);

// Appends text as a JSON string (quotes included). Bytes that are not valid
// UTF-8 become U+FFFD.
void AppendJsonString(std::string* out, std::string_view text);

// Columns a terminal gives the UTF-8 text (wide East Asian characters count
// two); control characters count as one, as the table shows them as spaces.
std::size_t DisplayWidth(std::string_view text);
// Appends text with every control character (line breaks, tabs) shown as a
// space, so that one item stays on one table line.
void AppendOneLine(std::string* out, std::string_view text);
