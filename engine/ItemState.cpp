// Item states: each item's place in the backup and the target, compared with
// its old and new bytes.
#include "engine/ItemState.h"

#include "engine/HexText.h"
#include "winutil/FdIo.h"
#include "winutil/UniqueFd.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <map>

namespace {

// Room for the old and the new data of one item, as in the rebuild.
constexpr std::uint32_t kDataCapacity = 4096;
// One read brings in at most this many bytes, and takes in the next item
// (in list order) when it starts at most kReadGap bytes past what is read
// already. Measured on a 2-core virtual machine (states_bench): a read
// costs about as much as copying 32 KiB, so reading a gap that small is
// cheaper than a second call; mapping the files instead costs more than
// copying them outright (filling the page tables for a 256 MiB file takes
// several times as long as reading it).
constexpr std::uint64_t kReadWindow = 256 * 1024;
constexpr std::uint64_t kReadGap = 32 * 1024;

// Where the reads of a pass should end. Lists are kept in offset order, so
// the items after one usually lie just past it: a read that starts at an item
// goes on over the following items while they stay close and ascending. A
// list out of order only costs more reads.
class ReadPlan {
  public:
    explicit ReadPlan(std::span<const PatchItem> items) : items_(items) {}

    // The end of the read that serves item index onwards.
    std::uint64_t ReachFrom(std::size_t index) {
        if (index >= first_ && index < last_)
            return end_;
        first_ = index;
        last_ = index + 1;
        const std::uint64_t start = items_[index].offset;
        end_ = start + MostBytes(items_[index]);
        for (; last_ < items_.size(); ++last_) {
            const PatchItem& next = items_[last_];
            const std::uint64_t nextEnd = std::uint64_t(next.offset) + MostBytes(next);
            if (next.offset < items_[last_ - 1].offset || next.offset > end_ + kReadGap ||
                nextEnd - start > kReadWindow)
                break;
            end_ = std::max(end_, nextEnd);
        }
        return end_;
    }

  private:
    // At most what the item's texts decode to: a byte takes two digits.
    static std::uint64_t MostBytes(const PatchItem& item) {
        return std::min<std::uint64_t>(kDataCapacity,
                                       std::max(item.oldHex.size(), item.newHex.size()) / 2);
    }

    std::span<const PatchItem> items_;
    std::size_t first_ = 0;
    std::size_t last_ = 0;
    std::uint64_t end_ = 0;
};

// A regular file opened for reading, read through a window of up to
// kReadWindow bytes: an item's bytes come from the window when the read
// before took them in, from one new read otherwise. A file cut shorter by
// another program in the middle of a pass makes the lost bytes unreadable.
class FileView {
  public:
    explicit FileView(const std::string& path) : fd_(Open(path, &size_)) {}

    bool ok() const { return fd_.valid(); }
    std::uint64_t size() const { return size_; }

    // The length bytes at offset (which the caller has checked lie inside the
    // file), valid until the next call; null when reading fails. A new read
    // goes on to reach (see ReadPlan) when that lies within the file.
    const std::uint8_t* Bytes(std::uint64_t offset, std::uint32_t length, std::uint64_t reach) {
        const std::uint64_t end = offset + length;
        if (offset >= windowBegin_ && end <= windowBegin_ + windowFilled_)
            return window_.data() + (offset - windowBegin_);
        if (window_.empty())
            window_.resize(kReadWindow);
        windowFilled_ = 0;
        const std::uint64_t want = std::max(end, std::min({reach, offset + kReadWindow, size_}));
        // A file cut shorter since it was opened may still hold the item's
        // own bytes: those are read alone when the longer read fails.
        for (const std::uint64_t stop : {want, end}) {
            if (ReadAllAt(fd_.get(), offset, window_.data(),
                          static_cast<std::size_t>(stop - offset))) {
                windowBegin_ = offset;
                windowFilled_ = stop - offset;
                return window_.data();
            }
            if (stop == end)
                break;
        }
        return nullptr;
    }

  private:
    static int Open(const std::string& path, std::uint64_t* size) {
        if (path.empty())
            return -1;
        FileInfo info;
        const int fd = OpenRegularForReading(path.c_str(), &info);
        if (fd >= 0)
            *size = info.size;
        return fd;
    }

    std::uint64_t size_ = 0; // before fd_: Open sets it
    UniqueFd fd_;
    std::vector<std::uint8_t> window_;
    std::uint64_t windowBegin_ = 0;
    std::uint64_t windowFilled_ = 0;
};

// The bytes that enabled items earlier in the list write, as the rebuild
// leaves them: a later write replaces what it covers. Lets each item be
// checked against what the rebuild will see when it reaches the item, not
// only against the backup (an item may expect the bytes an earlier one put
// there).
//
// Lists are kept in offset order, and their items rarely overlap: while each
// write starts at or past the end of the one before, the writes are simply
// appended to a sorted list. The first write that does not moves them into
// an ordered map, which cuts and replaces what a write covers.
class WrittenBytes {
  public:
    bool Touches(std::uint64_t begin, std::uint64_t end) const {
        if (!mapped_) {
            const auto placed = FirstAscendingEndingAfter(begin);
            return placed != ascending_.end() && placed->begin < end;
        }
        const auto run = FirstEndingAfter(begin);
        return run != runs_.end() && run->first < end;
    }

