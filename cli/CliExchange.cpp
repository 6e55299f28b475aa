// import, export and diff on the command line: the list steps shared with the
// window (app/PatchExchangeJobs.h), with the command line's checks, messages
// and exit statuses.
#include "cli/CliExchange.h"

#include "app/PatchExchangeJobs.h"
#include "cli/CliText.h"
#include "engine/PatchExchange.h"

#include <CLI/CLI.hpp>

#include <cstdint>
#include <string>
#include <vector>

struct ExchangeCommands::Parts {
    CLI::App* import = nullptr;
    CLI::App* exportTo = nullptr;
    CLI::App* diff = nullptr;
    std::string file;
    std::string formatName;
    bool all = false;
    std::string original;
    std::string patched;
    bool commonLength = false;
};

namespace {

int ExitStatusOf(ExchangeProblem problem) {
    switch (problem) {
    case ExchangeProblem::File:
        return kExitFileError;
    case ExchangeProblem::Mismatch:
        return kExitCheckFailed;
    case ExchangeProblem::None:
    case ExchangeProblem::BadInput:
        break;
    }
    return kExitUsage;
}

// The backup copy of the list's target, readable; import and export read it.
CliResult ReadableBackup(const PatchListFile& list, std::string* backup) {
    if (CliResult chosen = list.RequireTarget(); !chosen.ok())
        return chosen;
    *backup = list.BackupPath();
    if (backup->empty())
        return Failed(kExitFileError,
                      Fill(Tr("the backup path for %1 would be too long"), {list.TargetPath()}));
    return CheckReadableFile(*backup, "backup copy");
}

CliResult Import(PatchListFile& list, const std::string& file, std::ostream& out) {
    std::string backup;
    if (CliResult readable = ReadableBackup(list, &backup); !readable.ok())
        return readable;
    if (CliResult readable = CheckReadableFile(file, "patch file"); !readable.ok())
        return readable;
    const ExchangeOutcome imported = ImportIntoList(list.items, backup, file);
    if (!imported.ok())
        return Failed(ExitStatusOf(imported.problem),
                      imported.detail + "\n" + Tr("Nothing was imported; the list is unchanged."));
    if (imported.count == 0) {
        out << Tr("The patch file holds no changes; the list is unchanged.") << "\n";
        return CliResult{};
    }
    if (CliResult saved = list.Save(); !saved.ok())
        return saved;
    out << Fill(Tr("Imported %1 items from %2 (%3), enabled, in offset order."),
                {std::to_string(imported.count), file, PatchFormatName(imported.format)})
        << "\n";
    return CliResult{};
}

CliResult Export(PatchListFile& list, const std::string& file, const std::string& formatName,
                 bool all, std::ostream& out) {
    PatchFormat format = PatchFormat::Ips;
    if (formatName.empty() ? !DetectPatchFormat({}, file, &format)
                           : !PatchFormatFromName(formatName, &format))
        return Failed(kExitUsage,
                      Fill(Tr("the extension of %1 names no patch format; give --format ips, "
                              "ips32, dif, 1337 or haxdiff"),
                           {file}));
    std::string backup;
    if (CliResult readable = ReadableBackup(list, &backup); !readable.ok())
        return readable;
    const ExchangeOutcome exported = ExportList(
        list.items, backup, {list.TargetPath(), backup, list.SettingsPath()}, file, format, all);
    using Status = ExchangeOutcome::Status;
    switch (exported.status) {
    case Status::Ok:
        break;
    case Status::NothingToExport:
        return Failed(kExitUsage,
                      list.items.empty()
                          ? Tr("the list is empty: nothing to export")
                          : Tr("no item is enabled: nothing to export (--all exports every item)"));
    case Status::ListFile:
        return Failed(kExitUsage, Fill(Tr("%1 is the target, its backup copy or the settings "
                                          "file; an export does not replace it"),
                                       {file}));
    default:
        return Failed(ExitStatusOf(exported.problem),
                      exported.detail + "\n" + Fill(Tr("Nothing was written to %1."), {file}));
    }
    out << Fill(Tr("Exported %1 items to %2 (%3)."),
                {std::to_string(exported.count), file, PatchFormatName(format)})
        << "\n";
    return CliResult{};
}

CliResult Diff(PatchListFile& list, const std::string& original, const std::string& patched,
               bool commonLength, std::ostream& out) {
    for (auto [file, what] : {std::pair{&original, "original file"}, {&patched, "patched file"}}) {
        if (CliResult readable = CheckReadableFile(*file, what); !readable.ok())
            return readable;
    }
    std::uint64_t lengths[2] = {0, 0};
    bool differentLengths = false;
    const ExchangeOutcome diffed =
        DiffIntoList(list.items, original, patched, [&](std::uint64_t a, std::uint64_t b) {
            lengths[0] = a;
            lengths[1] = b;
            differentLengths = true;
            return commonLength;
        });
    if (diffed.status == ExchangeOutcome::Status::Cancelled)
        return Failed(
            kExitUsage,
            Fill(Tr("%1 has %2 bytes and %3 has %4 bytes; items cannot change a file's "
                    "length (--common-length compares the first %5 bytes)"),
                 {original, std::to_string(lengths[0]), patched, std::to_string(lengths[1]),
                  std::to_string(std::min(lengths[0], lengths[1]))}));
    if (!diffed.ok())
        return Failed(ExitStatusOf(diffed.problem),
                      diffed.detail + "\n" + Tr("Nothing was added; the list is unchanged."));
    if (diffed.count == 0) {
        out << (differentLengths ? Tr("The files are equal in their common length; the list is "
                                      "unchanged.")
                                 : Tr("The files are equal; the list is unchanged."))
            << "\n";
        return CliResult{};
    }
    if (CliResult saved = list.Save(); !saved.ok())
        return saved;
    out << Fill(Tr("Added %1 items for the bytes that differ, enabled, in offset order."),
                {std::to_string(diffed.count)})
        << "\n";
    return CliResult{};
}

} // namespace

