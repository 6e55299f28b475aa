// The subcommands of bytemender-cli, one file per group: the items
// (CliItems.cpp), list and status (CliList.cpp), target and apply
// (CliApply.cpp), search (CliSearch.cpp), relocate (CliRelocate.cpp) and the
// patch exchange (CliExchange.cpp). CliCommands.cpp parses the arguments and
// calls one of them. Each reads and writes files only through PatchListFile
// and reports by its CliResult.
#pragma once

#include "cli/CliSession.h"

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace CLI {
class App;
}

inline constexpr const char* kProgram = "bytemender-cli";

// What the command line gave; each command reads its own fields.
struct Arguments {
    std::string settings;
    bool keepRecovered = false;
    bool json = false;
    bool dryRun = false;
    bool rebackup = false;
    bool overwrite = false;
    bool force = false;
    double waitSeconds = 10;
    std::string file;
    std::string offset;
    std::string oldHex;
    std::string newHex;
    std::string description;
    bool enable = false;
    long long row = 0;
    std::vector<long long> rows;
    bool all = false;
    std::string pattern;
};

// "0x1F", "1f", "0000001F": hex digits with an optional 0x, at most FFFFFFFF.
bool ParseOffsetArgument(std::string_view text, std::uint32_t* offset);

// list and status: the list with each item's state; for status only, also the
// verdict, which needs both files.
CliResult ListOrStatus(PatchListFile& list, bool json, bool statusOnly, std::ostream& out);

// target: takes file as the target and copies its backup.
CliResult ChooseTarget(PatchListFile& list, const std::string& file, bool force, std::ostream& out);
// apply, and apply --dry-run.
CliResult Apply(PatchListFile& list, const Arguments& args, std::ostream& out);

// add, edit, copy, remove, enable and disable: each saves the list. edit is
// the parsed subcommand, which tells the fields given.
CliResult AddItem(PatchListFile& list, const Arguments& args, std::ostream& out, std::ostream& err);
CliResult EditItem(PatchListFile& list, const Arguments& args, const CLI::App& edit,
                   std::ostream& out, std::ostream& err);
CliResult CopyItem(PatchListFile& list, long long rowNumber, std::ostream& out);
CliResult RemoveItem(PatchListFile& list, long long rowNumber, std::ostream& out);
// Every row is checked before anything changes.
CliResult SetEnabled(PatchListFile& list, const std::vector<long long>& rows, bool all, bool enable,
                     std::ostream& out);

// search: the offsets of a (wildcard) pattern in the backup.
CliResult Search(PatchListFile& list, const std::string& pattern, std::ostream& out);
