// What SafeFile does the same way on every system: its state, the outcome of
// each step, the appending and copying, and the order of the commit. Each
// system's file (SafeFile.cpp for POSIX, SafeFileWin32.cpp for Win32)
// derives its state from SafeFile::State and makes only the system's calls:
// preparing the temporary file (or the file itself), putting it in place and
// clearing up after. Never included outside winutil/.
#pragma once

#include "winutil/SafeFile.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

struct SafeFile::State {
    Reason why = Reason::Ok;
    bool failed = false;
    bool inPlace = false;
    bool committed = false;
    bool touched = false; // a write or cut was issued to the file
    bool flushed = false; // on the disk as written: nothing written since Flush
    int fd = -1;          // the temporary file, or the file itself when written in place
    std::uint64_t position = 0;
    std::uint64_t extent = 0;
    std::unique_ptr<char[]> buffer; // for copies by hand

    State() = default;
    State(const State&) = delete;
    State& operator=(const State&) = delete;
    virtual ~State() = default;

    bool Fail(Reason reason) {
        failed = true;
        if (why == Reason::Ok)
            why = reason;
        return false;
    }
    // A failed system call: InUse when errno tells that another program
    // holds the file, else IoError.
    bool FailFromErrno();
    bool Usable() const { return fd >= 0 && !failed && !committed; }
    // Cuts the file to its extent and flushes it (a write or cut in place
    // counts as touching the file); false after Fail.
    bool Settle();
    void Wrote(std::uint64_t end) {
        flushed = false;
        if (end > extent)
            extent = end;
    }

    // The system's steps.
    // Checks path (not empty) and opens the temporary file, or the file
    // itself where the folder takes no new file; false after Fail.
    virtual bool Prepare(const std::string& path) = 0;
    // Copies what it can of length bytes from source at *in to the file at
    // *out without passing them through this process, moving both offsets
    // and lowering *length. False after Fail; true with *length left over
    // when the rest must be copied by hand.
    virtual bool CopyInKernel(int source, std::uint64_t* in, std::uint64_t* out,
                              std::uint64_t* length) {
        (void)source;
        (void)in;
        (void)out;
        (void)length;
        return true;
    }
    // Runs after the last write, before the flush.
    virtual void BeforeFlush() {}
    // Moves the flushed and closed temporary file into the file's place;
    // false with errno set.
    virtual bool PutInPlace() = 0;
    // After the move: makes it durable where the system needs that, and
    // removes what killed saves of the same file left behind. Failures are
    // ignored: the file is already replaced.
    virtual void AfterPut() {}
};

// A new state for this system.
std::unique_ptr<SafeFile::State> NewSafeFileState();

// Names of the temporary files: ".<name>.bytemender-" followed by a suffix
// of kSafeFileSuffixLength characters of kSafeFileSuffixAlphabet.
inline constexpr char kSafeFileTempMark[] = ".bytemender-";
inline constexpr std::size_t kSafeFileSuffixLength = 6;
inline constexpr char kSafeFileSuffixAlphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
// A temporary file older than this belongs to no save still running (each
// write of a running save renews its time).
inline constexpr std::int64_t kSafeFileStaleSeconds = 60;

// A suffix from raw random bytes; where the system gave none (ok false),
// from seed (clock, process) and a counter, mixed.
std::string SafeFileSuffix(const unsigned char (&raw)[kSafeFileSuffixLength], bool ok,
                           std::uint64_t seed);
// True when name is prefix followed by a suffix.
bool IsSafeFileTempName(std::string_view name, std::string_view prefix);
