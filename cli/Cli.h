// bytemender-cli: the window's jobs from a shell. RunCli parses the arguments,
// runs one subcommand and returns the exit status (0 done, 1 a check failed,
// 2 usage or input error, 3 file error); normal output goes to out, errors
// and warnings to err.
#pragma once

#include <ostream>

// How RunCli ends: by returning the exit status, or (for the program itself)
// by ending the process with it as soon as the output is flushed, without
// taking apart what it holds in memory.
enum class CliEnd { Return, ExitProcess };

int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
           CliEnd end = CliEnd::Return);
