// The in-memory table of the settings store: entries ordered by the key
// comparison, the write order, lookups, enumeration and section removal.
//
// Write order. order_ holds the places of the entries in the order Save writes
// them while keepOrder is set; a place given up is set to nullptr and the
// vector is compacted once more than half of it is given up, so removing an
// entry costs only as much as its own places. Every entry knows its places.
//
// Removing an entry always gives up its places, whatever keepOrder says, so
// the write order never refers to an entry that is gone. Entries created while
// keepOrder is 0 get no place; once an operation sees keepOrder set again,
// each entry without a place is appended to the write order, in key order,
// after all lines that kept their places.
#include "settings/AppSetting.h"

#include "winutil/FdIo.h"
#include "winutil/FileUtil.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <new>

struct CAppSetting::NodePool::Block {
    Block* next;
};

CAppSetting::NodePool::~NodePool() {
    Release();
}

void CAppSetting::NodePool::Release() {
    while (blocks_ != nullptr) {
        Block* next = blocks_->next;
        FreeAligned(blocks_);
        blocks_ = next;
    }
    free_ = nullptr;
    next_ = nullptr;
    end_ = nullptr;
    grow_ = 0;
    expected_ = 0;
}

void CAppSetting::NodePool::AddBlock(std::size_t bytes) {
    constexpr std::size_t kHeader = alignof(std::max_align_t);
    static_assert(sizeof(Block) <= kHeader);
    // Large blocks are laid on huge-page boundaries and offered huge pages:
    // a big file's nodes then cost a few page faults instead of thousands.
    constexpr std::size_t kHuge = std::size_t(2) << 20;
    void* raw = nullptr;
    if (kHeader + bytes >= kHuge) {
        const std::size_t total = (kHeader + bytes + kHuge - 1) / kHuge * kHuge;
        raw = AllocateAligned(kHuge, total);
        if (raw != nullptr) {
            AdviseHugePages(raw, total);
        }
        bytes = total - kHeader;
    } else {
        bytes = (bytes + kHeader - 1) / kHeader * kHeader;
        raw = AllocateAligned(kHeader, kHeader + bytes);
    }
    if (raw == nullptr) {
        throw std::bad_alloc();
    }
    auto* block = static_cast<Block*>(raw);
    block->next = blocks_;
    blocks_ = block;
    next_ = static_cast<char*>(raw) + kHeader;
    end_ = next_ + bytes;
}

void CAppSetting::NodePool::Expect(std::size_t count) {
    expected_ = std::max(expected_, count);
}

void* CAppSetting::NodePool::Take(std::size_t size, std::size_t align) {
    if (nodeSize_ == 0 && align <= alignof(std::max_align_t)) {
        const std::size_t unit = std::max(align, alignof(void*));
        nodeSize_ = size;
        slot_ = (std::max(size, sizeof(void*)) + unit - 1) / unit * unit;
    }
    if (size != nodeSize_) {
        return ::operator new(size); // not a tree node
    }
    if (free_ != nullptr) {
        void* node = free_;
        free_ = *static_cast<void**>(node);
        return node;
    }
    if (static_cast<std::size_t>(end_ - next_) < slot_) {
        // A block's room need not be a whole number of slots (huge blocks are
        // rounded up to whole huge pages): the tail that cannot hold a node is
        // left unused.
        // Blocks grow with the table: 256 nodes first, at most 64K at once
        // unless a load announced more.
        grow_ = grow_ == 0 ? 256 : std::min<std::size_t>(grow_ * 2, 65536);
        AddBlock(std::max(grow_, expected_) * slot_);
        expected_ = 0;
    }
    void* node = next_;
    next_ += slot_;
    return node;
}

void CAppSetting::NodePool::Give(void* node, std::size_t size) {
    if (node == nullptr) {
        return;
    }
    if (size != nodeSize_) {
        ::operator delete(node);
        return;
    }
    *static_cast<void**>(node) = free_;
    free_ = node;
}

