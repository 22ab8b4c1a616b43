// Tests in forked child processes: the result comes back through a pipe, a crash as the signal's name.
#include "host/validate/Isolation.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace ql::host::validate {
namespace {

std::string OneLine(std::string text) {
    for (char& c : text)
        if (c == '\n' || c == '\r') c = ' ';
    return text;
}

std::string Serialise(const Outcome& o) {
    std::string out = "S" + std::to_string(static_cast<int>(o.status)) + "\n";
    out += "X" + std::to_string(o.extraFailures) + "\n";
    out += "R" + OneLine(o.reason) + "\n";
    for (const auto& n : o.notes)
        out += "N" + OneLine(n) + "\n";
    out += "E\n";
    return out;
}

bool Deserialise(const std::string& text, Outcome& o) {
    std::size_t pos = 0;
    bool ended = false;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) break;
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        if (line.empty()) continue;
        std::string body = line.substr(1);
        switch (line[0]) {
        case 'S':
            o.status = static_cast<Status>(std::atoi(body.c_str()));
            break;
        case 'X':
            o.extraFailures = std::atoi(body.c_str());
            break;
        case 'R':
            o.reason = body;
            break;
        case 'N':
            o.notes.push_back(body);
            break;
        case 'E':
            ended = true;
            break;
        default:
            break;
        }
    }
    return ended;
}

void WriteAll(int fd, const std::string& data) {
    const char* p = data.data();
    std::size_t left = data.size();
    while (left > 0) {
        ssize_t n = write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        p += n;
        left -= static_cast<std::size_t>(n);
    }
}

} // namespace

bool IsolationAvailable() { return true; }

void SetEnvironment(const char* name, const char* value) {
    if (value)
        setenv(name, value, 1);
    else
        unsetenv(name);
}

Outcome RunContained(const std::function<void(Outcome&)>& body, bool isolate, double timeoutSeconds) {
    if (!isolate) return RunHere(body);
    int fds[2];
    if (pipe(fds) != 0) return RunHere(body);
    // Buffered output would otherwise be written twice, once by each process.
    std::fflush(nullptr);
    pid_t child = fork();
    if (child < 0) {
        close(fds[0]);
        close(fds[1]);
        return RunHere(body);
    }
    if (child == 0) {
        close(fds[0]);
        Outcome o = RunHere(body);
        WriteAll(fds[1], Serialise(o));
        close(fds[1]);
        std::fflush(nullptr);
        // Leave without the parent's exit handlers and destructors, which belong to the parent.
        _exit(0);
    }
    close(fds[1]);
    std::string received;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
    bool timedOut = false;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                          std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            break;
        }
        pollfd p{fds[0], POLLIN, 0};
        int r = poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 1000)));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) continue;
        char buffer[4096];
        ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        received.append(buffer, static_cast<std::size_t>(n));
    }
    close(fds[0]);
    if (timedOut) kill(child, SIGKILL);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }

    Outcome o;
    bool complete = Deserialise(received, o);
    if (timedOut) {
        o = Outcome{};
        o.Fail("did not finish within " + std::to_string(static_cast<int>(timeoutSeconds)) + " s (stopped)");
    } else if (WIFSIGNALED(status)) {
        Outcome crashed;
        int sig = WTERMSIG(status);
        const char* abbrev = sigabbrev_np(sig);
        crashed.Fail(std::string("crashed: killed by SIG") + (abbrev ? abbrev : "?") + " (" + strsignal(sig) +
                     ")" + (complete ? " after reporting: " + o.Explanation() : ""));
        o = crashed;
    } else if (!complete) {
        o = Outcome{};
        o.Fail("the test process ended with exit status " + std::to_string(WEXITSTATUS(status)) +
               " without a result (the plug-in ended the process)");
    }
    return o;
}

} // namespace ql::host::validate
