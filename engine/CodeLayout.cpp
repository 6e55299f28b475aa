// Reading PE and ELF headers for their code sections and relocations, and
// finding the address fields of x86 instructions with Zydis.
#include "engine/CodeLayout.h"

#ifdef BM_HAVE_ZYDIS
#include <Zydis/Zydis.h>
#endif

#include <algorithm>
#include <cstring>

namespace {

// Little-endian fields, 0 when they lie outside the file.
std::uint64_t Read(std::span<const std::uint8_t> file, std::uint64_t at, std::size_t size) {
    if (at > file.size() || size > file.size() - at)
        return 0;
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < size; ++i)
        value |= std::uint64_t(file[at + i]) << (8 * i);
    return value;
}

// Addresses below this are small constants far more often than addresses.
constexpr std::uint64_t kLowestAddress = 0x1000;
// Instructions decoded before the window, to find the one the item starts.
constexpr std::size_t kSyncBytes = 32;

} // namespace

CodeLayout::CodeLayout(std::span<const std::uint8_t> file) {
    if (file.size() >= 0x40 && file[0] == 'M' && file[1] == 'Z')
        ReadPe(file);
    else if (file.size() >= 0x34 && std::memcmp(file.data(),
                                                "\x7f"
                                                "ELF",
                                                4) == 0)
        ReadElf(file);
    imageLow_ = std::max(imageLow_, kLowestAddress);
}

void CodeLayout::ReadPe(std::span<const std::uint8_t> file) {
    const std::uint64_t pe = Read(file, 0x3C, 4);
    if (Read(file, pe, 4) != 0x00004550) // "PE\0\0"
        return;
    const auto machine = Read(file, pe + 4, 2);
    const auto sections = Read(file, pe + 6, 2);
    const auto optionalSize = Read(file, pe + 20, 2);
    const std::uint64_t opt = pe + 24;
    const auto magic = Read(file, opt, 2);
    std::uint64_t imageBase = 0;
    std::uint64_t directories = 0;
    std::uint64_t directoryCount = 0;
    if (magic == 0x10B) {
        imageBase = Read(file, opt + 28, 4);
        directoryCount = Read(file, opt + 92, 4);
        directories = opt + 96;
    } else if (magic == 0x20B) {
        imageBase = Read(file, opt + 24, 8);
        directoryCount = Read(file, opt + 108, 4);
        directories = opt + 112;
    } else {
        return;
    }
    program_ = true;
    imageLow_ = imageBase;
    imageHigh_ = imageBase + Read(file, opt + 56, 4);
    const bool x86 = machine == 0x14C || machine == 0x8664;

    struct Section {
        std::uint64_t rva, virtualSize, raw, rawSize;
    };
    std::vector<Section> table;
    const std::uint64_t first = opt + optionalSize;
    for (std::uint64_t i = 0; i < sections && i < 96; ++i) {
        const std::uint64_t at = first + 40 * i;
        if (at + 40 > file.size())
            break;
        Section s{Read(file, at + 12, 4), Read(file, at + 8, 4), Read(file, at + 20, 4),
                  Read(file, at + 16, 4)};
        s.rawSize =
            std::min<std::uint64_t>(s.rawSize, s.raw < file.size() ? file.size() - s.raw : 0);
        table.push_back(s);
        const auto flags = Read(file, at + 36, 4);
        const bool executable = (flags & 0x20000000) != 0 || (flags & 0x20) != 0;
        if (x86 && executable && s.rawSize != 0) {
            const std::uint64_t used =
                s.virtualSize ? std::min(s.virtualSize, s.rawSize) : s.rawSize;
            code_.push_back({s.raw, s.raw + used, machine == 0x8664});
        }
    }
    const auto toFile = [&table](std::uint64_t rva, std::uint64_t* out) {
        for (const Section& s : table) {
            if (rva >= s.rva && rva - s.rva < s.rawSize) {
                *out = s.raw + (rva - s.rva);
                return true;
            }
        }
        return false;
    };
    // The base relocations: blocks of a page address, a size and 16-bit
    // entries of a type and an offset into the page.
    if (directoryCount <= 5)
        return;
    const std::uint64_t relocRva = Read(file, directories + 5 * 8, 4);
    const std::uint64_t relocSize = Read(file, directories + 5 * 8 + 4, 4);
    std::uint64_t at = 0;
    if (relocSize == 0 || !toFile(relocRva, &at))
        return;
    const std::uint64_t end = std::min<std::uint64_t>(at + relocSize, file.size());
    while (at + 8 <= end) {
        const std::uint64_t page = Read(file, at, 4);
        const std::uint64_t blockSize = Read(file, at + 4, 4);
        if (blockSize < 8 || blockSize > end - at)
            break;
        for (std::uint64_t e = at + 8; e + 2 <= at + blockSize; e += 2) {
            const auto entry = Read(file, e, 2);
            const unsigned type = static_cast<unsigned>(entry >> 12);
            const std::size_t size = type == 3                  ? 4
                                     : type == 10               ? 8
                                     : (type == 1 || type == 2) ? 2
                                                                : 0;
            std::uint64_t field = 0;
            if (size && toFile(page + (entry & 0xFFF), &field))
                relocated_.push_back({static_cast<std::size_t>(field), size});
        }
        at += blockSize;
    }
    std::sort(relocated_.begin(), relocated_.end(),
              [](const Field& a, const Field& b) { return a.offset < b.offset; });
}

