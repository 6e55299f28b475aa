// Mapped views on Windows: a file mapping object and one view of it. Windows
// refuses to cut a file that has a view, so a copy needs no guard.
#include "winutil/MappedView.h"

#include "winutil/Win32Internal.h"

#include <cstring>

MappedView::~MappedView() {
    if (data_)
        UnmapViewOfFile(data_);
}

bool MappedView::Map(int fd, std::size_t length) {
    const HANDLE mapping =
        CreateFileMappingW(win32::HandleOf(fd), nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (!mapping)
        return false;
    void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, length);
    CloseHandle(mapping); // the view keeps the mapping alive
    if (!view)
        return false;
    data_ = static_cast<const std::uint8_t*>(view);
    size_ = length;
    return true;
}

void MappedView::Populate() const {
    WIN32_MEMORY_RANGE_ENTRY range{const_cast<std::uint8_t*>(data_), size_};
    PrefetchVirtualMemory(GetCurrentProcess(), 1, &range, 0);
}

MapFaultGuard::MapFaultGuard() = default;
MapFaultGuard::~MapFaultGuard() = default;

bool CopyFromMap(std::uint8_t* out, const std::uint8_t* mapped, std::size_t length) {
    std::memcpy(out, mapped, length);
    return true;
}
