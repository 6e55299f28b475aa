// libFuzzer target: arbitrary bytes as an IPS patch (IPS32 when built with
// BM_FUZZ_IPS32) must import or be refused with a message, and what imports
// must survive an export and a second import unchanged.
#include "tests/engine/ExchangeRoundTrip.h"

#include <cstdio>
#include <cstdlib>

#ifndef BM_FUZZ_IPS32
#define BM_FUZZ_IPS32 0
#endif

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string why;
    if (!CheckIpsRoundTrip(BM_FUZZ_IPS32 != 0, data, size, &why)) {
        std::fprintf(stderr, "IPS round trip: %s\n", why.c_str());
        std::abort();
    }
    return 0;
}
