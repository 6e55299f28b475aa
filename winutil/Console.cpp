// Arguments and console on POSIX: already UTF-8 (or the bytes the user gave).
#include "winutil/Console.h"

#include <vector>

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

void UseUtf8Console() {}
