// Replacing a file through a temporary file in its folder, with the in-place
// fallback for folders that take no new file.
#include "winutil/SafeFile.h"

#include "winutil/FdIo.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <new>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Reason = SafeFile::Reason;

constexpr char kTempMark[] = ".bytemender-";
constexpr std::size_t kSuffixLength = 6;
constexpr char kSuffixAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
// A temporary file this old belongs to no save still running.
constexpr time_t kStaleSeconds = 60;
// The deepest chain of symbolic links followed (the kernel's own limit).
constexpr int kMaxLinks = 40;
// Block size of the copy when copy_file_range is not available.
constexpr std::size_t kCopyBlock = std::size_t(1) << 20;

// Follows symbolic links from path to the name they end at. *exists tells
// whether that name exists, *st what it is when it does.
Reason ResolveLinks(std::string path, std::string* resolved, bool* exists, struct stat* st) {
    for (int hops = 0; hops <= kMaxLinks; ++hops) {
        if (::lstat(path.c_str(), st) != 0) {
            if (errno != ENOENT)
                return errno == ELOOP ? Reason::NotRegular : Reason::IoError;
            *exists = false;
            *resolved = std::move(path);
            return Reason::Ok;
        }
        if (!S_ISLNK(st->st_mode)) {
            *exists = true;
            *resolved = std::move(path);
            return Reason::Ok;
        }
        char link[PATH_MAX];
        const ssize_t length = ::readlink(path.c_str(), link, sizeof link);
        if (length <= 0 || static_cast<std::size_t>(length) >= sizeof link)
            return Reason::IoError;
        std::string next(link, static_cast<std::size_t>(length));
        const std::size_t slash = path.rfind('/');
        if (next[0] != '/' && slash != std::string::npos)
            next.insert(0, path, 0, slash + 1); // relative to the link's folder
        path = std::move(next);
    }
    return Reason::NotRegular; // a loop of links
}

std::string RandomSuffix() {
    unsigned char raw[kSuffixLength];
    if (::getrandom(raw, sizeof raw, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof raw)) {
        // Without system randomness: clock, process and a counter, mixed.
        static std::uint64_t counter = 0;
        timespec now{};
        ::clock_gettime(CLOCK_REALTIME, &now);
        std::uint64_t x = static_cast<std::uint64_t>(now.tv_nsec) ^
                          (static_cast<std::uint64_t>(::getpid()) << 32) ^ ++counter;
        for (unsigned char& byte : raw) {
            x ^= x >> 31;
            x *= 0x9E3779B97F4A7C15ull;
            byte = static_cast<unsigned char>(x >> 56);
        }
    }
    std::string suffix;
    for (unsigned char byte : raw)
        suffix.push_back(kSuffixAlphabet[byte % (sizeof kSuffixAlphabet - 1)]);
    return suffix;
}

bool IsTempName(const char* entry, const std::string& prefix) {
    const std::size_t length = std::strlen(entry);
    if (length != prefix.size() + kSuffixLength ||
        prefix.compare(0, prefix.size(), entry, prefix.size()) != 0)
        return false;
    for (std::size_t i = prefix.size(); i < length; ++i) {
        if (std::strchr(kSuffixAlphabet, entry[i]) == nullptr)
            return false;
    }
    return true;
}

void CloseFd(int* fd) {
    if (*fd >= 0)
        ::close(*fd);
    *fd = -1;
}

} // namespace

struct SafeFile::State {
    Reason why = Reason::Ok;
    bool failed = false;
    bool inPlace = false;
    bool committed = false;
    bool touched = false; // a write or cut was issued to the file
    int folder = -1;      // the file's folder, for the *at calls (O_PATH)
    int fd = -1;          // the temporary file, or the file itself when written in place
    std::string name;     // the file's name in its folder
    std::string prefix;   // ".<name>.bytemender-"
    std::string temp;     // the temporary file's name; empty in place
    std::uint64_t position = 0;
    std::uint64_t extent = 0;
    // The set-user and set-group bits to give back after the last write (a
    // write by anyone but root clears them); 0 when there are none to keep.
    mode_t keepBits = 0;
    mode_t bits = 0;                // the file's permission bits with keepBits
    std::unique_ptr<char[]> buffer; // for copies without copy_file_range

    State() = default;
    State(const State&) = delete;
    State& operator=(const State&) = delete;
    ~State() {
        CloseFd(&fd);
        if (!temp.empty() && !committed)
            ::unlinkat(folder, temp.c_str(), 0);
        CloseFd(&folder);
    }

    bool Fail(Reason reason) {
        failed = true;
        if (why == Reason::Ok)
            why = reason;
        return false;
    }
    bool Usable() const { return fd >= 0 && !failed && !committed; }
    // Before a write: in place, the file's contents change from here on.
    bool Touch() {
        touched = true;
        return true;
    }
    void Wrote(std::uint64_t end) { extent = std::max(extent, end); }
    bool CreateTemp(const struct stat* existing, bool* refused);
    // Notes the set-user and set-group bits of existing that the file made
    // (or opened) for it may keep: those of the owner and the group it has.
    void KeepPrivilegeBits(const struct stat& existing, const struct stat& made);
    // Gives them back after the last write.
    void RestorePrivilegeBits();
    bool OpenInPlace(const std::string& path, const struct stat& existing);
    void SyncFolderAndSweep();
};

