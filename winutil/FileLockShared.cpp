// The parts of the list lock both systems share: the lock file's name and
// the holder's process id in it.
#include "winutil/FileLock.h"

#include "winutil/FdIo.h"

#include <algorithm>
#include <charconv>
#include <thread>

FileLock::~FileLock() {
    Release();
}

std::string FileLock::LockPathFor(const std::string& listPath) {
    return listPath + ".lock";
}

pid_t FileLock::ReadHolder(int fd) {
    char text[32] = {};
    const std::int64_t n = ReadSomeAt(fd, 0, text, sizeof text - 1);
    if (n <= 0)
        return 0;
    pid_t pid = 0;
    const auto [end, error] = std::from_chars(text, text + n, pid);
    return error == std::errc() && pid > 0 ? pid : 0;
}

void FileLock::WriteHolder(int fd, std::uint64_t pid) {
    char text[24];
    const auto [end, error] = std::to_chars(text, text + sizeof text - 1, pid);
    *end = '\n';
    const auto length = static_cast<std::size_t>(end + 1 - text);
    if (WriteAllAt(fd, 0, text, length))
        (void)SetFileLength(fd, length);
}

std::string FileLock::Restart(const std::string& listPath) {
    Release();
    holder_ = 0;
    holderName_.clear();
    return LockPathFor(listPath);
}

FileLock::Result FileLock::GiveUp(int fd) {
    holder_ = ReadHolder(fd);
    if (holder_ != 0)
        holderName_ = CommandName(holder_);
    CloseFd(fd);
    return Result::Busy;
}

bool FileLock::Wait::Pause() {
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline_)
        return false;
    std::this_thread::sleep_for(
        std::min<std::chrono::steady_clock::duration>(pause_, deadline_ - now));
    pause_ = std::min(pause_ * 2, std::chrono::milliseconds(4));
    return true;
}
