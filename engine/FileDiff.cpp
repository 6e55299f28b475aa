// The items that turn one file into another: both files read side by side in
// blocks, equal stretches skipped a machine word group at a time, then the
// bytes of every run read again to make its items.
#include "engine/ExchangeInternal.h"
#include "engine/HexText.h"
#include "engine/PatchExchange.h"
#include "engine/Progress.h"
#include "winutil/FdIo.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <memory>

using namespace exchange;

namespace {

// Both blocks of a pass together stay within a typical second-level cache.
constexpr std::size_t kBlock = std::size_t(256) << 10;
// More changed bytes than this make no patch list anybody could review.
constexpr std::uint64_t kMaxChangedBytes = std::uint64_t(16) << 20;

class File {
  public:
    ~File() { CloseFd(fd_); }
    // Opens a regular file for reading (never blocking on a FIFO or device).
    bool Open(const std::string& path, std::string* error) {
        FileInfo info;
        fd_ = OpenForReading(path.c_str(), &info);
        if (fd_ < 0) {
            *error = Message(QT_TRANSLATE_NOOP("PatchExchange", "%1: 无法打开 (%2)"),
                             {path, std::strerror(errno)});
            return false;
        }
        if (info.kind != FileKind::Regular) {
            *error = Message(QT_TRANSLATE_NOOP("PatchExchange", "%1: 不是普通文件"), {path});
            return false;
        }
        size_ = info.size;
        path_ = path;
        AdviseSequential(fd_);
        return true;
    }
    std::uint64_t size() const { return size_; }

    // Exactly count bytes at offset; a short file is a failure (it changed).
    bool Read(std::uint64_t offset, std::uint8_t* out, std::size_t count,
              std::string* error) const {
        if (ReadAllAt(fd_, offset, out, count))
            return true;
        *error = errno != 0
                     ? path_ + ": " + std::strerror(errno)
                     : Message(QT_TRANSLATE_NOOP("PatchExchange", "%1: 文件比之前短了"), {path_});
        return false;
    }

  private:
    int fd_ = -1;
    std::uint64_t size_ = 0;
    std::string path_;
};

std::uint64_t Load64(const std::uint8_t* p) {
    std::uint64_t value;
    std::memcpy(&value, p, 8);
    return value;
}

// Index of the first byte in [from, to) where a and b differ, or to.
std::size_t FindDifferent(const std::uint8_t* a, const std::uint8_t* b, std::size_t from,
                          std::size_t to) {
    std::size_t i = from;
    for (; i + 32 <= to; i += 32) {
        const std::uint64_t x0 = Load64(a + i) ^ Load64(b + i);
        const std::uint64_t x1 = Load64(a + i + 8) ^ Load64(b + i + 8);
        const std::uint64_t x2 = Load64(a + i + 16) ^ Load64(b + i + 16);
        const std::uint64_t x3 = Load64(a + i + 24) ^ Load64(b + i + 24);
        if ((x0 | x1 | x2 | x3) != 0)
            break;
    }
    for (; i + 8 <= to; i += 8) {
        const std::uint64_t x = Load64(a + i) ^ Load64(b + i);
        if (x != 0) {
            if constexpr (std::endian::native == std::endian::little)
                return i + std::countr_zero(x) / 8;
            else
                return i + std::countl_zero(x) / 8;
        }
    }
    for (; i < to; ++i)
        if (a[i] != b[i])
            return i;
    return to;
}

// True when none of the eight bytes of x is zero.
bool AllBytesNonZero(std::uint64_t x) {
    constexpr std::uint64_t kLow = 0x0101010101010101ull, kHigh = 0x8080808080808080ull;
    return ((x - kLow) & ~x & kHigh) == 0;
}

struct Span {
    std::uint64_t start;
    std::uint64_t end;
};

// Pass over both files: the runs of differing bytes, joined across gaps of
// fewer than kDiffJoinGap equal bytes.
bool FindRuns(const File& original, const File& patched, std::uint64_t length,
              std::vector<Span>* runs, std::string* error, ExchangeProblem* problem) {
    if (problem)
        *problem = ExchangeProblem::File; // a read failed, unless said otherwise below
    std::unique_ptr<std::uint8_t[]> bufferA(new std::uint8_t[kBlock]);
    std::unique_ptr<std::uint8_t[]> bufferB(new std::uint8_t[kBlock]);
    const std::uint8_t* a = bufferA.get();
    const std::uint8_t* b = bufferB.get();
    bool inRun = false;
    std::uint64_t runStart = 0, lastDiff = 0, changed = 0;
    StepAddTotal(length);
    for (std::uint64_t base = 0; base < length; base += kBlock) {
        const std::size_t count =
            static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, length - base));
        if (StepCancelled())
            return false; // the caller tells a cancelled step by its Progress
        StepAdvance(count);
        if (!original.Read(base, bufferA.get(), count, error) ||
            !patched.Read(base, bufferB.get(), count, error))
            return false;
        std::size_t i = 0;
        while (i < count) {
            if (!inRun) {
                const std::size_t d = FindDifferent(a, b, i, count);
                if (d == count)
                    break;
                inRun = true;
                runStart = lastDiff = base + d;
                i = d + 1;
                continue;
            }
            // Within a run: the next difference must come before kDiffJoinGap
            // equal bytes have passed.
            const std::uint64_t gapEnd = lastDiff + 1 + kDiffJoinGap;
            if (i + 8 <= count && AllBytesNonZero(Load64(a + i) ^ Load64(b + i))) {
                lastDiff = base + i + 7;
                i += 8;
                continue;
            }
            const std::size_t limit =
                static_cast<std::size_t>(std::min<std::uint64_t>(gapEnd - base, count));
            const std::size_t d = FindDifferent(a, b, i, limit);
            if (d < limit) {
                lastDiff = base + d;
                i = d + 1;
                continue;
            }
            if (gapEnd - base > count) {
                i = count; // the gap goes on into the next block
                continue;
            }
            runs->push_back(Span{runStart, lastDiff + 1});
            changed += lastDiff + 1 - runStart;
            inRun = false;
            i = limit;
        }
        if (changed > kMaxChangedBytes)
            break;
    }
    if (inRun) {
        runs->push_back(Span{runStart, lastDiff + 1});
        changed += lastDiff + 1 - runStart;
    }
    if (changed > kMaxChangedBytes) {
        if (problem)
            *problem = ExchangeProblem::BadInput;
        *error = Message(QT_TRANSLATE_NOOP("PatchExchange",
                                           "两个文件的差异超过 %1 MiB: 变化太多, 无法作为修补列表"),
                         {std::to_string(kMaxChangedBytes >> 20)});
        return false;
    }
    return true;
}

} // namespace

