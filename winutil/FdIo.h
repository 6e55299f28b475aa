// The program's door to the operating system's files: opening a file, whole
// reads and writes at an offset of an open file, what a path names, folders,
// the program's own path and large memory blocks. One implementation for
// POSIX (FdIo.cpp) and one for Win32 (FdIoWin32.cpp) behind this header.
//
// Rules:
// - Paths are UTF-8 text (on Linux the file system's own bytes); the Win32
//   form turns them into UTF-16 at every call, so any name works.
// - A file descriptor is an int on both systems (on Windows a C runtime
//   descriptor that owns the file's handle). Close it with CloseFd or let a
//   UniqueFd own it.
// - Files are opened so that other programs may go on reading, writing and
//   renaming them. Nothing here waits on a FIFO or device: they are refused
//   while opening. On Windows the device names (NUL, CON, COM1, "\\.\...")
//   count as devices.
// - Failures leave errno set (on Windows translated from the system's own
//   error code), so that callers can name the reason.
// - Reads and writes go on after short transfers and interrupted calls.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string>

// The characters that end a folder's name in a path.
#ifdef _WIN32
inline constexpr char kPathSeparators[] = "\\/";
#else
inline constexpr char kPathSeparators[] = "/";
#endif

enum class FileKind {
    Missing, // nothing by that name (or a folder on the way is missing)
    Regular,
    Folder,
    Other,   // FIFO, device, socket, a device name on Windows
    Unknown, // could not be looked at: no permission, an I/O error
};

// What the file system tells of a file without reading it.
struct FileInfo {
    FileKind kind = FileKind::Missing;
    std::uint64_t size = 0;
    std::uint64_t volume = 0;    // device number / volume serial number
    std::uint64_t index = 0;     // inode / file index: with volume, which file it is
    std::int64_t modifiedNs = 0; // last write, ns since 1970
    std::int64_t changedNs = 0;  // last change of contents or attributes, ns since 1970

    bool Exists() const { return kind != FileKind::Missing && kind != FileKind::Unknown; }
};

// What path names, links followed. errno tells why for Unknown.
FileInfo LookAtPath(const std::string& path);
// True when both name the same existing file (links followed).
bool SameFile(const std::string& a, const std::string& b);
// True when path names the file info describes (links followed).
bool SameFile(const std::string& path, const FileInfo& info);

// Opens path for reading whatever it names, without waiting on a FIFO or
// device; -1 (errno set) when it cannot be opened. *info receives what it is.
int OpenForReading(const char* path, FileInfo* info);
// Opens path for reading when it is a regular file; -1 for anything else.
int OpenRegularForReading(const char* path, FileInfo* info);
// Opens path for writing, creating it when missing (never truncating), and
// never waiting on a FIFO or device; -1 when it cannot be opened.
int OpenForWriting(const char* path, FileInfo* info);
void CloseFd(int fd);
// Flushes the file's data to the disk; false (errno set) when it fails.
bool FlushFile(int fd);
// Flushes the file to the disk and closes it; false (errno set) when either
// fails. The descriptor is closed in any case.
bool FlushAndClose(int fd);

// True for the errno values that mean another program holds the file: EBUSY
// (on Windows a sharing or lock violation) and ETXTBSY (a running program).
inline bool IsInUseError(int error) {
    return error == EBUSY || error == ETXTBSY;
}

// Reads exactly size bytes at offset. False on an error (errno tells which) or
// when the file ends first (errno is then 0).
bool ReadAllAt(int fd, std::uint64_t offset, void* out, std::size_t size);
// Reads up to size bytes at offset: the count read, 0 at the end, -1 on error.
std::int64_t ReadSomeAt(int fd, std::uint64_t offset, void* out, std::size_t size);
// Writes all size bytes at offset; false on an error or when nothing more can
// be written.
bool WriteAllAt(int fd, std::uint64_t offset, const void* data, std::size_t size);
// Writes at the file position (for files that have none, like a pipe); the
// count written, which is short only on an error.
std::size_t WriteSome(int fd, const void* data, std::size_t size);
// Cuts or extends the file to length bytes.
bool SetFileLength(int fd, std::uint64_t length);
// Hints that the file will be read from start to end.
void AdviseSequential(int fd);

// Makes one folder; true when it exists afterwards. mode is for POSIX.
bool MakeFolder(const std::string& path, unsigned mode);
// Removes the file at path (not a folder); true when it is gone.
bool RemoveFile(const std::string& path);
// Makes path the current folder.
bool SetCurrentFolder(const std::string& path);
// The running program's full file name; false when it cannot be found.
bool ProgramPath(std::string* out);
// Milliseconds from a monotonic clock.
std::uint64_t MonotonicMs();

// Zeroed memory straight from the system, page aligned, for large blocks;
// null when there is none. Free with FreePages and the same size.
void* AllocatePages(std::size_t size);
void FreePages(void* block, std::size_t size);
// Memory aligned to alignment (a power of two, size a multiple of it); free
// with FreeAligned.
void* AllocateAligned(std::size_t alignment, std::size_t size);
void FreeAligned(void* block);
// Offers huge pages where the system has them for the whole huge pages that
// lie inside a block (of any alignment; a small block holds none).
void AdviseHugePages(void* block, std::size_t size);
// For a short-lived program that builds a large list in memory: asks for
// large pages for the first reserveBytes of the heap, so that filling it
// takes a few hundred page faults instead of tens of thousands. Only address
// space is reserved; memory is taken as it is used. Call it first thing, on
// one thread. Does nothing where the system has no such advice.
void UseLargePagesForHeap(std::size_t reserveBytes);
// The process's peak resident memory so far, in bytes; 0 when unknown.
std::uint64_t PeakMemoryBytes();
