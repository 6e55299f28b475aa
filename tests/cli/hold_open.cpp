// Test helper for the Windows session: holds FILE open the way most Windows
// programs do (others may read and write it, but not rename or delete it)
// for SECONDS seconds; with "deny-write", as an editor that locks its file
// does (others may only read it). Copied over a target and started, it is
// also "a running program" whose file is patched.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <share.h>
#include <thread>

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4)
        return 2;
    const bool denyWrite = argc == 4 && std::strcmp(argv[3], "deny-write") == 0;
    std::FILE* file = denyWrite ? _fsopen(argv[1], "rb", _SH_DENYWR) : std::fopen(argv[1], "rb");
    if (!file)
        return 1;
    std::puts("open");
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::seconds(std::atoi(argv[2])));
    std::fclose(file);
    return 0;
}
