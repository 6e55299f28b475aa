// Shared pieces of the patch file formats: the set of changes an import
// gathers and turns into items, the runs an export writes, text lines, hex
// helpers and the PE section map. Not part of the engine's public interface.
#pragma once

#include "engine/PatchItem.h"
#include "winutil/Translate.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace exchange {

using Bytes = std::span<const std::uint8_t>;

// Where in a patch file something was read; formatted only for a message.
struct Place {
    enum class Kind : std::uint8_t { Record, Line };
    Kind kind = Kind::Line;
    std::uint32_t number = 0; // record or line number, from 1
    std::uint64_t at = 0;     // byte position of a record in the file
};

// A text for the user: source, marked where it is written with
// QT_TRANSLATE_NOOP("PatchExchange", ...), in the user's language with its
// placeholders %1, %2, ... filled by args.
std::string Message(const char* source, std::initializer_list<std::string_view> args = {});

std::string Hex32(std::uint64_t value);  // "0x0000ABCD" (more digits when needed)
std::string ByteHex(std::uint8_t value); // "AB"

// The changes read from a patch file, checked against the backup as they
// arrive so that the first problem in file order is the one reported.
class ChangeSet {
  public:
    ChangeSet(Bytes backup, std::string_view patchName);

    // Records length new bytes at offset. oldBytes (null when the format has
    // none) must match the backup there. False with *error set when the
    // change leaves the backup or an old byte differs.
    bool Add(const Place& place, std::uint64_t offset, const std::uint8_t* newBytes,
             std::uint32_t length, const std::uint8_t* oldBytes, std::string* error);
    // Records count copies of value at offset (a run record) without
    // spelling them out: the cost of a run is that of the bytes it leaves
    // in the result, however often runs cover one another.
    bool AddRun(const Place& place, std::uint64_t offset, std::uint8_t value, std::uint32_t count,
                std::string* error);
    // Sets *error to "<patch name>: <place>: <what>" and returns false; what
    // comes from Message.
    bool Fail(const Place& place, std::string_view what, std::string* error) const;
    // Sets *error to "<patch name>: <what>" and returns false.
    bool FailFile(std::string_view what, std::string* error) const;
    // Fail for a patch that does not fit the backup (rather than a malformed
    // one): Add's refusals and a place the backup has no byte for.
    bool FailMismatch(const Place& place, std::string_view what, std::string* error);
    bool Mismatched() const { return mismatched_; }

    // Items in offset order: touching and overlapping changes merged (the
    // later change wins where they overlap), split every kExchangeRunLength
    // bytes.
    void BuildItems(PatchList* items);

    Bytes backup() const { return backup_; }

  private:
    struct Change {
        std::uint64_t offset;
        std::uint64_t length;
        std::size_t order; // position in the file
        std::size_t data;  // index of the new bytes in pool_
        int fill = -1;     // a run of this byte value instead (data unused)
    };
    // The range check of Add and AddRun.
    bool Fits(const Place& place, std::uint64_t offset, std::uint32_t length, std::string* error);
    // Replaces the changes by the runs they make: sorted, neither touching nor
    // overlapping. Keeps the memory of a patch that writes the same bytes over
    // and over (run records repeat a byte 65535 times) bounded by the backup.
    void Compact();

    Bytes backup_;
    std::string_view name_;
    std::vector<Change> changes_;
    std::vector<std::uint8_t> pool_;
    std::size_t compactAt_ = 0; // pool size that calls for Compact
    bool mismatched_ = false;
};

// Appends items for length bytes at offset (old bytes from oldData, new bytes
// from newData), one per kExchangeRunLength bytes, numbered from *counter on.
void AppendRunItems(std::string_view name, std::uint32_t offset, const std::uint8_t* oldData,
                    const std::uint8_t* newData, std::size_t length, std::uint32_t* counter,
                    PatchList* items);

// The format parsers: every change of the patch into changes.
bool ParseIps(bool ips32, Bytes patch, ChangeSet* changes, std::string* error);
bool ParseIdaDif(Bytes patch, ChangeSet* changes, std::string* error);
bool ParseX64dbg1337(Bytes patch, ChangeSet* changes, std::string* error);
bool ParseHaxDiff(Bytes patch, ChangeSet* changes, std::string* error);

// What an export writes: maximal runs of new bytes in offset order, never
// touching one another, all inside the backup.
struct Run {
    std::uint32_t offset;
    std::uint32_t length;
    std::size_t data; // index of the new bytes in ExportRuns::pool
};
struct ExportRuns {
    std::vector<Run> runs;
    std::vector<std::uint8_t> pool;
    Bytes backup;
    std::string_view backupName;
};

bool WriteIps(bool ips32, const ExportRuns& runs, std::vector<std::uint8_t>* out,
              std::string* error);
void WriteIdaDif(const ExportRuns& runs, std::vector<std::uint8_t>* out);
bool WriteX64dbg1337(const ExportRuns& runs, std::vector<std::uint8_t>* out, std::string* error);
void WriteHaxDiff(const ExportRuns& runs, std::vector<std::uint8_t>* out);

// Lines of a text patch file: LF or CR LF ends, a UTF-8 byte order mark at
// the start skipped.
class LineReader {
  public:
    explicit LineReader(Bytes text);
    // The next line without its end; false at the end of the text.
    bool Next(std::string_view* line);
    // Number of the line Next gave last, from 1.
    std::uint32_t number() const { return number_; }

  private:
    const char* at_;
    const char* end_;
    std::uint32_t number_ = 0;
};

std::string_view Trim(std::string_view text); // spaces and tabs at both ends
// Value of 1 to maxDigits hex digits at the front of *text, which is advanced
// past them. False (text unchanged) when there is no digit or more than
// maxDigits.
bool TakeHexNumber(std::string_view* text, int maxDigits, std::uint64_t* value);
// Two hex digits at the front of *text.
bool TakeHexByte(std::string_view* text, std::uint8_t* value);
// Skips spaces and tabs; returns whether any were skipped.
bool SkipBlanks(std::string_view* text);
// When *text starts with prefix, advances past it and returns true.
bool TakeText(std::string_view* text, std::string_view prefix);

void Append(std::vector<std::uint8_t>* out, std::string_view text);
void AppendHexByte(std::vector<std::uint8_t>* out, std::uint8_t value);
// digits upper-case hex digits of value (high ones first).
void AppendHexNumber(std::vector<std::uint8_t>* out, std::uint64_t value, int digits);

// The section table of a PE file: relative virtual addresses to file offsets
// and back. Below SizeOfHeaders an address is its own offset.
class PeSections {
  public:
    // False when the bytes are not a PE image with a readable section table.
    bool Load(Bytes image);
    bool RvaToOffset(std::uint64_t rva, std::uint64_t* offset) const;
    bool OffsetToRva(std::uint32_t offset, std::uint32_t* rva) const;

  private:
    struct Section {
        std::uint32_t virtualAddress;
        std::uint32_t virtualSize;
        std::uint32_t rawPointer;
        std::uint32_t rawSize;
    };
    std::uint32_t sizeOfHeaders_ = 0;
    std::vector<Section> sections_;
};

// The file name part of a path (after the last '/' or '\').
std::string_view FileNameOf(std::string_view path);

} // namespace exchange
