// Test helper for the Windows session: holds FILE open the way most Windows
// programs do (others may read and write it, but not rename or delete it)
// for SECONDS seconds. Copied over a target and started, it is also "a
// running program" whose file is patched.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

int main(int argc, char** argv) {
    if (argc != 3)
        return 2;
    std::FILE* file = std::fopen(argv[1], "rb");
    if (!file)
        return 1;
    std::puts("open");
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::seconds(std::atoi(argv[2])));
    std::fclose(file);
    return 0;
}
