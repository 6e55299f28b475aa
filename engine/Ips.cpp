// IPS and IPS32: a header, records of a big-endian offset, a 2-byte size and
// the data (size 0: a run of one byte value), and an end marker.
#include "engine/ExchangeInternal.h"

#include <algorithm>
#include <cstring>

namespace exchange {

namespace {

struct Flavour {
    const char* header;
    const char* marker;      // end marker; also the offset no record may start at
    std::uint32_t markerAt;  // that offset as a number
    std::size_t offsetBytes; // 3 or 4
    std::uint32_t maxOffset;
    const char* name;
};

constexpr Flavour kIps{"PATCH", "EOF", 0x454F46, 3, 0xFFFFFF, "IPS"};
constexpr Flavour kIps32{"IPS32", "EEOF", 0x45454F46, 4, 0xFFFFFFFF, "IPS32"};

std::uint64_t ReadBigEndian(const std::uint8_t* at, std::size_t count) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < count; ++i)
        value = value << 8 | at[i];
    return value;
}

void PutBigEndian(std::vector<std::uint8_t>* out, std::uint64_t value, std::size_t count) {
    for (std::size_t i = count; i-- > 0;)
        out->push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// A record cannot start at the end marker's offset, so writers start it one
// byte earlier and repeat the byte there. That byte is left out when it
// changes nothing, so that the item starts where it was meant to. Knows what
// the records so far left at that byte.
class Padding {
  public:
    Padding(const Flavour& f, Bytes backup) : at_(f.markerAt - 1) {
        if (at_ < backup.size())
            current_ = backup[at_];
    }
    // How many bytes at the front of a record to leave out: 0 or 1.
    std::uint32_t Skip(std::uint64_t offset, const std::uint8_t* data, std::uint32_t length) const {
        return offset == at_ && length > 0 && current_ == data[0] ? 1 : 0;
    }
    // A record was taken: remember its byte there (of a run, its one value).
    void Taken(std::uint64_t offset, const std::uint8_t* data, std::uint32_t length,
               bool run = false) {
        if (offset <= at_ && at_ - offset < length)
            current_ = data[run ? 0 : at_ - offset];
    }

  private:
    std::uint64_t at_;
    int current_ = -1; // -1: outside the backup
};

} // namespace