bool DiffFiles(const std::string& originalPath, const std::string& patchedPath,
               bool commonLengthOnly, PatchList* items, std::string* error,
               ExchangeProblem* problem) {
    ExchangeProblem kind = ExchangeProblem::File;
    auto fail = [&](std::string why) {
        if (error)
            *error = std::move(why);
        if (problem)
            *problem = kind;
        return false;
    };
    std::string why;
    File original, patched;
    if (!original.Open(originalPath, &why) || !patched.Open(patchedPath, &why))
        return fail(why);
    kind = ExchangeProblem::BadInput;
    if (original.size() != patched.size() && !commonLengthOnly)
        return fail(Message(QT_TRANSLATE_NOOP("PatchExchange",
                                              "两个文件的长度不同 (%1: %2 字节, %3: %4 字节); "
                                              "项目无法改变文件的大小 (只比较共同的长度, "
                                              "即可比较两个文件都有的字节)"),
                            {originalPath, std::to_string(original.size()), patchedPath,
                             std::to_string(patched.size())}));
    const std::uint64_t length = std::min(original.size(), patched.size());
    if (length > (std::uint64_t(1) << 32))
        return fail(
            Message(QT_TRANSLATE_NOOP("PatchExchange", "文件大于 4 GiB: 项目的偏移只有 32 位")));
    std::vector<Span> runs;
    if (!FindRuns(original, patched, length, &runs, &why, &kind))
        return fail(why);
    kind = ExchangeProblem::File;
    PatchList result;
    result.reserve(runs.size());
    std::vector<std::uint8_t> oldBytes, newBytes;
    const std::string_view name = FileNameOf(patchedPath);
    std::uint32_t counter = 1;
    for (const Span& run : runs) {
        const std::size_t count = static_cast<std::size_t>(run.end - run.start);
        oldBytes.resize(count);
        newBytes.resize(count);
        if (!original.Read(run.start, oldBytes.data(), count, &why) ||
            !patched.Read(run.start, newBytes.data(), count, &why))
            return fail(why);
        AppendRunItems(name, static_cast<std::uint32_t>(run.start), oldBytes.data(),
                       newBytes.data(), count, &counter, &result);
    }
    *items = std::move(result);
    return true;
}

bool CheckDiffAgainstBackup(std::span<const PatchItem> items, const std::string& originalPath,
                            const std::string& backupPath, std::string* error,
                            ExchangeProblem* problem) {
    auto fail = [&](ExchangeProblem kind, std::string why) {
        if (error)
            *error = std::move(why);
        if (problem)
            *problem = kind;
        return false;
    };
    std::string why;
    File backup;
    if (!backup.Open(backupPath, &why))
        return fail(ExchangeProblem::File, why);
    std::uint8_t oldBytes[kMaxItemBytes];
    std::uint8_t found[kMaxItemBytes];
    for (const PatchItem& item : items) {
        const std::uint32_t length = ParseHexText(item.oldHex.c_str(), oldBytes, kMaxItemBytes);
        if (std::uint64_t(item.offset) + length > backup.size())
            return fail(ExchangeProblem::Mismatch,
                        Message(QT_TRANSLATE_NOOP("PatchExchange",
                                                  "%1: 偏移 %2 + %3 字节超出了备份文件 %4 的末尾 "
                                                  "(%5 字节): 原始文件不是目标文件的备份"),
                                {originalPath, Hex32(item.offset), std::to_string(length),
                                 backupPath, std::to_string(backup.size())}));
        if (!backup.Read(item.offset, found, length, &why))
            return fail(ExchangeProblem::File, why);
        const std::uint8_t* differs = std::mismatch(oldBytes, oldBytes + length, found).first;
        if (differs != oldBytes + length) {
            const std::size_t at = static_cast<std::size_t>(differs - oldBytes);
            return fail(ExchangeProblem::Mismatch,
                        Message(QT_TRANSLATE_NOOP("PatchExchange",
                                                  "%1: 偏移 %2 处的字节是 %3, 在备份文件 %4 中"
                                                  "却是 %5: 原始文件不是目标文件的备份"),
                                {originalPath, Hex32(item.offset + at), ByteHex(oldBytes[at]),
                                 backupPath, ByteHex(found[at])}));
        }
    }
    return true;
}
