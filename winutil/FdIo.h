// Opening a file to read, and whole reads and writes at an offset of an open
// file, going on after short transfers and interrupted calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <sys/stat.h>

// Opens path for reading when it is a regular file, never waiting on a FIFO
// or device while opening; -1 for anything else. *st receives what it is.
int OpenRegularForReading(const char* path, struct stat* st);

// Reads exactly size bytes at offset. False on an error (errno tells which) or
// when the file ends first (errno is then 0).
bool ReadAllAt(int fd, std::uint64_t offset, void* out, std::size_t size);

// Writes all size bytes at offset; false on an error or when nothing more can
// be written.
bool WriteAllAt(int fd, std::uint64_t offset, const void* data, std::size_t size);
