// The patch list in the settings store. For item n the keys are
// PathList\<n>\Offset, Descrip, OldHex, NewHex and Path, and Signature and
// SignatureAt (decimal) when the item has a signature; the count is
// PathList\Count and the target path is FileName at the top level.
#include "core/PatchListStore.h"

#include "engine/Fingerprint.h"
#include "settings/AppSetting.h"
#include "settings/IniText.h"
#include "winutil/FileUtil.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

// Builds "PathList\<n>\<name>" in one buffer that every key of a list reuses.
class ItemKey {
  public:
    // The key of field name of item n; valid until the next call.
    const char* Of(std::size_t n, std::string_view name) {
        char digits[24];
        char* end = digits + sizeof digits;
        char* at = end;
        do {
            *--at = static_cast<char>('0' + n % 10);
            n /= 10;
        } while (n != 0);
        while (end - at < 4)
            *--at = '0';
        key_.resize(kSectionLength + 1);
        key_.append(at, end).push_back('\\');
        key_.append(name);
        return key_.c_str();
    }

  private:
    static constexpr std::size_t kSectionLength = std::string_view(kPatchListSection).size();
    std::string key_ = std::string(kPatchListSection) + "\\";
};

// An item's longest data line: its key with the longest item number the list
// reads (nine digits), " = " and a data text of kMaxItemTextLength hex digits
// (which need no escapes). The settings reader keeps it whole.
static_assert(std::string_view("PathList\\123456789\\NewHex = ").size() + kMaxItemTextLength <=
              kLineCapacity - 1);

bool ByOffset(const PatchItem& a, const PatchItem& b) {
    return a.offset < b.offset; // both unsigned 32-bit
}

} // namespace

std::string PatchItemKey(std::size_t n, const char* name) {
    return ItemKey().Of(n, name);
}

void SortPatchList(PatchList& list) {
    // A list read back from the file is in order already; sorting would move
    // every item even then.
    if (!std::is_sorted(list.begin(), list.end(), &ByOffset))
        std::stable_sort(list.begin(), list.end(), &ByOffset);
}

std::string ReadTargetPath(CAppSetting& store) {
    // The path is held in kPathCapacity bytes. A longer one (only a
    // hand-edited file can hold it) is not taken at all: cut short it would
    // name another file, which "保存" would then overwrite.
    const char* value = nullptr;
    if (!store.GetValue(kTargetPathKey, &value, nullptr) || !value)
        return std::string();
    const std::size_t length = std::strlen(value);
    if (length >= kPathCapacity)
        return std::string();
    return std::string(value, length);
}

namespace {

std::string CountKey() {
    char key[64];
    std::snprintf(key, sizeof key, "%s\\Count", kPatchListSection);
    return key;
}

// Collects one past the highest item number stored below PathList.
int CountStoredItemNumbers(const char*, const char* name, const char*, void* context) {
    auto* highest = static_cast<std::int64_t*>(context);
    if (!name || !*name)
        return 1;
    char* end = nullptr;
    const unsigned long long n = std::strtoull(name, &end, 10);
    if (end == name || (*end != '\0' && *end != '\\') || name[0] < '0' || name[0] > '9')
        return 1;
    if (n < static_cast<unsigned long long>(kMaxLoadedItems))
        *highest = std::max<std::int64_t>(*highest, static_cast<std::int64_t>(n) + 1);
    else
        *highest = kMaxLoadedItems;
    return 1;
}

// The number of items the stored count asks for, used as signed 32-bit. An
// absurd count (a damaged or hand-edited file) would exhaust memory or take
// hours; it is bounded by the item numbers actually present.
std::int32_t ItemCountToLoad(CAppSetting& store, StoredListCheck* check) {
    std::uint32_t stored = 0;
    check->hasCount = store.GetUInt(CountKey().c_str(), &stored) != 0;
    check->count = stored;
    const auto count = static_cast<std::int32_t>(stored);
    if (count <= 0)
        return 0;
    if (count <= kMaxLoadedItems)
        return count;
    std::int64_t present = 0;
    store.EnumKeys(kPatchListSection, &present, &CountStoredItemNumbers, 0);
    return static_cast<std::int32_t>(std::min<std::int64_t>(present, kMaxLoadedItems));
}

// Reading the list walks the store's entries once in key order instead of
// looking up five keys per item. Only the keys the lookups would find count:
// "PathList\<n>\<name>" in any letter case, with n written as PatchItemKey
// writes it (at least four digits, no leading zero beyond them) and below
// the count, and one of the five names. Entries without a value are not
// passed on by EnumKeys, as a lookup finds no value in them. Every item
// number found is counted, also past the count.
struct ListWalk {
    PatchList* list;
    StoredListCheck* check;
    std::int64_t lastNumber = -1; // an item's keys lie together in key order
};

constexpr std::string_view kItemPrefix = "PathList\\";

// The item number of a canonical number segment, or -1.
std::int64_t ItemNumber(std::string_view digits) {
    if (digits.size() < 4 || digits.size() > 9 || (digits.size() > 4 && digits[0] == '0'))
        return -1;
    std::int64_t n = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return -1;
        n = n * 10 + (c - '0');
    }
    return n;
}

