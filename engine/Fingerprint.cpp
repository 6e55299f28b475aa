// File fingerprints: size and SHA-256, read in large blocks.
#include "engine/Fingerprint.h"

#include "engine/HexText.h"
#include "winutil/FdIo.h"
#include "winutil/UniqueFd.h"

#include <charconv>
#include <memory>

namespace {

// Large enough that the system call cost vanishes next to the hashing, small
// enough to stay in the cache.
constexpr std::size_t kBlockSize = std::size_t(1) << 20;

} // namespace

std::string FileFingerprint::Sha256Hex() const {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * sha256.size());
    for (const std::uint8_t byte : sha256) {
        hex.push_back(kDigits[byte >> 4]);
        hex.push_back(kDigits[byte & 15]);
    }
    return hex;
}

bool FileFingerprint::SetSha256Hex(const std::string& hex) {
    if (hex.size() != 2 * sha256.size())
        return false;
    std::array<std::uint8_t, 32> parsed{};
    for (std::size_t i = 0; i < parsed.size(); ++i) {
        const std::uint8_t high = kHexDigitValue[static_cast<unsigned char>(hex[2 * i])];
        const std::uint8_t low = kHexDigitValue[static_cast<unsigned char>(hex[2 * i + 1])];
        if (high > 15 || low > 15)
            return false;
        parsed[i] = static_cast<std::uint8_t>(high << 4 | low);
    }
    sha256 = parsed;
    return true;
}

bool FingerprintFile(const std::string& path, FileFingerprint* out) {
    FileInfo info;
    const UniqueFd file(OpenRegularForReading(path.c_str(), &info));
    if (!file.valid())
        return false;
    AdviseSequential(file.get());

    Sha256Stream hash;
    const std::unique_ptr<std::uint8_t[]> block(new (std::nothrow) std::uint8_t[kBlockSize]);
    if (!block)
        return false;
    // The size is what was hashed, so the two always describe the same bytes.
    FileFingerprint result;
    for (;;) {
        const std::int64_t got = ReadSomeAt(file.get(), result.size, block.get(), kBlockSize);
        if (got < 0)
            return false;
        if (got == 0)
            break;
        if (!hash.Add(block.get(), static_cast<std::size_t>(got)))
            return false;
        result.size += static_cast<std::uint64_t>(got);
    }
    if (!hash.Finish(&result.sha256))
        return false;
    if (out)
        *out = result;
    return true;
}

std::string FileStamp::Text() const {
    return std::to_string(device) + " " + std::to_string(inode) + " " + std::to_string(size) + " " +
           std::to_string(modifiedNs) + " " + std::to_string(changedNs);
}

bool FileStamp::SetText(const std::string& text) {
    FileStamp parsed;
    const char* at = text.data();
    const char* const end = at + text.size();
    auto number = [&](auto* value, bool last) {
        const auto [stop, error] = std::from_chars(at, end, *value, 10);
        if (error != std::errc() || stop == at)
            return false;
        at = stop;
        if (last)
            return at == end;
        if (at == end || *at != ' ')
            return false;
        ++at;
        return true;
    };
    if (!number(&parsed.device, false) || !number(&parsed.inode, false) ||
        !number(&parsed.size, false) || !number(&parsed.modifiedNs, false) ||
        !number(&parsed.changedNs, true))
        return false;
    *this = parsed;
    return true;
}

bool StampFile(const std::string& path, FileStamp* out) {
    const FileInfo info = LookAtPath(path);
    if (info.kind != FileKind::Regular)
        return false;
    out->device = info.volume;
    out->inode = info.index;
    out->size = info.size;
    out->modifiedNs = info.modifiedNs;
    out->changedNs = info.changedNs;
    return true;
}
