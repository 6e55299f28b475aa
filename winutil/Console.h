// The program's arguments and its console: UTF-8 text on both systems.
//
// On Windows the arguments are taken from the UTF-16 command line
// (GetCommandLineW) instead of the narrow argv, which the C runtime makes in
// the console's code page and so loses Chinese file names; output is sent as
// UTF-8 and the console told to show it.
#pragma once

#include <string>
#include <vector>

// The arguments, argv[0] included, as UTF-8.
std::vector<std::string> ProgramArguments(int argc, char** argv);
// Makes the console take the program's UTF-8 output as UTF-8.
void UseUtf8Console();
