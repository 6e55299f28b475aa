// Finding every occurrence of a byte run in a file.
#include "engine/Search.h"

#include "engine/FileSearch.h"
#include "engine/HexText.h"
#include "winutil/FileUtil.h"
#include "winutil/Translate.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define BM_SEARCH_X86 1
#endif

namespace {

// The leftmost place of the length bytes of pattern in the size bytes of
// data, or null; linear in the worst case where the C library allows.
const void* FindRun(const std::uint8_t* data, std::size_t size, const std::uint8_t* pattern,
                    std::size_t length) {
#ifdef _WIN32
    // Windows' C library has no memmem.
    const std::boyer_moore_horspool_searcher searcher(pattern, pattern + length);
    const std::uint8_t* hit = std::search(data, data + size, searcher);
    return hit == data + size ? nullptr : hit;
#else
    return ::memmem(data, size, pattern, length);
#endif
}

// Failed verifications are allowed this many compared bytes up front and this
// many per byte of progress before the scan hands over to a linear-time search.
constexpr std::size_t kWorkAllowance = std::size_t(1) << 20;
constexpr std::size_t kWorkPerByte = 8;
// Work charged for each failed candidate on top of the bytes it compared.
constexpr std::size_t kCandidateCost = 8;

// Candidate filter: a position is looked at closely only when the first
// pattern byte and one more "probe" byte both match. The probe is the last
// byte that differs from the first one, so runs of one repeated value (the
// usual trouble for first-byte scans) rarely produce candidates at all.
class Scanner {
  public:
    Scanner(const std::uint8_t* data, std::size_t size, const std::uint8_t* pattern,
            std::size_t length, std::vector<std::uint32_t>* matches)
        : data_(data), size_(size), pattern_(pattern), length_(length), matches_(matches),
          last_(size - length) {
        probe_ = length - 1;
        while (probe_ > 0 && pattern[probe_] == pattern[0])
            --probe_;
        if (probe_ == 0)
            probe_ = length - 1;
#ifdef BM_SEARCH_X86
        std::uint8_t head[16] = {};
        std::memcpy(head, pattern, length < 16 ? length : 16);
        pat16_ = _mm_loadu_si128(reinterpret_cast<const __m128i*>(head));
#endif
    }

    void Run() {
        std::size_t pos = 0;
#ifdef BM_SEARCH_X86
        if (__builtin_cpu_supports("avx2"))
            pos = ScanAvx2(0);
        else
            pos = ScanSse2(0);
#endif
        if (!switched_)
            pos = ScanScalar(pos);
        if (switched_)
            ScanLinear(fallbackFrom_);
    }

    bool UsedLinearSearch() const {
        return switched_;
    }

  private:
    // Looks at the candidate positions base + bit of mask (ascending). Returns
    // false when the scan must hand over to ScanLinear.
    bool Candidates(std::size_t base, std::uint32_t mask) {
        if (next_ > base) {
            const std::size_t skip = next_ - base;
            mask = skip >= 32 ? 0 : mask & (~std::uint32_t(0) << skip);
        }
        while (mask) {
            const std::size_t p = base + static_cast<std::size_t>(__builtin_ctz(mask));
            const std::size_t equal = Verify(p);
            if (equal == length_) {
                matches_->push_back(static_cast<std::uint32_t>(p));
                next_ = p + length_;
                FollowRun();
                const std::size_t skip = next_ - base;
                mask = skip >= 32 ? 0 : mask & (~std::uint32_t(0) << skip);
            } else {
                mask &= mask - 1;
                work_ += equal + kCandidateCost;
                if (work_ > kWorkAllowance + kWorkPerByte * p) {
                    switched_ = true;
                    fallbackFrom_ = p + 1;
                    return false;
                }
            }
        }
        return true;
    }

