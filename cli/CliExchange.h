// bytemender-cli import, export and diff: patch files of other tools (IPS,
// IPS32, IDA .dif, x64dbg .1337, haxdiff) and the items between two files.
#pragma once

#include "cli/CliSession.h"

#include <memory>
#include <ostream>

namespace CLI {
class App;
}

class ExchangeCommands {
  public:
    // Adds the subcommands "import", "export" and "diff" to app, which must
    // outlive this object.
    explicit ExchangeCommands(CLI::App& app);
    ~ExchangeCommands();
    ExchangeCommands(const ExchangeCommands&) = delete;
    ExchangeCommands& operator=(const ExchangeCommands&) = delete;

    // Whether the arguments named one of them.
    bool Parsed() const;
    // Whether it may start a list that does not exist yet (diff, as add).
    bool MayCreateList() const;
    // Whether it only reads the list (export).
    bool ReadsOnly() const;
    // Runs the one named on the list; the list is saved when items joined it.
    CliResult Run(PatchListFile& list, std::ostream& out) const;

  private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};