CAppSetting::CAppSetting() : finger_(entries_.end()) {}

CAppSetting::~CAppSetting() {
    Clear();
}

const std::u16string& CAppSetting::CurrentFile() const {
    return currentFile_;
}

CAppSetting::Entry* CAppSetting::Find(std::string_view key) {
    const auto it = entries_.find(key);
    return it == entries_.end() ? nullptr : Mutable(*it);
}

// Notes that the entry stands at index of the write order.
void CAppSetting::RecordPlace(Entry* entry, std::uint32_t index) {
    if (entry->place == kNoPlace) {
        entry->place = index;
        return;
    }
    if (!entry->morePlaces) {
        entry->morePlaces = std::make_unique<std::vector<std::uint32_t>>();
    }
    entry->morePlaces->push_back(index);
}

void CAppSetting::AppendPlace(Entry* entry) {
    RecordPlace(entry, static_cast<std::uint32_t>(order_.size()));
    order_.push_back(entry);
}

void CAppSetting::CompactOrder() {
    for (Entry* entry : order_) {
        if (entry != nullptr) {
            entry->place = kNoPlace;
            entry->morePlaces.reset();
        }
    }
    std::size_t kept = 0;
    for (std::size_t i = 0; i < order_.size(); ++i) {
        Entry* entry = order_[i];
        if (entry == nullptr) {
            continue;
        }
        RecordPlace(entry, static_cast<std::uint32_t>(kept));
        order_[kept++] = entry;
    }
    order_.resize(kept);
    orderDead_ = 0;
}

void CAppSetting::CompleteOrder() {
    for (const Entry& entry : entries_) {
        if (entry.place == kNoPlace) {
            AppendPlace(Mutable(entry));
        }
    }
    orderComplete_ = true;
}

void CAppSetting::SyncOrderMode() {
    if (keepOrder != 0 && !orderComplete_) {
        CompleteOrder();
    }
}

void CAppSetting::ReleaseTexts(Entry* entry) {
    if (entry->ownsKey) {
        std::free(const_cast<char*>(entry->key.data()));
        entry->ownsKey = false;
    }
    if (entry->ownsValue) {
        std::free(const_cast<char*>(entry->value.data()));
        entry->ownsValue = false;
    }
}

void CAppSetting::Erase(EntrySet::iterator it) {
    ReleaseTexts(Mutable(*it));
    entries_.erase(it);
}

void CAppSetting::ReleaseBlocks() {
    for (const TextBlock& block : blocks_) {
        if (block.fromFile) {
            FreeFileData(block.data);
        } else {
            std::free(block.data);
        }
    }
    blocks_.clear();
}

namespace {

// A terminated copy of n bytes in a block of its own.
char* CopyText(const char* text, std::size_t n) {
    char* copy = static_cast<char*>(std::malloc(n + 1));
    if (copy == nullptr) {
        throw std::bad_alloc();
    }
    std::memcpy(copy, text, n);
    copy[n] = '\0';
    return copy;
}

} // namespace

void CAppSetting::AssignValue(Entry* entry, const char* value, std::size_t length, bool owned) {
    // The new text is in place before the old one goes: value may be the
    // entry's own text.
    const char* text = value;
    if (value != nullptr && owned) {
        text = CopyText(value, length);
    }
    if (entry->ownsValue) {
        std::free(const_cast<char*>(entry->value.data()));
    }
    if (text != nullptr) {
        entry->value = std::string_view(text, length);
        entry->hasValue = true;
        entry->ownsValue = owned;
    } else {
        entry->value = std::string_view();
        entry->hasValue = false;
        entry->ownsValue = false;
    }
}

int CAppSetting::Clear() {
    if (ownsTexts_) {
        for (const Entry& entry : entries_) {
            ReleaseTexts(Mutable(entry));
        }
        ownsTexts_ = false;
    }
    entries_.clear();
    pool_.Release();
    ReleaseBlocks();
    finger_ = entries_.end();
    order_.clear();
    orderDead_ = 0;
    orderComplete_ = true;
    ++mutation_;
    return 1;
}

