// Item states: each item's place in the backup and the target, compared with
// its old and new bytes.
#include "engine/ItemState.h"

#include "engine/HexText.h"
#include "winutil/FdIo.h"
#include "winutil/MappedView.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <map>
#include <system_error>
#include <thread>

namespace {

// Room for the old and the new data of one item, as in the rebuild.
constexpr std::uint32_t kDataCapacity = 4096;
// Offsets are 32-bit and an item spans at most kDataCapacity bytes: nothing
// past this many bytes of a file is ever looked at.
constexpr std::uint64_t kReachableBytes = (std::uint64_t(1) << 32) + kDataCapacity;
// How many items ahead the files' bytes are requested from memory.
constexpr std::size_t kLookAhead = 8;
// A fault on a mapped file maps a window of this many bytes around it. With
// at least one item per window on average, nearly every window of the file
// is touched anyway.
constexpr std::uint64_t kFaultWindow = 64 * 1024;

// A regular file opened for reading: mapped when it can be (only the pages
// the items touch are brought in), read piecewise otherwise. Reading
// piecewise costs a system call per item, too slow for long lists; bytes
// from the map are copied under MapFaultGuard, so a file cut shorter in the
// middle of a pass cannot end the program.
class FileView {
  public:
    // items: how many items will be looked up, to judge whether mapping the
    // whole file ahead pays.
    FileView(const std::string& path, std::size_t items) {
        if (path.empty())
            return;
        FileInfo info;
        fd_ = OpenRegularForReading(path.c_str(), &info);
        if (fd_ < 0)
            return;
        size_ = info.size;
        ok_ = true;
        const auto mapLength = static_cast<std::size_t>(std::min(size_, kReachableBytes));
        if (mapLength == 0 || !view_.Map(fd_, mapLength))
            return; // some file systems cannot map: read instead
        map_ = view_.data();
        mapLength_ = mapLength;
        CloseFd(fd_);
        fd_ = -1;
        // For a long list the pages are mapped on a second thread while the
        // first works through the items, instead of a fault every few items.
        // A page the work reaches first is simply faulted in as usual.
        if (items >= mapLength_ / kFaultWindow) {
            try {
                populate_ = std::thread([this] { view_.Populate(); });
            } catch (const std::system_error&) {
                // No thread: every page is faulted in when first touched.
            }
        }
    }
    ~FileView() {
        if (populate_.joinable())
            populate_.join();
        CloseFd(fd_);
    }
    FileView(const FileView&) = delete;
    FileView& operator=(const FileView&) = delete;

    bool ok() const { return ok_; }
    std::uint64_t size() const { return size_; }

    // Hints that the byte at offset will be read soon.
    void Prefetch(std::uint64_t offset) const {
        if (offset < mapLength_ && map_)
            __builtin_prefetch(map_ + offset);
    }

    // The length bytes at offset (which the caller has checked lie inside
    // the file), in the map or read into scratch; null when reading fails.
    const std::uint8_t* Bytes(std::uint64_t offset, std::uint32_t length,
                              std::uint8_t* scratch) const {
        if (map_)
            return CopyFromMap(scratch, map_ + offset, length) ? scratch : nullptr;
        return ReadAllAt(fd_, offset, scratch, length) ? scratch : nullptr;
    }

  private:
    int fd_ = -1;
    bool ok_ = false;
    std::uint64_t size_ = 0;
    MappedView view_;
    const std::uint8_t* map_ = nullptr;
    std::size_t mapLength_ = 0;
    std::thread populate_;
};

// The bytes that enabled items earlier in the list write, as the rebuild
// leaves them: a later write replaces what it covers. Lets each item be
// checked against what the rebuild will see when it reaches the item, not
// only against the backup (an item may expect the bytes an earlier one put
// there).
class WrittenBytes {
  public:
    bool Touches(std::uint64_t begin, std::uint64_t end) const {
        const auto run = FirstEndingAfter(begin);
        return run != runs_.end() && run->first < end;
    }

    // Copies the written bytes of [begin, end) over out, where out[0] stands
    // for the byte at begin.
    void Overlay(std::uint64_t begin, std::uint64_t end, std::uint8_t* out) const {
        for (auto run = FirstEndingAfter(begin); run != runs_.end() && run->first < end; ++run) {
            const std::uint64_t from = std::max(begin, run->first);
            const std::uint64_t to = std::min(end, run->second.end);
            std::memcpy(out + (from - begin), &bytes_[run->second.at + (from - run->first)],
                        static_cast<std::size_t>(to - from));
        }
    }

