// Whole-file reading and writing, paths, the executable's folder, ticks and
// the file change test.
#include "winutil/FileUtil.h"

#include "winutil/CodePage.h"
#include "winutil/FdIo.h"
#include "winutil/UniqueFd.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Every block handed out by ReadFileWhole starts this many bytes before the
// pointer the caller gets. The header tells FreeFileData how the block was
// obtained; its size keeps the data 64-byte aligned.
constexpr std::size_t kHeaderSize = 64;
constexpr std::uint64_t kBlockMagic = 0x6B6C426D654D7442ull;
// Blocks at least this large are anonymous mappings (eligible for huge pages);
// smaller ones come from the heap.
constexpr std::size_t kMapThreshold = std::size_t(1) << 20;

enum class BlockKind : std::uint64_t { Heap = 1, Mapped = 2 };

struct BlockHeader {
    std::uint64_t magic;
    BlockKind kind;
    std::size_t totalSize; // header included
};
static_assert(sizeof(BlockHeader) <= kHeaderSize);

int OpenRetry(const char* path, int flags, mode_t mode = 0) {
    int fd;
    do {
        fd = ::open(path, flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Returns the data pointer of a fresh block for size bytes plus two, or null.
char* AllocateBlock(std::size_t size) {
    const std::size_t total = kHeaderSize + size + 2;
    void* base = nullptr;
    BlockKind kind;
    if (total >= kMapThreshold) {
        base = ::mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (base == MAP_FAILED)
            return nullptr;
#ifdef MADV_HUGEPAGE
        ::madvise(base, total, MADV_HUGEPAGE);
#endif
        kind = BlockKind::Mapped;
    } else {
        base = std::malloc(total);
        if (!base)
            return nullptr;
        kind = BlockKind::Heap;
    }
    BlockHeader header{kBlockMagic, kind, total};
    std::memcpy(base, &header, sizeof header);
    return static_cast<char*>(base) + kHeaderSize;
}

std::size_t LastSeparator(const char* path) {
    const char* back = std::strrchr(path, '\\');
    const char* slash = std::strrchr(path, '/');
    const char* sep = back > slash ? back : slash;
    return sep ? static_cast<std::size_t>(sep - path) : std::string::npos;
}

} // namespace

char* ReadFileWhole(const char* path, std::uint32_t* length) {
    if (length)
        *length = 0;
    if (!path)
        return nullptr;
    struct stat st;
    const UniqueFd fd(OpenRegularForReading(path, &st));
    if (!fd.valid())
        return nullptr;
    if (st.st_size < 0 || static_cast<std::uint64_t>(st.st_size) >= (std::uint64_t(1) << 32))
        return nullptr;
    const auto size = static_cast<std::uint32_t>(st.st_size);
    if (length)
        *length = size;
    char* data = AllocateBlock(size);
    if (!data)
        return nullptr;
    if (!ReadAllAt(fd.get(), 0, data, size)) {
        FreeFileData(data);
        return nullptr;
    }
    data[size] = 0;
    data[size + 1] = 0;
    return data;
}

char* ReadFileWholeW(const char16_t* path, std::uint32_t* length) {
    if (length)
        *length = 0;
    if (!path)
        return nullptr;
    const std::string narrow = WideToCodePage(path);
    return ReadFileWhole(narrow.c_str(), length);
}

void FreeFileData(char* data) {
    if (!data)
        return;
    char* base = data - kHeaderSize;
    BlockHeader header;
    std::memcpy(&header, base, sizeof header);
    if (header.magic != kBlockMagic)
        std::abort(); // not a block of ReadFileWhole: freeing it would corrupt memory
    if (header.kind == BlockKind::Mapped)
        ::munmap(base, header.totalSize);
    else
        std::free(base);
}

bool FileBuffer::Load(const char* path) {
    Release();
    std::uint32_t size = 0;
    char* block = ReadFileWhole(path, &size);
    if (!block)
        return false;
    data = reinterpret_cast<std::uint8_t*>(block);
    length = size;
    capacity = size;
    owns = 1;
    return true;
}

void FileBuffer::Release() {
    if (owns && data)
        FreeFileData(reinterpret_cast<char*>(data));
    data = nullptr;
    length = 0;
    capacity = 0;
    owns = 0;
}

// The file is overwritten in place and then cut to the bytes written, which
// leaves exactly what truncating first and writing would leave, but lets the
// file system reuse the blocks and cached pages it already has instead of
// freeing and allocating them again (most of the cost for a large file).
std::uint32_t WriteFileWhole(const char* path, const void* data, std::uint32_t count) {
    if (!path || std::strlen(path) >= kPathCapacity)
        return 0;
    // A FIFO without a reader is refused at once instead of waiting for one.
    UniqueFd fd(OpenRetry(path, O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666));
    if (!fd.valid())
        return 0;
    struct stat st;
    const bool regular = ::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode);
    const char* bytes = static_cast<const char*>(data);
    std::size_t total = count;
    if (bytes && total == 0)
        total = std::strlen(bytes);
    std::size_t done = 0;
    while (bytes && done < total) {
        const ssize_t put = ::write(fd.get(), bytes + done, total - done);
        if (put < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (put == 0)
            break;
        done += static_cast<std::size_t>(put);
    }
    if (regular && ::ftruncate(fd.get(), static_cast<off_t>(done)) != 0)
        return 0; // old bytes may remain after the new ones
    return static_cast<std::uint32_t>(done);
}

bool SplitPath(const char* path, std::string* directory, std::string* name) {
    const char* text = path ? path : "";
    const std::size_t sep = LastSeparator(text);
    if (sep == std::string::npos) {
        if (directory)
            *directory = text;
        if (name)
            *name = text;
        return false;
    }
    if (directory)
        directory->assign(text, sep);
    if (name)
        *name = text + sep + 1;
    return true;
}

bool GetModuleFileName(std::string* out) {
    std::string buffer(256, '\0');
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0) {
            if (out)
                out->clear();
            return false;
        }
        if (static_cast<std::size_t>(n) < buffer.size()) {
            buffer.resize(static_cast<std::size_t>(n));
            break;
        }
        buffer.resize(buffer.size() * 2);
    }
    if (out)
        *out = std::move(buffer);
    return true;
}