int CAppSetting::SetValue(const char* key, const char* value, int line) {
    if (key == nullptr) {
        return 0;
    }
    SyncOrderMode();
    const std::string_view k(key);
    const std::size_t valueLength = value != nullptr ? std::strlen(value) : 0;
    EntrySet::iterator at = Position(k);
    if (at == entries_.end() || CompareKeys(k, at->key) != 0) {
        AddAt(at, k, value, valueLength, line, true);
        return 1;
    }
    finger_ = at;
    Entry* entry = Mutable(*at);
    if (line != -1) {
        entry->line = line;
    }
    ownsTexts_ = true;
    AssignValue(entry, value, valueLength, true);
    if (value == nullptr && keepOrder != 0) {
        // A repeated blank or comment line keeps its own place.
        AppendPlace(entry);
    }
    return 1;
}

void CAppSetting::SetParsed(std::string_view key, const char* value, std::size_t valueLength,
                            int line) {
    SyncOrderMode();
    EntrySet::iterator at = Position(key);
    if (at == entries_.end() || CompareKeys(key, at->key) != 0) {
        AddAt(at, key, value, valueLength, line, false);
        return;
    }
    finger_ = at;
    Entry* entry = Mutable(*at);
    if (line != -1) {
        entry->line = line;
    }
    AssignValue(entry, value, valueLength, false);
    if (value == nullptr && keepOrder != 0) {
        AppendPlace(entry);
    }
}

int CAppSetting::AddValue(const char* key, const char* value, int line) {
    if (key == nullptr) {
        return 0;
    }
    SyncOrderMode();
    const std::string_view k(key);
    EntrySet::iterator at = Position(k);
    if (at != entries_.end() && CompareKeys(k, at->key) == 0) {
        // One entry per key: an existing key only takes the new value.
        return SetValue(key, value, line);
    }
    AddAt(at, k, value, value != nullptr ? std::strlen(value) : 0, line, true);
    return 1;
}

CAppSetting::EntrySet::iterator CAppSetting::Position(std::string_view key) {
    if (entries_.empty() || CompareKeys(entries_.rbegin()->key, key) < 0) {
        // Files saved in key order arrive sorted: a key above the last one
        // needs no search.
        return entries_.end();
    }
    return Seek(key, finger_);
}

CAppSetting::EntrySet::iterator CAppSetting::Seek(std::string_view key, EntrySet::iterator from) {
    // Keys of one list item, and neighbouring items, lie close together: look
    // a few entries around the last place before searching the whole tree.
    constexpr int kReach = 24;
    if (from != entries_.end()) {
        EntrySet::iterator it = from;
        if (CompareKeys(it->key, key) >= 0) {
            for (int step = 0; step < kReach; ++step) {
                if (it == entries_.begin()) {
                    return it;
                }
                const EntrySet::iterator before = std::prev(it);
                if (CompareKeys(before->key, key) < 0) {
                    return it;
                }
                it = before;
            }
        } else {
            for (int step = 0; step < kReach; ++step) {
                ++it;
                if (it == entries_.end() || CompareKeys(it->key, key) >= 0) {
                    return it;
                }
            }
        }
    }
    return entries_.lower_bound(key);
}

void CAppSetting::AddAt(EntrySet::iterator hint, std::string_view key, const char* value,
                        std::size_t valueLength, int line, bool owned) {
    Entry fresh;
    fresh.key = owned ? std::string_view(CopyText(key.data(), key.size()), key.size()) : key;
    fresh.ownsKey = owned;
    ownsTexts_ = ownsTexts_ || owned;
    fresh.line = line;
    if (value != nullptr) {
        fresh.hasValue = true;
        fresh.value = owned ? std::string_view(CopyText(value, valueLength), valueLength)
                            : std::string_view(value, valueLength);
        fresh.ownsValue = owned;
    }
    finger_ = entries_.emplace_hint(hint, std::move(fresh));
    Entry* entry = Mutable(*finger_);
    ++mutation_;
    if (keepOrder != 0) {
        AppendPlace(entry);
    } else {
        orderComplete_ = false;
    }
}

