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
#include "winutil/SafeFile.h"

#include "winutil/FileUtil.h"
#include "winutil/Win32Internal.h"

#include <algorithm>
#include <bcrypt.h>
#include <cerrno>
#include <memory>
#include <new>

namespace {

using namespace win32;
using Reason = SafeFile::Reason;

constexpr wchar_t kTempMark[] = L".bytemender-";
constexpr wchar_t kAsideMark[] = L"old-";
constexpr std::size_t kSuffixLength = 6;
constexpr wchar_t kSuffixAlphabet[] =
    L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
// A temporary file this old (100 ns units) belongs to no save still running.
constexpr std::uint64_t kStaleTicks = 60ull * 10000000ull;
constexpr std::size_t kCopyBlock = std::size_t(1) << 20;
// The old file's attributes that the new one keeps.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

std::wstring RandomSuffix() {
    unsigned char raw[kSuffixLength];
    if (BCryptGenRandom(nullptr, raw, sizeof raw, BCRYPT_USE_SYSTEM_PREFERRED_RNG) < 0) {
        // Without system randomness: clock, process and a counter, mixed.
        static std::uint64_t counter = 0;
        std::uint64_t x =
            GetTickCount64() ^ (std::uint64_t(GetCurrentProcessId()) << 32) ^ ++counter;
        for (unsigned char& byte : raw) {
            x ^= x >> 31;
            x *= 0x9E3779B97F4A7C15ull;
            byte = static_cast<unsigned char>(x >> 56);
        }
    }
    std::wstring suffix;
    for (unsigned char byte : raw)
        suffix.push_back(kSuffixAlphabet[byte % (std::size(kSuffixAlphabet) - 1)]);
    return suffix;
}

bool HasSuffixAt(const std::wstring& entry, std::size_t at) {
    if (entry.size() != at + kSuffixLength)
        return false;
    return std::all_of(entry.begin() + static_cast<std::ptrdiff_t>(at), entry.end(),
                       [](wchar_t c) { return std::wcschr(kSuffixAlphabet, c) != nullptr; });
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

} // namespace

struct SafeFile::State {
    Reason why = Reason::Ok;
    bool failed = false;
    bool inPlace = false;
    bool committed = false;
    bool touched = false; // a write or cut was issued to the file
    int fd = -1;          // the temporary file, or the file itself when written in place
    std::wstring folder;  // the file's folder with its separator, or empty
    std::wstring target;  // the file
    std::wstring prefix;  // ".<name>.bytemender-"
    std::wstring temp;    // the temporary file; empty in place
    DWORD attributes = 0; // the old file's, when there is one
    bool exists = false;
    std::uint64_t position = 0;
    std::uint64_t extent = 0;
    std::unique_ptr<char[]> buffer; // for CopyFrom

    State() = default;
    State(const State&) = delete;
    State& operator=(const State&) = delete;
    ~State() {
        CloseFd(fd);
        if (!temp.empty() && !committed)
            DeleteFileW(temp.c_str());
    }

