// An exclusive lock on a patch list, shared by every process that works on
// it: the window, the command line and scripts. No Qt.
//
// The lock is a flock() on a lock file beside the list ("<list>.lock"), never
// on the list itself: a save replaces the list by renaming a new file over
// it, which a lock on the old file would not follow. The kernel drops the
// lock when its holder closes the file or dies, so a killed program never
// leaves a stale lock behind (only, at worst, the unlocked file). The holder
// removes the file before it lets go; a program that locked a file that is no
// longer at the path starts over with the one that is. The file holds the
// holder's process id, so that a program that has to wait can say who holds
// the list.
//
// Rules:
// - One FileLock locks at most one file, from Acquire until Release or its
//   destruction. Two FileLock objects exclude each other also within one
//   process (each has its own open file).
// - Acquire waits at most the given time, polling; it never blocks for good.
// - A lock file that cannot be made (the folder is missing or read-only)
//   means there is no list another program could save there either: Acquire
//   then succeeds without a lock (Held() stays false, Unlockable() is true).
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <sys/types.h>

class FileLock {
  public:
    enum class Result {
        Locked,     // this object holds the lock
        Unlockable, // no lock file could be made; going on without a lock
        Busy,       // another holder kept it for the whole wait (see Holder())
    };

    FileLock() = default;
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // The lock file of the list at listPath.
    static std::string LockPathFor(const std::string& listPath);

    // Locks the list at listPath, waiting up to wait for another holder.
    Result Acquire(const std::string& listPath, std::chrono::milliseconds wait);
    void Release();
    bool Held() const { return fd_ >= 0; }

    // After Busy: the process id the lock file names (0 when it names none)
    // and that process's command name ("" when it is unknown).
    pid_t Holder() const { return holder_; }
    const std::string& HolderName() const { return holderName_; }

  private:
    // The process id the lock file at fd holds (0 when none); writes pid there.
    static pid_t ReadHolder(int fd);
    static void WriteHolder(int fd, std::uint64_t pid);
    // The command name of a process ("" when it is unknown); each system's own.
    static std::string CommandName(pid_t pid);
    // Lets go of any lock and forgets the last holder; the lock file's path.
    std::string Restart(const std::string& listPath);
    // After a wait that ran out: notes who holds the lock file at fd, closes it.
    Result GiveUp(int fd);

    // Polling within a bounded wait: Pause sleeps a little (1 ms, growing to
    // 4 ms, never past the end) and returns false once the wait is over.
    class Wait {
      public:
        explicit Wait(std::chrono::milliseconds wait)
            : deadline_(std::chrono::steady_clock::now() + wait) {}
        bool Pause();
        bool Over() const { return std::chrono::steady_clock::now() >= deadline_; }

      private:
        std::chrono::steady_clock::time_point deadline_;
        std::chrono::milliseconds pause_{1};
    };

    int fd_ = -1;
    std::string path_; // the lock file, removed on release; empty when it may not be
    pid_t holder_ = 0;
    std::string holderName_;
};
