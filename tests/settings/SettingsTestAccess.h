// Reaches the settings store's in-memory parser from tests and the fuzz target.
#pragma once

#include "settings/AppSetting.h"

#include <cstddef>

struct AppSettingTestAccess {
    // Parses the bytes as a settings file's text into the store. With
    // directives off, "#include" and "#redirect" lines are dropped unread.
    static int Parse(CAppSetting& store, const char* text, std::size_t length, bool directives) {
        store.followDirectives_ = directives;
        const int result = store.ParseBuffer(text, length);
        store.followDirectives_ = true;
        return result;
    }
};
