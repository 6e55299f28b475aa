// Replacing a file on Windows: a temporary file in its folder, flushed, then
// moved over the file with MoveFileExW (replace existing, write through).
//
// Windows differs from POSIX in three ways that matter here:
// - A file with the read-only attribute is never replaced (the rename would
//   allow it; the attribute says no).
// - A running program's file (or one open without delete sharing) cannot be
//   replaced or deleted but can be renamed: it is moved aside to
//   ".<name>.bytemender-old-XXXXXX", the new file is moved into its place,
//   and the aside file is removed at once when it can be, else by the sweep
//   of a later save once nobody uses it any more.
// - There are no permission bits to copy: the new file takes the folder's
//   inherited access rules and the old file's hidden, system and archive
//   attributes.
#include "winutil/SafeFileInternal.h"

#include "winutil/FileUtil.h"
#include "winutil/Win32Internal.h"

#include <algorithm>
#include <bcrypt.h>
#include <cerrno>
#include <cstdlib>
#include <memory>

namespace {

using namespace win32;
using Reason = SafeFile::Reason;

constexpr wchar_t kAsideMark[] = L"old-";
// A temporary file this old (100 ns units) belongs to no save still running.
constexpr std::uint64_t kStaleTicks = std::uint64_t(kSafeFileStaleSeconds) * 10000000ull;
// The old file's attributes that the new one keeps.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

std::wstring RandomSuffix() {
    unsigned char raw[kSafeFileSuffixLength];
    const bool ok = BCryptGenRandom(nullptr, raw, sizeof raw, BCRYPT_USE_SYSTEM_PREFERRED_RNG) >= 0;
    return Wide(
        SafeFileSuffix(raw, ok, GetTickCount64() ^ (std::uint64_t(GetCurrentProcessId()) << 32)));
}

std::uint64_t Ticks(const FILETIME& t) {
    return (std::uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

// A final path without the "\\?\" that GetFinalPathNameByHandleW puts first
// (kept for UNC and long paths, which need it).
std::string FinalPath(HANDLE handle) {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n =
            GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()), 0);
        if (n == 0)
            return std::string();
        if (n < buffer.size()) {
            buffer.resize(n);
            break;
        }
        buffer.resize(n + 1);
    }
    if (buffer.rfind(L"\\\\?\\", 0) == 0 && buffer.size() < MAX_PATH + 4 &&
        buffer.rfind(L"\\\\?\\UNC\\", 0) != 0)
        buffer.erase(0, 4);
    return Narrow(buffer);
}

#ifdef BM_FAULT_POINTS
// Test builds only (never the program that is shipped): with
// BYTEMENDER_KILL_AT_MOVE=N in the environment, the process ends at once, as
// if killed, when it is about to make its N-th move of a file.
void FaultPoint() {
    static int moves = 0;
    const char* at = std::getenv("BYTEMENDER_KILL_AT_MOVE");
    if (at && ++moves == std::atoi(at))
        TerminateProcess(GetCurrentProcess(), 137);
}
#else
void FaultPoint() {}
#endif

bool Move(const std::wstring& from, const std::wstring& to, DWORD flags) {
    FaultPoint();
    return MoveFileExW(from.c_str(), to.c_str(), flags) != 0;
}

// Calls visit with each file in folder whose name starts with prefix, and
// that name as UTF-8.
template <typename Visit>
void ForEachLeftOver(const std::wstring& folder, const std::wstring& prefix, Visit visit) {
    WIN32_FIND_DATAW entry{};
    const HANDLE search = FindFirstFileW((folder + prefix + L"*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            visit(entry, Narrow(entry.cFileName));
    } while (FindNextFileW(search, &entry));
    FindClose(search);
}

struct WinState final : SafeFile::State {
    std::wstring folder;  // the file's folder with its separator, or empty
    std::wstring target;  // the file
    std::wstring prefix;  // ".<name>.bytemender-"
    std::wstring temp;    // the temporary file; empty in place
    DWORD attributes = 0; // the old file's, when there is one
    bool exists = false;

    ~WinState() override {
        CloseFd(fd);
        if (!temp.empty() && !committed)
            DeleteFileW(temp.c_str());
    }

    bool Prepare(const std::string& path) override;
    // The old file's hidden, system and archive attributes.
    void BeforeFlush() override;
    bool PutInPlace() override;
    void AfterPut() override;

    bool SetNames(const std::string& path);
    bool CreateTemp(bool* refused);
    bool OpenInPlace(const FileInfo& existing);
};

} // namespace

bool WinState::CreateTemp(bool* refused) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::wstring candidate = folder + prefix + RandomSuffix();
        const HANDLE handle =
            CreateFileW(candidate.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                        CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            fd = DescriptorOf(handle, true);
            if (fd < 0)
                return false;
            temp = std::move(candidate);
            return true;
        }
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS)
            continue;
        *refused = error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT;
        return false;
    }
    return false;
}

bool WinState::OpenInPlace(const FileInfo& existing) {
    const HANDLE handle = CreateFileW(target.c_str(), GENERIC_WRITE | GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_ACCESS_DENIED)
            return Fail(Reason::ReadOnly);
        SetErrno(error);
        return FailFromErrno();
    }
    // The name may have been given to something else since it was looked at.
    const FileInfo now = Describe(handle);
    fd = DescriptorOf(handle, true);
    if (fd < 0)
        return Fail(Reason::IoError);
    if (now.kind != FileKind::Regular || now.volume != existing.volume ||
        now.index != existing.index)
        return Fail(Reason::NotRegular);
    inPlace = true;
    return true;
}

