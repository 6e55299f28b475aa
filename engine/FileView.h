// A file's bytes for steps that look at only some of them (import, export,
// the windows of new item signatures).
#pragma once

#include "winutil/FileUtil.h"
#include "winutil/MappedView.h"

#include <cstdint>
#include <span>
#include <string>

// A regular file's bytes, mapped where the system can (memory then grows with
// the pages looked at, not with the file), else read whole (FileBuffer's
// limits). The file must stay as it is while the view lives: another program
// cutting it short meanwhile ends this one on Linux.
class FileView {
  public:
    // Once per view; false when path names no regular file or it cannot be
    // read.
    bool Open(const std::string& path);
    std::span<const std::uint8_t> bytes() const { return bytes_; }

  private:
    MappedView map_;
    FileBuffer whole_;
    std::span<const std::uint8_t> bytes_;
};
