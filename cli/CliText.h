// Texts of the command-line front end: the one place every user-visible text
// passes through (so that a translation can be hooked in), argument filling,
// and the small formatting helpers of the table and the JSON output.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

// The text to show for a source text. Today the source text itself; a
// translation step replaces this one function.
std::string Tr(const char* source);

// pattern with %1 .. %9 replaced by the arguments in that order ("%%" is a
// single '%'). A missing argument leaves its marker as it is.
std::string Fill(std::string_view pattern, std::initializer_list<std::string_view> args);

// Eight lower-case hex digits, as the list shows an offset.
std::string OffsetText(std::uint32_t offset);

// Appends text as a JSON string (quotes included). Bytes that are not valid
// UTF-8 become U+FFFD.
void AppendJsonString(std::string* out, std::string_view text);

// Columns a terminal gives the UTF-8 text (wide East Asian characters count
// two); control characters count as one, as the table shows them as spaces.
std::size_t DisplayWidth(std::string_view text);
// Appends text with every control character (line breaks, tabs) shown as a
// space, so that one item stays on one table line.
void AppendOneLine(std::string* out, std::string_view text);
