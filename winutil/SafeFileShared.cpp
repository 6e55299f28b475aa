// The parts of SafeFile that make no system call of their own: outcomes,
// appending, the copy by hand and the order of the commit.
#include "winutil/SafeFileInternal.h"

#include "winutil/FdIo.h"

#include <algorithm>
#include <cerrno>
#include <new>

namespace {

// Block size of a copy by hand.
constexpr std::size_t kCopyBlock = std::size_t(1) << 20;

} // namespace

bool SafeFile::State::FailFromErrno() {
    return Fail(IsInUseError(errno) ? Reason::InUse : Reason::IoError);
}

std::string SafeFileSuffix(const unsigned char (&raw)[kSafeFileSuffixLength], bool ok,
                           std::uint64_t seed) {
    unsigned char bytes[kSafeFileSuffixLength];
    std::copy(std::begin(raw), std::end(raw), bytes);
    if (!ok) {
        static std::uint64_t counter = 0;
        std::uint64_t x = seed ^ ++counter;
        for (unsigned char& byte : bytes) {
            x ^= x >> 31;
            x *= 0x9E3779B97F4A7C15ull;
            byte = static_cast<unsigned char>(x >> 56);
        }
    }
    std::string suffix;
    for (unsigned char byte : bytes)
        suffix.push_back(kSafeFileSuffixAlphabet[byte % (sizeof kSafeFileSuffixAlphabet - 1)]);
    return suffix;
}

bool IsSafeFileTempName(std::string_view name, std::string_view prefix) {
    if (name.size() != prefix.size() + kSafeFileSuffixLength ||
        name.substr(0, prefix.size()) != prefix)
        return false;
    return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
                       [](char c) {
                           return c != '\0' && std::string_view(kSafeFileSuffixAlphabet).find(c) !=
                                                   std::string_view::npos;
                       });
}

SafeFile::SafeFile() = default;
SafeFile::~SafeFile() = default;

bool SafeFile::Open(const std::string& path) {
    state_ = NewSafeFileState();
    if (path.empty())
        return state_->Fail(Reason::IoError);
    return state_->Prepare(path);
}

bool SafeFile::Write(const void* data, std::size_t size) {
    if (!state_ || !state_->Usable())
        return false;
    State& s = *state_;
    s.touched = true;
    if (!WriteAllAt(s.fd, s.position, data, size))
        return s.FailFromErrno();
    s.position += size;
    s.Wrote(s.position);
    return true;
}

bool SafeFile::WriteAt(std::uint64_t offset, const void* data, std::size_t size) {
    if (!state_ || !state_->Usable())
        return false;
    State& s = *state_;
    s.touched = true;
    if (!WriteAllAt(s.fd, offset, data, size))
        return s.FailFromErrno();
    s.Wrote(offset + size);
    return true;
}

bool SafeFile::CopyFrom(int source, std::uint64_t sourceOffset, std::uint64_t length) {
    if (!state_ || !state_->Usable())
        return false;
    State& s = *state_;
    s.touched = true;
    std::uint64_t in = sourceOffset;
    std::uint64_t out = s.position;
    if (!s.CopyInKernel(source, &in, &out, &length))
        return false;
    if (length > 0 && !s.buffer)
        s.buffer.reset(new (std::nothrow) char[kCopyBlock]);
    if (length > 0 && !s.buffer)
        return s.Fail(Reason::IoError);
    while (length > 0) {
        const auto chunk = static_cast<std::size_t>(std::min<std::uint64_t>(length, kCopyBlock));
        const std::int64_t got = ReadSomeAt(source, in, s.buffer.get(), chunk);
        if (got <= 0) // the source ended early, or could not be read
            return s.Fail(Reason::IoError);
        if (!WriteAllAt(s.fd, out, s.buffer.get(), static_cast<std::size_t>(got)))
            return s.FailFromErrno();
        in += static_cast<std::uint64_t>(got);
        out += static_cast<std::uint64_t>(got);
        length -= static_cast<std::uint64_t>(got);
    }
    s.position = out;
    s.Wrote(s.position);
    return true;
}

bool SafeFile::State::Settle() {
    // In place, the old contents may run past the new ones.
    if (inPlace)
        touched = true;
    if (!SetFileLength(fd, extent))
        return FailFromErrno();
    BeforeFlush();
    if (!FlushFile(fd))
        return FailFromErrno();
    flushed = true;
    return true;
}

bool SafeFile::Flush() {
    if (!state_ || !state_->Usable())
        return false;
    return state_->flushed || state_->Settle();
}

bool SafeFile::Commit() {
    if (!state_)
        state_ = NewSafeFileState();
    State& s = *state_;
    if (!s.Usable())
        return s.Fail(Reason::IoError);
    if (!s.flushed && !s.Settle())
        return false;
    const int fd = s.fd;
    s.fd = -1;
    CloseFd(fd);
    if (!s.inPlace && !s.PutInPlace())
        return s.FailFromErrno();
    s.committed = true;
    if (!s.inPlace)
        s.AfterPut();
    return true;
}

SafeFile::Reason SafeFile::Why() const {
    return state_ ? state_->why : Reason::Ok;
}

bool SafeFile::InPlace() const {
    return state_ && state_->inPlace;
}

bool SafeFile::Changed() const {
    return state_ && state_->inPlace && state_->touched && !state_->committed;
}

bool ReplaceFileContents(const std::string& path, const void* data, std::size_t size,
                         SafeFile::Reason* why) {
    SafeFile file;
    const bool ok = file.Open(path) && file.Write(data, size) && file.Commit();
    if (why)
        *why = file.Why();
    return ok;
}
