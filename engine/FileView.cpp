// Mapped views of whole files, read whole where mapping fails.
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
