// Format names and detection, the changes an import gathers and the items
// made of them, the runs an export writes, and the small text helpers the
// formats share.
#include "engine/PatchExchange.h"

#include "engine/ExchangeInternal.h"
#include "engine/FileView.h"
#include "engine/Fingerprint.h"
#include "engine/HexText.h"
#include "engine/Progress.h"
#include "winutil/FileUtil.h"
#include "winutil/SafeFile.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace exchange {

namespace {

constexpr char kDigits[] = "0123456789ABCDEF";

bool StartsWith(Bytes bytes, std::string_view prefix) {
    return bytes.size() >= prefix.size() &&
           std::memcmp(bytes.data(), prefix.data(), prefix.size()) == 0;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

std::string DescribePlace(const Place& place) {
    if (place.kind == Place::Kind::Record)
        return Message(QT_TRANSLATE_NOOP("PatchExchange", "第 %1 条记录 (位于字节 %2)"),
                       {std::to_string(place.number), Hex32(place.at)});
    return Message(QT_TRANSLATE_NOOP("PatchExchange", "第 %1 行"), {std::to_string(place.number)});
}

} // namespace

std::string Message(const char* source, std::initializer_list<std::string_view> args) {
    return FormatText(Translate("PatchExchange", source), args);
}

std::string Hex32(std::uint64_t value) {
    const int digits = value > 0xFFFFFFFFu ? 16 : 8;
    std::string text = "0x";
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
        text += kDigits[(value >> shift) & 15];
    return text;
}

std::string ByteHex(std::uint8_t value) {
    return {kDigits[value >> 4], kDigits[value & 15]};
}

std::string_view FileNameOf(std::string_view path) {
    const std::size_t sep = path.find_last_of("/\\");
    return sep == std::string_view::npos ? path : path.substr(sep + 1);
}

// --- Import -------------------------------------------------------------

bool ChangeSet::Fail(const Place& place, std::string_view what, std::string* error) const {
    if (error)
        *error = std::string(name_) + ": " + DescribePlace(place) + ": " + std::string(what);
    return false;
}

bool ChangeSet::FailFile(std::string_view what, std::string* error) const {
    if (error)
        *error = std::string(name_) + ": " + std::string(what);
    return false;
}

bool ChangeSet::FailMismatch(const Place& place, std::string_view what, std::string* error) {
    mismatched_ = true;
    return Fail(place, what, error);
}

ChangeSet::ChangeSet(Bytes backup, std::string_view patchName)
    : backup_(backup), name_(patchName), compactAt_(2 * backup.size() + (std::size_t(16) << 20)) {}

bool ChangeSet::Fits(const Place& place, std::uint64_t offset, std::uint32_t length,
                     std::string* error) {
    // Items hold 32-bit offsets: a backup of 4 GiB or more is used only below that.
    const std::uint64_t limit = std::min<std::uint64_t>(backup_.size(), std::uint64_t(1) << 32);
    if (offset > limit || length > limit - offset)
        return FailMismatch(
            place,
            Message(QT_TRANSLATE_NOOP("PatchExchange",
                                      "偏移 %1 + %2 字节超出了备份文件的末尾 (%3 字节)"),
                    {Hex32(offset), std::to_string(length), std::to_string(backup_.size())}),
            error);
    return true;
}

bool ChangeSet::AddRun(const Place& place, std::uint64_t offset, std::uint8_t value,
                       std::uint32_t count, std::string* error) {
    if (count == 0)
        return true;
    if (!Fits(place, offset, count, error))
        return false;
    changes_.push_back(Change{offset, count, changes_.size(), pool_.size(), value});
    return true;
}

bool ChangeSet::Add(const Place& place, std::uint64_t offset, const std::uint8_t* newBytes,
                    std::uint32_t length, const std::uint8_t* oldBytes, std::string* error) {
    if (length == 0)
        return true;
    if (!Fits(place, offset, length, error))
        return false;
    const std::uint8_t* at = backup_.data() + offset;
    if (oldBytes && std::memcmp(at, oldBytes, length) != 0) {
        std::uint32_t i = 0;
        while (at[i] == oldBytes[i])
            ++i;
        return FailMismatch(
            place,
            Message(QT_TRANSLATE_NOOP("PatchExchange", "偏移 %1 处的原始数据在补丁中是 %2, "
                                                       "在备份文件中却是 %3"),
                    {Hex32(offset + i), ByteHex(oldBytes[i]), ByteHex(at[i])}),
            error);
    }
    // A change that continues the one before it (the usual case for the one
    // byte per line formats) extends it.
    if (!changes_.empty() && changes_.back().fill < 0 &&
        changes_.back().offset + changes_.back().length == offset &&
        changes_.back().data + changes_.back().length == pool_.size()) {
        changes_.back().length += length;
    } else {
        changes_.push_back(Change{offset, length, changes_.size(), pool_.size()});
    }
    pool_.insert(pool_.end(), newBytes, newBytes + length);
    if (pool_.size() > compactAt_) {
        Compact();
        compactAt_ = std::max(compactAt_, 2 * pool_.size());
    }
    return true;
}

void ChangeSet::Compact() {
    // The runs: the union of the changes, in offset order.
    std::vector<Change> sorted = changes_;
    std::sort(sorted.begin(), sorted.end(),
              [](const Change& a, const Change& b) { return a.offset < b.offset; });
    std::vector<Change> runs;
    std::size_t total = 0;
    for (const Change& c : sorted) {
        if (!runs.empty() && c.offset <= runs.back().offset + runs.back().length) {
            Change& run = runs.back();
            run.length = std::max(run.offset + run.length, c.offset + c.length) - run.offset;
        } else {
            runs.push_back(Change{c.offset, c.length, runs.size(), 0});
        }
    }
    for (Change& run : runs) {
        run.data = total;
        total += run.length;
    }
    // The later change wins where changes overlap: taken from the last to
    // the first, each fills only the bytes no later one has filled, so every
    // byte of the result is written once.
    std::vector<std::uint8_t> pool(total);
    std::map<std::uint64_t, std::uint64_t> filled; // start -> end, disjoint
    for (std::size_t i = changes_.size(); i-- > 0;) {
        const Change& c = changes_[i];
        const std::uint64_t end = c.offset + c.length;
        const Change& run = *std::prev(std::upper_bound(
            runs.begin(), runs.end(), c.offset,
            [](std::uint64_t offset, const Change& r) { return offset < r.offset; }));
        auto put = [&](std::uint64_t from, std::uint64_t to) {
            std::uint8_t* out = pool.data() + run.data + (from - run.offset);
            if (c.fill >= 0)
                std::memset(out, c.fill, to - from);
            else
                std::memcpy(out, pool_.data() + c.data + (from - c.offset), to - from);
        };
        std::uint64_t first = c.offset;
        std::uint64_t last = end;
        std::uint64_t at = c.offset;
        auto it = filled.upper_bound(c.offset);
        if (it != filled.begin() && std::prev(it)->second >= c.offset)
            --it;
        while (it != filled.end() && it->first <= end) {
            if (it->first > at)
                put(at, it->first);
            at = std::max(at, it->second);
            first = std::min(first, it->first);
            last = std::max(last, it->second);
            it = filled.erase(it);
        }
        if (at < end)
            put(at, end);
        filled.emplace(first, last);
    }
    changes_ = std::move(runs);
    pool_ = std::move(pool);
}

void ChangeSet::BuildItems(PatchList* items) {
    Compact();
    std::uint32_t counter = 1;
    for (const Change& run : changes_)
        AppendRunItems(name_, static_cast<std::uint32_t>(run.offset), backup_.data() + run.offset,
                       pool_.data() + run.data, run.length, &counter, items);
}

void AppendRunItems(std::string_view name, std::uint32_t offset, const std::uint8_t* oldData,
                    const std::uint8_t* newData, std::size_t length, std::uint32_t* counter,
                    PatchList* items) {
    for (std::size_t done = 0; done < length; done += kExchangeRunLength) {
        const auto part =
            static_cast<std::uint32_t>(std::min<std::size_t>(length - done, kExchangeRunLength));
        PatchItem item;
        item.offset = offset + static_cast<std::uint32_t>(done);
        item.description.reserve(name.size() + 12);
        item.description.append(name).append(" #").append(std::to_string((*counter)++));
        // Spaced upper-case pairs, as the item editor shows data.
        for (auto [data, hex] :
             {std::pair{oldData + done, &item.oldHex}, std::pair{newData + done, &item.newHex}}) {
            hex->resize(3 * part);
            hex->resize(FormatSpacedHexText(data, part, hex->data()));
        }
        item.enabled = 1;
        items->push_back(std::move(item));
    }
}

// --- Text helpers -------------------------------------------------------

LineReader::LineReader(Bytes text)
    : at_(reinterpret_cast<const char*>(text.data())), end_(at_ + text.size()) {
    if (StartsWith(text, "\xEF\xBB\xBF"))
        at_ += 3;
}

bool LineReader::Next(std::string_view* line) {
    if (at_ >= end_)
        return false;
    const char* stop = static_cast<const char*>(std::memchr(at_, '\n', end_ - at_));
    const char* next = stop ? stop + 1 : end_;
    if (!stop)
        stop = end_;
    if (stop > at_ && stop[-1] == '\r')
        --stop;
    *line = std::string_view(at_, stop - at_);
    at_ = next;
    ++number_;
    return true;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

bool TakeHexNumber(std::string_view* text, int maxDigits, std::uint64_t* value) {
    std::uint64_t v = 0;
    std::size_t n = 0;
    while (n < text->size() && IsHexDigit(static_cast<unsigned char>((*text)[n]))) {
        if (n == static_cast<std::size_t>(maxDigits))
            return false;
        v = v << 4 | kHexDigitValue[static_cast<unsigned char>((*text)[n])];
        ++n;
    }
    if (n == 0)
        return false;
    text->remove_prefix(n);
    *value = v;
    return true;
}

bool TakeHexByte(std::string_view* text, std::uint8_t* value) {
    if (text->size() < 2)
        return false;
    const std::uint8_t high = kHexDigitValue[static_cast<unsigned char>((*text)[0])];
    const std::uint8_t low = kHexDigitValue[static_cast<unsigned char>((*text)[1])];
    if (high > 15 || low > 15)
        return false;
    *value = static_cast<std::uint8_t>(high << 4 | low);
    text->remove_prefix(2);
    return true;
}

bool SkipBlanks(std::string_view* text) {
    std::size_t n = 0;
    while (n < text->size() && ((*text)[n] == ' ' || (*text)[n] == '\t'))
        ++n;
    text->remove_prefix(n);
    return n > 0;
}

bool TakeText(std::string_view* text, std::string_view prefix) {
    if (!text->starts_with(prefix))
        return false;
    text->remove_prefix(prefix.size());
    return true;
}

void Append(std::vector<std::uint8_t>* out, std::string_view text) {
    out->insert(out->end(), text.begin(), text.end());
}

void AppendHexByte(std::vector<std::uint8_t>* out, std::uint8_t value) {
    out->push_back(static_cast<std::uint8_t>(kDigits[value >> 4]));
    out->push_back(static_cast<std::uint8_t>(kDigits[value & 15]));
}

void AppendHexNumber(std::vector<std::uint8_t>* out, std::uint64_t value, int digits) {
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
        out->push_back(static_cast<std::uint8_t>(kDigits[(value >> shift) & 15]));
}

} // namespace exchange

using namespace exchange;

namespace {

struct FormatInfo {
    PatchFormat format;
    const char* name;
    const char* extension;
};

constexpr FormatInfo kFormats[] = {
    {PatchFormat::Ips, "ips", ".ips"},
    {PatchFormat::Ips32, "ips32", ".ips"},
    {PatchFormat::IdaDif, "dif", ".dif"},
    {PatchFormat::X64dbg1337, "1337", ".1337"},
    {PatchFormat::HaxDiff, "haxdiff", ".haxdiff"},
};

const FormatInfo& Info(PatchFormat format) {
    for (const FormatInfo& info : kFormats)
        if (info.format == format)
            return info;
    return kFormats[0];
}

// The item's number in the list, its description and its offset.
std::string DescribeItem(std::size_t index, const PatchItem& item) {
    return Message(QT_TRANSLATE_NOOP("PatchExchange", "项目 %1 \"%2\" (偏移 %3)"),
                   {std::to_string(index + 1), item.description, Hex32(item.offset)});
}

// Gives the kind of a refusal to a caller that asked for it; false.
bool Tell(ExchangeProblem* problem, ExchangeProblem kind) {
    if (problem)
        *problem = kind;
    return false;
}

bool Refuse(std::string* error, std::string text) {
    if (error)
        *error = std::move(text);
    return false;
}

std::string BackupUnreadable(const std::string& backupPath) {
    return Message(QT_TRANSLATE_NOOP("PatchExchange", "%1: 无法读取备份文件"), {backupPath});
}

bool Refuse(std::string* error, std::string text, ExchangeProblem* problem, ExchangeProblem kind) {
    Tell(problem, kind);
    return Refuse(error, std::move(text));
}

// The selected items, checked and joined into runs of new bytes.
bool CollectRuns(std::span<const PatchItem> items, Bytes backup, bool all, ExportRuns* out,
                 std::string* error) {
    struct Selected {
        std::uint32_t offset;
        std::uint64_t reach; // end of the bytes the item covers
        std::uint32_t newLength;
        std::uint32_t index;
        std::size_t data; // new bytes in pool
    };
    std::vector<Selected> selected;
    std::vector<std::uint8_t> pool;
    // The rebuild decodes at most this many bytes of a data text.
    constexpr std::uint32_t kDecoded = 4096;
    std::uint8_t oldBytes[kDecoded], newBytes[kDecoded];
    for (std::size_t i = 0; i < items.size(); ++i) {
        const PatchItem& item = items[i];
        if (!all && item.enabled == 0)
            continue;
        // Decoded exactly as the rebuild decodes them.
        const std::uint32_t oldLength = ParseHexText(item.oldHex.c_str(), oldBytes, kDecoded);
        const std::uint32_t newLength = ParseHexText(item.newHex.c_str(), newBytes, kDecoded);
        const std::uint64_t reach = std::uint64_t(item.offset) + std::max(oldLength, newLength);
        if (reach > backup.size())
            return Refuse(error, Message(QT_TRANSLATE_NOOP("PatchExchange",
                                                           "%1: 超出了备份文件的末尾 (%2 字节)"),
                                         {DescribeItem(i, item), std::to_string(backup.size())}));
        const std::uint8_t* at = backup.data() + item.offset;
        for (std::uint32_t k = 0; k < oldLength; ++k)
            if (at[k] != oldBytes[k])
                return Refuse(error,
                              Message(QT_TRANSLATE_NOOP("PatchExchange",
                                                        "%1: 原始数据与备份文件不匹配, 位于 %2 "
                                                        "(项目中是 %3, 备份文件中是 %4)"),
                                      {DescribeItem(i, item), Hex32(item.offset + k),
                                       ByteHex(oldBytes[k]), ByteHex(at[k])}));
        if (reach == item.offset)
            continue; // no data at all: nothing to write, nothing to overlap
        selected.push_back(
            Selected{item.offset, reach, newLength, static_cast<std::uint32_t>(i), pool.size()});
        pool.insert(pool.end(), newBytes, newBytes + newLength);
    }
    std::sort(selected.begin(), selected.end(), [](const Selected& a, const Selected& b) {
        return a.offset != b.offset ? a.offset < b.offset : a.index < b.index;
    });
    std::uint64_t coveredTo = 0;
    std::size_t coveredBy = 0;
    for (std::size_t k = 0; k < selected.size(); ++k) {
        const Selected& s = selected[k];
        if (k > 0 && s.offset < coveredTo) {
            const PatchItem& first = items[selected[coveredBy].index];
            return Refuse(error, Message(QT_TRANSLATE_NOOP("PatchExchange", "%1 与 %2 重叠"),
                                         {DescribeItem(s.index, items[s.index]),
                                          DescribeItem(selected[coveredBy].index, first)}));
        }
        if (s.reach > coveredTo) {
            coveredTo = s.reach;
            coveredBy = k;
        }
    }
    ExportRuns runs;
    runs.backup = backup;
    runs.pool.reserve(pool.size());
    for (const Selected& s : selected) {
        if (s.newLength == 0)
            continue;
        if (!runs.runs.empty() && runs.runs.back().offset + runs.runs.back().length == s.offset)
            runs.runs.back().length += s.newLength;
        else
            runs.runs.push_back(Run{s.offset, s.newLength, runs.pool.size()});
        runs.pool.insert(runs.pool.end(), pool.begin() + s.data,
                         pool.begin() + s.data + s.newLength);
    }
    *out = std::move(runs);
    return true;
}

} // namespace

const char* PatchFormatName(PatchFormat format) {
    return Info(format).name;
}

const char* PatchFormatExtension(PatchFormat format) {
    return Info(format).extension;
}

bool PatchFormatFromName(std::string_view name, PatchFormat* format) {
    for (const FormatInfo& info : kFormats) {
        if (EqualsIgnoringCase(name, info.name)) {
            *format = info.format;
            return true;
        }
    }
    return false;
}

bool DetectPatchFormat(std::span<const std::uint8_t> contents, std::string_view fileName,
                       PatchFormat* format) {
    Bytes text = contents;
    if (StartsWith(text, "\xEF\xBB\xBF"))
        text = text.subspan(3);
    struct Signature {
        const char* prefix;
        PatchFormat format;
    };
    static constexpr Signature kSignatures[] = {
        {"PATCH", PatchFormat::Ips},
        {"IPS32", PatchFormat::Ips32},
        {"This difference file", PatchFormat::IdaDif},
        {"haxdiff", PatchFormat::HaxDiff},
        {"@@ ", PatchFormat::HaxDiff},
        {">", PatchFormat::X64dbg1337},
    };
    for (const Signature& signature : kSignatures) {
        if (StartsWith(text, signature.prefix)) {
            *format = signature.format;
            return true;
        }
    }
    const std::string_view name = FileNameOf(fileName);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos)
        return false;
    for (const FormatInfo& info : kFormats) {
        if (EqualsIgnoringCase(name.substr(dot), info.extension)) {
            *format = info.format; // the first one: ".ips" is IPS
            return true;
        }
    }
    return false;
}

