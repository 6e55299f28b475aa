// The patch list in the settings store. For item n the keys are
// PathList\<n>\Offset, Descrip, OldHex, NewHex and Path; the count is
// PathList\Count and the target path is FileName at the top level.
#include "app/PatchListStore.h"

#include "settings/AppSetting.h"
#include "winutil/FileUtil.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

std::string PatchItemKey(std::size_t n, const char* name) {
    char key[128];
    std::snprintf(key, sizeof key, "%s\\%04zu\\%s", kPatchListSection, n, name);
    return key;
}

void SortPatchList(PatchList& list) {
    std::stable_sort(list.begin(), list.end(), [](const PatchItem& a, const PatchItem& b) {
        return a.offset < b.offset; // both unsigned 32-bit
    });
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

// The number of items to load: the stored count, used as signed 32-bit. An
// absurd count (a damaged or hand-edited file) would exhaust memory or take
// hours; it is bounded by the item numbers actually present.
std::int32_t ItemCountToLoad(CAppSetting& store) {
    std::uint32_t stored = 0;
    store.GetUInt(CountKey().c_str(), &stored);
    const auto count = static_cast<std::int32_t>(stored);
    if (count <= 0)
        return 0;
    if (count <= kMaxLoadedItems)
        return count;
    std::int64_t present = 0;
    store.EnumKeys(kPatchListSection, &present, &CountStoredItemNumbers, 0);
    return static_cast<std::int32_t>(std::min<std::int64_t>(present, kMaxLoadedItems));
}

void ReadText(CAppSetting& store, const std::string& key, std::string* field) {
    const char* value = nullptr;
    if (store.GetValue(key.c_str(), &value, nullptr) && value)
        *field = value;
}

} // namespace

void ReadPatchItems(CAppSetting& store, PatchList& list) {
    list.clear();
    const std::int32_t count = ItemCountToLoad(store);
    list.reserve(static_cast<std::size_t>(count));
    for (std::int32_t n = 0; n < count; ++n) {
        PatchItem item;
        const auto index = static_cast<std::size_t>(n);
        std::int32_t offset = 0;
        store.GetInt(PatchItemKey(index, "Offset").c_str(), &offset);
        item.offset = static_cast<std::uint32_t>(offset);
        ReadText(store, PatchItemKey(index, "Descrip"), &item.description);
        ReadText(store, PatchItemKey(index, "OldHex"), &item.oldHex);
        ReadText(store, PatchItemKey(index, "NewHex"), &item.newHex);
        std::uint32_t enabled = 0;
        store.GetUInt(PatchItemKey(index, "Path").c_str(), &enabled);
        item.enabled = static_cast<std::int32_t>(enabled);
        list.push_back(std::move(item));
    }
}

void StorePatchList(CAppSetting& store, const PatchList& list, const std::string& targetPath) {
    store.DeleteSection(kPatchListSection);
    store.SetString(kTargetPathKey, targetPath.c_str());
    store.SetInt(CountKey().c_str(), static_cast<std::int32_t>(list.size()));
    for (std::size_t n = 0; n < list.size(); ++n) {
        const PatchItem& item = list[n];
        store.SetHex(PatchItemKey(n, "Offset").c_str(), item.offset);
        store.SetString(PatchItemKey(n, "Descrip").c_str(), item.description.c_str());
        store.SetString(PatchItemKey(n, "OldHex").c_str(), item.oldHex.c_str());
        store.SetString(PatchItemKey(n, "NewHex").c_str(), item.newHex.c_str());
        store.SetInt(PatchItemKey(n, "Path").c_str(), item.enabled);
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