    // Copies the written bytes of [begin, end) over out, where out[0] stands
    // for the byte at begin.
    void Overlay(std::uint64_t begin, std::uint64_t end, std::uint8_t* out) const {
        if (!mapped_) {
            for (auto placed = FirstAscendingEndingAfter(begin);
                 placed != ascending_.end() && placed->begin < end; ++placed)
                CopyRun(placed->begin, placed->run, begin, end, out);
            return;
        }
        for (auto run = FirstEndingAfter(begin); run != runs_.end() && run->first < end; ++run)
            CopyRun(run->first, run->second, begin, end, out);
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
        if (!mapped_ && (ascending_.empty() || begin >= ascending_.back().run.end)) {
            ascending_.push_back(Placed{begin, Run{end, at, item}});
            return;
        }
        MoveToMap();
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
    struct Placed {
        std::uint64_t begin;
        Run run;
    };

    // Copies what run (starting at first) holds of [begin, end) over out.
    void CopyRun(std::uint64_t first, const Run& run, std::uint64_t begin, std::uint64_t end,
                 std::uint8_t* out) const {
        const std::uint64_t from = std::max(begin, first);
        const std::uint64_t to = std::min(end, run.end);
        std::memcpy(out + (from - begin), &bytes_[run.at + (from - first)],
                    static_cast<std::size_t>(to - from));
    }

    // The appended runs are sorted and disjoint, so their ends ascend too.
    std::vector<Placed>::const_iterator FirstAscendingEndingAfter(std::uint64_t offset) const {
        return std::partition_point(
            ascending_.begin(), ascending_.end(),
            [offset](const Placed& placed) { return placed.run.end <= offset; });
    }

    void MoveToMap() {
        if (mapped_)
            return;
        for (const Placed& placed : ascending_)
            runs_.emplace_hint(runs_.end(), placed.begin, placed.run);
        ascending_ = {};
        mapped_ = true;
    }

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

    std::vector<Placed> ascending_; // while mapped_ is false
    bool mapped_ = false;
    Runs runs_;
    std::vector<std::uint8_t> bytes_;
};

// What the file holds over [offset, offset + length), cut at its end, as
// "74 05 1F": at most kShownBytes bytes, then " ...".
std::string FoundHex(FileView& file, std::uint64_t offset, std::uint32_t length,
                     std::uint64_t reach) {
    if (!file.ok() || offset >= file.size() || length == 0)
        return {};
    const std::uint64_t available = std::min<std::uint64_t>(length, file.size() - offset);
    const auto shown = static_cast<std::uint32_t>(std::min<std::uint64_t>(available, kShownBytes));
    const std::uint8_t* bytes = file.Bytes(offset, shown, reach);
    if (!bytes)
        return {};
    // Formatted on the stack, then copied once into a string of its size.
    char text[3 * kShownBytes + 4];
    char* out = text + FormatSpacedHexText(bytes, shown, text);
    if (available > shown)
        out = std::copy_n(" ...", 4, out);
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
//     (oldOverwritten when the backup itself holds them)
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
                                          std::span<const PatchItem> items, FoundBytes shown) {
    std::vector<ItemStatus> states(items.size());
    FileView backupFile(backupPath);
    FileView targetFile(targetPath);
    ReadPlan plan(items);
    const bool haveBackup = backupFile.ok() && backupFile.size() > 0;
    WrittenBytes written;
    // Per item: whether a later enabled item writes over some of its new
    // bytes, and whether the target holds its old bytes (for the second look).
    std::vector<std::uint8_t> overwritten(items.size(), 0);
    std::vector<std::uint8_t> holdsOld(items.size(), 0);

    std::uint8_t oldBytes[kDataCapacity];
    std::uint8_t newBytes[kDataCapacity];
    std::uint8_t before[kDataCapacity];
    for (std::size_t i = 0; i < items.size(); ++i) {
        const PatchItem& item = items[i];
        ItemStatus& status = states[i];
        const bool enabled = item.enabled != 0;
        const std::uint32_t oldLength = ParseHexText(item.oldHex.c_str(), oldBytes, kDataCapacity);
        const std::uint32_t newLength = ParseHexText(item.newHex.c_str(), newBytes, kDataCapacity);
        const std::uint32_t length = std::max(oldLength, newLength);
        const std::uint64_t begin = item.offset;
        const std::uint64_t end = begin + length; // 64-bit: no wrap at the top of 32 bits

        const std::uint64_t reach = plan.ReachFrom(i);
        if (shown == FoundBytes::Both)
            status.backupHex = FoundHex(backupFile, begin, length, reach);
        if (shown != FoundBytes::None)
            status.targetHex = FoundHex(targetFile, begin, length, reach);
        status.state = [&] {
            if (!haveBackup)
                return ItemState::Unknown;
            if (end > backupFile.size())
                return ItemState::OutOfRange;
            const std::uint8_t* start = backupFile.Bytes(begin, length, reach);
            if (!start)
                return ItemState::Unknown;
            const std::uint8_t* pristine = start;
            if (written.Touches(begin, end)) {
                std::memcpy(before, start, length);
                written.Overlay(begin, end, before);
                start = before;
            }
            if (oldLength > 0 && std::memcmp(start, oldBytes, oldLength) != 0) {
                status.oldOverwritten =
                    start != pristine && std::memcmp(pristine, oldBytes, oldLength) == 0;
                return ItemState::BackupMismatch;
            }
            if (!targetFile.ok())
                return ItemState::Unknown;
            if (end > targetFile.size())
                return ItemState::OutOfRange;
            const std::uint8_t* found = targetFile.Bytes(begin, length, reach);
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
        const std::uint8_t* found = targetFile.Bytes(begin, newLength, begin + newLength);
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
