// The Win32 side of the file door: UTF-16 paths, handles shared with other
// readers and writers, device names refused.
#include "winutil/FdIo.h"

#include "winutil/FileUtil.h"
#include "winutil/Win32Internal.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <io.h>
#include <malloc.h>
#include <psapi.h>

namespace win32 {

void SetErrno(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
    case ERROR_INVALID_DRIVE:
        errno = ENOENT;
        break;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_PRIVILEGE_NOT_HELD:
        errno = EACCES;
        break;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:
        errno = EBUSY;
        break;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        errno = EEXIST;
        break;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        errno = ENOSPC;
        break;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        errno = ENOMEM;
        break;
    case ERROR_DIRECTORY:
        errno = ENOTDIR;
        break;
    case ERROR_BAD_DEVICE:
        errno = ENODEV;
        break;
    case ERROR_FILENAME_EXCED_RANGE:
        errno = ENAMETOOLONG;
        break;
    default:
        errno = EIO;
        break;
    }
}

bool IsMissingError(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
           error == ERROR_INVALID_NAME || error == ERROR_BAD_NETPATH ||
           error == ERROR_INVALID_DRIVE || error == ERROR_DIRECTORY;
}

HANDLE HandleOf(int fd) {
    return fd < 0 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

int DescriptorOf(HANDLE handle, bool writable) {
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle),
                                   (writable ? _O_RDWR : _O_RDONLY) | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        errno = EMFILE;
    }
    return fd;
}

HANDLE OpenShared(const std::string& path, DWORD access, DWORD disposition) {
    if (path.empty() || IsWindowsDeviceName(path)) {
        SetLastError(path.empty() ? ERROR_FILE_NOT_FOUND : ERROR_BAD_DEVICE);
        return INVALID_HANDLE_VALUE;
    }
    // Folders open only with FILE_FLAG_BACKUP_SEMANTICS; it gives them to
    // anyone, so reading one is refused by the callers instead.
    return CreateFileW(Wide(path).c_str(), access,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

FileInfo Describe(HANDLE handle) {
    FileInfo info;
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        info.kind = FileKind::Other;
        return info;
    }
    BY_HANDLE_FILE_INFORMATION about{};
    if (!GetFileInformationByHandle(handle, &about)) {
        info.kind = FileKind::Unknown;
        return info;
    }
    info.kind =
        (about.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? FileKind::Folder : FileKind::Regular;
    info.size = (std::uint64_t(about.nFileSizeHigh) << 32) | about.nFileSizeLow;
    info.volume = about.dwVolumeSerialNumber;
    info.index = (std::uint64_t(about.nFileIndexHigh) << 32) | about.nFileIndexLow;
    auto ticks = [](const FILETIME& t) {
        return static_cast<std::int64_t>((std::uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    };
    info.modifiedNs = UnixNs(ticks(about.ftLastWriteTime));
    FILE_BASIC_INFO basic{};
    info.changedNs = GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic)
                         ? UnixNs(basic.ChangeTime.QuadPart)
                         : info.modifiedNs;
    return info;
}

} // namespace win32

namespace {

using namespace win32;

// Transfers are at most this long a call (the calls count in 32 bits).
constexpr std::size_t kMaxTransfer = std::size_t(1) << 30;

OVERLAPPED At(std::uint64_t offset) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return at;
}

int OpenDescribed(const char* path, DWORD access, DWORD disposition, FileInfo* info) {
    *info = FileInfo{};
    const HANDLE handle = OpenShared(path ? path : "", access, disposition);
    if (handle == INVALID_HANDLE_VALUE) {
        SetErrnoFromLastError();
        return -1;
    }
    *info = Describe(handle);
    return DescriptorOf(handle, (access & GENERIC_WRITE) != 0);
}

} // namespace

FileInfo LookAtPath(const std::string& path) {
    FileInfo info;
    if (!path.empty() && IsWindowsDeviceName(path)) {
        info.kind = FileKind::Other;
        return info;
    }
    const HANDLE handle = OpenShared(path, FILE_READ_ATTRIBUTES, OPEN_EXISTING);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        SetErrno(error);
        info.kind = IsMissingError(error) ? FileKind::Missing : FileKind::Unknown;
        return info;
    }
    info = Describe(handle);
    CloseHandle(handle);
    return info;
}

