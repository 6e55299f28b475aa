// Runs a piece of a test as the unprivileged user 65534 in a child process,
// so that permission checks hold even when the suite runs as root.
#pragma once

#include <functional>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

// The child's exit status (0..255) for what returns; -1 when the child could
// not be started or could not drop its rights, -2 when it died of a signal.
inline int RunAsNobody(const std::function<int()>& body) {
    const pid_t child = ::fork();
    if (child < 0)
        return -1;
    if (child == 0) {
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
             ::setresuid(65534, 65534, 65534) != 0))
            ::_exit(255);
        ::_exit(body() & 0xFF);
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child)
        return -1;
    if (WIFSIGNALED(status))
        return -2;
    const int code = WEXITSTATUS(status);
    return code == 255 ? -1 : code;
}
