// Runs work in a child process whose only thread may make no system call but read, write and exit: the
// kernel's strict secure-computing mode kills it with SIGKILL at the first other call.
#include "host/rtcheck/RtCheck.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace ql::host::rtcheck {

void RawWrite(int fd, const void* data, std::size_t size) noexcept {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        long n = syscall(SYS_write, fd, p, size);
        if (n <= 0) return;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
}

GuardedRun RunWithoutSystemCalls(void (*work)(void* context, int fd), void* context) {
    GuardedRun run;
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        run.detail = std::string("cannot make a pipe: ") + std::strerror(errno);
        return run;
    }
    // A marker after the work: the child wrote everything it meant to.
    static constexpr char kDone[] = "\n#done";
    std::fflush(nullptr);
    pid_t child = fork();
    if (child < 0) {
        close(pipeFds[0]);
        close(pipeFds[1]);
        run.detail = std::string("cannot fork: ") + std::strerror(errno);
        return run;
    }
    if (child == 0) {
        close(pipeFds[0]);
        if (prctl(PR_SET_SECCOMP, SECCOMP_MODE_STRICT, 0, 0, 0) != 0) {
            static constexpr char kNo[] = "\n#unavailable";
            RawWrite(pipeFds[1], kNo, sizeof kNo - 1);
            _exit(3);
        }
        work(context, pipeFds[1]);
        RawWrite(pipeFds[1], kDone, sizeof kDone - 1);
        // exit_group is forbidden in this mode; the plain exit call ends the child's only thread.
        for (;;)
            syscall(SYS_exit, 0);
    }
    close(pipeFds[1]);
    char buffer[4096];
    for (;;) {
        ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
        if (n > 0) {
            run.output.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        break;
    }
    close(pipeFds[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    run.available = true;
    if (run.output.size() >= sizeof kDone - 1 &&
        run.output.compare(run.output.size() - (sizeof kDone - 1), sizeof kDone - 1, kDone) == 0) {
        run.output.resize(run.output.size() - (sizeof kDone - 1));
        run.completed = true;
    } else if (run.output.find("\n#unavailable") != std::string::npos) {
        run.available = false;
        run.detail = "the kernel refused strict secure-computing mode";
    }
    if (WIFSIGNALED(status)) {
        run.signal = WTERMSIG(status);
        run.completed = false;
        const char* name = sigabbrev_np(run.signal);
        run.detail = std::string("killed by SIG") + (name ? name : "?");
    } else if (!run.completed && run.available) {
        run.detail = "ended without finishing (exit status " + std::to_string(WEXITSTATUS(status)) + ")";
    }
    return run;
}

} // namespace ql::host::rtcheck