bool SafeFile::State::CreateTemp(const struct stat* existing, bool* refused) {
    // Leave room for the mark and the suffix within a file name's 255 bytes.
    constexpr std::size_t kNameMax = 255;
    const std::size_t room = kNameMax - 1 - (sizeof kTempMark - 1) - kSuffixLength;
    prefix = "." + name.substr(0, room) + kTempMark;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = prefix + RandomSuffix();
        // A new file gets the bits of any new file (mask and default ACL).
        // One that replaces a file is never more open than that file, from
        // its first moment; its exact bits are set below.
        const mode_t mode = existing ? existing->st_mode & 0777 : 0666;
        const int created = ::openat(folder, candidate.c_str(),
                                     O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, mode);
        if (created >= 0) {
            fd = created;
            temp = std::move(candidate);
            break;
        }
        if (errno == EEXIST || errno == EINTR)
            continue;
        *refused = errno == EACCES || errno == EPERM || errno == EROFS;
        return false;
    }
    if (fd < 0)
        return false;
    if (!existing)
        return true;
    // Owner first: changing it clears the set-user and set-group bits.
    if (::geteuid() == 0)
        (void)::fchown(fd, existing->st_uid, existing->st_gid);
    else
        (void)::fchown(fd, static_cast<uid_t>(-1), existing->st_gid); // if a member
    // The file's own bits, before anything is written. Some file systems
    // refuse the change (their bits are fixed): that is fine as long as the
    // new file is no more open than the old one. The set-user and set-group
    // bits come last, and only for the owner and group the file had: a
    // program set-user for its owner never becomes one set-user for whoever
    // replaced it.
    const mode_t wanted = existing->st_mode & 07777 & ~(S_ISUID | S_ISGID);
    struct stat now {};
    if (::fchmod(fd, wanted) != 0) {
        if (::fstat(fd, &now) != 0 || (now.st_mode & 07777 & ~wanted) != 0)
            return Fail(Reason::IoError);
    }
    if ((existing->st_mode & (S_ISUID | S_ISGID)) != 0 && ::fstat(fd, &now) == 0)
        KeepPrivilegeBits(*existing, now);
    return true;
}

void SafeFile::State::KeepPrivilegeBits(const struct stat& existing, const struct stat& made) {
    bits = existing.st_mode & 07777;
    if (made.st_uid == existing.st_uid)
        keepBits |= existing.st_mode & S_ISUID;
    if (made.st_gid == existing.st_gid)
        keepBits |= existing.st_mode & S_ISGID;
    bits &= ~((S_ISUID | S_ISGID) & ~keepBits);
}

void SafeFile::State::RestorePrivilegeBits() {
    // A file system that refuses them leaves the file as any write would.
    if (keepBits != 0)
        (void)::fchmod(fd, bits);
}

bool SafeFile::State::OpenInPlace(const std::string& path, const struct stat& existing) {
    fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return Fail(errno == EACCES || errno == EROFS ? Reason::ReadOnly : Reason::IoError);
    struct stat st {};
    // The name may have been given to something else since it was looked at.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_dev != existing.st_dev ||
        st.st_ino != existing.st_ino)
        return Fail(Reason::NotRegular);
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    // Only the owner may set the bits again once a write has cleared them.
    if ((st.st_mode & (S_ISUID | S_ISGID)) != 0 && st.st_uid == ::geteuid())
        KeepPrivilegeBits(st, st);
    inPlace = true;
    return true;
}

// Makes the rename durable, then removes temporary files of this program for
// the same file that a killed save left behind. Neither step can undo a
// replace that already took place, so their failures are ignored.
void SafeFile::State::SyncFolderAndSweep() {
    const int listing = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listing < 0)
        return;
    ::fsync(listing);
    DIR* entries = ::fdopendir(listing);
    if (!entries) {
        ::close(listing);
        return;
    }
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    while (const dirent* entry = ::readdir(entries)) {
        if (!IsTempName(entry->d_name, prefix))
            continue;
        struct stat st {};
        if (::fstatat(listing, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(st.st_mode) && now.tv_sec - st.st_mtim.tv_sec > kStaleSeconds)
            ::unlinkat(listing, entry->d_name, 0);
    }
    ::closedir(entries);
}

SafeFile::SafeFile() = default;
SafeFile::~SafeFile() = default;