bool ImportPatchData(PatchFormat format, std::span<const std::uint8_t> patch,
                     std::string_view patchName, std::span<const std::uint8_t> backup,
                     PatchList* items, std::string* error, ExchangeProblem* problem) {
    ChangeSet changes(backup, patchName);
    bool ok = false;
    switch (format) {
    case PatchFormat::Ips:
    case PatchFormat::Ips32:
        ok = ParseIps(format == PatchFormat::Ips32, patch, &changes, error);
        break;
    case PatchFormat::IdaDif:
        ok = ParseIdaDif(patch, &changes, error);
        break;
    case PatchFormat::X64dbg1337:
        ok = ParseX64dbg1337(patch, &changes, error);
        break;
    case PatchFormat::HaxDiff:
        ok = ParseHaxDiff(patch, &changes, error);
        break;
    }
    if (!ok)
        return Tell(problem,
                    changes.Mismatched() ? ExchangeProblem::Mismatch : ExchangeProblem::BadInput);
    PatchList result;
    changes.BuildItems(&result);
    *items = std::move(result);
    return true;
}

bool ImportPatchFile(const std::string& patchPath, const std::string& backupPath, PatchList* items,
                     std::string* error, PatchFormat* format, ExchangeProblem* problem) {
    // A patch file that large holds no list anybody could review; it is not
    // read at all (a sparse file of gigabytes would take minutes).
    FileStamp stamp;
    if (StampFile(patchPath, &stamp) && stamp.size > kMaxPatchFileBytes)
        return Refuse(error,
                      Message(QT_TRANSLATE_NOOP("PatchExchange", "%1: 补丁文件大于 %2 MiB, 未读取"),
                              {patchPath, std::to_string(kMaxPatchFileBytes >> 20)}),
                      problem, ExchangeProblem::BadInput);
    FileBuffer patch;
    if (!patch.Load(patchPath.c_str()))
        return Refuse(error,
                      Message(QT_TRANSLATE_NOOP("PatchExchange", "%1: 无法读取"), {patchPath}),
                      problem, ExchangeProblem::File);
    const Bytes patchBytes(patch.data, patch.length);
    PatchFormat detected;
    if (!DetectPatchFormat(patchBytes, patchPath, &detected))
        return Refuse(
            error,
            Message(QT_TRANSLATE_NOOP("PatchExchange", "%1: 不是已知格式的补丁文件 (IPS, IPS32, "
                                                       "IDA .dif, x64dbg .1337, haxdiff)"),
                    {patchPath}),
            problem, ExchangeProblem::BadInput);
    // Only the bytes the patch changes are looked at: the backup is mapped.
    FileView backup;
    if (!backup.Open(backupPath))
        return Refuse(error, BackupUnreadable(backupPath), problem, ExchangeProblem::File);
    if (StepCancelled()) // the caller tells a cancelled step by its Progress
        return false;
    if (!ImportPatchData(detected, patchBytes, FileNameOf(patchPath), backup.bytes(), items, error,
                         problem))
        return false;
    if (format)
        *format = detected;
    return true;
}