int CAppSetting::RemoveKey(const char* key) {
    if (key == nullptr) {
        return 0;
    }
    const auto it = entries_.find(std::string_view(key));
    if (it == entries_.end()) {
        return 0;
    }
    UnlinkOrder(Mutable(*it));
    if (it == finger_) {
        finger_ = entries_.end();
    }
    Erase(it);
    ++mutation_;
    return 1;
}

int CAppSetting::UnlinkOrder(SettingEntry* entry) {
    if (entry == nullptr) {
        return 0;
    }
    // Only an entry of this store has places here.
    Entry* own = Find(entry->key);
    if (own == nullptr || static_cast<SettingEntry*>(own) != entry) {
        return 0;
    }
    if (own->place == kNoPlace) {
        return 0;
    }
    DropPlaces(own);
    return 1;
}

void CAppSetting::DropPlaces(Entry* entry) {
    if (entry->place == kNoPlace) {
        return;
    }
    order_[entry->place] = nullptr;
    ++orderDead_;
    if (entry->morePlaces) {
        for (const std::uint32_t place : *entry->morePlaces) {
            order_[place] = nullptr;
            ++orderDead_;
        }
    }
    entry->place = kNoPlace;
    entry->morePlaces.reset();
    if (orderDead_ > 1024 && orderDead_ * 2 > order_.size()) {
        CompactOrder();
    }
}

int CAppSetting::DeleteKey(const char* key) {
    RemoveKey(key);
    return 1;
}

// DeleteSection works as if it removed the key equal to the path, enumerated
// the path's direct children (EnumKeys with allLevels 0) and then ran itself
// on path + "\\" + name for each child in turn. Instead of searching the tree
// for every visited path, it marks removed entries as doomed while it walks
// (so later steps no longer see them, as if they were gone) and erases them
// all at the end; each visited path is found from the entry that named it.
void CAppSetting::CollectChildren(const std::string& path, EntrySet::iterator from,
                                  std::vector<Child>& out) {
    std::string_view prefix(path);
    while (!prefix.empty() && prefix.back() == '\\') {
        prefix.remove_suffix(1);
    }
    const std::size_t length = prefix.size();
    std::string lastSegment;
    const std::size_t first = out.size();
    for (EntrySet::iterator it = Seek(prefix, from); it != entries_.end(); ++it) {
        const Entry& entry = *it;
        if (entry.key.empty() || !entry.hasValue || entry.doomed) {
            continue;
        }
        if (entry.key.size() < length ||
            std::memcmp(entry.key.data(), prefix.data(), length) != 0) {
            break;
        }
        std::string_view name = std::string_view(entry.key).substr(length);
        if (!name.empty() && name.front() == '\\') {
            name.remove_prefix(1);
        }
        const std::size_t backslash = name.find('\\');
        if (backslash != std::string_view::npos) {
            name = name.substr(0, backslash);
            if (name == lastSegment) {
                continue;
            }
            lastSegment.assign(name);
        }
        Child child;
        child.path.reserve(length + 1 + name.size());
        child.path.append(prefix).append(1, '\\').append(name);
        child.near = it;
        out.push_back(std::move(child));
    }
    // Children are taken from the back: the first child comes out first.
    std::reverse(out.begin() + static_cast<std::ptrdiff_t>(first), out.end());
}