bool GetModuleDir(std::string* out) {
    std::string file;
    std::size_t slash = std::string::npos;
    if (GetModuleFileName(&file))
        slash = file.rfind('/');
    if (slash == std::string::npos || slash >= kPathCapacity) {
        if (out)
            out->clear();
        return false;
    }
    if (out)
        out->assign(file, 0, slash);
    return true;
}

std::uint32_t GetTickCountMs() {
    struct timespec ts;
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    const std::uint64_t ms = static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
                             static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms);
}

FileChangeStamp& DefaultFileChangeStamp() {
    static FileChangeStamp stamp;
    return stamp;
}

bool HasFileChanged(const char16_t* path, FileChangeStamp* stamp) {
    if (!stamp)
        stamp = &DefaultFileChangeStamp();
    if (stamp->minInterval != 0) {
        const std::uint32_t now = GetTickCountMs();
        if (stamp->lastTick == 0) {
            stamp->lastTick = now;
        } else if (now - stamp->lastTick < stamp->minInterval) {
            stamp->lastTick = now;
            return false;
        }
    }
    std::uint64_t size = 0;
    std::uint64_t writeTime = 0;
    if (path) {
        const std::string narrow = WideToCodePage(path);
        UniqueFd fd(OpenRetry(narrow.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
        struct stat st;
        if (fd.valid() && ::fstat(fd.get(), &st) == 0) {
            size = static_cast<std::uint64_t>(st.st_size);
            writeTime = static_cast<std::uint64_t>(st.st_mtim.tv_sec) * 1000000000u +
                        static_cast<std::uint64_t>(st.st_mtim.tv_nsec);
        }
    }
    const auto sizeLow = static_cast<std::uint32_t>(size);
    const auto timeLow = static_cast<std::uint32_t>(writeTime);
    const auto timeHigh = static_cast<std::uint32_t>(writeTime >> 32);
    if (sizeLow == stamp->size && timeLow == stamp->writeTimeLow &&
        timeHigh == stamp->writeTimeHigh)
        return false;
    stamp->size = sizeLow;
    stamp->writeTimeLow = timeLow;
    stamp->writeTimeHigh = timeHigh;
    return true;
}

namespace {

// The path with every symbolic link resolved; for a path that does not exist,
// its resolved folder and its own name. Empty when neither resolves.
std::string ResolvedPath(const std::string& path) {
    if (const std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr),
                                                               &std::free);
        real)
        return real.get();
    std::string folder;
    std::string name;
    if (!SplitPath(path.c_str(), &folder, &name))
        folder = ".";
    if (folder.empty())
        folder = "/";
    const std::unique_ptr<char, decltype(&std::free)> real(::realpath(folder.c_str(), nullptr),
                                                           &std::free);
    return real ? std::string(real.get()) + "/" + name : std::string();
}

} // namespace

bool IsFileInFolder(const std::string& path, const std::string& folder) {
    const std::string resolvedFolder = ResolvedPath(folder);
    struct stat folderStat {};
    if (resolvedFolder.empty() || ::stat(resolvedFolder.c_str(), &folderStat) != 0 ||
        !S_ISDIR(folderStat.st_mode))
        return false;
    const std::string resolved = ResolvedPath(path);
    const std::string prefix = resolvedFolder == "/" ? resolvedFolder : resolvedFolder + "/";
    if (!resolved.empty() && resolved.compare(0, prefix.size(), prefix) == 0)
        return true;
    struct stat target {};
    if (::stat(path.c_str(), &target) != 0)
        return false;
    struct CloseDir {
        void operator()(DIR* dir) const { ::closedir(dir); }
    };
    const std::unique_ptr<DIR, CloseDir> dir(::opendir(resolvedFolder.c_str()));
    if (!dir)
        return false;
    while (const dirent* entry = ::readdir(dir.get())) {
        struct stat st {};
        if (::fstatat(::dirfd(dir.get()), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            st.st_dev == target.st_dev && st.st_ino == target.st_ino)
            return true;
    }
    return false;
}