int ReadListEntry(const char* key, const char*, const char* value, void* context) {
    auto* walk = static_cast<ListWalk*>(context);
    const std::string_view full(key);
    // Keys are ordered ignoring case, so the list's keys lie together; past
    // them the walk ends. The list's own saves write the section name as it
    // is spelt here, which spares folding the case.
    const std::string_view head = full.substr(0, kItemPrefix.size());
    if (head != kItemPrefix) {
        const int order = CompareKeys(head, kItemPrefix);
        if (order > 0)
            return 0;
        if (order < 0 || head.size() < kItemPrefix.size())
            return 1;
    }
    const std::string_view rest = full.substr(kItemPrefix.size());
    const std::size_t slash = rest.find('\\');
    if (slash == std::string_view::npos)
        return 1;
    const std::int64_t n = ItemNumber(rest.substr(0, slash));
    const std::string_view name = rest.substr(slash + 1);
    if (n < 0 || name.empty())
        return 1;
    enum Field { None, Descrip, NewHex, Offset, OldHex, Path, Signature, SignatureAt } field = None;
    switch (name[0] | 0x20) { // the first letter in lower case
    case 'd':
        field = EqualNoCase(name, "Descrip") ? Descrip : None;
        break;
    case 'n':
        field = EqualNoCase(name, "NewHex") ? NewHex : None;
        break;
    case 'o':
        field = EqualNoCase(name, "Offset") ? Offset : EqualNoCase(name, "OldHex") ? OldHex : None;
        break;
    case 'p':
        field = EqualNoCase(name, "Path") ? Path : None;
        break;
    case 's':
        field = EqualNoCase(name, kSignatureKey)     ? Signature
                : EqualNoCase(name, kSignatureAtKey) ? SignatureAt
                                                     : None;
        break;
    }
    if (field == None)
        return 1;
    StoredListCheck& check = *walk->check;
    if (n != walk->lastNumber) {
        walk->lastNumber = n;
        ++check.itemsHeld;
        check.highest = std::max(check.highest, static_cast<std::size_t>(n) + 1);
    }
    // A stored count decides how many items load; without one (a file cut
    // short) every item number found does.
    PatchList& list = *walk->list;
    if (static_cast<std::size_t>(n) >= list.size()) {
        if (check.hasCount || n >= kMaxLoadedItems)
            return 1;
        list.resize(static_cast<std::size_t>(n) + 1);
    }
    PatchItem& item = list[static_cast<std::size_t>(n)];
    switch (field) {
    case Descrip:
        item.description = value;
        break;
    case NewHex:
        item.newHex = value;
        break;
    case Offset:
        item.offset = static_cast<std::uint32_t>(ParseIntValue(value));
        break;
    case OldHex:
        item.oldHex = value;
        break;
    case Path:
        item.enabled = static_cast<std::int32_t>(ParseUIntValue(value));
        break;
    case Signature:
        item.signature = value;
        break;
    case SignatureAt:
        item.signatureAt = static_cast<std::uint32_t>(ParseUIntValue(value));
        break;
    case None:
        break;
    }
    return 1;
}

} // namespace

void ReadPatchItems(CAppSetting& store, PatchList& list, StoredListCheck* check) {
    StoredListCheck found;
    list.clear();
    list.resize(static_cast<std::size_t>(ItemCountToLoad(store, &found)));
    ListWalk walk{&list, &found};
    store.EnumKeys("", &walk, &ReadListEntry, 1);
    if (check)
        *check = found;
}

std::uint64_t StoredListTag(const PatchList& list) {
    FieldTag tag;
    tag.Add(list.size());
    for (const PatchItem& item : list) {
        tag.Add(item.offset);
        tag.Add(item.description);
        tag.Add(item.oldHex);
        tag.Add(item.newHex);
        tag.Add(static_cast<std::uint32_t>(item.enabled));
        tag.Add(item.signature);
        tag.Add(item.signatureAt);
    }
    return tag.value();
}

void StorePatchList(CAppSetting& store, const PatchList& list, const std::string& targetPath) {
    store.DeleteSection(kPatchListSection);
    store.SetString(kTargetPathKey, targetPath.c_str());
    store.SetInt(CountKey().c_str(), static_cast<std::int32_t>(list.size()));
    ItemKey key;
    for (std::size_t n = 0; n < list.size(); ++n) {
        const PatchItem& item = list[n];
        store.SetHex(key.Of(n, "Offset"), item.offset);
        store.SetString(key.Of(n, "Descrip"), item.description.c_str());
        store.SetString(key.Of(n, "OldHex"), item.oldHex.c_str());
        store.SetString(key.Of(n, "NewHex"), item.newHex.c_str());
        store.SetInt(key.Of(n, "Path"), item.enabled);
        // An empty signature with a place is the mark of an item that has
        // no unique window in the backup (see NoWindowMark).
        if (!item.signature.empty() || item.signatureAt != 0) {
            store.SetString(key.Of(n, kSignatureKey), item.signature.c_str());
            store.SetString(key.Of(n, kSignatureAtKey), std::to_string(item.signatureAt).c_str());
        }
    }
}

int WritePatchList(CAppSetting& store, const PatchList& list, const std::string& targetPath) {
    StorePatchList(store, list, targetPath);
    return store.Save(nullptr);
}

namespace {

// Cuts text to at most limit bytes without leaving half a UTF-8 sequence.
void CutAtCharacter(std::string* text, std::size_t limit) {
    if (text->size() <= limit)
        return;
    std::size_t cut = limit;
    while (cut > 0 && (static_cast<unsigned char>((*text)[cut]) & 0xC0) == 0x80)
        --cut;
    text->resize(cut);
}

} // namespace

std::string MakeWindowTitle(const std::string& targetPath) {
    if (targetPath.empty())
        return "Bytemender";
    const std::size_t cut = targetPath.find_last_of("\\/");
    std::string name = cut == std::string::npos ? targetPath : targetPath.substr(cut + 1);
    CutAtCharacter(&name, 511); // the file name is held in 512 bytes
    return "Bytemender - " + name;
}