bool ExportPatchData(std::span<const PatchItem> items, std::span<const std::uint8_t> backup,
                     std::string_view backupName, PatchFormat format, bool all,
                     std::vector<std::uint8_t>* bytes, std::string* error,
                     ExchangeProblem* problem) {
    ExportRuns runs;
    if (!CollectRuns(items, backup, all, &runs, error))
        return Tell(problem, ExchangeProblem::Mismatch);
    runs.backupName = backupName;
    std::vector<std::uint8_t> out;
    bool written = true;
    switch (format) {
    case PatchFormat::Ips:
    case PatchFormat::Ips32:
        written = WriteIps(format == PatchFormat::Ips32, runs, &out, error);
        break;
    case PatchFormat::IdaDif:
        WriteIdaDif(runs, &out);
        break;
    case PatchFormat::X64dbg1337:
        written = WriteX64dbg1337(runs, &out, error);
        break;
    case PatchFormat::HaxDiff:
        WriteHaxDiff(runs, &out);
        break;
    }
    if (!written) // the format cannot hold these items
        return Tell(problem, ExchangeProblem::BadInput);
    *bytes = std::move(out);
    return true;
}

bool ExportPatches(std::span<const PatchItem> items, const std::string& backupPath,
                   PatchFormat format, bool all, std::vector<std::uint8_t>* bytes,
                   std::string* error, ExchangeProblem* problem) {
    // Only the items' bytes are looked at: the backup is mapped.
    FileView backup;
    if (!backup.Open(backupPath))
        return Refuse(error, BackupUnreadable(backupPath), problem, ExchangeProblem::File);
    return ExportPatchData(items, backup.bytes(), FileNameOf(backupPath), format, all, bytes, error,
                           problem);
}

