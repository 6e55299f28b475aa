// The parts of the file door both systems share: they call only the door's
// own functions.
#include "winutil/FdIo.h"

#include <cerrno>

int OpenRegularForReading(const char* path, FileInfo* info) {
    const int fd = OpenForReading(path, info);
    if (fd >= 0 && info->kind != FileKind::Regular) {
        CloseFd(fd);
        errno = info->kind == FileKind::Folder ? EISDIR : ENODEV;
        return -1;
    }
    return fd;
}

bool ReadAllAt(int fd, std::uint64_t offset, void* out, std::size_t size) {
    auto* at = static_cast<unsigned char*>(out);
    while (size > 0) {
        const std::int64_t got = ReadSomeAt(fd, offset, at, size);
        if (got < 0)
            return false;
        if (got == 0) {
            errno = 0;
            return false;
        }
        at += got;
        size -= static_cast<std::size_t>(got);
        offset += static_cast<std::uint64_t>(got);
    }
    return true;
}
