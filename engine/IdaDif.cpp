// IDA difference files: a first line "This difference file ... created by
// IDA ...", the input file's name, then "OFFSET: OLD NEW" for every changed
// byte, in hex.
#include "engine/ExchangeInternal.h"

namespace exchange {

bool ParseIdaDif(Bytes patch, ChangeSet* changes, std::string* error) {
    LineReader lines(patch);
    std::string_view line;
    if (!lines.Next(&line) || Trim(line).substr(0, 20) != "This difference file")
        return changes->Fail(
            Place{Place::Kind::Line, 1, 0},
            Message(QT_TRANSLATE_NOOP("PatchExchange", "不是 IDA 差异文件: 第一行不是以 "
                                                       "\"This difference file\" 开头")),
            error);
    bool named = false; // the first line with text after the header names the input file
    while (lines.Next(&line)) {
        std::string_view rest = Trim(line);
        if (rest.empty())
            continue;
        if (!named) {
            named = true;
            continue;
        }
        const Place place{Place::Kind::Line, lines.number(), 0};
        std::uint64_t offset = 0;
        std::uint8_t oldByte = 0, newByte = 0;
        if (!TakeHexNumber(&rest, 16, &offset) || !TakeText(&rest, ":"))
            return changes->Fail(
                place,
                Message(QT_TRANSLATE_NOOP("PatchExchange", "应为 \"OFFSET: OLD NEW\", "
                                                           "偏移为最多 16 位的十六进制数")),
                error);
        SkipBlanks(&rest);
        if (!TakeHexByte(&rest, &oldByte) || !SkipBlanks(&rest) || !TakeHexByte(&rest, &newByte) ||
            !rest.empty())
            return changes->Fail(
                place,
                Message(QT_TRANSLATE_NOOP("PatchExchange", "应为 \"OFFSET: OLD NEW\", "
                                                           "每个字节为两位十六进制数")),
                error);
        if (!changes->Add(place, offset, &newByte, 1, &oldByte, error))
            return false;
    }
    return true;
}

void WriteIdaDif(const ExportRuns& runs, std::vector<std::uint8_t>* out) {
    out->clear();
    out->reserve(64 + runs.backupName.size() + runs.pool.size() * 16);
    Append(out, "This difference file was created by IDA\r\n\r\n");
    Append(out, runs.backupName);
    Append(out, "\r\n");
    for (const Run& run : runs.runs) {
        for (std::uint32_t i = 0; i < run.length; ++i) {
            // A byte the item leaves as it is changes nothing: no line.
            if (runs.backup[run.offset + i] == runs.pool[run.data + i])
                continue;
            AppendHexNumber(out, run.offset + i, 8);
            Append(out, ": ");
            AppendHexByte(out, runs.backup[run.offset + i]);
            out->push_back(' ');
            AppendHexByte(out, runs.pool[run.data + i]);
            Append(out, "\r\n");
        }
    }
}

} // namespace exchange
