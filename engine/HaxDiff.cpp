// haxdiff/1.0: hunks "@@ OFFSET,-N,+M" (hex) followed by "- " lines with the
// old bytes (optional) and "+ " lines with the new bytes; other lines are
// comments.
#include "engine/ExchangeInternal.h"
#include "engine/HexText.h"

#include <algorithm>

namespace exchange {

namespace {

struct Hunk {
    Place place;
    std::uint64_t offset = 0;
    std::uint64_t oldCount = 0;
    std::uint64_t newCount = 0;
    std::vector<std::uint8_t> oldBytes;
    std::vector<std::uint8_t> newBytes;
};

// Hex bytes of one "- " or "+ " line: pairs of digits, blanks between pairs.
bool TakeLineBytes(std::string_view text, const Place& place, std::vector<std::uint8_t>* out,
                   const ChangeSet& changes, std::string* error) {
    for (;;) {
        SkipBlanks(&text);
        if (text.empty())
            return true;
        std::uint8_t value;
        if (!TakeHexByte(&text, &value)) {
            const bool lone = IsHexDigit(static_cast<unsigned char>(text[0])) &&
                              (text.size() == 1 || text[1] == ' ' || text[1] == '\t');
            return changes.Fail(
                place,
                Message(lone
                            ? QT_TRANSLATE_NOOP("PatchExchange",
                                                "十六进制数字的个数为奇数: 有一个数字单独出现")
                            : QT_TRANSLATE_NOOP("PatchExchange", "每个字节必须是一对十六进制数字")),
                error);
        }
        out->push_back(value);
    }
}

bool Finish(const Hunk& hunk, ChangeSet* changes, std::string* error) {
    if (hunk.oldCount != hunk.newCount)
        return changes->Fail(
            hunk.place,
            Message(QT_TRANSLATE_NOOP("PatchExchange",
                                      "该差异块把 %1 字节替换为 %2 字节; 项目无法改变文件的大小"),
                    {std::to_string(hunk.oldCount), std::to_string(hunk.newCount)}),
            error);
    if (hunk.newBytes.size() != hunk.newCount)
        return changes->Fail(
            hunk.place,
            Message(QT_TRANSLATE_NOOP("PatchExchange",
                                      "该差异块声明了 %1 个新字节, 但其 \"+ \" 行中有 %2 个"),
                    {std::to_string(hunk.newCount), std::to_string(hunk.newBytes.size())}),
            error);
    if (!hunk.oldBytes.empty() && hunk.oldBytes.size() != hunk.oldCount)
        return changes->Fail(
            hunk.place,
            Message(QT_TRANSLATE_NOOP("PatchExchange",
                                      "该差异块声明了 %1 个原始字节, 但其 \"- \" 行中有 %2 个"),
                    {std::to_string(hunk.oldCount), std::to_string(hunk.oldBytes.size())}),
            error);
    if (hunk.newCount > 0xFFFFFFFFu)
        return changes->Fail(
            hunk.place, Message(QT_TRANSLATE_NOOP("PatchExchange", "该差异块大于 4 GiB")), error);
    return changes->Add(hunk.place, hunk.offset, hunk.newBytes.data(),
                        static_cast<std::uint32_t>(hunk.newCount),
                        hunk.oldBytes.empty() ? nullptr : hunk.oldBytes.data(), error);
}

} // namespace

bool ParseHaxDiff(Bytes patch, ChangeSet* changes, std::string* error) {
    LineReader lines(patch);
    std::string_view line;
    Hunk hunk;
    bool open = false;
    while (lines.Next(&line)) {
        const Place place{Place::Kind::Line, lines.number(), 0};
        if (line.substr(0, 2) == "@@") {
            if (open && !Finish(hunk, changes, error))
                return false;
            hunk = Hunk{};
            hunk.place = place;
            std::string_view rest = line.substr(2);
            bool ok = SkipBlanks(&rest) && TakeHexNumber(&rest, 16, &hunk.offset) &&
                      TakeText(&rest, ",-") && TakeHexNumber(&rest, 16, &hunk.oldCount) &&
                      TakeText(&rest, ",+") && TakeHexNumber(&rest, 16, &hunk.newCount);
            if (ok) { // a closing "@@" is optional
                SkipBlanks(&rest);
                TakeText(&rest, "@@");
                ok = Trim(rest).empty();
            }
            if (!ok)
                return changes->Fail(
                    place,
                    Message(QT_TRANSLATE_NOOP("PatchExchange", "应为十六进制的差异块头 "
                                                               "\"@@ OFFSET,-N,+M\"")),
                    error);
            open = true;
        } else if (open && line.substr(0, 2) == "- ") {
            if (!TakeLineBytes(line.substr(2), place, &hunk.oldBytes, *changes, error))
                return false;
        } else if (open && line.substr(0, 2) == "+ ") {
            if (!TakeLineBytes(line.substr(2), place, &hunk.newBytes, *changes, error))
                return false;
        }
    }
    return !open || Finish(hunk, changes, error);
}

void WriteHaxDiff(const ExportRuns& runs, std::vector<std::uint8_t>* out) {
    constexpr std::uint32_t kPerLine = 16;
    out->clear();
    out->reserve(16 + runs.runs.size() * 32 + runs.pool.size() * 7);
    Append(out, "haxdiff/1.0\n");
    const auto put = [out](const std::uint8_t* data, std::uint32_t length, char sign) {
        for (std::uint32_t i = 0; i < length; i += kPerLine) {
            out->push_back(static_cast<std::uint8_t>(sign));
            for (std::uint32_t k = i; k < std::min(length, i + kPerLine); ++k) {
                out->push_back(' ');
                AppendHexByte(out, data[k]);
            }
            out->push_back('\n');
        }
    };
    for (const Run& run : runs.runs) {
        const auto hexDigits = [](std::uint64_t value) {
            int digits = 1;
            while (digits < 16 && (value >> (4 * digits)) != 0)
                ++digits;
            return digits;
        };
        Append(out, "@@ ");
        AppendHexNumber(out, run.offset, hexDigits(run.offset));
        Append(out, ",-");
        AppendHexNumber(out, run.length, hexDigits(run.length));
        Append(out, ",+");
        AppendHexNumber(out, run.length, hexDigits(run.length));
        out->push_back('\n');
        put(runs.backup.data() + run.offset, run.length, '-');
        put(runs.pool.data() + run.data, run.length, '+');
    }
}

} // namespace exchange
