// Real temporary folders and whole-file helpers shared by the test programs.
#pragma once

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#ifndef _WIN32
#include <grp.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

// A fresh folder under the temporary directory for one test, removed with its
// contents afterwards (also when a test took its write permission away).
class TempDir {
  public:
    TempDir() {
#ifdef _WIN32
        // No mkdtemp: a random name, made only when it is new.
        std::random_device random;
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            const std::filesystem::path candidate =
                std::filesystem::temp_directory_path() / ("bmtest-" + std::to_string(random()));
            std::error_code error;
            if (std::filesystem::create_directory(candidate, error))
                path_ = candidate.string();
        }
#else
        std::string pattern = (std::filesystem::temp_directory_path() / "bmtest-XXXXXX").string();
        if (::mkdtemp(pattern.data()))
            path_ = pattern;
#endif
    }
    ~TempDir() {
        if (path_.empty())
            return;
        std::error_code ignored;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // Empty when the folder could not be made.
    const std::string& path() const {
        return path_;
    }
    std::string File(std::string_view name) const {
        return path_ + "/" + std::string(name);
    }

  private:
    std::string path_;
};

// Replaces the file's contents with bytes (creating it).
inline void WriteBytes(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The whole file; empty when it cannot be read.
inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A string of the given byte values.
inline std::string Bytes(std::initializer_list<int> values) {
    std::string bytes;
    for (int value : values)
        bytes.push_back(static_cast<char>(value));
    return bytes;
}

#ifndef _WIN32
// While it lives, files this process writes are cut at limit bytes: the kernel
// accepts only part of a longer write (SIGXFSZ is ignored for good).
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t limit) {
        std::signal(SIGXFSZ, SIG_IGN);
        if (::getrlimit(RLIMIT_FSIZE, &saved_) != 0)
            return;
        rlimit limited = saved_;
        limited.rlim_cur = limit;
        active_ = ::setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit() {
        if (active_)
            ::setrlimit(RLIMIT_FSIZE, &saved_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    bool active() const { return active_; }

  private:
    rlimit saved_{};
    bool active_ = false;
};

// The user and group an unprivileged child runs as ("nobody").
inline constexpr uid_t kUnprivileged = 65534;

// Runs body in a child process and returns its exit status, or 128 + the
// signal that ended it. A child still running after `seconds` gets SIGALRM,
// so a call that blocks shows up as 128 + SIGALRM instead of a hung test.
// With unprivileged, a child of root first becomes kUnprivileged without
// supplementary groups, so permission bits stop it as they stop any user.
inline int RunInChild(bool unprivileged, const std::function<int()>& body, unsigned seconds = 20) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::alarm(seconds);
        if (unprivileged && ::geteuid() == 0) {
            if (::setgroups(0, nullptr) != 0 ||
                ::setresgid(kUnprivileged, kUnprivileged, kUnprivileged) != 0 ||
                ::setresuid(kUnprivileged, kUnprivileged, kUnprivileged) != 0)
                ::_exit(125);
            ::prctl(PR_SET_DUMPABLE, 1);
        }
        ::_exit(body()); // no exit handlers: the parent owns the test's state
    }
    int status = 0;
    while (pid > 0 && ::waitpid(pid, &status, 0) < 0) {
    }
    if (pid < 0)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Hands a file (not following a link) to the unprivileged user when running
// as root; otherwise the files are the current user's already.
inline void GiveToUnprivileged(const std::string& path) {
    if (::geteuid() == 0)
        (void)::lchown(path.c_str(), kUnprivileged, kUnprivileged);
}

// A copy of /bin/sleep at folder/name, running, in folder made read-only for
// the unprivileged user: a file that must be written in place (the folder
// takes no new file) and that the system refuses to write (ETXTBSY). The
// program is killed and the folder made writable again on destruction.
class RunningProgram {
  public:
    RunningProgram(const std::string& folder, const std::string& name)
        : folder_(folder), path_(folder + "/" + name) {
        WriteBytes(path_, ReadBytes("/bin/sleep"));
        ::chmod(path_.c_str(), 0755);
        GiveToUnprivileged(path_);
        GiveToUnprivileged(folder_);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::execl(path_.c_str(), "sleep", "30", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        // Until the program runs, its file may still be written.
        const std::string exe = "/proc/" + std::to_string(pid_) + "/exe";
        std::error_code error;
        for (int tries = 0; tries < 500 && std::filesystem::read_symlink(exe, error) != path_;
             ++tries)
            ::usleep(10000);
        running_ = std::filesystem::read_symlink(exe, error) == path_;
        ::chmod(folder_.c_str(), 0555);
    }
    ~RunningProgram() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        ::chmod(folder_.c_str(), 0755);
    }
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    bool running() const { return running_; }
    const std::string& path() const { return path_; }

  private:
    std::string folder_;
    std::string path_;
    pid_t pid_ = -1;
    bool running_ = false;
};

// A character device like /dev/null made as folder/null, so that a test of a
// refusal to write to a device never aims at the machine's own. Empty when the
// system does not let this process make device nodes (only root may).
inline std::string NullDeviceIn(const std::string& folder) {
    const std::string path = folder + "/null";
    return ::mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0 ? path : std::string();
}
#endif
