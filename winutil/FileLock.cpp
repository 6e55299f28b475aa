// The list's lock file: flock() with polling for a bounded wait, and the
// holder's process id written into the file.
#include "winutil/FileLock.h"

#include "winutil/FdIo.h"

#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

std::string FileLock::CommandName(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(in, name);
    return name;
}

FileLock::Result FileLock::Acquire(const std::string& listPath, std::chrono::milliseconds waitFor) {
    const std::string path = Restart(listPath);
    Wait wait(waitFor);
    for (;;) {
        bool writable = true;
        int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd < 0 && (errno == EACCES || errno == EROFS)) {
            writable = false; // flock needs no write access
            fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        }
        if (fd < 0)
            return Result::Unlockable;
        while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK && errno != EINTR) {
                ::close(fd);
                return Result::Unlockable;
            }
            if (!wait.Pause())
                return GiveUp(fd);
        }
        // The holder before removed the file as it let go: this lock is on a
        // file nobody else will open again. Start over with the one at path.
        struct stat locked {};
        struct stat named {};
        if (::fstat(fd, &locked) != 0 || ::stat(path.c_str(), &named) != 0 ||
            locked.st_dev != named.st_dev || locked.st_ino != named.st_ino) {
            ::close(fd);
            if (wait.Over())
                return Result::Busy;
            continue;
        }
        fd_ = fd;
        path_ = writable ? path : std::string();
        break;
    }
    // Who holds it now, for a program that has to wait.
    WriteHolder(fd_, static_cast<std::uint64_t>(::getpid()));
    return Result::Locked;
}

void FileLock::Release() {
    if (fd_ < 0)
        return;
    // Removed while still held, so that no folder keeps a lock file of a
    // list nobody works on; a waiter that locked the removed file sees it
    // and starts over.
    if (!path_.empty())
        ::unlink(path_.c_str());
    ::close(fd_); // drops the lock
    fd_ = -1;
    path_.clear();
}
