// Replacing a file on POSIX: a temporary file in its folder (made with the
// *at calls on the folder), renamed over the file, with the in-place
// fallback for folders that take no new file.
#include "winutil/SafeFileInternal.h"

#include "winutil/FdIo.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Reason = SafeFile::Reason;

// The deepest chain of symbolic links followed (the kernel's own limit).
constexpr int kMaxLinks = 40;

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
    unsigned char raw[kSafeFileSuffixLength];
    const bool ok = ::getrandom(raw, sizeof raw, GRND_NONBLOCK) == static_cast<ssize_t>(sizeof raw);
    timespec now{};
    if (!ok)
        ::clock_gettime(CLOCK_REALTIME, &now);
    return SafeFileSuffix(raw, ok,
                          static_cast<std::uint64_t>(now.tv_nsec) ^
                              (static_cast<std::uint64_t>(::getpid()) << 32));
}

void CloseFd(int* fd) {
    if (*fd >= 0)
        ::close(*fd);
    *fd = -1;
}

} // namespace

namespace {

struct PosixState final : SafeFile::State {
    int folder = -1;    // the file's folder, for the *at calls (O_PATH)
    std::string name;   // the file's name in its folder
    std::string prefix; // ".<name>.bytemender-"
    std::string temp;   // the temporary file's name; empty in place
    // The set-user and set-group bits to give back after the last write (a
    // write by anyone but root clears them); 0 when there are none to keep.
    mode_t keepBits = 0;
    mode_t bits = 0; // the file's permission bits with keepBits

    ~PosixState() override {
        CloseFd(&fd);
        if (!temp.empty() && !committed)
            ::unlinkat(folder, temp.c_str(), 0);
        CloseFd(&folder);
    }

    bool Prepare(const std::string& path) override;
    bool CopyInKernel(int source, std::uint64_t* in, std::uint64_t* out,
                      std::uint64_t* length) override;
    // Gives back the set-user and set-group bits a write cleared.
    void BeforeFlush() override {
        if (keepBits != 0) // a file system that refuses them leaves the file as any write would
            (void)::fchmod(fd, bits);
    }
    bool PutInPlace() override {
        return ::renameat(folder, temp.c_str(), folder, name.c_str()) == 0;
    }
    void AfterPut() override;

    bool CreateTemp(const struct stat* existing, bool* refused);
    // Notes the set-user and set-group bits of existing that the file made
    // (or opened) for it may keep: those of the owner and the group it has.
    void KeepPrivilegeBits(const struct stat& existing, const struct stat& made);
    bool OpenInPlace(const std::string& path, const struct stat& existing);
};

} // namespace

bool PosixState::CreateTemp(const struct stat* existing, bool* refused) {
    // Leave room for the mark and the suffix within a file name's 255 bytes.
    constexpr std::size_t kNameMax = 255;
    const std::size_t room = kNameMax - 1 - (sizeof kSafeFileTempMark - 1) - kSafeFileSuffixLength;
    prefix.assign(1, '.').append(name, 0, room).append(kSafeFileTempMark);
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

void PosixState::KeepPrivilegeBits(const struct stat& existing, const struct stat& made) {
    bits = existing.st_mode & 07777;
    if (made.st_uid == existing.st_uid)
        keepBits |= existing.st_mode & S_ISUID;
    if (made.st_gid == existing.st_gid)
        keepBits |= existing.st_mode & S_ISGID;
    bits &= ~((S_ISUID | S_ISGID) & ~keepBits);
}

bool PosixState::OpenInPlace(const std::string& path, const struct stat& existing) {
    fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return errno == EACCES || errno == EROFS ? Fail(Reason::ReadOnly) : FailFromErrno();
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
// the same file that a killed save left behind.
void PosixState::AfterPut() {
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
        if (!IsSafeFileTempName(entry->d_name, prefix))
            continue;
        struct stat st {};
        if (::fstatat(listing, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(st.st_mode) && now.tv_sec - st.st_mtim.tv_sec > kSafeFileStaleSeconds)
            ::unlinkat(listing, entry->d_name, 0);
    }
    ::closedir(entries);
}

std::unique_ptr<SafeFile::State> NewSafeFileState() {
    return std::make_unique<PosixState>();
}

bool PosixState::Prepare(const std::string& path) {
    std::string resolved;
    bool exists = false;
    struct stat st {};
    if (const Reason reason = ResolveLinks(path, &resolved, &exists, &st); reason != Reason::Ok)
        return Fail(reason);
    if (exists && !S_ISREG(st.st_mode))
        return Fail(Reason::NotRegular);
    // Renaming over a file needs only a writable folder: the file's own
    // protection is honoured here.
    if (exists && ::faccessat(AT_FDCWD, resolved.c_str(), W_OK, AT_EACCESS) != 0)
        return Fail(errno == EACCES || errno == EPERM || errno == EROFS ? Reason::ReadOnly
                                                                        : Reason::IoError);

    const std::size_t slash = resolved.rfind('/');
    const std::string folderPath = slash == std::string::npos ? std::string(".")
                                   : slash == 0               ? std::string("/")
                                                              : resolved.substr(0, slash);
    name = slash == std::string::npos ? resolved : resolved.substr(slash + 1);
    if (name.empty())
        return Fail(Reason::IoError);
    folder = ::open(folderPath.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    struct stat folderStat {};
    if (folder < 0 || ::fstat(folder, &folderStat) != 0)
        return Fail(Reason::IoError);

    // In a sticky folder only the owner of a file (or of the folder) may
    // rename over it; anyone else who may write the file writes it in place.
    const uid_t user = ::geteuid();
    bool refused = exists && (folderStat.st_mode & S_ISVTX) != 0 && user != 0 &&
                   st.st_uid != user && folderStat.st_uid != user;
    if (!refused && CreateTemp(exists ? &st : nullptr, &refused))
        return true;
    if (!refused)
        return Fail(Reason::IoError);
    if (!exists)
        return Fail(Reason::FolderRefused);
    return OpenInPlace(resolved, st);
}

bool PosixState::CopyInKernel(int source, std::uint64_t* in, std::uint64_t* out,
                              std::uint64_t* length) {
    while (*length > 0) {
        const std::size_t chunk =
            static_cast<std::size_t>(std::min<std::uint64_t>(*length, std::uint64_t(1) << 30));
        off64_t from = static_cast<off64_t>(*in);
        off64_t to = static_cast<off64_t>(*out);
        const ssize_t copied = ::copy_file_range(source, &from, fd, &to, chunk, 0);
        if (copied > 0) {
            *in += static_cast<std::uint64_t>(copied);
            *out += static_cast<std::uint64_t>(copied);
            *length -= static_cast<std::uint64_t>(copied);
            continue;
        }
        if (copied < 0 && errno == EINTR)
            continue;
        if (copied < 0 && errno != EXDEV && errno != EINVAL && errno != ENOSYS &&
            errno != EOPNOTSUPP)
            return FailFromErrno();
        // Not between these two files (or a file system that reports no
        // data this way): copied by hand, which also tells a real early end.
        break;
    }
    return true;
}

bool RecoverInterruptedReplace(const std::string&) {
    return false;
}