bool SafeFile::Open(const std::string& path) {
    state_ = std::make_unique<State>();
    State& s = *state_;
    if (path.empty())
        return s.Fail(Reason::IoError);
    std::string resolved;
    bool exists = false;
    struct stat st {};
    if (const Reason reason = ResolveLinks(path, &resolved, &exists, &st); reason != Reason::Ok)
        return s.Fail(reason);
    if (exists && !S_ISREG(st.st_mode))
        return s.Fail(Reason::NotRegular);
    // Renaming over a file needs only a writable folder: the file's own
    // protection is honoured here.
    if (exists && ::faccessat(AT_FDCWD, resolved.c_str(), W_OK, AT_EACCESS) != 0)
        return s.Fail(errno == EACCES || errno == EPERM || errno == EROFS ? Reason::ReadOnly
                                                                          : Reason::IoError);

    const std::size_t slash = resolved.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".")
                               : slash == 0               ? std::string("/")
                                                          : resolved.substr(0, slash);
    s.name = slash == std::string::npos ? resolved : resolved.substr(slash + 1);
    if (s.name.empty())
        return s.Fail(Reason::IoError);
    s.folder = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    struct stat folderStat {};
    if (s.folder < 0 || ::fstat(s.folder, &folderStat) != 0)
        return s.Fail(Reason::IoError);

    // In a sticky folder only the owner of a file (or of the folder) may
    // rename over it; anyone else who may write the file writes it in place.
    const uid_t user = ::geteuid();
    bool refused = exists && (folderStat.st_mode & S_ISVTX) != 0 && user != 0 &&
                   st.st_uid != user && folderStat.st_uid != user;
    if (!refused && s.CreateTemp(exists ? &st : nullptr, &refused))
        return true;
    if (!refused)
        return s.Fail(Reason::IoError);
    if (!exists)
        return s.Fail(Reason::FolderRefused);
    return s.OpenInPlace(resolved, st);
}

bool SafeFile::Write(const void* data, std::size_t size) {
    if (!state_ || !state_->Usable())
        return false;
    State& s = *state_;
    if (!s.Touch() || !WriteAllAt(s.fd, s.position, data, size))
        return s.Fail(Reason::IoError);
    s.position += size;
    s.Wrote(s.position);
    return true;
}

bool SafeFile::WriteAt(std::uint64_t offset, const void* data, std::size_t size) {
    if (!state_ || !state_->Usable())
        return false;
    State& s = *state_;
    if (!s.Touch() || !WriteAllAt(s.fd, offset, data, size))
        return s.Fail(Reason::IoError);
    s.Wrote(offset + size);
    return true;
}

bool SafeFile::CopyFrom(int source, std::uint64_t sourceOffset, std::uint64_t length) {
    if (!state_ || !state_->Usable())
        return false;
    State& s = *state_;
    s.Touch();
    off64_t in = static_cast<off64_t>(sourceOffset);
    off64_t out = static_cast<off64_t>(s.position);
    bool kernelCopy = true;
    while (length > 0) {
        const std::size_t chunk =
            static_cast<std::size_t>(std::min<std::uint64_t>(length, std::uint64_t(1) << 30));
        if (kernelCopy) {
            const ssize_t copied = ::copy_file_range(source, &in, s.fd, &out, chunk, 0);
            if (copied > 0) {
                length -= static_cast<std::uint64_t>(copied);
                continue;
            }
            if (copied < 0 && errno == EINTR)
                continue;
            if (copied < 0 && errno != EXDEV && errno != EINVAL && errno != ENOSYS &&
                errno != EOPNOTSUPP)
                return s.Fail(Reason::IoError);
            // Not between these two files (or a file system that reports no
            // data this way): copy by hand, which also tells a real early end.
            kernelCopy = false;
        }
        if (!s.buffer)
            s.buffer.reset(new (std::nothrow) char[kCopyBlock]);
        if (!s.buffer)
            return s.Fail(Reason::IoError);
        const ssize_t got = ::pread(source, s.buffer.get(), std::min(chunk, kCopyBlock), in);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0 || !WriteAllAt(s.fd, static_cast<std::uint64_t>(out), s.buffer.get(),
                                    static_cast<std::size_t>(got)))
            return s.Fail(Reason::IoError);
        in += got;
        out += got;
        length -= static_cast<std::uint64_t>(got);
    }
    s.position = static_cast<std::uint64_t>(out);
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
        s.Touch();
        if (::ftruncate(s.fd, static_cast<off_t>(s.extent)) != 0)
            return s.Fail(Reason::IoError);
        s.RestorePrivilegeBits();
        if (::fsync(s.fd) != 0)
            return s.Fail(Reason::IoError);
        const int fd = s.fd;
        s.fd = -1;
        if (::close(fd) != 0)
            return s.Fail(Reason::IoError);
        s.committed = true;
        return true;
    }
    s.RestorePrivilegeBits();
    if (::fsync(s.fd) != 0)
        return s.Fail(Reason::IoError);
    const int fd = s.fd;
    s.fd = -1;
    if (::close(fd) != 0 || ::renameat(s.folder, s.temp.c_str(), s.folder, s.name.c_str()) != 0)
        return s.Fail(Reason::IoError);
    s.committed = true;
    s.SyncFolderAndSweep();
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
