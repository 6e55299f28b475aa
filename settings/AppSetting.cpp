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

#include <cstring>

CAppSetting::CAppSetting() = default;

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

void CAppSetting::AppendPlace(Entry* entry) {
    const auto index = static_cast<std::uint32_t>(order_.size());
    order_.push_back(entry);
    if (entry->place == kNoPlace) {
        entry->place = index;
    } else {
        entry->morePlaces.push_back(index);
    }
}

void CAppSetting::CompactOrder() {
    for (Entry* entry : order_) {
        if (entry != nullptr) {
            entry->place = kNoPlace;
            entry->morePlaces.clear();
        }
    }
    std::size_t kept = 0;
    for (std::size_t i = 0; i < order_.size(); ++i) {
        Entry* entry = order_[i];
        if (entry == nullptr) {
            continue;
        }
        const auto index = static_cast<std::uint32_t>(kept);
        order_[kept++] = entry;
        if (entry->place == kNoPlace) {
            entry->place = index;
        } else {
            entry->morePlaces.push_back(index);
        }
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

int CAppSetting::Clear() {
    entries_.clear();
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
    const std::string_view k(key);
    // Files saved in key order arrive sorted: a key above the last one is new.
    if (entries_.empty() || CompareKeys(entries_.rbegin()->key, k) < 0) {
        return AddValue(key, value, line);
    }
    Entry* entry = Find(k);
    if (entry == nullptr) {
        return AddValue(key, value, line);
    }
    SyncOrderMode();
    if (line != -1) {
        entry->line = line;
    }
    if (value != nullptr) {
        entry->value.assign(value);
        entry->hasValue = true;
    } else {
        entry->value.clear();
        entry->hasValue = false;
        if (keepOrder != 0) {
            // A repeated blank or comment line keeps its own place.
            AppendPlace(entry);
        }
    }
    return 1;
}

int CAppSetting::AddValue(const char* key, const char* value, int line) {
    if (key == nullptr) {
        return 0;
    }
    SyncOrderMode();
    const std::string_view k(key);
    EntrySet::iterator hint = entries_.end();
    if (!entries_.empty() && CompareKeys(entries_.rbegin()->key, k) >= 0) {
        hint = entries_.lower_bound(k);
        if (hint != entries_.end() && CompareKeys(k, hint->key) == 0) {
            // One entry per key: an existing key only takes the new value.
            return SetValue(key, value, line);
        }
    }
    Entry fresh;
    fresh.key.assign(k);
    fresh.line = line;
    if (value != nullptr) {
        fresh.hasValue = true;
        fresh.value.assign(value);
    }
    Entry* entry = Mutable(*entries_.emplace_hint(hint, std::move(fresh)));
    ++mutation_;
    if (keepOrder != 0) {
        AppendPlace(entry);
    } else {
        orderComplete_ = false;
    }
    return 1;
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
    entries_.erase(it);
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
    order_[own->place] = nullptr;
    ++orderDead_;
    for (const std::uint32_t place : own->morePlaces) {
        order_[place] = nullptr;
        ++orderDead_;
    }
    own->place = kNoPlace;
    own->morePlaces.clear();
    own->morePlaces.shrink_to_fit();
    if (orderDead_ > 1024 && orderDead_ * 2 > order_.size()) {
        CompactOrder();
    }
    return 1;
}

int CAppSetting::DeleteKey(const char* key) {
    RemoveKey(key);
    return 1;
}

namespace {

int CollectName(const char*, const char* name, const char*, void* context) {
    static_cast<std::vector<std::string>*>(context)->emplace_back(name);
    return 1;
}

} // namespace

int CAppSetting::DeleteSection(const char* path) {
    std::string root = path != nullptr ? path : "";
    RemoveKey(root.c_str());
    // Children are composed from the path without its trailing backslashes,
    // the form EnumKeys matches them with.
    while (!root.empty() && root.back() == '\\') {
        root.pop_back();
    }
    // Depth first, children in key order, without recursion: a key may have
    // any number of segments.
    std::vector<std::string> pending;
    std::vector<std::string> names;
    std::string current = root;
    for (;;) {
        names.clear();
        EnumKeys(current.c_str(), &names, &CollectName, 0);
        for (auto it = names.rbegin(); it != names.rend(); ++it) {
            std::string child;
            child.reserve(current.size() + 1 + it->size());
            child.append(current).append(1, '\\').append(*it);
            pending.push_back(std::move(child));
        }
        if (pending.empty()) {
            break;
        }
        current = std::move(pending.back());
        pending.pop_back();
        RemoveKey(current.c_str());
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
        *value = entry->hasValue ? entry->value.c_str() : nullptr;
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
        const char* name = entry.key.c_str() + length;
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
        if (callback(entry.key.c_str(), name, entry.value.c_str(), context) == 0) {
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
