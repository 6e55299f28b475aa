#include "settings/IniText.h"

#include "engine/HexText.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr unsigned char FoldAscii(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

const char* g_lineCursor = nullptr;

constexpr std::size_t kNoEquals = static_cast<std::size_t>(-1);

// The byte a two-character escape stands for, or -1 when the character after
// the backslash is not one of the named escapes.
inline int NamedEscape(unsigned char c) {
    switch (c) {
    case 'n':
    case 'N':
        return '\n';
    case 'r':
    case 'R':
        return '\r';
    case 't':
    case 'T':
        return '\t';
    default:
        return -1;
    }
}

inline bool NeedsEscape(unsigned char c) {
    return c == '\t' || c == '\n' || c == '\r' || c == '"' || c == '\\';
}

inline char EscapeLetter(unsigned char c) {
    switch (c) {
    case '\t':
        return 't';
    case '\n':
        return 'n';
    case '\r':
        return 'r';
    default:
        return static_cast<char>(c); // '"' and '\\' stand for themselves
    }
}

} // namespace

// Eight bytes with ASCII A-Z folded onto a-z, all at once: a byte gets 0x20
// added exactly when its low seven bits lie in 'A'..'Z' and its top bit is
// clear. No sum carries into the next byte.
inline std::uint64_t FoldWord(std::uint64_t x) {
    constexpr std::uint64_t kOnes = 0x0101010101010101u;
    constexpr std::uint64_t kHigh = 0x8080808080808080u;
    const std::uint64_t low = x & ~kHigh;
    const std::uint64_t atLeastA = low + (0x80 - 'A') * kOnes;
    const std::uint64_t aboveZ = low + (0x80 - 'Z' - 1) * kOnes;
    const std::uint64_t upper = atLeastA & ~aboveZ & ~x & kHigh;
    return x | (upper >> 2);
}

int CompareKeys(std::string_view a, std::string_view b) {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    const auto* pa = reinterpret_cast<const unsigned char*>(a.data());
    const auto* pb = reinterpret_cast<const unsigned char*>(b.data());
    std::size_t i = 0;
    // Keys share long prefixes: compare eight folded bytes at a time; the
    // first byte that differs decides.
    for (; i + 8 <= n; i += 8) {
        std::uint64_t x;
        std::uint64_t y;
        std::memcpy(&x, pa + i, 8);
        std::memcpy(&y, pb + i, 8);
        if (x == y) {
            continue;
        }
        x = FoldWord(x);
        y = FoldWord(y);
        if (x != y) {
            x = __builtin_bswap64(x); // the first byte becomes the most significant
            y = __builtin_bswap64(y);
            return x < y ? -1 : 1;
        }
    }
    for (; i < n; ++i) {
        const unsigned char ca = FoldAscii(pa[i]);
        const unsigned char cb = FoldAscii(pb[i]);
        if (ca != cb) {
            return ca < cb ? -1 : 1;
        }
    }
    if (a.size() == b.size()) {
        return 0;
    }
    return a.size() < b.size() ? -1 : 1;
}

namespace {

// One step of ScanLine over the bytes [0, count) of a piece of the line that
// starts offset bytes into it: ends, equals and backslashes hold a bit for
// each byte that ends the line, is '=', is a backslash. True once the line's
// end is found.
inline bool TakeMarks(LineShape* shape, std::size_t offset, unsigned ends, unsigned equals,
                      unsigned backslashes, unsigned count) {
    const unsigned stop = ends != 0 ? static_cast<unsigned>(__builtin_ctz(ends)) : count;
    const unsigned before = stop >= 32 ? ~0u : (1u << stop) - 1;
    equals &= before;
    backslashes &= before;
    if (shape->firstEquals == kNoEquals && equals != 0) {
        const unsigned at = static_cast<unsigned>(__builtin_ctz(equals));
        shape->firstEquals = offset + at;
        backslashes &= at >= 31 ? 0u : ~((2u << at) - 1);
    } else if (shape->firstEquals == kNoEquals) {
        backslashes = 0;
    }
    shape->escapes = shape->escapes || backslashes != 0;
    if (ends == 0)
        return false;
    shape->length = offset + stop;
    return true;
}

} // namespace

LineShape ScanLine(const char* text, const char* end) {
    LineShape shape;
    shape.firstEquals = kNoEquals;
    std::size_t at = 0;
    const auto left = static_cast<std::size_t>(end - text);
#if defined(__SSE2__)
    // Sixteen bytes at a time: most lines are a few dozen bytes long.
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i zero = _mm_setzero_si128();
    const __m128i equal = _mm_set1_epi8('=');
    const __m128i backslash = _mm_set1_epi8('\\');
    for (; at + 16 <= left; at += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at));
        const __m128i ends = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)), _mm_cmpeq_epi8(v, zero));
        const auto mask = [](__m128i m) { return static_cast<unsigned>(_mm_movemask_epi8(m)); };
        if (TakeMarks(&shape, at, mask(ends), mask(_mm_cmpeq_epi8(v, equal)),
                      mask(_mm_cmpeq_epi8(v, backslash)), 16)) {
            break;
        }
    }
    if (at + 16 <= left) { // the line ended inside the last piece
        if (shape.firstEquals == kNoEquals)
            shape.firstEquals = shape.length;
        return shape;
    }
