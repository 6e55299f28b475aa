#include "cli/Cli.h"
#include "winutil/Console.h"
#include "winutil/FdIo.h"

#include <iostream>

int main(int argc, char** argv) {
    // A "status" of 100,000 items fills some 60 MiB with small blocks.
    UseLargePagesForHeap(std::size_t(128) << 20);
    UseUtf8Console();
    const std::vector<std::string> arguments = ProgramArguments(argc, argv);
    std::vector<const char*> pointers;
    for (const std::string& argument : arguments)
        pointers.push_back(argument.c_str());
    pointers.push_back(nullptr);
    return RunCli(static_cast<int>(arguments.size()), pointers.data(), std::cout, std::cerr,
                  CliEnd::ExitProcess);
}
