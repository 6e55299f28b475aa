// The settings store's table, private to settings/: what CAppSetting keeps
// behind its public header. Only AppSetting.cpp and SettingsFile.cpp include
// this file.
//
// Entries. Every entry lives in a slot of EntryPool and never moves while it
// exists, so the write order and lookups may hold its address. The pool hands
// out slots from large blocks and takes them back onto a free list; under
// AddressSanitizer every slot not in use is poisoned, so a stale entry pointer
// is caught where it is followed.
//
// Key order. sorted holds the entries in key order (the key comparison of
// IniText.h). A key above every other, as every line of a file saved in key
// order is, is appended to it, and one that lands close to its end is put in
// place. A key that lands further inside goes to tail, a second run in key
// order, when it lands close to the end of that (a list of more than 10,000
// items written again: its five-digit numbers sort among the four-digit
// ones, one after the other), else to stray, a small ordered set. Both are
// merged into sorted once they hold a quarter as many entries, or when an
// operation walks the keys in order (EnumKeys, DeleteSection, Save and the
// completion of the write order).
//
// Removal. An entry removed from sorted or tail stays there as dead (its
// value gone, its key kept for the ordering) until more than half of them is
// dead or the runs are merged; setting the same key again meanwhile brings
// the slot back to life. An entry removed from stray is freed at once. Each
// key (compared ignoring case) stands once in sorted, tail or stray.
//
// Write order. order holds the places of the entries in the order Save writes
// them while keepOrder is set; see AppSetting.cpp.
#pragma once

#include "settings/AppSetting.h"

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct CAppSetting::Impl {
    static constexpr std::uint32_t kNoPlace = 0xFFFFFFFFu;
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

    struct Entry : SettingEntry {
        std::uint32_t place = kNoPlace; // first place in order, kNoPlace for none
        bool dead = false;              // removed, kept in sorted for its key
        enum Where : std::uint8_t { kSorted, kTail, kStray };
        Where where = kSorted;
        bool ownsKey = false;   // the key is a block of its own, else text of a loaded file
        bool ownsValue = false; // the same for the value
    };

    // Slots for entries, from large blocks (offered huge pages once large).
    class EntryPool {
      public:
        EntryPool() = default;
        EntryPool(const EntryPool&) = delete;
        EntryPool& operator=(const EntryPool&) = delete;
        ~EntryPool();
        // A fresh default entry.
        Entry* Take();
        void Give(Entry* entry);
        // The next block gets room for at least count entries.
        void Expect(std::size_t count);
        // Frees every block; only when no entry is in use.
        void Release();

      private:
        struct Block;
        void AddBlock(std::size_t bytes);
        void* free_ = nullptr;
        char* next_ = nullptr;
        char* end_ = nullptr;
        Block* blocks_ = nullptr;
        std::size_t grow_ = 0;
        std::size_t expected_ = 0;
    };

    struct StrayLess {
        using is_transparent = void;
        bool operator()(const Entry* a, const Entry* b) const {
            return CompareKeys(a->key, b->key) < 0;
        }
        bool operator()(const Entry* a, std::string_view b) const {
            return CompareKeys(a->key, b) < 0;
        }
        bool operator()(std::string_view a, const Entry* b) const {
            return CompareKeys(a, b->key) < 0;
        }
    };

    // Text a loaded file left for its entries (keys and values are parsed in
    // place), kept until the store is cleared.
    struct TextBlock {
        char* data = nullptr;
        bool fromFile = false; // from ReadFileWhole, else from malloc
    };

    // A file being read, kept while its text is parsed so that an include or
    // redirect chain that comes back to it is not followed again.
    struct OpenFile {
        std::string path;
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
    };

    Impl() = default;
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;
    ~Impl();

    // The live entry of key, or nullptr.
    Entry* Find(std::string_view key);
    // The entry of key in sorted, tail or stray, dead or alive, or nullptr.
    Entry* Locate(std::string_view key);
    // The first index of sorted whose key is not below key, searched from
    // near index from first (kNone: no hint).
    std::size_t LowerBound(std::string_view key, std::size_t from) const {
        return LowerBoundIn(sorted, key, from);
    }
    static std::size_t LowerBoundIn(const std::vector<Entry*>& run, std::string_view key,
                                    std::size_t from);
    std::size_t UpperBound(std::string_view key) const;
    // Sets key to value (nullptr for none); owned false means the texts
    // belong to the store already (a loaded file's text) and are not copied.
    void Set(std::string_view key, const char* value, std::size_t valueLength, int line, bool owned,
             bool keepOrder);
    // Adds an entry for a key that has none (no live entry, no dead one);
    // at is LowerBound(key) in sorted, tailAt the same in tail.
    void Add(std::string_view key, const char* value, std::size_t valueLength, int line, bool owned,
             bool keepOrder, std::size_t at, std::size_t tailAt);
    // Removes a live entry. With compact false sorted keeps its indices.
    void Remove(Entry* entry, bool compact);
    // Moves tail and stray into sorted and drops the dead entries.
    void Merge();
    void MergeFresh() {
        if (!tail.empty() || !stray.empty())
            Merge();
    }
    void MaybeCompact();
    void Clear();

    static void AssignValue(Entry* entry, const char* value, std::size_t length, bool owned);
    static void ReleaseTexts(Entry* entry);
    void Free(Entry* entry);

    void RecordPlace(Entry* entry, std::uint32_t index);
    void AppendPlace(Entry* entry);
    void DropPlaces(Entry* entry);
    void CompactOrder();
    void CompleteOrder();
    void SyncOrderMode(bool keepOrder) {
        if (keepOrder && !orderComplete)
            CompleteOrder();
    }

    void ReleaseBlocks();

    EntryPool pool;
    std::vector<Entry*> sorted;
    std::size_t deadCount = 0;
    std::vector<Entry*> tail; // a second run in key order, for keys far inside sorted
    std::size_t tailFinger = kNone;
    std::set<Entry*, StrayLess> stray; // keys far inside both runs
    std::size_t finger = kNone;        // index in sorted of the last entry found or added
    std::vector<Entry*> order;         // write order; nullptr marks a place given up
    std::size_t orderDead = 0;
    bool orderComplete = true; // every live entry has a place in order
    // Repeated places of a value-less entry (rare: repeated blank or comment
    // lines).
    std::unordered_map<const Entry*, std::vector<std::uint32_t>> morePlaces;
    std::vector<TextBlock> blocks;
    bool ownsTexts = false;     // some entry may own its key or value text
    std::uint64_t mutation = 0; // bumped by every addition or removal
    std::uint64_t changes = 0;  // bumped by every change of a value or key
    std::vector<OpenFile> openFiles;
};
