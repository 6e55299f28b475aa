// Hex data text: decoding pairs of adjacent digits and encoding bytes.
#include "engine/HexText.h"

namespace {

constexpr std::uint8_t DigitValue(int c) {
    if (c >= '0' && c <= '9')
        return static_cast<std::uint8_t>(c - '0');
    if (c >= 'A' && c <= 'F')
        return static_cast<std::uint8_t>(c - 'A' + 10);
    if (c >= 'a' && c <= 'f')
        return static_cast<std::uint8_t>(c - 'a' + 10);
    return 255;
}

struct DigitTable {
    std::uint8_t values[256];
    constexpr DigitTable() : values() {
        for (int c = 0; c < 256; ++c)
            values[c] = DigitValue(c);
    }
};

constexpr DigitTable kTable{};

} // namespace

#define BM_DIGITS_ROW(b)                                                                           \
    kTable.values[b + 0], kTable.values[b + 1], kTable.values[b + 2], kTable.values[b + 3],        \
        kTable.values[b + 4], kTable.values[b + 5], kTable.values[b + 6], kTable.values[b + 7],    \
        kTable.values[b + 8], kTable.values[b + 9], kTable.values[b + 10], kTable.values[b + 11],  \
        kTable.values[b + 12], kTable.values[b + 13], kTable.values[b + 14], kTable.values[b + 15]

extern const std::uint8_t kHexDigitValue[256] = {
    BM_DIGITS_ROW(0),   BM_DIGITS_ROW(16),  BM_DIGITS_ROW(32),  BM_DIGITS_ROW(48),
    BM_DIGITS_ROW(64),  BM_DIGITS_ROW(80),  BM_DIGITS_ROW(96),  BM_DIGITS_ROW(112),
    BM_DIGITS_ROW(128), BM_DIGITS_ROW(144), BM_DIGITS_ROW(160), BM_DIGITS_ROW(176),
    BM_DIGITS_ROW(192), BM_DIGITS_ROW(208), BM_DIGITS_ROW(224), BM_DIGITS_ROW(240),
};

#undef BM_DIGITS_ROW

std::uint32_t ParseHexText(const char* text, std::uint8_t* out, std::uint32_t capacity) {
    if (capacity == 0)
        return 0;
    std::uint32_t count = 0;
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    while (*p) {
        const std::uint8_t high = kHexDigitValue[p[0]];
        if (high > 15) {
            ++p; // a separator
            continue;
        }
        if (!p[1])
            break; // an odd digit at the end is dropped
        const std::uint8_t low = kHexDigitValue[p[1]];
        p += 2; // a lone digit goes together with the separator after it
        if (low > 15)
            continue;
        out[count++] = static_cast<std::uint8_t>(high << 4 | low);
        if (count == capacity)
            break;
    }
    return count;
}

namespace {
constexpr char kUpperDigits[] = "0123456789ABCDEF";
} // namespace

void FormatHexText(const std::uint8_t* data, std::uint32_t length, char* text) {
    for (std::uint32_t i = 0; i < length; ++i) {
        *text++ = kUpperDigits[data[i] >> 4];
        *text++ = kUpperDigits[data[i] & 15];
    }
    *text = '\0';
}

std::uint32_t FormatSpacedHexText(const std::uint8_t* data, std::uint32_t length, char* text) {
    char* out = text;
    for (std::uint32_t i = 0; i < length; ++i) {
        if (i > 0)
            *out++ = ' ';
        *out++ = kUpperDigits[data[i] >> 4];
        *out++ = kUpperDigits[data[i] & 15];
    }
    *out = '\0';
    return static_cast<std::uint32_t>(out - text);
}
