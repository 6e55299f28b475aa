#include "cli/CliText.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace {

// One finished translation of the .ts file.
struct TranslationRow {
    const char* context;
    const char* source;
    const char* translation;
};

// Sorted by context, then source, byte for byte (strcmp order).
constexpr TranslationRow kEnglish[] = {
#include "bytemender_en_table.inc"
};

int Compare(const TranslationRow& row, const char* context, const char* source) {
    const int byContext = std::strcmp(row.context, context);
    return byContext != 0 ? byContext : std::strcmp(row.source, source);
}

std::string English(const char* context, const char* source) {
    const auto* found = std::lower_bound(
        std::begin(kEnglish), std::end(kEnglish), 0,
        [&](const TranslationRow& row, int) { return Compare(row, context, source) < 0; });
    if (found != std::end(kEnglish) && Compare(*found, context, source) == 0)
        return found->translation;
    return std::string();
}

} // namespace

std::string Tr(const char* source) {
    return Translate("bytemender-cli", source);
}

void UseInterfaceLanguage() {
    // Scripts, CI and containers run under C or POSIX: English there, and
    // wherever Chinese is not asked for.
    if (RequestedLanguage() != InterfaceLanguage::Chinese)
        SetTranslator(&English);
}

std::string OffsetText(std::uint64_t offset) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::size_t digits = 8;
    while (digits < 16 && (offset >> (4 * digits)) != 0)
        ++digits;
    std::string text(digits, '0');
    for (std::size_t i = digits; i-- > 0; offset >>= 4)
        text[i] = kDigits[offset & 15];
    return text;
}

namespace {

// Length of the valid UTF-8 sequence at text[0] and its code point; 0 when
// the bytes there are not one.
std::size_t DecodeUtf8(std::string_view text, char32_t* code) {
    const auto b0 = static_cast<unsigned char>(text[0]);
    if (b0 < 0x80) {
        *code = b0;
        return 1;
    }
    std::size_t length = 0;
    char32_t value = 0;
    char32_t least = 0;
    if ((b0 & 0xE0) == 0xC0) {
        length = 2;
        value = b0 & 0x1F;
        least = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        length = 3;
        value = b0 & 0x0F;
        least = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        length = 4;
        value = b0 & 0x07;
        least = 0x10000;
    } else {
        return 0;
    }
    if (text.size() < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if ((b & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (b & 0x3F);
    }
    if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    *code = value;
    return length;
}

bool IsWide(char32_t c) {
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) ||
           (c >= 0x3041 && c <= 0x33FF) || (c >= 0x3400 && c <= 0x4DBF) ||
           (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) ||
           (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1F64F) ||
           (c >= 0x1F900 && c <= 0x1F9FF) || (c >= 0x20000 && c <= 0x3FFFD);
}

} // namespace

void AppendJsonString(std::string* out, std::string_view text) {
    out->push_back('"');
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            char32_t code = 0;
            const std::size_t length = DecodeUtf8(text.substr(i), &code);
            if (length == 0) {
                out->append("\xEF\xBF\xBD");
                ++i;
            } else {
                out->append(text.substr(i, length));
                i += length;
            }
            continue;
        }
        switch (c) {
        case '"':
            out->append("\\\"");
            break;
        case '\\':
            out->append("\\\\");
            break;
        case '\n':
            out->append("\\n");
            break;
        case '\r':
            out->append("\\r");
            break;
        case '\t':
            out->append("\\t");
            break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04x", c);
                out->append(escape);
            } else {
                out->push_back(static_cast<char>(c));
            }
        }
        ++i;
    }
    out->push_back('"');
}

std::size_t DisplayWidth(std::string_view text) {
    bool ascii = true;
    for (const char c : text)
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (ascii)
        return text.size();
    std::size_t width = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        char32_t code = 0;
        const std::size_t length = DecodeUtf8(text.substr(i), &code);
        if (length == 0) {
            ++width; // shown as one replacement character
            ++i;
            continue;
        }
        width += IsWide(code) ? 2 : 1;
        i += length;
    }
    return width;
}

void AppendOneLine(std::string* out, std::string_view text) {
    const std::size_t from = out->size();
    out->append(text);
    for (std::size_t i = from; i < out->size(); ++i) {
        const auto c = static_cast<unsigned char>((*out)[i]);
        if (c < 0x20 || c == 0x7F)
            (*out)[i] = ' ';
    }
}