bool ExportPatchFile(std::span<const PatchItem> items, const std::string& backupPath,
                     PatchFormat format, bool all, const std::string& patchPath, std::string* error,
                     ExchangeProblem* problem) {
    std::vector<std::uint8_t> bytes;
    if (!ExportPatches(items, backupPath, format, all, &bytes, error, problem))
        return false;
    if (StepCancelled()) // nothing written yet; the caller tells it by its Progress
        return false;
    SafeFile::Reason why = SafeFile::Reason::Ok;
    if (ReplaceFileContents(patchPath, bytes.data(), bytes.size(), &why))
        return true;
    const char* reason =
        QT_TRANSLATE_NOOP("PatchExchange", "%1: 无法写入 (文件夹不存在, 磁盘已满或其他错误)");
    switch (why) {
    case SafeFile::Reason::NotRegular:
        reason = QT_TRANSLATE_NOOP("PatchExchange", "%1: 不是普通文件");
        break;
    case SafeFile::Reason::ReadOnly:
        reason = QT_TRANSLATE_NOOP("PatchExchange", "%1: 该文件不允许写入");
        break;
    case SafeFile::Reason::FolderRefused:
        reason = QT_TRANSLATE_NOOP("PatchExchange", "%1: 该文件夹不允许创建新文件");
        break;
    case SafeFile::Reason::InUse:
        reason = QT_TRANSLATE_NOOP("PatchExchange", "%1: 该文件正被另一个程序使用");
        break;
    default:
        break;
    }
    return Refuse(error, Message(reason, {patchPath}), problem, ExchangeProblem::File);
}
