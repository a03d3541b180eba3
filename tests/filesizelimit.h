#ifndef FILESIZELIMIT_H
#define FILESIZELIMIT_H

#include <functional>

#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

// Runs `body` in a child process in which no file may grow past `limit`
// bytes, and returns its exit status (-1 if it did not exit normally).
// Write permissions do not stop root, a size limit does: it makes a write
// fail the way a full disk does. SIGXFSZ is ignored so that the write
// returns an error instead of killing the child.
inline int runWithFileSizeLimit(rlim_t limit, const std::function<int()> &body)
{
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const struct rlimit rl = {limit, limit};
        if (setrlimit(RLIMIT_FSIZE, &rl) != 0)
            _exit(100);
        _exit(body());
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

#endif // FILESIZELIMIT_H
