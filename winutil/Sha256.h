// SHA-256 from the system's own well-kept implementation: OpenSSL on Linux,
// Windows' CNG (BCrypt) on Windows. Never a hash of our own.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

// SHA-256 of a byte run (for tests and small data); all zero when the system
// could not hash.
std::array<std::uint8_t, 32> Sha256(const void* data, std::size_t size);

// SHA-256 of data that comes in pieces.
class Sha256Stream {
  public:
    Sha256Stream();
    ~Sha256Stream();
    Sha256Stream(const Sha256Stream&) = delete;
    Sha256Stream& operator=(const Sha256Stream&) = delete;

    // False once anything failed; later calls then do nothing.
    bool Add(const void* data, std::size_t size);
    // The digest of everything added; false when any step failed.
    bool Finish(std::array<std::uint8_t, 32>* digest);

  private:
    struct Context;
    std::unique_ptr<Context> context_;
};
