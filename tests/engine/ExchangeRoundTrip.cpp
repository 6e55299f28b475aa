#include "tests/engine/ExchangeRoundTrip.h"

#include "engine/PatchExchange.h"

#include "winutil/FdIo.h"

#ifndef _WIN32
#include <sys/mman.h>
#endif

namespace {

// IPS: enough bytes to reach past the "EOF" offset, with varied contents.
std::span<const std::uint8_t> IpsBackup() {
    static const std::vector<std::uint8_t> bytes = [] {
        std::vector<std::uint8_t> b(0x460000);
        for (std::size_t i = 0; i < b.size(); ++i)
            b[i] = static_cast<std::uint8_t>(i * 131 + (i >> 9));
        return b;
    }();
    return bytes;
}

// IPS32: past the "EEOF" offset; untouched zero pages cost no memory.
std::span<const std::uint8_t> Ips32Backup() {
    static constexpr std::size_t kSize = 0x45460000;
#ifdef _WIN32
    static void* const bytes = AllocatePages(kSize);
    if (!bytes)
        return {};
#else
    static void* const bytes =
        ::mmap(nullptr, kSize, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (bytes == MAP_FAILED)
        return {};
#endif
    return {static_cast<const std::uint8_t*>(bytes), kSize};
}

} // namespace

bool CheckIpsRoundTrip(bool ips32, const std::uint8_t* data, std::size_t size, std::string* why) {
    const PatchFormat format = ips32 ? PatchFormat::Ips32 : PatchFormat::Ips;
    const std::span<const std::uint8_t> backup = ips32 ? Ips32Backup() : IpsBackup();
    if (backup.empty()) {
        *why = "no memory for the backup";
        return false;
    }
    PatchList items;
    std::string error;
    if (!ImportPatchData(format, {data, size}, "fuzz", backup, &items, &error)) {
        if (error.empty()) {
            *why = "refused without a message";
            return false;
        }
        return true;
    }
    std::vector<std::uint8_t> exported, again;
    PatchList reimported;
    if (!ExportPatchData(items, backup, "backup", format, false, &exported, &error)) {
        *why = "export of imported items failed: " + error;
        return false;
    }
    if (!ImportPatchData(format, exported, "fuzz", backup, &reimported, &error)) {
        *why = "the exported file does not import: " + error;
        return false;
    }
    if (reimported != items) {
        *why = "the exported file imports to other items";
        return false;
    }
    if (!ExportPatchData(reimported, backup, "backup", format, false, &again, &error) ||
        again != exported) {
        *why = "exporting the same items twice gives different files";
        return false;
    }
    return true;
}
