// Ctrl+C and the progress line of the long commands.

#include "commands.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

std::atomic<bool> interruptedFlag{false};
// A progress line is on the terminal without its line feed.
bool lineOpen = false;
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void onInterrupt(int)
{
    interruptedFlag.store(true, std::memory_order_relaxed);
}

} // namespace

archive::Progress commandProgress(const char *what)
{
    // The first Ctrl+C asks for a stop at the next hour file; the command
    // then ends with what it finished. A second one ends the process at once.
    struct sigaction action = {};
    action.sa_handler = onInterrupt;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);

    archive::Progress progress;
    progress.stop = &interruptedFlag;
    // A count that rewrites itself is for a person at a terminal; a log or
    // a pipe gets none of it.
    if (isatty(STDERR_FILENO)) {
        progress.report = [what, throttle = archive::ProgressThrottle()](int done,
                                                                          int total) mutable {
            if (!throttle.due(done, total))
                return;
            std::fprintf(stderr, "\r%s: %d of %d hours", what, done, total);
            lineOpen = done < total;
            if (!lineOpen)
                std::fputc('\n', stderr);
            std::fflush(stderr);
        };
    }
    return progress;
}

void endProgressLine()
{
    if (lineOpen)
        std::fputc('\n', stderr);
    lineOpen = false;
}