bool ParseIps(bool ips32, Bytes patch, ChangeSet* changes, std::string* error) {
    const Flavour& f = ips32 ? kIps32 : kIps;
    const std::size_t size = patch.size();
    const std::uint8_t* p = patch.data();
    if (size < 5 || std::memcmp(p, f.header, 5) != 0)
        return changes->FailFile(
            Message(QT_TRANSLATE_NOOP("PatchExchange", "不是 %1 文件: 开头不是 \"%2\""),
                    {f.name, f.header}),
            error);
    const std::size_t markerLength = f.offsetBytes;
    Padding padding(f, changes->backup());
    std::size_t pos = 5;
    std::uint32_t record = 0;
    for (;;) {
        const Place place{Place::Kind::Record, ++record, pos};
        const std::size_t left = size - pos;
        if (left == 0)
            return changes->FailFile(
                Message(QT_TRANSLATE_NOOP("PatchExchange", "文件在结束标记 \"%1\" 之前就结束了"),
                        {f.marker}),
                error);
        if (left >= markerLength && std::memcmp(p + pos, f.marker, markerLength) == 0) {
            pos += markerLength;
            break;
        }
        if (left < f.offsetBytes + 2)
            return changes->Fail(place,
                                 Message(QT_TRANSLATE_NOOP(
                                     "PatchExchange", "文件不完整: 在记录的偏移和长度中间结束")),
                                 error);
        const std::uint64_t offset = ReadBigEndian(p + pos, f.offsetBytes);
        const auto length = static_cast<std::uint32_t>(ReadBigEndian(p + pos + f.offsetBytes, 2));
        pos += f.offsetBytes + 2;
        if (length == 0) {
            if (size - pos < 3)
                return changes->Fail(
                    place,
                    Message(QT_TRANSLATE_NOOP("PatchExchange",
                                              "文件不完整: 在重复字节的次数和值中间结束")),
                    error);
            const auto count = static_cast<std::uint32_t>(ReadBigEndian(p + pos, 2));
            const std::uint8_t* value = p + pos + 2;
            pos += 3;
            const std::uint32_t skip = padding.Skip(offset, value, count);
            if (!changes->AddRun(place, offset + skip, *value, count - skip, error))
                return false;
            padding.Taken(offset, value, count, true);
            continue;
        }
        if (size - pos < length)
            return changes->Fail(
                place,
                Message(QT_TRANSLATE_NOOP("PatchExchange",
                                          "文件不完整: 声明了 %1 个数据字节, 实际只有 %2 个"),
                        {std::to_string(length), std::to_string(size - pos)}),
                error);
        const std::uint32_t skip = padding.Skip(offset, p + pos, length);
        if (!changes->Add(place, offset + skip, p + pos + skip, length - skip, nullptr, error))
            return false;
        padding.Taken(offset, p + pos, length);
        pos += length;
    }
    const std::size_t trailing = size - pos;
    if (trailing == 0)
        return true;
    if (!ips32 && trailing == 3) {
        // A length to cut the file to: harmless only when it is the backup's own.
        const std::uint64_t cut = ReadBigEndian(p + pos, 3);
        if (cut == changes->backup().size())
            return true;
        return changes->FailFile(
            Message(QT_TRANSLATE_NOOP("PatchExchange",
                                      "补丁在 \"EOF\" 之后把文件长度设为 %1 字节 (备份文件有 %2 "
                                      "字节); 项目无法改变文件的大小"),
                    {std::to_string(cut), std::to_string(changes->backup().size())}),
            error);
    }
    return changes->FailFile(
        Message(QT_TRANSLATE_NOOP("PatchExchange", "结束标记 \"%1\" 之后有 %2 个多余的字节"),
                {f.marker, std::to_string(trailing)}),
        error);
}

bool WriteIps(bool ips32, const ExportRuns& runs, std::vector<std::uint8_t>* out,
              std::string* error) {
    const Flavour& f = ips32 ? kIps32 : kIps;
    out->clear();
    std::size_t estimate = 5 + f.offsetBytes + runs.pool.size();
    estimate += runs.runs.size() * (f.offsetBytes + 3);
    out->reserve(estimate);
    Append(out, f.header);
    for (const Run& run : runs.runs) {
        const std::uint8_t* data = runs.pool.data() + run.data;
        std::uint32_t pos = run.offset;
        std::uint32_t left = run.length;
        while (left > 0) {
            // A record may not start where it would read as the end marker:
            // one starting a run there starts one byte earlier and repeats
            // the backup's unchanged byte (runs never touch one another).
            std::uint32_t start = pos;
            std::uint32_t lead = 0;
            if (start == f.markerAt) {
                start -= 1;
                lead = 1;
            }
            if (start > f.maxOffset) {
                if (error)
                    *error = Message(
                        ips32 ? QT_TRANSLATE_NOOP("PatchExchange",
                                                  "偏移 %1 超出了 %2 的范围 (记录最多从 %3 开始)")
                              : QT_TRANSLATE_NOOP("PatchExchange",
                                                  "偏移 %1 超出了 %2 的范围 (记录最多从 %3 开始; "
                                                  "IPS32 可达 4 GiB)"),
                        {Hex32(pos), f.name, Hex32(f.maxOffset)});
                return false;
            }
            std::uint32_t take = std::min<std::uint32_t>(left, 0xFFFF - lead);
            // Nor may the run's next record start there or just before it
            // (where a reader takes a repeated byte for padding).
            if (take < left && (pos + take == f.markerAt || pos + take + 1 == f.markerAt))
                take -= 2;
            PutBigEndian(out, start, f.offsetBytes);
            PutBigEndian(out, take + lead, 2);
            if (lead)
                out->push_back(runs.backup[start]);
            out->insert(out->end(), data + (pos - run.offset), data + (pos - run.offset) + take);
            pos += take;
            left -= take;
        }
    }
    Append(out, f.marker);
    return true;
}

} // namespace exchange