int CAppSetting::DeleteSection(const char* path) {
    const std::string root = path != nullptr ? path : "";
    RemoveKey(root.c_str());
    std::vector<EntrySet::iterator> doomed;
    std::vector<Child> pending;
    CollectChildren(root, finger_, pending);
    while (!pending.empty()) {
        Child child = std::move(pending.back());
        pending.pop_back();
        const EntrySet::iterator at = Seek(child.path, child.near);
        if (at != entries_.end() && !at->doomed && CompareKeys(at->key, child.path) == 0) {
            Mutable(*at)->doomed = true;
            doomed.push_back(at);
        }
        if (child.path.back() != '\\') {
            CollectChildren(child.path, at, pending);
            continue;
        }
        // An empty name (a doubled backslash after the path) would name the
        // path itself again and never end: remove the keys with a value that
        // begin with the path and two backslashes, as far as they run.
        const std::string prefix = child.path + '\\';
        for (EntrySet::iterator it = Seek(prefix, at); it != entries_.end(); ++it) {
            if (it->key.empty() || !it->hasValue || it->doomed) {
                continue;
            }
            if (it->key.compare(0, prefix.size(), prefix) != 0) {
                break;
            }
            Mutable(*it)->doomed = true;
            doomed.push_back(it);
        }
    }
    for (const EntrySet::iterator& it : doomed) {
        DropPlaces(Mutable(*it));
        Erase(it);
    }
    if (!doomed.empty()) {
        finger_ = entries_.end();
        ++mutation_;
    }
    return 1;
}

int CAppSetting::GetValue(const char* key, const char** value, int* line) {
    if (key == nullptr) {
        return 0;
    }
    const Entry* entry = Find(key);
    if (entry == nullptr) {
        return 0;
    }
    if (line != nullptr) {
        *line = entry->line;
    }
    if (value != nullptr) {
        *value = entry->hasValue ? entry->value.data() : nullptr;
    }
    return 1;
}

int CAppSetting::GetString(const char* key, const char** value) {
    if (value != nullptr) {
        *value = nullptr;
    }
    return GetValue(key, value, nullptr);
}

int CAppSetting::GetStringCopy(const char* key, char* buffer, int size) {
    const char* value = nullptr;
    if (GetValue(key, &value, nullptr) == 0 || value == nullptr) {
        return 0;
    }
    if (buffer == nullptr || (size <= 0 && size != -1)) {
        return 0;
    }
    CopyBounded(value, buffer, size);
    return 1;
}

int CAppSetting::SetString(const char* key, const char* text) {
    return SetValue(key, text, -1) != 0 ? 1 : 0;
}

int CAppSetting::EnumKeys(const char* path, void* context, EnumKeysCallback callback,
                          int allLevels) {
    if (callback == nullptr) {
        return 1;
    }
    std::string prefix = path != nullptr ? path : "";
    while (!prefix.empty() && prefix.back() == '\\') {
        prefix.pop_back();
    }
    const std::size_t length = prefix.size();
    std::string lastSegment; // first segment of the last deeper name passed on
    std::string resume;      // key to continue after when the callback changed the store
    auto it = entries_.lower_bound(std::string_view(prefix));
    while (it != entries_.end()) {
        const Entry& entry = *it;
        if (entry.key.empty() || !entry.hasValue) {
            ++it;
            continue;
        }
        // The prefix test is byte for byte, unlike the key order.
        if (entry.key.size() < length ||
            std::memcmp(entry.key.data(), prefix.data(), length) != 0) {
            break;
        }
        const char* name = entry.key.data() + length;
        if (*name == '\\') {
            ++name;
        }
        if (allLevels == 0) {
            const char* backslash = std::strchr(name, '\\');
            if (backslash != nullptr) {
                const std::string_view segment(name, static_cast<std::size_t>(backslash - name));
                if (segment == lastSegment) {
                    ++it;
                    continue;
                }
                lastSegment.assign(segment);
                name = lastSegment.c_str();
            }
        }
        const std::uint64_t before = mutation_;
        resume.assign(entry.key);
        if (callback(entry.key.data(), name, entry.hasValue ? entry.value.data() : "", context) ==
            0) {
            break;
        }
        if (mutation_ != before) {
            it = entries_.upper_bound(std::string_view(resume));
        } else {
            ++it;
        }
    }
    return 1;
}