    // Writes item's new bytes over [begin, begin + length) and calls
    // covered(earlier item) for each earlier write it lands on, at least
    // partly (an item may be reported more than once).
    template <class Covered>
    void Write(std::size_t item, std::uint64_t begin, const std::uint8_t* data,
               std::uint32_t length, Covered&& covered) {
        const std::uint64_t end = begin + length;
        const std::size_t at = bytes_.size();
        bytes_.insert(bytes_.end(), data, data + length);
        auto run = FirstEndingAfter(begin);
        if (run != runs_.end() && run->first < begin) {
            // Starts before the new bytes: keep its head, and its tail when it
            // also reaches past them.
            covered(run->second.item);
            const std::uint64_t first = run->first;
            const Run old = run->second;
            run->second.end = begin;
            ++run;
            if (old.end > end)
                run = runs_.emplace_hint(run, end, Run{old.end, old.at + (end - first), old.item});
        }
        while (run != runs_.end() && run->first < end) {
            covered(run->second.item);
            if (run->second.end > end) { // keep the tail past the new bytes
                const Run tail{run->second.end, run->second.at + (end - run->first),
                               run->second.item};
                run = runs_.emplace_hint(runs_.erase(run), end, tail);
                break;
            }
            run = runs_.erase(run);
        }
        runs_.emplace_hint(run, begin, Run{end, at, item});
    }

  private:
    struct Run {
        std::uint64_t end; // one past the last byte; the key is the first
        std::size_t at;    // where the bytes of the run start in bytes_
        std::size_t item;  // the item that wrote them
    };
    using Runs = std::map<std::uint64_t, Run>;

    Runs::const_iterator FirstEndingAfter(std::uint64_t offset) const {
        auto run = runs_.upper_bound(offset);
        if (run != runs_.begin() && std::prev(run)->second.end > offset)
            --run;
        return run;
    }
    Runs::iterator FirstEndingAfter(std::uint64_t offset) {
        auto run = runs_.upper_bound(offset);
        if (run != runs_.begin() && std::prev(run)->second.end > offset)
            --run;
        return run;
    }

    Runs runs_;
    std::vector<std::uint8_t> bytes_;
};

// What the file holds over [offset, offset + length), cut at its end, as
// "74 05 1F": at most kShownBytes bytes, then " ...".
std::string FoundHex(const FileView& file, std::uint64_t offset, std::uint32_t length) {
    if (!file.ok() || offset >= file.size() || length == 0)
        return {};
    static constexpr char kDigits[] = "0123456789ABCDEF";
    const std::uint64_t available = std::min<std::uint64_t>(length, file.size() - offset);
    const auto shown = static_cast<std::uint32_t>(std::min<std::uint64_t>(available, kShownBytes));
    std::uint8_t scratch[kShownBytes];
    const std::uint8_t* bytes = file.Bytes(offset, shown, scratch);
    if (!bytes)
        return {};
    // Formatted on the stack, then copied once into a string of its size.
    char text[3 * kShownBytes + 4];
    char* out = text;
    for (std::uint32_t i = 0; i < shown; ++i) {
        *out++ = kDigits[bytes[i] >> 4];
        *out++ = kDigits[bytes[i] & 15];
        *out++ = ' ';
    }
    if (available > shown) {
        *out++ = '.';
        *out++ = '.';
        *out++ = '.';
    } else {
        --out; // no space after the last pair
    }
    return std::string(text, out);
}

ItemState TargetState(bool enabled, bool holdsNew, bool holdsOld) {
    if (holdsNew && holdsOld)
        return enabled ? ItemState::Applied : ItemState::Original;
    if (holdsNew)
        return ItemState::Applied;
    return holdsOld ? ItemState::Original : ItemState::Differs;
}

bool NeedsAttention(bool enabled, ItemState state) {
    // Unknown says nothing about the target: no mark for it.
    if (state == ItemState::Unknown)
        return false;
    return enabled ? state != ItemState::Applied : state == ItemState::Applied;
}

} // namespace

