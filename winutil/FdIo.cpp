// The POSIX side of the file door.
#include "winutil/FdIo.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <malloc.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

std::int64_t Nanoseconds(const timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

FileInfo Describe(const struct stat& st) {
    FileInfo info;
    info.kind = S_ISREG(st.st_mode)   ? FileKind::Regular
                : S_ISDIR(st.st_mode) ? FileKind::Folder
                                      : FileKind::Other;
    info.size = st.st_size > 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
    info.volume = static_cast<std::uint64_t>(st.st_dev);
    info.index = static_cast<std::uint64_t>(st.st_ino);
    info.modifiedNs = Nanoseconds(st.st_mtim);
    info.changedNs = Nanoseconds(st.st_ctim);
    return info;
}

int OpenRetry(const char* path, int flags, mode_t mode = 0) {
    int fd;
    do {
        fd = ::open(path, flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Opens with flags and describes what was opened; -1 when either fails.
int OpenDescribed(const char* path, int flags, FileInfo* info) {
    *info = FileInfo{};
    const int fd = OpenRetry(path, flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0)
        return -1;
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    *info = Describe(st);
    return fd;
}

} // namespace

FileInfo LookAtPath(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) == 0)
        return Describe(st);
    FileInfo info;
    info.kind = errno == ENOENT || errno == ENOTDIR ? FileKind::Missing : FileKind::Unknown;
    return info;
}

int OpenForReading(const char* path, FileInfo* info) {
    return OpenDescribed(path, O_RDONLY, info);
}

int OpenForWriting(const char* path, FileInfo* info) {
    const int fd = OpenDescribed(path, O_WRONLY | O_CREAT, info);
    if (fd >= 0 && info->kind == FileKind::Regular) {
        // Regular files are written with blocking calls as usual.
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags >= 0)
            ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    }
    return fd;
}

void CloseFd(int fd) {
    if (fd >= 0)
        ::close(fd);
}

bool FlushFile(int fd) {
    return ::fsync(fd) == 0;
}

bool FlushAndClose(int fd) {
    const bool flushed = FlushFile(fd);
    const int error = errno;
    if (::close(fd) != 0)
        return false;
    errno = error;
    return flushed;
}

std::int64_t ReadSomeAt(int fd, std::uint64_t offset, void* out, std::size_t size) {
    for (;;) {
        const ssize_t got = ::pread(fd, out, size, static_cast<off_t>(offset));
        if (got >= 0 || errno != EINTR)
            return got;
    }
}

bool WriteAllAt(int fd, std::uint64_t offset, const void* data, std::size_t size) {
    const auto* at = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const ssize_t put = ::pwrite(fd, at, size, static_cast<off_t>(offset));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        at += put;
        size -= static_cast<std::size_t>(put);
        offset += static_cast<std::uint64_t>(put);
    }
    return true;
}

std::size_t WriteSome(int fd, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t put = ::write(fd, bytes + done, size - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            break;
        done += static_cast<std::size_t>(put);
    }
    return done;
}

bool SetFileLength(int fd, std::uint64_t length) {
    return ::ftruncate(fd, static_cast<off_t>(length)) == 0;
}

void AdviseSequential(int fd) {
#ifdef POSIX_FADV_SEQUENTIAL
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
#else
    (void)fd;
#endif
}

bool MakeFolder(const std::string& path, unsigned mode) {
    if (::mkdir(path.c_str(), static_cast<mode_t>(mode)) == 0)
        return true;
    return LookAtPath(path).kind == FileKind::Folder;
}

bool RemoveFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

bool SetCurrentFolder(const std::string& path) {
    return ::chdir(path.c_str()) == 0;
}

bool ProgramPath(std::string* out) {
    std::string buffer(256, '\0');
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0) {
            out->clear();
            return false;
        }
        if (static_cast<std::size_t>(n) < buffer.size()) {
            buffer.resize(static_cast<std::size_t>(n));
            break;
        }
        buffer.resize(buffer.size() * 2);
    }
    *out = std::move(buffer);
    return true;
}

std::uint64_t MonotonicMs() {
    struct timespec ts;
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
           static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
}

void* AllocatePages(std::size_t size) {
    void* block = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED)
        return nullptr;
    AdviseHugePages(block, size);
    return block;
}

void FreePages(void* block, std::size_t size) {
    if (block)
        ::munmap(block, size);
}

void* AllocateAligned(std::size_t alignment, std::size_t size) {
    return std::aligned_alloc(alignment, size);
}

void FreeAligned(void* block) {
    std::free(block);
}

void AdviseHugePages(void* block, std::size_t size) {
#ifdef MADV_HUGEPAGE
    constexpr std::uintptr_t kHugePage = std::uintptr_t(2) << 20;
    const auto begin = reinterpret_cast<std::uintptr_t>(block);
    const std::uintptr_t from = (begin + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t to = (begin + size) & ~(kHugePage - 1);
    if (from < to)
        ::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
#else
    (void)block;
    (void)size;
#endif
}

std::uint64_t PeakMemoryBytes() {
    rusage usage{};
    if (::getrusage(RUSAGE_SELF, &usage) != 0 || usage.ru_maxrss < 0)
        return 0;
    return static_cast<std::uint64_t>(usage.ru_maxrss) * 1024; // KiB on Linux
}

void UseLargePagesForHeap(std::size_t reserveBytes) {
    // Blocks below the largest mmap threshold come from the heap, which
    // keeps what is freed at its top. The heap is grown by reserveBytes in
    // one step (the C library's top pad) without a byte of it being touched,
    // and advised from its first large-page boundary on: a block that a
    // write reached before the advice would stay on small pages. The room
    // below that boundary is taken by one block that is never freed (and
    // never touched), so that what the program allocates lies above it. A
    // heap that grows past the reserve later is an ordinary one.
    constexpr int kLargestMmapThreshold = 32 << 20;
    constexpr std::uintptr_t kLargePage = std::uintptr_t(2) << 20;
    if (reserveBytes > static_cast<std::size_t>(INT32_MAX) ||
        ::mallopt(M_MMAP_THRESHOLD, kLargestMmapThreshold) == 0 ||
        ::mallopt(M_TRIM_THRESHOLD, INT32_MAX) == 0 ||
        ::mallopt(M_TOP_PAD, static_cast<int>(reserveBytes)) == 0)
        return;
    // More than the heap's first free room holds: the heap grows, and the
    // block starts where the heap's free top starts. (Kept in a volatile so
    // that the compiler does not drop the calls.)
    static void* volatile block = nullptr;
    block = std::malloc(std::size_t(1) << 20);
    if (!block)
        return;
    const auto top = reinterpret_cast<std::uintptr_t>(block);
    const auto end = reinterpret_cast<std::uintptr_t>(::sbrk(0));
    std::free(block);
    const std::uintptr_t boundary = (top + kLargePage - 1) & ~(kLargePage - 1);
    if (boundary >= end)
        return;
    // The next block comes from the same place; its end lands on the
    // boundary (the library's bookkeeping before a block takes 16 bytes).
    if (boundary - top > 64)
        block = std::malloc(boundary - top - 16);
    AdviseHugePages(reinterpret_cast<void*>(boundary), end - boundary);
}