void CodeLayout::ReadElf(std::span<const std::uint8_t> file) {
    const bool wide = file[4] == 2;
    if ((file[4] != 1 && file[4] != 2) || file[5] != 1) // little-endian only
        return;
    const auto machine = Read(file, 18, 2);
    const std::uint64_t sectionsAt = wide ? Read(file, 0x28, 8) : Read(file, 0x20, 4);
    const std::uint64_t entrySize = Read(file, wide ? 0x3A : 0x2E, 2);
    const std::uint64_t count = Read(file, wide ? 0x3C : 0x30, 2);
    if (entrySize < (wide ? 64u : 40u))
        return;
    program_ = true;
    imageLow_ = ~std::uint64_t(0);
    imageHigh_ = 0;
    const bool x86 = machine == 3 || machine == 62;
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint64_t at = sectionsAt + i * entrySize;
        if (at > file.size() || entrySize > file.size() - at)
            break;
        const auto type = Read(file, at + 4, 4);
        const std::uint64_t flags = wide ? Read(file, at + 8, 8) : Read(file, at + 8, 4);
        const std::uint64_t address = wide ? Read(file, at + 16, 8) : Read(file, at + 12, 4);
        const std::uint64_t offset = wide ? Read(file, at + 24, 8) : Read(file, at + 16, 4);
        const std::uint64_t size = wide ? Read(file, at + 32, 8) : Read(file, at + 20, 4);
        if (flags & 2) { // SHF_ALLOC: part of the image
            imageLow_ = std::min(imageLow_, address);
            imageHigh_ = std::max(imageHigh_, address + size);
        }
        const bool inFile = type != 8 && offset < file.size(); // not SHT_NOBITS
        if (x86 && (flags & 4) && inFile)                      // SHF_EXECINSTR
            code_.push_back(
                {static_cast<std::size_t>(offset),
                 static_cast<std::size_t>(std::min<std::uint64_t>(offset + size, file.size())),
                 machine == 62});
    }
    if (imageHigh_ == 0)
        imageLow_ = 0;
}

bool CodeLayout::LooksLikeAddress(std::uint64_t value) const {
    return value >= imageLow_ && value < imageHigh_;
}

