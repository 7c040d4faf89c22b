// Running code in a fresh child process: a plugin keeps what it found for
// the life of the process, so each host configuration gets a process of its
// own.
#include "host.h"

#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>

namespace emu {

int RunChild(const std::function<int()>& fn, std::string* output) {
    int fds[2];
    if (output && pipe(fds) != 0) return -1;
    fflush(stdout);
    fflush(stderr);
    pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        if (output) {
            dup2(fds[1], 1);
            dup2(fds[1], 2);
            close(fds[0]);
            close(fds[1]);
        }
        int rc = fn();
        fflush(stdout);
        fflush(stderr);
        _exit(rc);
    }
    if (output) {
        close(fds[1]);
        char buf[4096];
        ssize_t n;
        while ((n = read(fds[0], buf, sizeof buf)) > 0) output->append(buf, (size_t)n);
        close(fds[0]);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFSIGNALED(status)) return -WTERMSIG(status);
    return WEXITSTATUS(status);
}

}  // namespace emu