// Precedence, first match wins:
//  1. no backup to read (none, missing, not a regular file, or empty, which
//     the rebuild refuses too)                                -> Unknown
//  2. the range offset .. offset + max(old, new) passes the backup's end
//                                                             -> OutOfRange
//  3. old bytes given and not found where the rebuild looks for them: in the
//     backup with the new bytes of earlier enabled items written over it
//                                                             -> BackupMismatch
//  4. no target to read                                       -> Unknown
//  5. the range passes the target's end                       -> OutOfRange
//  6. the target holds the new bytes and the old ones (equal, or one a prefix
//     of the other): enabled -> Applied, disabled -> Original
//  7. the target holds the new bytes                          -> Applied
//  8. the target holds the old bytes                          -> Original
//  9. otherwise                                               -> Differs
// For an enabled item, "the new bytes" are those the rebuild leaves: where a
// later enabled item writes over some of them, its bytes count there. For an
// item without old bytes, "holds the old bytes" means the target holds what
// the rebuild starts from over the new bytes' range. An item without new bytes
// writes nothing: it holds its new bytes exactly when it holds its old ones.
std::vector<ItemStatus> ComputeItemStates(const std::string& backupPath,
                                          const std::string& targetPath,
                                          std::span<const PatchItem> items) {
    std::vector<ItemStatus> states(items.size());
    const MapFaultGuard guard;
    const FileView backupFile(backupPath, items.size());
    const FileView targetFile(targetPath, items.size());
    const bool haveBackup = backupFile.ok() && backupFile.size() > 0;
    WrittenBytes written;
    // Per item: whether a later enabled item writes over some of its new
    // bytes, and whether the target holds its old bytes (for the second look).
    std::vector<std::uint8_t> overwritten(items.size(), 0);
    std::vector<std::uint8_t> holdsOld(items.size(), 0);

    std::uint8_t oldBytes[kDataCapacity];
    std::uint8_t newBytes[kDataCapacity];
    std::uint8_t before[kDataCapacity];
    std::uint8_t backupScratch[kDataCapacity];
    std::uint8_t targetScratch[kDataCapacity];
    for (std::size_t i = 0; i < items.size(); ++i) {
        // The items usually lie far apart: start loading a later item's bytes
        // now so that waiting for memory overlaps with the work on this one.
        if (i + kLookAhead < items.size()) {
            backupFile.Prefetch(items[i + kLookAhead].offset);
            targetFile.Prefetch(items[i + kLookAhead].offset);
        }
        const PatchItem& item = items[i];
        ItemStatus& status = states[i];
        const bool enabled = item.enabled != 0;
        const std::uint32_t oldLength = ParseHexText(item.oldHex.c_str(), oldBytes, kDataCapacity);
        const std::uint32_t newLength = ParseHexText(item.newHex.c_str(), newBytes, kDataCapacity);
        const std::uint32_t length = std::max(oldLength, newLength);
        const std::uint64_t begin = item.offset;
        const std::uint64_t end = begin + length; // 64-bit: no wrap at the top of 32 bits

        status.backupHex = FoundHex(backupFile, begin, length);
        status.targetHex = FoundHex(targetFile, begin, length);
        status.state = [&] {
            if (!haveBackup)
                return ItemState::Unknown;
            if (end > backupFile.size())
                return ItemState::OutOfRange;
            const std::uint8_t* start = backupFile.Bytes(begin, length, backupScratch);
            if (!start)
                return ItemState::Unknown;
            if (written.Touches(begin, end)) {
                std::memcpy(before, start, length);
                written.Overlay(begin, end, before);
                start = before;
            }
            if (oldLength > 0 && std::memcmp(start, oldBytes, oldLength) != 0)
                return ItemState::BackupMismatch;
            if (!targetFile.ok())
                return ItemState::Unknown;
            if (end > targetFile.size())
                return ItemState::OutOfRange;
            const std::uint8_t* found = targetFile.Bytes(begin, length, targetScratch);
            if (!found)
                return ItemState::Unknown;
            holdsOld[i] = oldLength > 0 ? std::memcmp(found, oldBytes, oldLength) == 0
                                        : std::memcmp(found, start, newLength) == 0;
            const bool holdsNew =
                newLength > 0 ? std::memcmp(found, newBytes, newLength) == 0 : holdsOld[i];
            return TargetState(enabled, holdsNew, holdsOld[i]);
        }();
        status.attention = NeedsAttention(enabled, status.state);
        // Written whatever the checks found, so that each later item is judged
        // on its own, as if everything before it had passed.
        if (enabled && newLength > 0)
            written.Write(i, begin, newBytes, newLength, [&](std::size_t earlier) {
                status.overlapping = true;
                overwritten[earlier] = 1;
            });
    }

    // Enabled items partly written over by later ones: compare the target
    // with what the rebuild leaves there.
    for (std::size_t i = 0; i < items.size(); ++i) {
        ItemStatus& status = states[i];
        if (!overwritten[i] ||
            (status.state != ItemState::Applied && status.state != ItemState::Original &&
             status.state != ItemState::Differs))
            continue;
        const std::uint64_t begin = items[i].offset;
        const std::uint32_t newLength =
            ParseHexText(items[i].newHex.c_str(), newBytes, kDataCapacity);
        written.Overlay(begin, begin + newLength, newBytes);
        const std::uint8_t* found = targetFile.Bytes(begin, newLength, targetScratch);
        if (!found)
            continue;
        const bool holdsNew = std::memcmp(found, newBytes, newLength) == 0;
        status.state = TargetState(true, holdsNew, holdsOld[i] != 0);
        status.attention = NeedsAttention(true, status.state);
    }
    return states;
}

const char* ItemStateName(ItemState state) {
    switch (state) {
    case ItemState::Applied:
        return "applied";
    case ItemState::Original:
        return "original";
    case ItemState::Differs:
        return "differs";
    case ItemState::OutOfRange:
        return "out-of-range";
    case ItemState::BackupMismatch:
        return "backup-mismatch";
    case ItemState::Unknown:
        break;
    }
    return "unknown";
}
