#include "tests/settings/SettingsRoundTrip.h"

#include "settings/AppSetting.h"
#include "tests/settings/SettingsTestAccess.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#ifdef _WIN32
#include <random>
#else
#include <unistd.h>
#endif
#include <vector>

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool HasUnreadableLine(const std::string& text) {
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            end = text.size();
        }
        if (end - start > static_cast<std::size_t>(kLineCapacity - 1)) {
            return true;
        }
        start = end + 2;
    }
    return false;
}

// Loads path into a fresh store and saves it in key order to out.
bool Resave(const std::string& path, const std::string& out, std::string* why) {
    CAppSetting store;
    if (store.Load(path.c_str(), 1) == 0) {
        *why = "cannot load " + path;
        return false;
    }
    store.keepOrder = 0;
    store.Save(out.c_str());
    return true;
}

int CollectName(const char*, const char* name, const char*, void* context) {
    static_cast<std::vector<std::string>*>(context)->emplace_back(name);
    return 1;
}

int CollectKey(const char* key, const char*, const char*, void* context) {
    static_cast<std::vector<std::string>*>(context)->emplace_back(key);
    return 1;
}

// Removal as described step by step: the key itself, then each direct child
// in turn (children composed from the path without trailing backslashes).
void LiteralDeleteSection(CAppSetting& store, const std::string& path) {
    store.RemoveKey(path.c_str());
    std::vector<std::string> names;
    store.EnumKeys(path.c_str(), &names, &CollectName, 0);
    std::string base = path;
    while (!base.empty() && base.back() == '\\') {
        base.pop_back();
    }
    for (const std::string& name : names) {
        if (!name.empty()) {
            LiteralDeleteSection(store, base + "\\" + name);
            continue;
        }
        // An empty name: the key path + "\\" and then the run of keys with a
        // value that begin with path + "\\\\".
        store.RemoveKey((base + "\\").c_str());
        const std::string prefix = base + "\\\\";
        std::vector<std::string> all;
        store.EnumKeys("", &all, &CollectKey, 1);
        auto it = std::find_if(all.begin(), all.end(),
                               [&](const std::string& k) { return CompareKeys(k, prefix) >= 0; });
        for (; it != all.end() && it->compare(0, prefix.size(), prefix) == 0; ++it) {
            store.RemoveKey(it->c_str());
        }
    }
}

std::string SavedBytes(CAppSetting& store, const std::string& path, int keepOrder) {
    store.keepOrder = keepOrder;
    store.Save(path.c_str());
    return ReadAll(path);
}

} // namespace

RoundTripFolder::RoundTripFolder() {
#ifdef _WIN32
    std::random_device random;
    const auto folder =
        std::filesystem::temp_directory_path() / ("bm-settings-rt-" + std::to_string(random()));
    std::error_code error;
    if (std::filesystem::create_directory(folder, error)) {
        path_ = folder.string();
    }
#else
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = std::string(base) + "/bm-settings-rt-XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) {
        path_ = pattern;
    }
#endif
}

RoundTripFolder::~RoundTripFolder() {
    if (!path_.empty()) {
        for (const char* name : {"/1.ini", "/2.ini", "/3.ini", "/d1.ini", "/d2.ini"}) {
            std::remove((path_ + name).c_str());
        }
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }
}

bool CheckSettingsRoundTrip(const std::uint8_t* data, std::size_t size,
                            const RoundTripFolder& folder, std::string* why) {
    if (folder.Path().empty()) {
        *why = "no temporary folder";
        return false;
    }
    const std::string first = folder.Path() + "/1.ini";
    const std::string second = folder.Path() + "/2.ini";
    const std::string third = folder.Path() + "/3.ini";
    {
        CAppSetting store;
        AppSettingTestAccess::Parse(store, reinterpret_cast<const char*>(data), size, false);
        store.keepOrder = 0;
        // A line the reader would cut is never written: nothing to read back.
        if (store.Save(first.c_str()) == 0 && store.Refusal() == SettingsRefusal::LineTooLong) {
            return true;
        }
    }
    if (!Resave(first, second, why) || !Resave(second, third, why)) {
        return false;
    }
    const std::string a = ReadAll(first);
    const std::string b = ReadAll(second);
    const std::string c = ReadAll(third);
    if (a != b && !HasUnreadableLine(a)) {
        *why = "second save differs from the first";
        return false;
    }
    if (b != c) {
        *why = "third save differs from the second";
        return false;
    }
    return true;
}

bool CheckDeleteSectionMatchesLiteral(const std::uint8_t* data, std::size_t size,
                                      const RoundTripFolder& folder, std::string* why) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    // The first line's key (text before " = " or the whole line).
    std::string firstKey = text.substr(0, std::min(text.find_first_of(std::string("\r\n\0", 3)),
                                                   std::min<std::size_t>(text.size(), 8191)));
    const std::size_t separator = firstKey.find(" = ");
    if (separator != std::string::npos) {
        firstKey.resize(separator);
    }
    std::vector<std::string> paths{""};
    for (std::size_t i = 0; i < firstKey.size() && paths.size() < 8; ++i) {
        if (firstKey[i] == '\\') {
            paths.push_back(firstKey.substr(0, i));
            paths.push_back(firstKey.substr(0, i + 1));
        }
    }
    paths.push_back(firstKey);
    const std::string a = folder.Path() + "/d1.ini";
    const std::string b = folder.Path() + "/d2.ini";
    for (const std::string& path : paths) {
        CAppSetting fast;
        CAppSetting literal;
        AppSettingTestAccess::Parse(fast, text.data(), text.size(), false);
        AppSettingTestAccess::Parse(literal, text.data(), text.size(), false);
        fast.DeleteSection(path.c_str());
        LiteralDeleteSection(literal, path);
        for (int keepOrder : {1, 0}) {
            if (SavedBytes(fast, a, keepOrder) != SavedBytes(literal, b, keepOrder)) {
                *why = "DeleteSection(\"" + path + "\") differs from the step-by-step removal";
                return false;
            }
        }
    }
    return true;
}
