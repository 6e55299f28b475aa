// The one pair of conversions between the system code page (the locale's
// narrow encoding, UTF-8 on Linux) and UTF-16.
#pragma once

#include <string>
#include <string_view>

// Bytes that are not valid in the code page become U+FFFD.
std::u16string CodePageToWide(std::string_view text);
// Characters without a counterpart (lone surrogates) become '?'.
std::string WideToCodePage(std::u16string_view text);
