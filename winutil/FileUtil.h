// Whole-file reading and writing, path splitting, the executable's folder and
// a cheap "did this file change" test. No Qt: shared by the engine, the
// settings store and any command-line front end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Narrow paths are held in buffers of this many bytes elsewhere in the
// program: at most kPathCapacity - 1 bytes of text and a terminator.
inline constexpr std::size_t kPathCapacity = 520;

// Reads the whole file at a narrow path into one fresh block of length + 2
// bytes; the two bytes after the data are zero. Returns null on failure
// (cannot open, not a regular file, 4 GiB or more, no memory, short read); a
// FIFO or device is refused without waiting on it. *length (if given) is
// set to 0 first and to the file size once it is known. Free the block with
// FreeFileData.
char* ReadFileWhole(const char* path, std::uint32_t* length);
// Same for a UTF-16 path (converted with the system code page).
char* ReadFileWholeW(const char16_t* path, std::uint32_t* length);
// Releases a block returned by ReadFileWhole/ReadFileWholeW. Null is fine.
void FreeFileData(char* data);

// A whole file in memory. Released by Release() and by the destructor, so no
// path through the caller can leak it.
struct FileBuffer {
    std::uint8_t* data = nullptr;
    std::uint32_t length = 0;
    std::uint32_t capacity = 0;
    std::uint32_t owns = 0;

    FileBuffer() = default;
    ~FileBuffer() { Release(); }
    FileBuffer(const FileBuffer&) = delete;
    FileBuffer& operator=(const FileBuffer&) = delete;

    // Releases the current contents, then reads the file whole.
    bool Load(const char* path);
    // Frees owned data and zeroes all four fields.
    void Release();
};

// Creates or truncates the file and writes count bytes (one write call unless
// the system takes fewer bytes; then it goes on until an error). A count of 0
// means the length of data taken as terminated text. Null data creates or
// truncates the file and returns 0. Returns the number of bytes written: the
// file then holds exactly those bytes (0 on failure). A path of kPathCapacity
// bytes or more is refused (returns 0).
std::uint32_t WriteFileWhole(const char* path, const void* data, std::uint32_t count);

// True when path, its symbolic links followed, names a file inside folder
// (at any depth), or is the same file (device and inode, so also a hard
// link) as a file directly in folder. A path that does not exist yet counts
// by where its folder resolves to. False when folder does not exist.
bool IsFileInFolder(const std::string& path, const std::string& folder);

// Splits at the later of the last '\\' and the last '/'. Without a separator
// both outputs receive the whole path and the result is false.
bool SplitPath(const char* path, std::string* directory, std::string* name);

// The executable's folder without a trailing separator. False (and empty) when
// it cannot be found or does not fit kPathCapacity - 1 bytes.
bool GetModuleDir(std::string* out);
// The executable's full file name; false when it cannot be found.
bool GetModuleFileName(std::string* out);

// Milliseconds from a monotonic clock, wrapping at 2^32.
std::uint32_t GetTickCountMs();

// What HasFileChanged remembers of a file.
struct FileChangeStamp {
    std::uint32_t size = 0;          // low 32 bits of the file size
    std::uint32_t writeTimeLow = 0;  // last-write time, low half
    std::uint32_t writeTimeHigh = 0; // last-write time, high half
    std::uint32_t lastTick = 0;      // tick of the last look, 0 before the first
    std::uint32_t minInterval = 0;   // ms between looks; 0 = look every time
};

// The stamp used by callers that pass none.
FileChangeStamp& DefaultFileChangeStamp();

// True when the file's size or last-write time differ from the stamp (which is
// then updated). Rate-limited by stamp->minInterval.
bool HasFileChanged(const char16_t* path, FileChangeStamp* stamp);

// True when Windows would take path for a device instead of a file: a
// "\\.\" or "\\?\GLOBALROOT" path, or a last name that is a reserved device
// (CON, PRN, AUX, NUL, COM1-9, LPT1-9, CONIN$, CONOUT$) with or without an
// extension, in any case. The file helpers refuse such paths on Windows the
// way they refuse FIFOs and devices on Linux.
bool IsWindowsDeviceName(std::string_view path);

// path made absolute (against the current folder), lexically normalised when
// normalize is set; empty when it cannot be. UTF-8 on both systems.
std::string AbsolutePath(const std::string& path, bool normalize);
// The folder part of path as std::filesystem sees it ("/" for "/a").
std::string ParentFolder(const std::string& path);
