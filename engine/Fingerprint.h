// Size and SHA-256 of a file, to tell whether someone else changed it.
#pragma once

#include "winutil/Sha256.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

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

// What the file system tells of a file without reading it: which file it is
// (device and inode), its size, and when its contents (mtime) and its inode
// (ctime) last changed, in nanoseconds. Two equal stamps of a path mean that
// the file was very probably not written in between: see the user of it for
// what that may and may not decide.
struct FileStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0;
    std::int64_t changedNs = 0;

    bool operator==(const FileStamp&) const = default;
    // The five numbers in decimal, separated by single spaces.
    std::string Text() const;
    // Parses what Text() writes; false leaves the stamp as it was.
    bool SetText(const std::string& text);
};

// Stamps the regular file at path (links followed); false when there is none.
bool StampFile(const std::string& path, FileStamp* out);

// A 64-bit tag of a run of fields (FNV-1a), for telling in memory or in the
// settings file whether some state is still what it was: equal runs give
// equal tags, and two runs that differ give other tags but by a one in 2^64
// chance. Each text field is ended by a byte no stored text holds, so that
// neighbouring fields never run together.
class FieldTag {
  public:
    void Add(std::string_view text) {
        for (const char c : text)
            Mix(static_cast<std::uint8_t>(c));
        Mix(0xFF);
    }
    void Add(std::uint64_t number) {
        for (int shift = 0; shift < 64; shift += 8)
            Mix(static_cast<std::uint8_t>(number >> shift));
    }
    std::uint64_t value() const { return tag_; }

  private:
    void Mix(std::uint8_t byte) { tag_ = (tag_ ^ byte) * 0x100000001B3ull; }
    std::uint64_t tag_ = 0xCBF29CE484222325ull;
};