void CodeLayout::MaskWindow(std::span<const std::uint8_t> file, std::size_t begin, std::size_t end,
                            std::size_t keepBegin, std::size_t keepEnd, std::uint8_t* mask) const {
    std::vector<std::uint8_t> kept(mask + (keepBegin - begin), mask + (keepEnd - begin));
    // Relocated fields that reach into the window.
    auto it = std::lower_bound(relocated_.begin(), relocated_.end(), begin > 8 ? begin - 8 : 0,
                               [](const Field& f, std::size_t at) { return f.offset < at; });
    for (; it != relocated_.end() && it->offset < end; ++it)
        for (std::size_t i = it->offset; i < it->offset + it->size; ++i)
            if (i >= begin && i < end)
                mask[i - begin] = 0;
#ifdef BM_HAVE_ZYDIS
    for (const CodeRange& code : code_) {
        if (code.end <= begin || code.begin >= end)
            continue;
        // The item is taken to start an instruction: the bytes before it are
        // decoded from the first start, a little before the window, whose
        // instructions lead exactly to it; the item and what follows it are
        // decoded from the item on.
        const std::size_t from = std::max(code.begin, begin);
        const std::size_t item = std::clamp(keepBegin, from, code.end);
        if (item > from) {
            ZydisDecoder decoder;
            ZydisDecoderInit(
                &decoder, code.longMode ? ZYDIS_MACHINE_MODE_LONG_64 : ZYDIS_MACHINE_MODE_LEGACY_32,
                code.longMode ? ZYDIS_STACK_WIDTH_64 : ZYDIS_STACK_WIDTH_32);
            const std::size_t earliest = from - std::min(from - code.begin, kSyncBytes);
            std::size_t synced = from; // none found: straight from the window's start
            for (std::size_t start = earliest; start <= from; ++start) {
                std::size_t p = start;
                ZydisDecodedInstruction insn;
                while (p < item && ZYAN_SUCCESS(ZydisDecoderDecodeInstruction(
                                       &decoder, nullptr, file.data() + p, code.end - p, &insn)))
                    p += insn.length;
                if (p == item) {
                    synced = start;
                    break;
                }
            }
            MaskCode(file, code, synced, begin, item, mask);
        }
        if (item < std::min(code.end, end))
            MaskCode(file, code, item, begin, end, mask);
    }
#else
    // Built without an instruction decoder: the code's addresses stay in the
    // signature as plain context.
    (void)file;
#endif
    std::copy(kept.begin(), kept.end(), mask + (keepBegin - begin));
}

#ifdef BM_HAVE_ZYDIS

void CodeLayout::MaskCode(std::span<const std::uint8_t> file, const CodeRange& code,
                          std::size_t start, std::size_t begin, std::size_t end,
                          std::uint8_t* mask) const {
    ZydisDecoder decoder;
    ZydisDecoderInit(&decoder,
                     code.longMode ? ZYDIS_MACHINE_MODE_LONG_64 : ZYDIS_MACHINE_MODE_LEGACY_32,
                     code.longMode ? ZYDIS_STACK_WIDTH_64 : ZYDIS_STACK_WIDTH_32);
    const auto clear = [&](std::size_t at, std::size_t size) {
        for (std::size_t i = at; i < at + size; ++i)
            if (i >= begin && i < end)
                mask[i - begin] = 0;
    };
    std::size_t p = start;
    while (p < end && p < code.end) {
        ZydisDecodedInstruction insn;
        if (!ZYAN_SUCCESS(ZydisDecoderDecodeInstruction(&decoder, nullptr, file.data() + p,
                                                        code.end - p, &insn))) {
            ++p; // not code (data in a code section): step over one byte
            continue;
        }
        const auto& raw = insn.raw;
        if (raw.disp.size >= 32) {
            // RIP-relative (mod 0, r/m 5 in 64-bit code), or an absolute or
            // table address.
            const bool ripRelative =
                code.longMode && raw.modrm.offset != 0 && raw.modrm.mod == 0 && raw.modrm.rm == 5;
            const bool address = LooksLikeAddress(static_cast<std::uint64_t>(raw.disp.value) &
                                                  (raw.disp.size == 32 ? 0xFFFFFFFFull : ~0ull));
            if (ripRelative || address)
                clear(p + raw.disp.offset, raw.disp.size / 8);
        }
        for (const auto& imm : raw.imm) {
            if (imm.size == 0)
                continue;
            const std::uint64_t value =
                imm.size >= 64 ? imm.value.u : imm.value.u & ((std::uint64_t(1) << imm.size) - 1);
            if (imm.is_relative || (imm.size >= 32 && LooksLikeAddress(value)))
                clear(p + imm.offset, imm.size / 8);
        }
        p += insn.length;
    }
}

#endif