    // Matches often follow each other directly (runs of one value, repeated
    // records): after a match, try the position right after it at once.
    void FollowRun() {
#ifdef BM_SEARCH_X86
        if (length_ <= 16) {
            std::uint32_t found[256];
            std::size_t count = 0;
            const unsigned want = (1u << length_) - 1u;
            std::size_t q = next_;
            while (q <= last_ && q + 16 <= size_) {
                const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data_ + q));
                const auto eq = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, pat16_)));
                if ((eq & want) != want)
                    break;
                found[count++] = static_cast<std::uint32_t>(q);
                q += length_;
                if (count == 256) {
                    matches_->insert(matches_->end(), found, found + count);
                    count = 0;
                }
            }
            matches_->insert(matches_->end(), found, found + count);
            next_ = q;
        }
#endif
        while (next_ <= last_ && data_[next_] == pattern_[0] && Verify(next_) == length_) {
            matches_->push_back(static_cast<std::uint32_t>(next_));
            next_ += length_;
        }
    }

    // Number of leading pattern bytes equal at p; length_ means a match.
    std::size_t Verify(std::size_t p) const {
        const std::uint8_t* at = data_ + p;
#ifdef BM_SEARCH_X86
        if (length_ <= 16 && p + 16 <= size_) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
            const auto eq = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, pat16_)));
            const unsigned differ = ~eq & ((1u << length_) - 1u);
            return differ ? static_cast<std::size_t>(__builtin_ctz(differ)) : length_;
        }
        std::size_t i = 0;
        for (; i + 16 <= length_; i += 16) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + i));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pattern_ + i));
            const auto eq = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, b)));
            if (eq != 0xFFFFu)
                return i + static_cast<std::size_t>(__builtin_ctz(~eq));
        }
#else
        std::size_t i = 0;
#endif
        while (i < length_ && at[i] == pattern_[i])
            ++i;
        return i;
    }

    // Plain scan of the positions from pos to the last one.
    std::size_t ScanScalar(std::size_t pos) {
        const std::uint8_t first = pattern_[0];
        const std::uint8_t probe = pattern_[probe_];
        for (; pos <= last_; ++pos) {
            if (pos < next_)
                pos = next_;
            if (pos > last_)
                break;
            if (data_[pos] == first && data_[pos + probe_] == probe && !Candidates(pos, 1u))
                return pos;
        }
        return pos;
    }

#ifdef BM_SEARCH_X86
    std::size_t ScanSse2(std::size_t pos) {
        const __m128i first = _mm_set1_epi8(static_cast<char>(pattern_[0]));
        const __m128i probe = _mm_set1_epi8(static_cast<char>(pattern_[probe_]));
        while (last_ >= 15 && pos <= last_ - 15) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data_ + pos));
            const __m128i b =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(data_ + pos + probe_));
            const __m128i hit = _mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, probe));
            const auto mask = static_cast<std::uint32_t>(_mm_movemask_epi8(hit));
            if (mask && !Candidates(pos, mask))
                return pos;
            pos = next_ > pos + 16 ? next_ : pos + 16;
        }
        return pos;
    }

    __attribute__((target("avx2"))) std::size_t ScanAvx2(std::size_t pos) {
        const __m256i first = _mm256_set1_epi8(static_cast<char>(pattern_[0]));
        const __m256i probe = _mm256_set1_epi8(static_cast<char>(pattern_[probe_]));
        // Two blocks of 32 positions per round when nothing matches.
        while (last_ >= 63 && pos <= last_ - 63) {
            const auto* a = reinterpret_cast<const __m256i*>(data_ + pos);
            const auto* b = reinterpret_cast<const __m256i*>(data_ + pos + probe_);
            const __m256i h0 = _mm256_and_si256(_mm256_cmpeq_epi8(_mm256_loadu_si256(a), first),
                                                _mm256_cmpeq_epi8(_mm256_loadu_si256(b), probe));
            const __m256i h1 =
                _mm256_and_si256(_mm256_cmpeq_epi8(_mm256_loadu_si256(a + 1), first),
                                 _mm256_cmpeq_epi8(_mm256_loadu_si256(b + 1), probe));
            if (_mm256_testz_si256(_mm256_or_si256(h0, h1), _mm256_or_si256(h0, h1))) {
                pos += 64;
                continue;
            }
            const auto m0 = static_cast<std::uint32_t>(_mm256_movemask_epi8(h0));
            if (m0 && !Candidates(pos, m0))
                return pos;
            const std::size_t half = next_ > pos + 32 ? next_ : pos + 32;
            if (half < pos + 64) {
                const auto m1 = static_cast<std::uint32_t>(_mm256_movemask_epi8(h1));
                if (m1 && !Candidates(pos + 32, m1))
                    return pos;
            }
            pos = next_ > pos + 64 ? next_ : pos + 64;
        }
        return ScanSse2(pos);
    }

