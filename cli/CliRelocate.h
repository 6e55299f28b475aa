// bytemender-cli relocate: moves the items whose old bytes are no longer at
// their offsets in the backup to where their signatures are found, saves the
// list, and prints each move and each item that could not be placed.
#pragma once

#include "cli/CliSession.h"

#include <ostream>

// Exit 0 when every item now matches the backup, 1 when some could not be
// relocated (those that moved are kept), 3 on a file error. dryRun prints
// the same and changes nothing.
CliResult RelocateItems(PatchListFile& list, bool dryRun, bool json, std::ostream& out);
