// bytemender-cli relocate: moves the items whose old bytes are no longer at
// their offsets in the backup to where their signatures are found, saves the
// list, and prints each move and each item that could not be placed.
#pragma once

#include "cli/CliSession.h"

#include <ostream>
#include <string>
#include <vector>

// Exit 0 when every item now matches the backup, 1 when some could not be
// relocated (those that moved are kept), 3 on a file error. dryRun prints
// the same and changes nothing.

// One line for each item the plan moves or cannot place, in list order.
std::string RelocationLines(const PatchList& items, const std::vector<ItemRelocation>& plan);

// The command line's answer when a new backup copy (an updated target) calls
// for relocating items: every move is taken; a copy some enabled item still
// does not fit only with force. What it decided is kept in *report, which
// must outlive the session's use of the answer.
struct BackupRelocationReport {
    bool asked = false;
    bool refused = false; // some item cannot be placed and force was not given
    std::string lines;    // RelocationLines of the plan
};
PatchSession::BackupRelocationQuestion AnswerBackupRelocation(bool force,
                                                              BackupRelocationReport* report);

CliResult RelocateItems(PatchListFile& list, bool dryRun, bool json, std::ostream& out);
