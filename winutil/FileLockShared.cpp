// The parts of the list lock both systems share: the lock file's name and
// the holder's process id in it.
#include "winutil/FileLock.h"

#include "winutil/FdIo.h"

#include <charconv>

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
