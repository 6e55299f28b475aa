#include "tests/settings/SettingsRoundTrip.h"

#include "settings/AppSetting.h"
#include "tests/settings/SettingsTestAccess.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <unistd.h>

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

} // namespace

RoundTripFolder::RoundTripFolder() {
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = std::string(base) + "/bm-settings-rt-XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) {
        path_ = pattern;
    }
}

RoundTripFolder::~RoundTripFolder() {
    if (!path_.empty()) {
        for (const char* name : {"/1.ini", "/2.ini", "/3.ini"}) {
            std::remove((path_ + name).c_str());
        }
        rmdir(path_.c_str());
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
        store.Save(first.c_str());
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
