// The list's lock file on Windows: LockFileEx with polling for a bounded
// wait, and the holder's process id written into the file.
//
// Unlike flock() on Linux, a Windows byte-range lock keeps other handles
// from reading the bytes it covers: the lock is taken on one byte far past
// the end, so that a waiter can still read the holder's id at the start. A
// file that is deleted while other programs have it open stays half there
// (nobody can open it) until the last handle closes, so the lock file is left
// in place on release; the next holder writes its own id over it.
#include "winutil/FileLock.h"

#include "winutil/FdIo.h"
#include "winutil/Win32Internal.h"

namespace {

// The locked byte: far past any id the file holds.
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;

} // namespace

// The program's file name without folder and ".exe", as a command name.
std::string FileLock::CommandName(pid_t pid) {
    const HANDLE process =
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (process == nullptr)
        return std::string();
    wchar_t image[MAX_PATH];
    DWORD length = MAX_PATH;
    const bool found = QueryFullProcessImageNameW(process, 0, image, &length) != 0;
    CloseHandle(process);
    if (!found)
        return std::string();
    std::wstring_view name(image, length);
    name = name.substr(
        name.find_last_of(L"\\/") == std::wstring_view::npos ? 0 : name.find_last_of(L"\\/") + 1);
    if (name.size() > 4 && name.substr(name.size() - 4) == L".exe")
        name.remove_suffix(4);
    return win32::Narrow(name);
}

namespace {

HANDLE OpenLockFile(const std::string& path, DWORD access) {
    return CreateFileW(win32::Wide(path).c_str(), access,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       access & GENERIC_WRITE ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

} // namespace

FileLock::Result FileLock::Acquire(const std::string& listPath, std::chrono::milliseconds waitFor) {
    const std::string path = Restart(listPath);
    bool writable = true;
    HANDLE handle = OpenLockFile(path, GENERIC_READ | GENERIC_WRITE);
    if (handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED) {
        writable = false; // a read-only folder or file: locking needs no write access
        handle = OpenLockFile(path, GENERIC_READ);
    }
    if (handle == INVALID_HANDLE_VALUE)
        return Result::Unlockable;
    const int fd = win32::DescriptorOf(handle, writable);
    if (fd < 0)
        return Result::Unlockable;
    Wait wait(waitFor);
    for (;;) {
        OVERLAPPED at{};
        at.OffsetHigh = kLockOffsetHigh;
        if (LockFileEx(win32::HandleOf(fd), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                       1, 0, &at))
            break;
        if (GetLastError() != ERROR_LOCK_VIOLATION && GetLastError() != ERROR_IO_PENDING) {
            CloseFd(fd);
            return Result::Unlockable;
        }
        if (!wait.Pause())
            return GiveUp(fd);
    }
    fd_ = fd;
    path_ = writable ? path : std::string();
    // Who holds it now, for a program that has to wait.
    if (writable)
        WriteHolder(fd_, GetCurrentProcessId());
    return Result::Locked;
}

void FileLock::Release() {
    if (fd_ < 0)
        return;
    OVERLAPPED at{};
    at.OffsetHigh = kLockOffsetHigh;
    UnlockFileEx(win32::HandleOf(fd_), 0, 1, 0, &at);
    CloseFd(fd_);
    fd_ = -1;
    path_.clear();
}
