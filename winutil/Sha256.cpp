// SHA-256 through OpenSSL.
#include "winutil/Sha256.h"

#include <openssl/evp.h>

namespace {

struct DigestContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using DigestContext = std::unique_ptr<EVP_MD_CTX, DigestContextFree>;

} // namespace

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