#endif

    // Worst-case linear search from pos onwards (glibc's memmem). It finds the
    // leftmost match at or after pos, so the matches stay exactly the same.
    void ScanLinear(std::size_t pos) {
        if (next_ > pos)
            pos = next_;
        while (pos <= last_) {
            const void* hit = FindRun(data_ + pos, size_ - pos, pattern_, length_);
            if (!hit)
                break;
            const auto p = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - data_);
            matches_->push_back(static_cast<std::uint32_t>(p));
            pos = p + length_;
        }
    }

    const std::uint8_t* data_;
    std::size_t size_;
    const std::uint8_t* pattern_;
    std::size_t length_;
    std::vector<std::uint32_t>* matches_;
    std::size_t last_;      // last start position that fits
    std::size_t probe_ = 0; // index of the second filter byte
    std::size_t next_ = 0;  // first position not covered by a match
    std::size_t work_ = 0;  // cost of failed verifications so far
    bool switched_ = false;
    std::size_t fallbackFrom_ = 0;
#ifdef BM_SEARCH_X86
    __m128i pat16_{};
#endif
};

} // namespace

void FindInBuffer(const std::uint8_t* data, std::size_t size, const std::uint8_t* pattern,
                  std::size_t length, std::vector<std::uint32_t>* matches, FindStats* stats) {
    if (stats)
        *stats = FindStats{};
    if (length == 0 || length > size || !data || !pattern || !matches)
        return;
    Scanner scanner(data, size, pattern, length, matches);
    scanner.Run();
    if (stats)
        stats->usedLinearSearch = scanner.UsedLinearSearch();
}

void FindInBuffer(const std::uint8_t* data, std::size_t size, const std::uint8_t* pattern,
                  std::size_t length, std::vector<std::uint32_t>* matches) {
    FindInBuffer(data, size, pattern, length, matches, nullptr);
}

int FindAllOccurrences(std::vector<std::uint32_t>* matches, const char* path,
                       const std::uint8_t* pattern, std::uint32_t length) {
    matches->clear();
    FileMatches found;
    if (!SearchFile(path, ExactPattern(pattern, length), SIZE_MAX, &found))
        return 0;
    matches->assign(found.listed.begin(), found.listed.end());
    return 1;
}

std::string FormatSearchResult(bool fileRead, const std::vector<std::uint64_t>& matches) {
    if (!fileRead)
        return Translate("Search", QT_TRANSLATE_NOOP("Search", "文件读取失败"));
    if (matches.empty())
        return Translate("Search", QT_TRANSLATE_NOOP("Search", "没找到"));
    char entry[24];
    if (matches.size() == 1) {
        std::snprintf(entry, sizeof entry, "%08llx", static_cast<unsigned long long>(matches[0]));
        return entry;
    }
    std::string text = Translate("Search", QT_TRANSLATE_NOOP("Search", "多个: "));
    for (const std::uint64_t offset : matches) {
        std::snprintf(entry, sizeof entry, "%08llx, ", static_cast<unsigned long long>(offset));
        text += entry;
        if (text.size() >= 100) {
            text += "...";
            break;
        }
    }
    return text;
}

std::string SearchBackupForHexText(const std::string& backupPath, const std::string& oldDataText) {
    // The old data box holds at most 4095 characters; the text ends at a zero byte.
    char text[4096];
    const std::size_t take = oldDataText.size() < 4095 ? oldDataText.size() : 4095;
    std::memcpy(text, oldDataText.data(), take);
    text[take] = '\0';
    std::uint8_t pattern[2048] = {};
    const std::uint32_t length = ParseHexText(text, pattern, sizeof pattern);
    FileMatches found;
    const bool read =
        SearchFile(backupPath, ExactPattern(pattern, length), kSearchResultMatches, &found);
    return FormatSearchResult(read, found.listed);
}