// Moves the temporary file over the target; a target in use is moved aside
// first.
bool WinState::PutInPlace() {
    constexpr DWORD kReplace = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    if (Move(temp, target, kReplace))
        return true;
    const DWORD error = GetLastError();
    if (!exists || (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION)) {
        SetErrno(error);
        return false;
    }
    std::wstring aside;
    for (int attempt = 0; attempt < 100 && aside.empty(); ++attempt) {
        std::wstring candidate = folder + prefix + kAsideMark + RandomSuffix();
        if (Move(target, candidate, MOVEFILE_WRITE_THROUGH))
            aside = std::move(candidate);
        else if (GetLastError() != ERROR_ALREADY_EXISTS && GetLastError() != ERROR_FILE_EXISTS)
            break;
    }
    if (aside.empty()) {
        SetErrno(ERROR_SHARING_VIOLATION); // locked even against a rename
        return false;
    }
    // Killed from here to the move, the file is missing and the aside file
    // holds it: RecoverInterruptedReplace puts it back.
    if (!Move(temp, target, kReplace)) {
        const DWORD moveError = GetLastError();
        Move(aside, target, MOVEFILE_WRITE_THROUGH);
        SetErrno(moveError);
        return false;
    }
    DeleteFileW(aside.c_str()); // fails while the old file is still in use
    return true;
}

// Removes temporary files of this program for the same file that a killed
// save left behind, and old files moved aside that nobody uses any more.
void WinState::AfterPut() {
    FILETIME nowTime{};
    GetSystemTimeAsFileTime(&nowTime);
    const std::uint64_t now = Ticks(nowTime);
    const std::string narrowPrefix = Narrow(prefix);
    const std::string asidePrefix = narrowPrefix + Narrow(kAsideMark);
    ForEachLeftOver(folder, prefix, [&](const WIN32_FIND_DATAW& entry, const std::string& name) {
        const bool stale = IsSafeFileTempName(name, narrowPrefix) &&
                           now - Ticks(entry.ftLastWriteTime) > kStaleTicks;
        if (stale || IsSafeFileTempName(name, asidePrefix))
            DeleteFileW((folder + entry.cFileName).c_str());
    });
}

// The target's name split into its folder and the prefix of its temporary
// files; false for a name that cannot have them.
bool WinState::SetNames(const std::string& path) {
    target = Wide(path);
    const std::size_t slash = target.find_last_of(L"\\/");
    const std::wstring name = slash == std::wstring::npos ? target : target.substr(slash + 1);
    if (name.empty())
        return false;
    folder = slash == std::wstring::npos ? std::wstring() : target.substr(0, slash + 1);
    // Leave room for the marks and the suffix within a name's 255 units.
    constexpr std::size_t kNameMax = 255;
    const std::size_t room = kNameMax - 1 - (std::size(kSafeFileTempMark) - 1) -
                             (std::size(kAsideMark) - 1) - kSafeFileSuffixLength;
    prefix = L"." + name.substr(0, room) + Wide(kSafeFileTempMark);
    return true;
}

std::unique_ptr<SafeFile::State> NewSafeFileState() {
    return std::make_unique<WinState>();
}

bool RecoverInterruptedReplace(const std::string& path) {
    WinState names;
    if (path.empty() || IsWindowsDeviceName(path) || !names.SetNames(path) ||
        LookAtPath(path).kind != FileKind::Missing)
        return false;
    // The newest contents moved aside are the ones the file held last.
    const std::string asidePrefix = Narrow(names.prefix) + Narrow(kAsideMark);
    std::wstring newest;
    std::uint64_t newestTime = 0;
    ForEachLeftOver(names.folder, names.prefix,
                    [&](const WIN32_FIND_DATAW& entry, const std::string& name) {
                        if (IsSafeFileTempName(name, asidePrefix) &&
                            (newest.empty() || Ticks(entry.ftLastWriteTime) > newestTime)) {
                            newest = names.folder + entry.cFileName;
                            newestTime = Ticks(entry.ftLastWriteTime);
                        }
                    });
    return !newest.empty() && Move(newest, names.target, MOVEFILE_WRITE_THROUGH);
}

bool WinState::Prepare(const std::string& path) {
    if (IsWindowsDeviceName(path))
        return Fail(Reason::NotRegular);
    RecoverInterruptedReplace(path);
    std::string resolved = path;
    FileInfo existing = LookAtPath(path);
    if (existing.kind == FileKind::Unknown)
        return Fail(Reason::IoError);
    if (existing.Exists() && existing.kind != FileKind::Regular)
        return Fail(Reason::NotRegular);
    exists = existing.Exists();
    if (exists) {
        attributes = GetFileAttributesW(Wide(path).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES)
            return Fail(Reason::IoError);
        // A link is followed: the file it points to is replaced.
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            const HANDLE handle = OpenShared(path, FILE_READ_ATTRIBUTES, OPEN_EXISTING);
            if (handle == INVALID_HANDLE_VALUE)
                return Fail(Reason::IoError);
            resolved = FinalPath(handle);
            CloseHandle(handle);
            attributes = GetFileAttributesW(Wide(resolved).c_str());
            if (resolved.empty() || attributes == INVALID_FILE_ATTRIBUTES)
                return Fail(Reason::IoError);
        }
        if (attributes & FILE_ATTRIBUTE_READONLY)
            return Fail(Reason::ReadOnly);
    }
    if (!SetNames(resolved))
        return Fail(Reason::IoError);

    bool refused = false;
    if (CreateTemp(&refused))
        return true;
    if (!refused)
        return Fail(Reason::IoError);
    if (!exists)
        return Fail(Reason::FolderRefused);
    return OpenInPlace(existing);
}

void WinState::BeforeFlush() {
    if (!inPlace && exists && (attributes & kKeptAttributes) != 0)
        SetFileAttributesW(temp.c_str(), attributes & kKeptAttributes);
}
