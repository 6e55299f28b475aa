// libFuzzer target: arbitrary bytes as a settings file must load, and saving
// what was loaded must reach a fixed point byte for byte.
#include "tests/settings/SettingsRoundTrip.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static RoundTripFolder folder;
    std::string why;
    if (!CheckSettingsRoundTrip(data, size, folder, &why) ||
        !CheckDeleteSectionMatchesLiteral(data, size, folder, &why)) {
        std::fprintf(stderr, "settings round trip: %s\n", why.c_str());
        std::abort();
    }
    return 0;
}
