// The in-memory table of the settings store: entries ordered by the key
// comparison, the write order, lookups, enumeration and section removal. How
// the table is laid out is told in AppSettingImpl.h.
//
// Write order. order holds the places of the entries in the order Save writes
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

#include "settings/AppSettingImpl.h"
#include "winutil/FdIo.h"
#include "winutil/FileUtil.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <new>
#include <type_traits>

// Slots handed back to the pool are poisoned for AddressSanitizer, so that a
// stale entry pointer is reported where it is read; other builds do nothing.
#if defined(__SANITIZE_ADDRESS__)
#define BM_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define BM_ASAN 1
#endif
#endif
#if defined(BM_ASAN)
#include <sanitizer/asan_interface.h>
#define BM_POISON(at, size) ASAN_POISON_MEMORY_REGION((at), (size))
#define BM_UNPOISON(at, size) ASAN_UNPOISON_MEMORY_REGION((at), (size))
#else
#define BM_POISON(at, size) ((void)(at), (void)(size))
#define BM_UNPOISON(at, size) ((void)(at), (void)(size))
#endif

using Entry = CAppSetting::Impl::Entry;

namespace {

// Bytes of one slot: an entry, which also holds the free list's link.
constexpr std::size_t kSlot =
    (sizeof(Entry) + alignof(Entry) - 1) / alignof(Entry) * alignof(Entry);
static_assert(kSlot >= sizeof(void*));

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

// ---- the pool of entries ----

struct CAppSetting::Impl::EntryPool::Block {
    Block* next;
    std::size_t bytes; // the whole block, header included
};

CAppSetting::Impl::EntryPool::~EntryPool() {
    Release();
}

void CAppSetting::Impl::EntryPool::Release() {
    while (blocks_ != nullptr) {
        Block* next = blocks_->next;
        BM_UNPOISON(blocks_, blocks_->bytes);
        FreeAligned(blocks_);
        blocks_ = next;
    }
    free_ = nullptr;
    next_ = nullptr;
    end_ = nullptr;
    grow_ = 0;
    expected_ = 0;
}

void CAppSetting::Impl::EntryPool::AddBlock(std::size_t bytes) {
    constexpr std::size_t kHeader = alignof(std::max_align_t) * 2;
    static_assert(sizeof(Block) <= kHeader);
    // Blocks come from the heap, which a store loaded again (or the next
    // store) reuses; large ones are offered huge pages, so a big file's
    // entries cost a few page faults instead of thousands the first time.
    const std::size_t total = kHeader + (bytes + kHeader - 1) / kHeader * kHeader;
    void* raw = AllocateAligned(kHeader, total);
    if (raw == nullptr) {
        throw std::bad_alloc();
    }
    AdviseHugePages(raw, total);
    auto* block = static_cast<Block*>(raw);
    block->next = blocks_;
    block->bytes = total;
    blocks_ = block;
    next_ = static_cast<char*>(raw) + kHeader;
    end_ = static_cast<char*>(raw) + total;
    // No slot of the block is in use yet.
    BM_POISON(next_, static_cast<std::size_t>(end_ - next_));
}

void CAppSetting::Impl::EntryPool::Expect(std::size_t count) {
    expected_ = std::max(expected_, count);
}

Entry* CAppSetting::Impl::EntryPool::Take() {
    void* slot = nullptr;
    if (free_ != nullptr) {
        slot = free_;
        BM_UNPOISON(slot, kSlot);
        free_ = *static_cast<void**>(slot);
    } else {
        if (static_cast<std::size_t>(end_ - next_) < kSlot) {
            // A block's room need not be a whole number of slots (huge
            // blocks are rounded up to whole huge pages): the tail that
            // cannot hold an entry is left unused. Blocks grow with the
            // table: 256 entries first, at most 64K at once unless a load
            // announced more.
            grow_ = grow_ == 0 ? 256 : std::min<std::size_t>(grow_ * 2, 65536);
            AddBlock(std::max(grow_, expected_) * kSlot);
            expected_ = 0;
        }
        slot = next_;
        next_ += kSlot;
        BM_UNPOISON(slot, kSlot);
    }
    return new (slot) Entry();
}

void CAppSetting::Impl::EntryPool::Give(Entry* entry) {
    if (entry == nullptr) {
        return;
    }
    static_assert(std::is_trivially_destructible_v<Entry>);
    void* slot = entry;
    *static_cast<void**>(slot) = free_;
    free_ = slot;
    BM_POISON(slot, kSlot);
}

// ---- the table ----

CAppSetting::Impl::~Impl() {
    Clear();
}

void CAppSetting::Impl::ReleaseTexts(Entry* entry) {
    if (entry->ownsKey) {
        std::free(const_cast<char*>(entry->key.data()));
        entry->ownsKey = false;
    }
    if (entry->ownsValue) {
        std::free(const_cast<char*>(entry->value.data()));
        entry->ownsValue = false;
    }
}

void CAppSetting::Impl::Free(Entry* entry) {
    ReleaseTexts(entry);
    pool.Give(entry);
}

void CAppSetting::Impl::ReleaseBlocks() {
    for (const TextBlock& block : blocks) {
        if (block.fromFile) {
            FreeFileData(block.data);
        } else {
            std::free(block.data);
        }
    }
    blocks.clear();
}

void CAppSetting::Impl::Clear() {
    if (ownsTexts) {
        for (Entry* entry : sorted) {
            ReleaseTexts(entry);
        }
        for (Entry* entry : tail) {
            ReleaseTexts(entry);
        }
        for (Entry* entry : stray) {
            ReleaseTexts(entry);
        }
        ownsTexts = false;
    }
    sorted.clear();
    tail.clear();
    tailFinger = kNone;
    stray.clear();
    deadCount = 0;
    finger = kNone;
    pool.Release();
    ReleaseBlocks();
    order.clear();
    orderDead = 0;
    orderComplete = true;
    morePlaces.clear();
    ++mutation;
    ++changes;
}

std::size_t CAppSetting::Impl::LowerBoundIn(const std::vector<Entry*>& sorted, std::string_view key,
                                            std::size_t from) {
    const std::size_t n = sorted.size();
    // Keys of one list item, and neighbouring items, lie close together: look
    // a few entries around the hint before searching the whole table.
    constexpr std::size_t kReach = 24;
    if (from < n) {
        std::size_t at = from;
        if (CompareKeys(sorted[at]->key, key) >= 0) {
            for (std::size_t step = 0; step < kReach; ++step) {
                if (at == 0 || CompareKeys(sorted[at - 1]->key, key) < 0) {
                    return at;
                }
                --at;
            }
        } else {
            for (std::size_t step = 0; step < kReach; ++step) {
                ++at;
                if (at == n || CompareKeys(sorted[at]->key, key) >= 0) {
                    return at;
                }
            }
        }
    }
    const auto it =
        std::lower_bound(sorted.begin(), sorted.end(), key, [](const Entry* e, std::string_view k) {
            return CompareKeys(e->key, k) < 0;
        });
    return static_cast<std::size_t>(it - sorted.begin());
}

std::size_t CAppSetting::Impl::UpperBound(std::string_view key) const {
    const auto it =
        std::upper_bound(sorted.begin(), sorted.end(), key, [](std::string_view k, const Entry* e) {
            return CompareKeys(k, e->key) < 0;
        });
    return static_cast<std::size_t>(it - sorted.begin());
}

Entry* CAppSetting::Impl::Locate(std::string_view key) {
    const std::size_t at = LowerBound(key, finger);
    if (at < sorted.size() && CompareKeys(sorted[at]->key, key) == 0) {
        finger = at;
        return sorted[at];
    }
    if (!tail.empty()) {
        const std::size_t t = LowerBoundIn(tail, key, tailFinger);
        if (t < tail.size() && CompareKeys(tail[t]->key, key) == 0) {
            tailFinger = t;
            return tail[t];
        }
    }
    if (!stray.empty()) {
        const auto it = stray.find(key);
        if (it != stray.end()) {
            return *it;
        }
    }
    return nullptr;
}

Entry* CAppSetting::Impl::Find(std::string_view key) {
    Entry* entry = Locate(key);
    return entry != nullptr && !entry->dead ? entry : nullptr;
}

void CAppSetting::Impl::AssignValue(Entry* entry, const char* value, std::size_t length,
                                    bool owned) {
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

void CAppSetting::Impl::Add(std::string_view key, const char* value, std::size_t valueLength,
                            int line, bool owned, bool keepOrder, std::size_t at,
                            std::size_t tailAt) {
    Entry* entry = pool.Take();
    entry->key = owned ? std::string_view(CopyText(key.data(), key.size()), key.size()) : key;
    entry->ownsKey = owned;
    ownsTexts = ownsTexts || owned;
    entry->line = line;
    if (value != nullptr) {
        entry->hasValue = true;
        entry->value = owned ? std::string_view(CopyText(value, valueLength), valueLength)
                             : std::string_view(value, valueLength);
        entry->ownsValue = owned;
    }
    ++mutation;
    // A key near the end of the table, or of tail, is put in place; one far
    // inside both waits in stray.
    constexpr std::size_t kNearEnd = 128;
    if (sorted.size() - at <= kNearEnd) {
        sorted.insert(sorted.begin() + static_cast<std::ptrdiff_t>(at), entry);
        finger = at;
    } else {
        finger = at; // the next key is likely to land near this one
        if (tail.size() - tailAt <= kNearEnd) {
            entry->where = Entry::kTail;
            tail.insert(tail.begin() + static_cast<std::ptrdiff_t>(tailAt), entry);
            tailFinger = tailAt;
        } else {
            entry->where = Entry::kStray;
            stray.insert(entry);
        }
    }
    if (keepOrder) {
        AppendPlace(entry);
    } else {
        orderComplete = false;
    }
    const std::size_t waiting = tail.size() + stray.size();
    if (entry->where != Entry::kSorted && waiting > 64 && waiting * 4 > sorted.size()) {
        Merge();
    }
}

void CAppSetting::Impl::Set(std::string_view key, const char* value, std::size_t valueLength,
                            int line, bool owned, bool keepOrder) {
    SyncOrderMode(keepOrder);
    ++changes;
    // Files saved in key order arrive sorted: a key above every other one
    // needs no search.
    const std::size_t n = sorted.size();
    std::size_t at = n;
    Entry* entry = nullptr;
    if (n != 0 && CompareKeys(sorted.back()->key, key) >= 0) {
        at = LowerBound(key, finger);
        if (at < n && CompareKeys(sorted[at]->key, key) == 0) {
            finger = at;
            entry = sorted[at];
        }
    }
    std::size_t tailAt = tail.size();
    if (entry == nullptr && !tail.empty() && CompareKeys(tail.back()->key, key) >= 0) {
        tailAt = LowerBoundIn(tail, key, tailFinger);
        if (tailAt < tail.size() && CompareKeys(tail[tailAt]->key, key) == 0) {
            tailFinger = tailAt;
            entry = tail[tailAt];
        }
    }
    if (entry == nullptr && !stray.empty()) {
        const auto it = stray.find(key);
        if (it != stray.end()) {
            entry = *it;
        }
    }
    if (entry == nullptr) {
        Add(key, value, valueLength, line, owned, keepOrder, at, tailAt);
        return;
    }
    if (entry->dead) {
        // The key comes back: the slot keeps its place in the key order and
        // takes the key as now written, as a new entry would.
        if (entry->ownsKey) {
            std::free(const_cast<char*>(entry->key.data()));
        }
        entry->key = owned ? std::string_view(CopyText(key.data(), key.size()), key.size()) : key;
        entry->ownsKey = owned;
        ownsTexts = ownsTexts || owned;
        entry->dead = false;
        --deadCount;
        entry->line = line;
        AssignValue(entry, value, valueLength, owned);
        ++mutation;
        if (keepOrder) {
            AppendPlace(entry);
        } else {
            orderComplete = false;
        }
        return;
    }
    if (line != -1) {
        entry->line = line;
    }
    ownsTexts = ownsTexts || owned;
    AssignValue(entry, value, valueLength, owned);
    if (value == nullptr && keepOrder) {
        // A repeated blank or comment line keeps its own place.
        AppendPlace(entry);
    }
}

void CAppSetting::Impl::Remove(Entry* entry, bool compact) {
    DropPlaces(entry);
    ++mutation;
    ++changes;
    if (entry->where == Entry::kStray) {
        stray.erase(entry);
        Free(entry);
        return;
    }
    // The key stays for the ordering until the slot is dropped.
    if (entry->ownsValue) {
        std::free(const_cast<char*>(entry->value.data()));
    }
    entry->value = std::string_view();
    entry->hasValue = false;
    entry->ownsValue = false;
    entry->dead = true;
    ++deadCount;
    if (compact) {
        MaybeCompact();
    }
}

void CAppSetting::Impl::MaybeCompact() {
    if (deadCount > 1024 && deadCount * 2 > sorted.size() + tail.size()) {
        Merge();
    }
}

namespace {

// Merges two runs in key order into out, leaving out dead entries (given to
// drop) and marking the others as in sorted.
template <typename A, typename B, typename Drop>
void MergeRuns(const A& a, const B& b, std::vector<Entry*>& out, Drop&& drop) {
    auto take = [&](Entry* entry) {
        if (entry->dead) {
            drop(entry);
            return;
        }
        entry->where = Entry::kSorted;
        out.push_back(entry);
    };
    auto next = b.begin();
    for (Entry* entry : a) {
        while (next != b.end() && CompareKeys((*next)->key, entry->key) < 0) {
            take(*next++);
        }
        take(entry);
    }
    for (; next != b.end(); ++next) {
        take(*next);
    }
}

} // namespace

void CAppSetting::Impl::Merge() {
    auto drop = [this](Entry* entry) { Free(entry); };
    std::vector<Entry*> waiting;
    if (!stray.empty()) {
        waiting.reserve(tail.size() + stray.size());
        MergeRuns(tail, stray, waiting, drop);
    } else {
        waiting.swap(tail);
    }
    std::vector<Entry*> merged;
    merged.reserve(sorted.size() + waiting.size() - deadCount);
    MergeRuns(sorted, waiting, merged, drop);
    sorted.swap(merged);
    tail.clear();
    stray.clear();
    deadCount = 0;
    finger = kNone;
    tailFinger = kNone;
    ++mutation;
}

// ---- the write order ----

// Notes that the entry stands at index of the write order.
void CAppSetting::Impl::RecordPlace(Entry* entry, std::uint32_t index) {
    if (entry->place == kNoPlace) {
        entry->place = index;
        return;
    }
    morePlaces[entry].push_back(index);
}

void CAppSetting::Impl::AppendPlace(Entry* entry) {
    RecordPlace(entry, static_cast<std::uint32_t>(order.size()));
    order.push_back(entry);
}

void CAppSetting::Impl::DropPlaces(Entry* entry) {
    if (entry->place == kNoPlace) {
        return;
    }
    order[entry->place] = nullptr;
    ++orderDead;
    if (!morePlaces.empty()) {
        const auto more = morePlaces.find(entry);
        if (more != morePlaces.end()) {
            for (const std::uint32_t place : more->second) {
                order[place] = nullptr;
                ++orderDead;
            }
            morePlaces.erase(more);
        }
    }
    entry->place = kNoPlace;
    if (orderDead > 1024 && orderDead * 2 > order.size()) {
        CompactOrder();
    }
}

void CAppSetting::Impl::CompactOrder() {
    for (Entry* entry : order) {
        if (entry != nullptr) {
            entry->place = kNoPlace;
        }
    }
    morePlaces.clear();
    std::size_t kept = 0;
    for (std::size_t i = 0; i < order.size(); ++i) {
        Entry* entry = order[i];
        if (entry == nullptr) {
            continue;
        }
        RecordPlace(entry, static_cast<std::uint32_t>(kept));
        order[kept++] = entry;
    }
    order.resize(kept);
    orderDead = 0;
}

void CAppSetting::Impl::CompleteOrder() {
    MergeFresh();
    for (Entry* entry : sorted) {
        if (!entry->dead && entry->place == kNoPlace) {
            AppendPlace(entry);
        }
    }
    orderComplete = true;
}

// ---- the store's operations ----

CAppSetting::CAppSetting() : impl_(std::make_unique<Impl>()) {}

CAppSetting::~CAppSetting() = default;

const std::u16string& CAppSetting::CurrentFile() const {
    return currentFile_;
}

std::uint64_t CAppSetting::ChangeCount() const {
    return impl_->changes;
}

int CAppSetting::Clear() {
    impl_->Clear();
    return 1;
}

int CAppSetting::SetValue(const char* key, const char* value, int line) {
    if (key == nullptr) {
        return 0;
    }
    impl_->Set(key, value, value != nullptr ? std::strlen(value) : 0, line, true, keepOrder != 0);
    return 1;
}

int CAppSetting::AddValue(const char* key, const char* value, int line) {
    // One entry per key: an existing key only takes the new value.
    return SetValue(key, value, line);
}

int CAppSetting::RemoveKey(const char* key) {
    if (key == nullptr) {
        return 0;
    }
    Impl::Entry* entry = impl_->Find(key);
    if (entry == nullptr) {
        return 0;
    }
    impl_->Remove(entry, true);
    return 1;
}

int CAppSetting::UnlinkOrder(SettingEntry* entry) {
    if (entry == nullptr) {
        return 0;
    }
    // Only an entry of this store has places here.
    Impl::Entry* own = impl_->Find(entry->key);
    if (own == nullptr || static_cast<SettingEntry*>(own) != entry) {
        return 0;
    }
    if (own->place == Impl::kNoPlace) {
        return 0;
    }
    impl_->DropPlaces(own);
    ++impl_->changes;
    return 1;
}

int CAppSetting::DeleteKey(const char* key) {
    RemoveKey(key);
    return 1;
}

namespace {

// One path DeleteSection has still to visit, and the index of the entry that
// named it.
struct Child {
    std::string path;
    std::size_t near;
};

// The direct children of path among the live entries with a value, as
// EnumKeys with allLevels 0 names them, pushed so that the first comes out of
// the back of out first.
void CollectChildren(const CAppSetting::Impl& table, const std::string& path, std::size_t from,
                     std::vector<Child>& out) {
    std::string_view prefix(path);
    while (!prefix.empty() && prefix.back() == '\\') {
        prefix.remove_suffix(1);
    }
    const std::size_t length = prefix.size();
    std::string lastSegment;
    const std::size_t first = out.size();
    for (std::size_t i = table.LowerBound(prefix, from); i < table.sorted.size(); ++i) {
        const Entry& entry = *table.sorted[i];
        if (entry.key.empty() || !entry.hasValue || entry.dead) {
            continue;
        }
        if (entry.key.size() < length ||
            std::memcmp(entry.key.data(), prefix.data(), length) != 0) {
            break;
        }
        std::string_view name = entry.key.substr(length);
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
        child.near = i;
        out.push_back(std::move(child));
    }
    std::reverse(out.begin() + static_cast<std::ptrdiff_t>(first), out.end());
}

} // namespace

// DeleteSection works as if it removed the key equal to the path, enumerated
// the path's direct children (EnumKeys with allLevels 0) and then ran itself
// on path + "\\" + name for each child in turn. Instead of searching the table
// for every visited path, it marks removed entries dead while it walks (so
// later steps no longer see them, as if they were gone; the indices of the
// table stay as they are) and compacts the table once at the end; each
// visited path is found from the entry that named it.
int CAppSetting::DeleteSection(const char* path) {
    const std::string root = path != nullptr ? path : "";
    RemoveKey(root.c_str());
    Impl& table = *impl_;
    table.MergeFresh();
    bool removed = false;
    std::vector<Child> pending;
    CollectChildren(table, root, table.finger, pending);
    while (!pending.empty()) {
        Child child = std::move(pending.back());
        pending.pop_back();
        const std::size_t at = table.LowerBound(child.path, child.near);
        if (at < table.sorted.size() && !table.sorted[at]->dead &&
            CompareKeys(table.sorted[at]->key, child.path) == 0) {
            table.Remove(table.sorted[at], false);
            removed = true;
        }
        if (child.path.back() != '\\') {
            CollectChildren(table, child.path, at, pending);
            continue;
        }
        // An empty name (a doubled backslash after the path) would name the
        // path itself again and never end: remove the keys with a value that
        // begin with the path and two backslashes, as far as they run.
        const std::string prefix = child.path + '\\';
        for (std::size_t i = table.LowerBound(prefix, at); i < table.sorted.size(); ++i) {
            Impl::Entry* entry = table.sorted[i];
            if (entry->key.empty() || !entry->hasValue || entry->dead) {
                continue;
            }
            if (entry->key.compare(0, prefix.size(), prefix) != 0) {
                break;
            }
            table.Remove(entry, false);
            removed = true;
        }
    }
    if (removed) {
        table.finger = Impl::kNone;
        table.MaybeCompact();
    }
    return 1;
}

int CAppSetting::GetValue(const char* key, const char** value, int* line) {
    if (key == nullptr) {
        return 0;
    }
    const Impl::Entry* entry = impl_->Find(key);
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
    Impl& table = *impl_;
    table.MergeFresh();
    std::size_t i = table.LowerBound(prefix, Impl::kNone);
    while (i < table.sorted.size()) {
        const Impl::Entry& entry = *table.sorted[i];
        if (entry.key.empty() || !entry.hasValue || entry.dead) {
            ++i;
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
                    ++i;
                    continue;
                }
                lastSegment.assign(segment);
                name = lastSegment.c_str();
            }
        }
        const std::uint64_t before = table.mutation;
        resume.assign(entry.key);
        if (callback(entry.key.data(), name, entry.value.data(), context) == 0) {
            break;
        }
        if (table.mutation != before) {
            // The callback changed the table: go on after the key it was
            // given, wherever that now stands.
            table.MergeFresh();
            i = table.UpperBound(resume);
        } else {
            ++i;
        }
    }
    return 1;
}
