// Text helpers of the settings file: key comparison, line splitting, value
// escapes and the small string functions the store is built from. No Qt.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Bytes of one line the parser keeps: a longer line keeps its first
// kLineCapacity - 1 bytes.
inline constexpr int kLineCapacity = 8192;

// Compares two keys byte by byte after folding ASCII A-Z onto a-z; every other
// byte compares as unsigned. Negative, zero or positive like strcmp.
int CompareKeys(std::string_view a, std::string_view b);

// Orders keys by CompareKeys; transparent, so lookups take string views.
struct KeyLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const { return CompareKeys(a, b) < 0; }
};

// True when a and b are equal ignoring the case of ASCII letters.
bool EqualNoCase(std::string_view a, std::string_view b);

// Walks a terminated text line by line. With line == nullptr the cursor is set
// to the start of text and the result is 1. Otherwise copies the next line into
// line (at most capacity - 1 bytes and a terminator; the rest of a longer line
// is skipped) and returns 1 when the line ended at CR LF, a lone CR or a lone
// LF, 2 when the terminator ended it (the cursor then stays on the
// terminator), 0 when no line is left. cursor == nullptr uses one process-wide
// cursor.
int NextLine(const char* text, const char** cursor, char* line, int capacity);

// What one line of a settings file holds, found in one pass over its bytes.
struct LineShape {
    std::size_t length = 0;      // bytes before the line's end: CR, LF or a zero byte
    std::size_t firstEquals = 0; // index of the line's first '=', length when none
    bool escapes = false;        // a backslash stands after firstEquals
};
// Scans the line that starts at text; no byte at or past end is read (a line
// that reaches end ends there).
LineShape ScanLine(const char* text, const char* end);

// Writes text with TAB, LF, CR, double quote and backslash as two-character
// escapes into out (which needs 2 * strlen(text) + 1 bytes) and terminates it.
// With out == nullptr a block of 2 * strlen(text) + 2 bytes is allocated (free
// it with FreeString). Returns out or the block; nullptr text gives nullptr.
char* EscapeText(char* out, const char* text);
// Decodes the escapes of a value written by hand or by EscapeText: \n \r \t
// (either case), a backslash and two hexadecimal digits for one byte (0xFF
// when the second is missing or not a digit), a backslash before any other
// character for that character; a trailing backslash is dropped. An escape
// that decodes to byte 0 ends the value. out needs strlen(text) + 1 bytes and
// may be text itself; out == nullptr allocates as EscapeText does.
char* UnescapeText(char* out, const char* text);

// Writes the escaped form of the n bytes at text to out (room for 2 * n bytes)
// and returns the end of what was written.
char* WriteEscaped(char* out, const char* text, std::size_t n);
// Decodes the escapes of the n bytes at text in place; returns the decoded
// length (the text ends at the first zero byte a hexadecimal escape yields).
std::size_t UnescapeInPlace(char* text, std::size_t n);

// An owned copy of text (nullptr for nullptr); release it with FreeString.
char* DupString(const char* text);
void FreeString(char* text);

// Copies source into destination: size -1 copies the whole text with its
// terminator, otherwise at most size - 1 bytes and a terminator (nothing for a
// size of 0 or below other than -1). Returns 0.
int CopyBounded(const char* source, char* destination, int size);

// The settings file of a module: its file name without extension (cut only in
// the file-name part, and not at the leading dot of a hidden file) and ".ini".
std::string SettingsFileForModule(std::string_view module);

// Overwrites every trailing backslash with a terminator; returns how many.
int StripTrailingBackslashes(char* text);
