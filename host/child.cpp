// Children run from a pool: each gets its pipes (a report, and its standard
// output and error when they are kept), the parent reads them all as they
// come, without blocking, and waits for each child's end or its time limit.
// Short waits: a child may end while something it started keeps its pipes
// open, so its end is found by asking, not by the end of its output.
#include "child.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace host {

namespace {

using Clock = std::chrono::steady_clock;

struct Running {
    pid_t pid;
    size_t index;
    int fd[2];  // its report, its output (-1 when not kept)
    Clock::time_point deadline;
    ChildEnd end;
};

void Drain(Running& r, size_t keep) {
    char buf[4096];
    std::string* into[2] = {&r.end.report, &r.end.output};
    for (int k = 0; k < 2; ++k) {
        if (r.fd[k] < 0) continue;
        ssize_t n;
        while ((n = read(r.fd[k], buf, sizeof buf)) > 0)
            into[k]->append(buf, std::min((size_t)n, keep - std::min(keep, into[k]->size())));
    }
}

void CloseAll(Running& r) {
    for (int fd : r.fd)
        if (fd >= 0) close(fd);
}

// Forks the child of `index`; false, with the reason in *failed, when it
// cannot.
bool Start(size_t index, const ChildBody& body, const ChildOptions& o, int devnull, std::vector<Running>& running,
           ChildEnd* failed) {
    int report[2], out[2] = {-1, -1};
    if (pipe2(report, O_CLOEXEC) != 0) {
        failed->error = std::string("cannot make a pipe: ") + strerror(errno);
        return false;
    }
    if (o.keepOutput && pipe2(out, O_CLOEXEC) != 0) {
        failed->error = std::string("cannot make a pipe: ") + strerror(errno);
        close(report[0]);
        close(report[1]);
        return false;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    pid_t pid = fork();
    if (pid == 0) {
        if (o.limitMs > 0) setpgid(0, 0);
        if (devnull >= 0) dup2(devnull, 0);
        if (out[1] >= 0) {
            dup2(out[1], 1);
            dup2(out[1], 2);
        }
        for (Running& other : running) CloseAll(other);
        close(report[0]);
        if (out[0] >= 0) close(out[0]);
        int rc = body(index, report[1]);
        std::fflush(stdout);
        std::fflush(stderr);
        _exit(rc);
    }
    int err = errno;
    close(report[1]);
    if (out[1] >= 0) close(out[1]);
    if (pid < 0) {
        close(report[0]);
        if (out[0] >= 0) close(out[0]);
        failed->error = std::string("cannot fork: ") + strerror(err);
        return false;
    }
    if (o.limitMs > 0) setpgid(pid, pid);  // the child does it too: whichever comes first
    fcntl(report[0], F_SETFL, O_NONBLOCK);
    if (out[0] >= 0) fcntl(out[0], F_SETFL, O_NONBLOCK);
    running.push_back({pid, index, {report[0], out[0]}, Clock::now() + std::chrono::milliseconds(o.limitMs), {}});
    return true;
}

// The child's end, if it came: it exited or died, it is past its time
// limit (then killed), or it cannot be waited for.
bool Ended(Running& r, const ChildOptions& o) {
    int status = 0;
    pid_t w = waitpid(r.pid, &status, WNOHANG);
    if (w < 0 && errno != EINTR) {
        r.end.error = std::string("cannot wait for the child: ") + strerror(errno);
        return true;
    }
    if (w != r.pid) {
        if (o.limitMs <= 0 || Clock::now() < r.deadline) return false;
        kill(-r.pid, SIGKILL);
        kill(r.pid, SIGKILL);
        waitpid(r.pid, &status, 0);
        r.end.timedOut = true;
    }
    if (WIFSIGNALED(status)) r.end.signal = WTERMSIG(status);
    else r.end.status = WEXITSTATUS(status);
    return true;
}

}  // namespace

void RunChildren(size_t count, const ChildBody& body, const std::function<void(size_t, ChildEnd&)>& ended,
                 const ChildOptions& o) {
    long cpus = sysconf(_SC_NPROCESSORS_ONLN);
    size_t parallel = o.parallel > 0 ? (size_t)o.parallel : cpus > 0 ? (size_t)cpus : 1;
    int devnull = o.emptyInput ? open("/dev/null", O_RDONLY | O_CLOEXEC) : -1;
    std::vector<Running> running;
    for (size_t next = 0; next < count || !running.empty();) {
        while (running.size() < parallel && next < count) {
            ChildEnd failed;
            if (!Start(next, body, o, devnull, running, &failed)) ended(next, failed);
            ++next;
        }
        std::vector<pollfd> fds;
        for (Running& r : running)
            for (int fd : r.fd)
                if (fd >= 0) fds.push_back({fd, POLLIN, 0});
        poll(fds.data(), fds.size(), 10);
        for (size_t k = 0; k < running.size();) {
            Running& r = running[k];
            Drain(r, o.keepBytes);
            if (!Ended(r, o)) {
                ++k;
                continue;
            }
            Drain(r, o.keepBytes);
            CloseAll(r);
            size_t index = r.index;
            ChildEnd end = std::move(r.end);
            running.erase(running.begin() + (long)k);
            ended(index, end);
        }
    }
    if (devnull >= 0) close(devnull);
}

int RunChild(const std::function<int()>& fn, std::string* output) {
    ChildOptions o;
    o.keepOutput = output != nullptr;
    ChildEnd end;
    RunChildren(
        1, [&](size_t, int) { return fn(); }, [&](size_t, ChildEnd& e) { end = std::move(e); }, o);
    if (output) *output += end.output;
    return end.Code();
}

}  // namespace host
