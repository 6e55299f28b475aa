// SHA-256 through Windows' CNG.
#include "winutil/Sha256.h"

#include <windows.h>

#include <bcrypt.h>

namespace {

bool Succeeded(NTSTATUS status) {
    return status >= 0;
}

// The SHA-256 provider, opened once for the whole program.
BCRYPT_ALG_HANDLE Provider() {
    static const BCRYPT_ALG_HANDLE provider = [] {
        BCRYPT_ALG_HANDLE opened = nullptr;
        if (!Succeeded(BCryptOpenAlgorithmProvider(&opened, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
            opened = nullptr;
        return opened;
    }();
    return provider;
}

} // namespace

struct Sha256Stream::Context {
    BCRYPT_HASH_HANDLE hash = nullptr;
    bool ok = false;

    ~Context() {
        if (hash)
            BCryptDestroyHash(hash);
    }
};

std::array<std::uint8_t, 32> Sha256(const void* data, std::size_t size) {
    std::array<std::uint8_t, 32> digest{};
    Sha256Stream stream;
    if (!stream.Add(data, size) || !stream.Finish(&digest))
        digest.fill(0);
    return digest;
}

Sha256Stream::Sha256Stream() : context_(std::make_unique<Context>()) {
    const BCRYPT_ALG_HANDLE provider = Provider();
    context_->ok = provider && Succeeded(BCryptCreateHash(provider, &context_->hash, nullptr, 0,
                                                          nullptr, 0, 0));
}

Sha256Stream::~Sha256Stream() = default;

bool Sha256Stream::Add(const void* data, std::size_t size) {
    // BCryptHashData takes at most 4 GiB - 1 bytes a call.
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    while (context_->ok && size != 0) {
        const auto chunk = static_cast<ULONG>(std::min<std::size_t>(size, 1u << 30));
        context_->ok =
            Succeeded(BCryptHashData(context_->hash, const_cast<PUCHAR>(bytes), chunk, 0));
        bytes += chunk;
        size -= chunk;
    }
    return context_->ok;
}

bool Sha256Stream::Finish(std::array<std::uint8_t, 32>* digest) {
    std::array<std::uint8_t, 32> result{};
    if (!context_->ok ||
        !Succeeded(BCryptFinishHash(context_->hash, result.data(), result.size(), 0)))
        return context_->ok = false;
    context_->ok = false; // a hash is finished once
    *digest = result;
    return true;
}
