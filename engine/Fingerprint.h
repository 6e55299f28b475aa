// Size and SHA-256 of a file, to tell whether someone else changed it.
#pragma once

#include <array>
#include <cstdint>
#include <string>

struct FileFingerprint {
    std::uint64_t size = 0;
    std::array<std::uint8_t, 32> sha256{};

    bool operator==(const FileFingerprint&) const = default;
    // 64 lower-case hex digits.
    std::string Sha256Hex() const;
    // Parses 64 hex digits (either case); false leaves the fingerprint as it was.
    bool SetSha256Hex(const std::string& hex);
};

// Reads the regular file at path (without blocking on a FIFO or device) and
// fills *out. False when it cannot be opened, is not a regular file, or a
// read fails.
bool FingerprintFile(const std::string& path, FileFingerprint* out);

// SHA-256 of a byte run (for tests and small data).
std::array<std::uint8_t, 32> Sha256(const void* data, std::size_t size);