ExchangeCommands::ExchangeCommands(CLI::App& app) : parts_(std::make_unique<Parts>()) {
    Parts& p = *parts_;
    p.import = app.add_subcommand(
        "import",
        Tr("Add the changes of a patch file (IPS, IPS32, IDA .dif, x64dbg .1337 or haxdiff, "
           "recognised by its contents or extension) as enabled items in offset order, checked "
           "against the backup copy; saves the list. Any problem adds nothing."));
    p.import->add_option("FILE", p.file, Tr("The patch file"))->required();

    p.exportTo = app.add_subcommand(
        "export", Tr("Write the enabled items (or all) as a patch file, checked against the "
                     "backup copy; nothing is written when an item does not fit it."));
    p.exportTo->add_option("FILE", p.file, Tr("The patch file to write (replaced whole)"))
        ->required();
    p.exportTo
        ->add_option("--format", p.formatName,
                     Tr("ips, ips32, dif, 1337 or haxdiff (default: from the extension of FILE)"))
        ->type_name("FORMAT")
        ->check(CLI::Validator(
            [](std::string& name) {
                PatchFormat format;
                return PatchFormatFromName(name, &format)
                           ? std::string()
                           : Fill(Tr("\"%1\" is no format: ips, ips32, dif, 1337 or haxdiff"),
                                  {name});
            },
            "FORMAT"));
    p.exportTo->add_flag("--all", p.all, Tr("Export every item, not only the enabled ones"));

    p.diff = app.add_subcommand(
        "diff", Tr("Add one enabled item per run of bytes that differ between two files (runs "
                   "fewer than 8 equal bytes apart make one item), in offset order; saves the "
                   "list."));
    p.diff->add_option("ORIGINAL", p.original, Tr("The file as it was"))->required();
    p.diff->add_option("PATCHED", p.patched, Tr("The file as it should become"))->required();
    p.diff->add_flag("--common-length", p.commonLength,
                     Tr("Compare files of different lengths as far as the shorter one goes"));
}

ExchangeCommands::~ExchangeCommands() = default;

bool ExchangeCommands::Parsed() const {
    return parts_->import->parsed() || parts_->exportTo->parsed() || parts_->diff->parsed();
}

bool ExchangeCommands::MayCreateList() const {
    return parts_->diff->parsed();
}

CliResult ExchangeCommands::Run(PatchListFile& list, std::ostream& out) const {
    const Parts& p = *parts_;
    if (p.import->parsed())
        return Import(list, p.file, out);
    if (p.exportTo->parsed())
        return Export(list, p.file, p.formatName, p.all, out);
    return Diff(list, p.original, p.patched, p.commonLength, out);
}
