// File fingerprints: size and SHA-256, read in large blocks.
#include "engine/Fingerprint.h"

#include "engine/HexText.h"
#include "winutil/FdIo.h"
#include "winutil/UniqueFd.h"

#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <memory>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Large enough that the system call cost vanishes next to the hashing, small
// enough to stay in the cache.
constexpr std::size_t kBlockSize = std::size_t(1) << 20;

struct DigestContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using DigestContext = std::unique_ptr<EVP_MD_CTX, DigestContextFree>;

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
    struct stat info {};
    const UniqueFd file(OpenRegularForReading(path.c_str(), &info));
    if (!file.valid())
        return false;
    ::posix_fadvise(file.get(), 0, 0, POSIX_FADV_SEQUENTIAL);

    Sha256Stream hash;
    const std::unique_ptr<std::uint8_t[]> block(new (std::nothrow) std::uint8_t[kBlockSize]);
    if (!block)
        return false;
    // The size is what was hashed, so the two always describe the same bytes.
    FileFingerprint result;
    for (;;) {
        const ssize_t got = ::read(file.get(), block.get(), kBlockSize);
        if (got < 0 && errno == EINTR)
            continue;
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

std::array<std::uint8_t, 32> Sha256(const void* data, std::size_t size) {
    std::array<std::uint8_t, 32> digest{};
    unsigned int length = 0;
    if (EVP_Digest(data, size, digest.data(), &length, EVP_sha256(), nullptr) != 1)
        digest.fill(0);
    return digest;
}

struct Sha256Stream::Context {
    DigestContext digest{EVP_MD_CTX_new()};
    bool ok = false;
};

Sha256Stream::Sha256Stream() : context_(std::make_unique<Context>()) {
    context_->ok =
        context_->digest && EVP_DigestInit_ex(context_->digest.get(), EVP_sha256(), nullptr) == 1;
}

Sha256Stream::~Sha256Stream() = default;

bool Sha256Stream::Add(const void* data, std::size_t size) {
    if (context_->ok && size != 0)
        context_->ok = EVP_DigestUpdate(context_->digest.get(), data, size) == 1;
    return context_->ok;
}

bool Sha256Stream::Finish(std::array<std::uint8_t, 32>* digest) {
    unsigned int length = 0;
    std::array<std::uint8_t, 32> result{};
    if (!context_->ok || EVP_DigestFinal_ex(context_->digest.get(), result.data(), &length) != 1 ||
        length != result.size())
        return context_->ok = false;
    context_->ok = false; // a context is finished once
    *digest = result;
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
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    auto ns = [](const timespec& t) {
        return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
    };
    out->device = static_cast<std::uint64_t>(info.st_dev);
    out->inode = static_cast<std::uint64_t>(info.st_ino);
    out->size = static_cast<std::uint64_t>(info.st_size);
    out->modifiedNs = ns(info.st_mtim);
    out->changedNs = ns(info.st_ctim);
    return true;
}