int OpenForReading(const char* path, FileInfo* info) {
    return OpenDescribed(path, GENERIC_READ, OPEN_EXISTING, info);
}

int OpenForWriting(const char* path, FileInfo* info) {
    return OpenDescribed(path, GENERIC_WRITE, OPEN_ALWAYS, info);
}

void CloseFd(int fd) {
    if (fd >= 0)
        _close(fd);
}

bool FlushFile(int fd) {
    if (FlushFileBuffers(HandleOf(fd)))
        return true;
    SetErrnoFromLastError();
    return false;
}

bool FlushAndClose(int fd) {
    const bool flushed = FlushFile(fd);
    const int error = errno;
    if (_close(fd) != 0)
        return false;
    errno = error;
    return flushed;
}

std::int64_t ReadSomeAt(int fd, std::uint64_t offset, void* out, std::size_t size) {
    OVERLAPPED at = At(offset);
    DWORD got = 0;
    if (!ReadFile(HandleOf(fd), out, static_cast<DWORD>(std::min(size, kMaxTransfer)), &got, &at)) {
        const DWORD error = GetLastError();
        if (error == ERROR_HANDLE_EOF)
            return 0;
        SetErrno(error);
        return -1;
    }
    return got;
}

bool WriteAllAt(int fd, std::uint64_t offset, const void* data, std::size_t size) {
    const auto* at = static_cast<const unsigned char*>(data);
    while (size > 0) {
        OVERLAPPED where = At(offset);
        DWORD put = 0;
        if (!WriteFile(HandleOf(fd), at, static_cast<DWORD>(std::min(size, kMaxTransfer)), &put,
                       &where)) {
            SetErrnoFromLastError();
            return false;
        }
        if (put == 0) {
            errno = ENOSPC;
            return false;
        }
        at += put;
        size -= put;
        offset += put;
    }
    return true;
}

std::size_t WriteSome(int fd, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::size_t done = 0;
    while (done < size) {
        DWORD put = 0;
        if (!WriteFile(HandleOf(fd), bytes + done,
                       static_cast<DWORD>(std::min(size - done, kMaxTransfer)), &put, nullptr)) {
            SetErrnoFromLastError();
            break;
        }
        if (put == 0)
            break;
        done += put;
    }
    return done;
}

bool SetFileLength(int fd, std::uint64_t length) {
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(length);
    if (SetFileInformationByHandle(HandleOf(fd), FileEndOfFileInfo, &end, sizeof end))
        return true;
    SetErrnoFromLastError();
    return false;
}

void AdviseSequential(int) {}

bool MakeFolder(const std::string& path, unsigned) {
    if (!path.empty() && !IsWindowsDeviceName(path) &&
        CreateDirectoryW(Wide(path).c_str(), nullptr))
        return true;
    return LookAtPath(path).kind == FileKind::Folder;
}

bool RemoveFile(const std::string& path) {
    return !IsWindowsDeviceName(path) &&
           (DeleteFileW(Wide(path).c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND);
}

bool SetCurrentFolder(const std::string& path) {
    return SetCurrentDirectoryW(Wide(path).c_str()) != 0;
}

bool ProgramPath(std::string* out) {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) {
            out->clear();
            return false;
        }
        if (n < buffer.size()) {
            buffer.resize(n);
            break;
        }
        buffer.resize(buffer.size() * 2);
    }
    *out = Narrow(buffer);
    return true;
}

std::uint64_t MonotonicMs() {
    return GetTickCount64();
}

void* AllocatePages(std::size_t size) {
    return VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

void FreePages(void* block, std::size_t) {
    if (block)
        VirtualFree(block, 0, MEM_RELEASE);
}

void* AllocateAligned(std::size_t alignment, std::size_t size) {
    return _aligned_malloc(size, alignment);
}

void FreeAligned(void* block) {
    _aligned_free(block);
}

void AdviseHugePages(void*, std::size_t) {}

std::uint64_t PeakMemoryBytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
        return 0;
    return counters.PeakWorkingSetSize;
}

// Large pages on Windows need a privilege users do not hold.
void UseLargePagesForHeap(std::size_t) {}
