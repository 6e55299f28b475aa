// Replacing a file's whole contents so that it is never left half written.
// No Qt: used by the settings store, the rebuild of the target, the backup
// copy and exported files alike.
//
// The new contents go to a temporary file in the file's folder, named
// ".<name>.bytemender-XXXXXX", which takes the file's permission bits (and,
// for root, its owner and group), is flushed to the disk and renamed over the
// file; the folder is flushed after the rename. A symbolic link is followed
// and the file it points to is replaced; the link stays a link.
//
// Rules:
// - The set-user-ID and set-group-ID bits stay when the new file has the
//   owner (and, for set-group-ID, the group) of the old one: the owner
//   patching their own program keeps them; a file replaced by someone else
//   never gains them for its new owner.
// - Only regular files are replaced. A folder, FIFO, device or socket is
//   refused without ever being opened for reading (so nothing blocks).
// - A file that exists and that this user may not write is never replaced,
//   even where the folder would allow the rename.
// - Only when the folder takes no new file (no permission, or a sticky folder
//   in which someone else's file cannot be renamed over) while the file itself
//   exists and is writable, the file is written in place instead: written
//   from its start, cut to the new length and flushed. That path cannot be
//   undone part way; a short write is still reported as a failure.
// - After a successful replace, temporary files of this program for the same
//   file that are more than a minute old are removed: they are left from a
//   save that was killed. A younger one may belong to a save running at this
//   moment (each write of that save renews its time) and is kept.
// - Each system's file makes only its calls; what is common is in
//   SafeFileShared.cpp (see SafeFileInternal.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class SafeFile {
  public:
    enum class Reason {
        Ok,
        NotRegular,    // the path names a folder, FIFO, device, socket, or a loop of links
        ReadOnly,      // the file exists and this user may not write it
        FolderRefused, // the folder takes no new file and there is no file to write in place
        InUse,         // another program holds the file: a running program written in place
                       // on Linux; on Windows one that has it open without write or delete
                       // sharing, or has locked a range of it
        IoError,       // any other failure: missing folder, full disk, short write, flush
    };

    SafeFile();
    // Without a successful Commit the temporary file is removed and the file
    // stays as it was (after an in-place fallback it holds what was written).
    ~SafeFile();
    SafeFile(const SafeFile&) = delete;
    SafeFile& operator=(const SafeFile&) = delete;

    // Checks the path and prepares the new contents (empty so far). False with
    // Why() telling the reason; the file is not touched.
    bool Open(const std::string& path);

    // Appends at the write position, which starts at 0.
    bool Write(const void* data, std::size_t size);
    // Appends length bytes of the file open at source, starting at its
    // sourceOffset, with copy_file_range where the system allows it. The
    // source's own file position is not used or moved. False when the source
    // ends early.
    bool CopyFrom(int source, std::uint64_t sourceOffset, std::uint64_t length);
    // Writes at a given offset; the write position does not move.
    bool WriteAt(std::uint64_t offset, const void* data, std::size_t size);

    // Flushes what was written so far to the disk without putting it in the
    // file's place, so that a caller can do other work (hash, record) while
    // the disk catches up and commit at once afterwards. Commit then flushes
    // only when something was written since. False (and Why()) on failure.
    bool Flush();
    // The file gets the new contents: everything up to the furthest byte
    // written. False (and Why()) when any step failed; then the file keeps
    // its previous contents unless it was being written in place.
    bool Commit();

    Reason Why() const;
    // True when the folder refused the temporary file and the file is being
    // written in place.
    bool InPlace() const;
    // True when written in place and not committed, once a write reached
    // (or may have reached) the file: it no longer holds its previous
    // contents, and after a failure holds part of the new ones.
    bool Changed() const;

    // Each system's steps (SafeFileInternal.h); not for callers.
    struct State;

  private:
    std::unique_ptr<State> state_;
};

// Replaces the whole contents of the file at path with size bytes of data.
// *why (if given) receives the reason of a failure, or Ok.
bool ReplaceFileContents(const std::string& path, const void* data, std::size_t size,
                         SafeFile::Reason* why = nullptr);

// When path is missing because a replace was killed after the file was moved
// aside and before the new one took its place (Windows, a file in use), puts
// the file moved aside back: true when it did. Opening a SafeFile does this
// on its own; a program that looks at the file first calls it before. On
// POSIX a replace is one rename and there is never anything to put back.
bool RecoverInterruptedReplace(const std::string& path);
