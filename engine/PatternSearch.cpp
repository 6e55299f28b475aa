// Searching with wildcards: decoding the pattern, anchoring the scan on the
// rarest run of fixed bytes, and checking the mask at each hit.
#include "engine/PatternSearch.h"

#include "engine/FileSearch.h"
#include "engine/HexText.h"
#include "engine/Progress.h"
#include "engine/Search.h"
#include "winutil/FileUtil.h"
#include "winutil/Translate.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::uint8_t kWildDigit = 16;

std::uint8_t PatternDigit(unsigned char c) {
    return c == '?' ? kWildDigit : kHexDigitValue[c];
}

// How much a byte narrows a search, roughly in bits: the values that fill
// executables and data files (zero, 0xFF, padding and filler) say little.
int Rarity(std::uint8_t byte) {
    switch (byte) {
    case 0x00:
        return 1;
    case 0xFF:
    case 0xCC:
    case 0x90:
    case 0x20:
        return 3;
    default:
        return 8;
    }
}

// The anchor is at most this long: longer runs gain nothing in rarity and
// cost more per hit.
constexpr std::size_t kMaxAnchor = 32;
// Anchor hits are collected for this many start positions at a time, so a
// frequent anchor never holds a list the size of the file.
constexpr std::size_t kChunk = std::size_t(1) << 20;

struct Anchor {
    std::size_t at = 0;
    std::size_t length = 0;
};

// The rarest window of at most kMaxAnchor fully fixed bytes.
Anchor RarestRun(const MaskedPattern& pattern) {
    Anchor best;
    int bestScore = -1;
    const std::size_t n = pattern.size();
    for (std::size_t i = 0; i < n;) {
        if (pattern.mask[i] != 0xFF) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < n && pattern.mask[end] == 0xFF)
            ++end;
        for (std::size_t start = i; start < end; start += kMaxAnchor / 2) {
            const std::size_t length = std::min(kMaxAnchor, end - start);
            int score = 0;
            for (std::size_t k = start; k < start + length; ++k)
                score += Rarity(pattern.value[k]);
            if (score > bestScore) {
                bestScore = score;
                best = Anchor{start, length};
            }
            if (start + length == end)
                break;
        }
        i = end;
    }
    return best;
}

// Shifts below the anchor's length at which it can overlap itself: the exact
// scan skips such occurrences, so they are looked at after each hit.
std::vector<std::size_t> SelfOverlaps(const std::uint8_t* anchor, std::size_t length) {
    std::vector<std::size_t> shifts;
    for (std::size_t s = 1; s < length; ++s)
        if (std::memcmp(anchor, anchor + s, length - s) == 0)
            shifts.push_back(s);
    return shifts;
}

} // namespace

bool MaskedPattern::HasFixedBits() const {
    return std::any_of(mask.begin(), mask.end(), [](std::uint8_t m) { return m != 0; });
}

bool MaskedPattern::MatchesAt(const std::uint8_t* at) const {
    for (std::size_t i = 0; i < value.size(); ++i)
        if ((at[i] & mask[i]) != value[i])
            return false;
    return true;
}

std::string MaskedPattern::Text() const {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(value.size() * 3);
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (i)
            text.push_back(' ');
        text.push_back(mask[i] & 0xF0 ? kDigits[value[i] >> 4] : '?');
        text.push_back(mask[i] & 0x0F ? kDigits[value[i] & 15] : '?');
    }
    return text;
}

MaskedPattern ParseSearchPattern(const char* text, std::size_t capacity) {
    MaskedPattern pattern;
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    while (*p && pattern.size() < capacity) {
        const std::uint8_t high = PatternDigit(p[0]);
        if (high > kWildDigit) {
            ++p; // a separator
            continue;
        }
        if (!p[1])
            break; // a lone character at the end is dropped
        const std::uint8_t low = PatternDigit(p[1]);
        p += 2; // a lone character goes together with the separator after it
        if (low > kWildDigit)
            continue;
        std::uint8_t mask = 0;
        std::uint8_t value = 0;
        if (high != kWildDigit) {
            mask |= 0xF0;
            value |= static_cast<std::uint8_t>(high << 4);
        }
        if (low != kWildDigit) {
            mask |= 0x0F;
            value |= low;
        }
        pattern.value.push_back(value);
        pattern.mask.push_back(mask);
    }
    return pattern;
}

void FindMaskedInBuffer(const std::uint8_t* data, std::size_t size, const MaskedPattern& pattern,
                        std::vector<std::uint32_t>* matches) {
    const std::size_t length = pattern.size();
    if (!data || !matches || length == 0 || length > size || !pattern.HasFixedBits())
        return;
    const std::size_t last = size - length; // the last start position that fits
    const Anchor anchor = RarestRun(pattern);
    if (anchor.length == 0) {
        // Only nibbles are fixed: a plain loop on the first of them.
        std::size_t k = 0;
        while (pattern.mask[k] == 0)
            ++k;
        const std::uint8_t m = pattern.mask[k];
        const std::uint8_t v = pattern.value[k];
        for (std::size_t p = 0; p <= last; ++p) {
            if ((data[p + k] & m) == v && pattern.MatchesAt(data + p)) {
                matches->push_back(static_cast<std::uint32_t>(p));
                p += length - 1;
            }
        }
        return;
    }
    const std::uint8_t* fixed = pattern.value.data() + anchor.at;
    const std::vector<std::size_t> overlaps = SelfOverlaps(fixed, anchor.length);
    std::vector<std::uint32_t> hits;
    std::size_t next = 0; // the first start position not inside a match
    const auto consider = [&](std::size_t p) {
        if (p >= next && pattern.MatchesAt(data + p)) {
            matches->push_back(static_cast<std::uint32_t>(p));
            next = p + length;
        }
    };
    for (std::size_t chunk = 0; chunk <= last; chunk += kChunk) {
        const std::size_t chunkLast = std::min(last, chunk + kChunk - 1);
        hits.clear();
        FindInBuffer(data + chunk + anchor.at, chunkLast - chunk + anchor.length, fixed,
                     anchor.length, &hits);
        for (const std::uint32_t hit : hits) {
            const std::size_t p = chunk + hit;
            consider(p);
            for (const std::size_t s : overlaps) {
                const std::size_t q = p + s;
                if (q <= chunkLast && std::memcmp(data + q + anchor.at, fixed, anchor.length) == 0)
                    consider(q);
            }
        }
    }
}

std::string SearchBackupForPattern(const std::string& backupPath, const std::string& text) {
    // The old data box holds at most 4095 characters; the text ends at a zero byte.
    const std::string taken(text.c_str(), std::min<std::size_t>(std::strlen(text.c_str()), 4095));
    const MaskedPattern pattern = ParseSearchPattern(taken.c_str(), 2048);
    if (!pattern.HasFixedBits() && pattern.size() != 0)
        return Translate("Search", QT_TRANSLATE_NOOP("Search", "搜索数据至少要有一个确定的字节"));
    FileMatches found;
    const bool read = SearchFile(backupPath, pattern, kSearchResultMatches, &found);
    if (StepCancelled())
        return {};
    return FormatSearchResult(read, found.listed);
}
