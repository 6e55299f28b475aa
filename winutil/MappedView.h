// A read-only view of the first bytes of an open file, and copies out of it
// that a file cut shorter meanwhile cannot turn into a crash.
//
// Rules:
// - On Linux, a file cut shorter by another program while it is mapped makes
//   the next touch of a lost page raise SIGBUS. While a MapFaultGuard lives,
//   such a fault ends the one CopyFromMap that touched the page (it returns
//   false) instead of the program. Windows refuses to cut a file that is
//   mapped, so there a copy simply copies.
// - The view does not keep the file descriptor: it may be closed at once.
#pragma once

#include <cstddef>
#include <cstdint>

class MappedView {
  public:
    MappedView() = default;
    ~MappedView();
    MappedView(const MappedView&) = delete;
    MappedView& operator=(const MappedView&) = delete;

    // Maps the first length bytes (more than 0) of the file open at fd for
    // reading; false when this file system cannot map it.
    bool Map(int fd, std::size_t length);
    const std::uint8_t* data() const { return data_; }
    std::size_t size() const { return size_; }
    // Brings every page of the view into memory; blocks until done, so it is
    // meant for a second thread.
    void Populate() const;

  private:
    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};

// Turns a lost page under CopyFromMap into a failed copy, for its lifetime.
class MapFaultGuard {
  public:
    MapFaultGuard();
    ~MapFaultGuard();
    MapFaultGuard(const MapFaultGuard&) = delete;
    MapFaultGuard& operator=(const MapFaultGuard&) = delete;

  private:
    bool installed_ = false;
};

// Copies length bytes of a mapped file; false when a page of it was lost.
bool CopyFromMap(std::uint8_t* out, const std::uint8_t* mapped, std::size_t length);