#endif
    for (; at < left; ++at) {
        const char c = text[at];
        if (TakeMarks(&shape, at, c == '\r' || c == '\n' || c == '\0', c == '=', c == '\\', 1))
            break;
    }
    if (at == left)
        shape.length = left;
    if (shape.firstEquals == kNoEquals)
        shape.firstEquals = shape.length;
    return shape;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && CompareKeys(a, b) == 0;
}

int NextLine(const char* text, const char** cursor, char* line, int capacity) {
    const char*& at = cursor ? *cursor : g_lineCursor;
    if (line == nullptr) {
        at = text;
        return 1;
    }
    if (at == nullptr || *at == '\0') {
        return 0;
    }
    int stored = 0;
    for (;;) {
        const char c = *at;
        if (c == '\0') {
            break;
        }
        ++at;
        if (c == '\r' || c == '\n') {
            if (c == '\r' && *at == '\n') {
                ++at;
            }
            if (capacity > 0) {
                line[stored < capacity ? stored : capacity - 1] = '\0';
            }
            return 1;
        }
        if (stored < capacity - 1) {
            line[stored] = c;
        }
        if (stored < capacity) {
            ++stored;
        }
    }
    if (capacity > 0) {
        line[stored < capacity ? stored : capacity - 1] = '\0';
    }
    return 2;
}

char* WriteEscaped(char* out, const char* text, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (NeedsEscape(c)) {
            *out++ = '\\';
            *out++ = EscapeLetter(c);
        } else {
            *out++ = static_cast<char>(c);
        }
    }
    return out;
}

// A fresh block for the result of escaping or unescaping n bytes: twice the
// length plus room for the terminator, as callers that pass no buffer expect.
static char* AllocateTextFor(std::size_t n) {
    return static_cast<char*>(std::malloc(2 * n + 2));
}

char* EscapeText(char* out, const char* text) {
    if (text == nullptr) {
        return nullptr;
    }
    const std::size_t n = std::strlen(text);
    if (out == nullptr && (out = AllocateTextFor(n)) == nullptr) {
        return nullptr;
    }
    *WriteEscaped(out, text, n) = '\0';
    return out;
}

std::size_t UnescapeInPlace(char* text, std::size_t n) {
    const void* first = std::memchr(text, '\\', n);
    if (first == nullptr) {
        return n;
    }
    std::size_t r = static_cast<std::size_t>(static_cast<const char*>(first) - text);
    std::size_t w = r;
    while (r < n) {
        const auto c = static_cast<unsigned char>(text[r++]);
        if (c != '\\') {
            text[w++] = static_cast<char>(c);
            continue;
        }
        if (r >= n) {
            break; // a trailing backslash is dropped
        }
        const auto e = static_cast<unsigned char>(text[r++]);
        const int named = NamedEscape(e);
        if (named >= 0) {
            text[w++] = static_cast<char>(named);
            continue;
        }
        const std::uint8_t high = kHexDigitValue[e];
        if (high > 15) {
            text[w++] = static_cast<char>(e);
            continue;
        }
        unsigned value = 0xFF;
        if (r < n) {
            const std::uint8_t low = kHexDigitValue[static_cast<unsigned char>(text[r++])];
            if (low <= 15) {
                value = (unsigned{high} << 4) | low;
            }
        }
        if (value == 0) {
            // Values are terminated texts: a decoded zero byte ends this one.
            return w;
        }
        text[w++] = static_cast<char>(value);
    }
    return w;
}

char* UnescapeText(char* out, const char* text) {
    if (text == nullptr) {
        return nullptr;
    }
    const std::size_t n = std::strlen(text);
    if (out == nullptr && (out = AllocateTextFor(n)) == nullptr) {
        return nullptr;
    }
    if (out != text) {
        std::memmove(out, text, n);
    }
    out[UnescapeInPlace(out, n)] = '\0';
    return out;
}

char* DupString(const char* text) {
    if (text == nullptr) {
        return nullptr;
    }
    const std::size_t n = std::strlen(text) + 1;
    char* copy = static_cast<char*>(std::malloc(n));
    if (copy != nullptr) {
        std::memcpy(copy, text, n);
    }
    return copy;
}

void FreeString(char* text) {
    std::free(text);
}

int CopyBounded(const char* source, char* destination, int size) {
    if (destination == nullptr) {
        return 0;
    }
    if (source == nullptr) {
        source = "";
    }
    if (size == -1) {
        std::strcpy(destination, source);
        return 0;
    }
    if (size <= 0) {
        return 0;
    }
    const std::size_t limit = static_cast<std::size_t>(size) - 1;
    const std::size_t n = strnlen(source, limit);
    std::memcpy(destination, source, n);
    destination[n] = '\0';
    return 0;
}

int StripTrailingBackslashes(char* text) {
    if (text == nullptr) {
        return 0;
    }
    std::size_t n = std::strlen(text);
    int removed = 0;
    while (n > 0 && text[n - 1] == '\\') {
        text[--n] = '\0';
        ++removed;
    }
    return removed;
}

std::string SettingsFileForModule(std::string_view module) {
    std::string path(module);
    const std::size_t slash = path.find_last_of("\\/");
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = path.rfind('.');
    if (dot != std::string::npos && dot > nameStart) {
        path.resize(dot);
    }
    path += ".ini";
    return path;
}
