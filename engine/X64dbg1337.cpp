// x64dbg patch files: a first line ">" and the module's file name, then
// "RVA:OLD->NEW" for every changed byte, the address relative to the image
// base and placed in the file through the backup's PE section table.
#include "engine/ExchangeInternal.h"

namespace exchange {

namespace {

std::uint32_t Little32(Bytes image, std::size_t at) {
    return std::uint32_t(image[at]) | std::uint32_t(image[at + 1]) << 8 |
           std::uint32_t(image[at + 2]) << 16 | std::uint32_t(image[at + 3]) << 24;
}

std::uint16_t Little16(Bytes image, std::size_t at) {
    return static_cast<std::uint16_t>(image[at] | image[at + 1] << 8);
}

} // namespace

bool PeSections::Load(Bytes image) {
    sections_.clear();
    sizeOfHeaders_ = 0;
    if (image.size() < 0x40 || image[0] != 'M' || image[1] != 'Z')
        return false;
    const std::size_t pe = Little32(image, 0x3C);
    // "PE\0\0", the 20-byte file header, then the optional header.
    if (pe > image.size() || image.size() - pe < 24 || Little32(image, pe) != 0x00004550)
        return false;
    const std::size_t count = Little16(image, pe + 6);
    const std::size_t optionalSize = Little16(image, pe + 20);
    const std::size_t optional = pe + 24;
    if (optionalSize < 64 || image.size() - optional < optionalSize)
        return false;
    const std::uint16_t magic = Little16(image, optional);
    if (magic != 0x10B && magic != 0x20B) // PE32, PE32+
        return false;
    sizeOfHeaders_ = Little32(image, optional + 60);
    const std::size_t table = optional + optionalSize;
    if ((image.size() - table) / 40 < count)
        return false;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = table + 40 * i;
        sections_.push_back(Section{Little32(image, at + 12), Little32(image, at + 8),
                                    Little32(image, at + 20), Little32(image, at + 16)});
    }
    return true;
}

bool PeSections::RvaToOffset(std::uint64_t rva, std::uint64_t* offset) const {
    if (rva < sizeOfHeaders_) {
        *offset = rva;
        return true;
    }
    for (const Section& s : sections_) {
        const std::uint64_t mapped = s.virtualSize ? s.virtualSize : s.rawSize;
        if (rva >= s.virtualAddress && rva - s.virtualAddress < mapped &&
            rva - s.virtualAddress < s.rawSize) {
            *offset = rva - s.virtualAddress + s.rawPointer;
            return true;
        }
    }
    return false;
}

bool PeSections::OffsetToRva(std::uint32_t offset, std::uint32_t* rva) const {
    if (offset < sizeOfHeaders_) {
        *rva = offset;
        return true;
    }
    for (const Section& s : sections_) {
        const std::uint64_t mapped = s.virtualSize ? s.virtualSize : s.rawSize;
        const std::uint64_t delta = std::uint64_t(offset) - s.rawPointer;
        if (offset >= s.rawPointer && delta < s.rawSize && delta < mapped &&
            s.virtualAddress + delta <= 0xFFFFFFFFu) {
            *rva = static_cast<std::uint32_t>(s.virtualAddress + delta);
            return true;
        }
    }
    return false;
}

bool ParseX64dbg1337(Bytes patch, ChangeSet* changes, std::string* error) {
    LineReader lines(patch);
    std::string_view line;
    if (!lines.Next(&line) || Trim(line).substr(0, 1) != ">")
        return changes->Fail(
            Place{Place::Kind::Line, 1, 0},
            Message(QT_TRANSLATE_NOOP("PatchExchange", "不是 x64dbg 补丁文件: 第一行不是以 "
                                                       "\">\" 开头")),
            error);
    PeSections pe;
    bool peRead = false;
    while (lines.Next(&line)) {
        std::string_view rest = Trim(line);
        if (rest.empty())
            continue;
        const Place place{Place::Kind::Line, lines.number(), 0};
        std::uint64_t rva = 0;
        std::uint8_t oldByte = 0, newByte = 0;
        // Blanks may stand around the ':' and the "->".
        const auto blanks = [&rest] { return SkipBlanks(&rest), true; };
        const bool ok = TakeHexNumber(&rest, 16, &rva) && blanks() && TakeText(&rest, ":") &&
                        blanks() && TakeHexByte(&rest, &oldByte) && blanks() &&
                        TakeText(&rest, "->") && blanks() && TakeHexByte(&rest, &newByte) &&
                        rest.empty();
        if (!ok)
            return changes->Fail(
                place,
                Message(QT_TRANSLATE_NOOP("PatchExchange", "应为 \"RVA:OLD->NEW\", "
                                                           "每个字节为两位十六进制数")),
                error);
        if (!peRead) {
            // As for an export: the format cannot be used with this backup.
            if (!pe.Load(changes->backup()))
                return changes->Fail(
                    place,
                    Message(QT_TRANSLATE_NOOP("PatchExchange",
                                              "备份文件不是 PE 文件, 因此无法在其中找到 RVA %1"),
                            {Hex32(rva)}),
                    error);
            peRead = true;
        }
        std::uint64_t offset = 0;
        if (!pe.RvaToOffset(rva, &offset))
            return changes->FailMismatch(
                place,
                Message(QT_TRANSLATE_NOOP("PatchExchange", "RVA %1 不在备份文件的文件头"
                                                           "或任何节的数据之内"),
                        {Hex32(rva)}),
                error);
        if (!changes->Add(place, offset, &newByte, 1, &oldByte, error))
            return false;
    }
    return true;
}

bool WriteX64dbg1337(const ExportRuns& runs, std::vector<std::uint8_t>* out, std::string* error) {
    PeSections pe;
    if (!runs.runs.empty() && !pe.Load(runs.backup)) {
        if (error)
            *error = Message(QT_TRANSLATE_NOOP("PatchExchange",
                                               "备份文件不是 PE 文件: x64dbg 格式按字节在载入后的"
                                               "映像中的地址定位, 这需要文件的节表"));
        return false;
    }
    out->clear();
    out->reserve(8 + runs.backupName.size() + runs.pool.size() * 16);
    out->push_back('>');
    Append(out, runs.backupName);
    Append(out, "\r\n");
    for (const Run& run : runs.runs) {
        for (std::uint32_t i = 0; i < run.length; ++i) {
            const std::uint32_t offset = run.offset + i;
            std::uint32_t rva = 0;
            std::uint64_t back = 0;
            // Only an address that leads back to the same byte can be written.
            if (!pe.OffsetToRva(offset, &rva) || !pe.RvaToOffset(rva, &back) || back != offset) {
                if (error)
                    *error = Message(QT_TRANSLATE_NOOP("PatchExchange",
                                                       "偏移 %1 不在备份文件的文件头或任何节的"
                                                       "数据之内, 因此在载入后的映像中没有地址"),
                                     {Hex32(offset)});
                return false;
            }
            AppendHexNumber(out, rva, 8);
            out->push_back(':');
            AppendHexByte(out, runs.backup[offset]);
            Append(out, "->");
            AppendHexByte(out, runs.pool[run.data + i]);
            Append(out, "\r\n");
        }
    }
    return true;
}

} // namespace exchange