    bool Fail(Reason reason) {
        failed = true;
        if (why == Reason::Ok)
            why = reason;
        return false;
    }
    bool Usable() const { return fd >= 0 && !failed && !committed; }
    void Wrote(std::uint64_t end) { extent = std::max(extent, end); }
    bool CreateTemp(bool* refused);
    bool OpenInPlace(const FileInfo& existing);
    bool MoveIntoPlace();
    void Sweep();
};

bool SafeFile::State::CreateTemp(bool* refused) {
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

bool SafeFile::State::OpenInPlace(const FileInfo& existing) {
    const HANDLE handle = CreateFileW(target.c_str(), GENERIC_WRITE | GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return Fail(GetLastError() == ERROR_ACCESS_DENIED ? Reason::ReadOnly : Reason::IoError);
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
bool SafeFile::State::MoveIntoPlace() {
    constexpr DWORD kReplace = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    if (MoveFileExW(temp.c_str(), target.c_str(), kReplace))
        return true;
    const DWORD error = GetLastError();
    if (!exists || (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION)) {
        SetErrno(error);
        return false;
    }
    std::wstring aside;
    for (int attempt = 0; attempt < 100 && aside.empty(); ++attempt) {
        std::wstring candidate = folder + prefix + kAsideMark + RandomSuffix();
        if (MoveFileExW(target.c_str(), candidate.c_str(), MOVEFILE_WRITE_THROUGH))
            aside = std::move(candidate);
        else if (GetLastError() != ERROR_ALREADY_EXISTS && GetLastError() != ERROR_FILE_EXISTS)
            break;
    }
    if (aside.empty()) {
        SetErrno(ERROR_SHARING_VIOLATION); // locked even against a rename
        return false;
    }
    if (!MoveFileExW(temp.c_str(), target.c_str(), kReplace)) {
        const DWORD moveError = GetLastError();
        MoveFileExW(aside.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH);
        SetErrno(moveError);
        return false;
    }
    DeleteFileW(aside.c_str()); // fails while the old file is still in use
    return true;
}

// Removes temporary files of this program for the same file that a killed
// save left behind, and old files moved aside that nobody uses any more.
void SafeFile::State::Sweep() {
    WIN32_FIND_DATAW entry{};
    const std::wstring pattern = folder + prefix + L"*";
    const HANDLE search = FindFirstFileW(pattern.c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return;
    FILETIME nowTime{};
    GetSystemTimeAsFileTime(&nowTime);
    const std::uint64_t now = Ticks(nowTime);
    const std::size_t asideAt = prefix.size() + std::size(kAsideMark) - 1;
    do {
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        const std::wstring name = entry.cFileName;
        const bool stale =
            HasSuffixAt(name, prefix.size()) && now - Ticks(entry.ftLastWriteTime) > kStaleTicks;
        const bool aside =
            name.compare(prefix.size(), std::size(kAsideMark) - 1, kAsideMark) == 0 &&
            HasSuffixAt(name, asideAt);
        if (stale || aside)
            DeleteFileW((folder + name).c_str());
    } while (FindNextFileW(search, &entry));
    FindClose(search);
}

SafeFile::SafeFile() = default;
SafeFile::~SafeFile() = default;

bool SafeFile::Open(const std::string& path) {
    state_ = std::make_unique<State>();
    State& s = *state_;
    if (path.empty())
        return s.Fail(Reason::IoError);
    if (IsWindowsDeviceName(path))
        return s.Fail(Reason::NotRegular);
    std::string resolved = path;
    FileInfo existing = LookAtPath(path);
    if (existing.kind == FileKind::Unknown)
        return s.Fail(Reason::IoError);
    if (existing.Exists() && existing.kind != FileKind::Regular)
        return s.Fail(Reason::NotRegular);
    s.exists = existing.Exists();
    if (s.exists) {
        s.attributes = GetFileAttributesW(Wide(path).c_str());
        if (s.attributes == INVALID_FILE_ATTRIBUTES)
            return s.Fail(Reason::IoError);
        // A link is followed: the file it points to is replaced.
        if (s.attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            const HANDLE handle = OpenShared(path, FILE_READ_ATTRIBUTES, OPEN_EXISTING);
            if (handle == INVALID_HANDLE_VALUE)
                return s.Fail(Reason::IoError);
            resolved = FinalPath(handle);
            CloseHandle(handle);
            s.attributes = GetFileAttributesW(Wide(resolved).c_str());
            if (resolved.empty() || s.attributes == INVALID_FILE_ATTRIBUTES)
                return s.Fail(Reason::IoError);
        }
        if (s.attributes & FILE_ATTRIBUTE_READONLY)
            return s.Fail(Reason::ReadOnly);
    }
    s.target = Wide(resolved);
    const std::size_t slash = s.target.find_last_of(L"\\/");
    const std::wstring name = slash == std::wstring::npos ? s.target : s.target.substr(slash + 1);
    if (name.empty())
        return s.Fail(Reason::IoError);
    s.folder = slash == std::wstring::npos ? std::wstring() : s.target.substr(0, slash + 1);
    // Leave room for the marks and the suffix within a name's 255 units.
    constexpr std::size_t kNameMax = 255;
    const std::size_t room =
        kNameMax - 1 - (std::size(kTempMark) - 1) - (std::size(kAsideMark) - 1) - kSuffixLength;
    s.prefix = L"." + name.substr(0, room) + kTempMark;

    bool refused = false;
    if (s.CreateTemp(&refused))
        return true;
    if (!refused)
        return s.Fail(Reason::IoError);
    if (!s.exists)
        return s.Fail(Reason::FolderRefused);
    return s.OpenInPlace(existing);
}

bool SafeFile::Write(const void* data, std::size_t size) {
    if (!state_ || !state_->Usable())
        return false;
    State& s = *state_;
    s.touched = true;
    if (!WriteAllAt(s.fd, s.position, data, size))
        return s.Fail(Reason::IoError);
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
        return s.Fail(Reason::IoError);
    s.Wrote(offset + size);
    return true;
}

bool SafeFile::CopyFrom(int source, std::uint64_t sourceOffset, std::uint64_t length) {
    if (!state_ || !state_->Usable())
        return false;
    State& s = *state_;
    if (!s.buffer)
        s.buffer.reset(new (std::nothrow) char[kCopyBlock]);
    if (!s.buffer)
        return s.Fail(Reason::IoError);
    s.touched = true;
    while (length > 0) {
        const auto chunk = static_cast<std::size_t>(std::min<std::uint64_t>(length, kCopyBlock));
        const std::int64_t got = ReadSomeAt(source, sourceOffset, s.buffer.get(), chunk);
        if (got <= 0 ||
            !WriteAllAt(s.fd, s.position, s.buffer.get(), static_cast<std::size_t>(got)))
            return s.Fail(Reason::IoError);
        sourceOffset += static_cast<std::uint64_t>(got);
        s.position += static_cast<std::uint64_t>(got);
        length -= static_cast<std::uint64_t>(got);
    }
    s.Wrote(s.position);
    return true;
}

bool SafeFile::Commit() {
    if (!state_)
        state_ = std::make_unique<State>();
    State& s = *state_;
    if (!s.Usable())
        return s.Fail(Reason::IoError);
    if (s.inPlace) {
        // The old contents may run past the new ones.
        s.touched = true;
        if (!SetFileLength(s.fd, s.extent) || !FlushFileBuffers(HandleOf(s.fd)))
            return s.Fail(Reason::IoError);
        CloseFd(s.fd);
        s.fd = -1;
        s.committed = true;
        return true;
    }
    if (!SetFileLength(s.fd, s.extent) || !FlushFileBuffers(HandleOf(s.fd)))
        return s.Fail(Reason::IoError);
    CloseFd(s.fd);
    s.fd = -1;
    if (s.exists && (s.attributes & kKeptAttributes) != 0)
        SetFileAttributesW(s.temp.c_str(), s.attributes & kKeptAttributes);
    if (!s.MoveIntoPlace())
        return s.Fail(Reason::IoError);
    s.committed = true;
    s.Sweep();
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
