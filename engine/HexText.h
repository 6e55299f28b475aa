// Hex data text: pairs of adjacent hexadecimal digits; every other byte
// separates and a digit standing alone is dropped.
#pragma once

#include <cstdint>

// Digit value (0..15) of every byte value, 255 for non-digits. Also used by the
// settings store's escape decoding.
extern const std::uint8_t kHexDigitValue[256];

inline bool IsHexDigit(unsigned char c) {
    return kHexDigitValue[c] <= 15;
}

// Decodes text (terminated, never null) into out; returns the number of bytes
// written, at most capacity. Capacity 0 returns 0 without reading the text.
std::uint32_t ParseHexText(const char* text, std::uint8_t* out, std::uint32_t capacity);

// Writes 2 * length upper-case digits and a terminator into text.
void FormatHexText(const std::uint8_t* data, std::uint32_t length, char* text);

// Writes length upper-case pairs separated by single spaces ("74 05 1F") and
// a terminator into text, which holds at least 3 * length bytes and one; the
// way the item editor shows data and items made by the program store it.
// Returns the text's length (3 * length - 1, or 0).
std::uint32_t FormatSpacedHexText(const std::uint8_t* data, std::uint32_t length, char* text);
