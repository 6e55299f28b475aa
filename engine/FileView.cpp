// Mapped views of whole files, read whole where mapping fails, and scattered
// reads through a mapping.
#include "engine/FileView.h"

#include "winutil/FdIo.h"
#include "winutil/UniqueFd.h"

bool FileView::Open(const std::string& path) {
    FileInfo info;
    const UniqueFd fd(OpenRegularForReading(path.c_str(), &info));
    if (fd.get() < 0)
        return false;
    if (info.size == 0) {
        bytes_ = {};
        return true;
    }
    if (info.size <= SIZE_MAX && map_.Map(fd.get(), static_cast<std::size_t>(info.size))) {
        bytes_ = {map_.data(), map_.size()};
        return true;
    }
    if (!whole_.Load(path.c_str()))
        return false;
    bytes_ = {whole_.data, whole_.length};
    return true;
}

ScatteredReader::ScatteredReader(int fd, std::uint64_t size) : fd_(fd) {
    if (size > 0 && size <= SIZE_MAX && map_.Map(fd, static_cast<std::size_t>(size)))
        guard_.emplace();
}

bool ScatteredReader::Read(std::uint64_t offset, void* out, std::size_t length) {
    if (guard_)
        return CopyFromMap(static_cast<std::uint8_t*>(out), map_.data() + offset, length);
    return ReadAllAt(fd_, offset, out, length);
}
