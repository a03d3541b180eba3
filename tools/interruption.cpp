// Ctrl+C and the progress line of the long commands.

#include "commands.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

std::atomic<bool> interruptedFlag{false};
// The width of a progress line on the terminal, 0 if none is there.
int lineWidth = 0;
qint64 linesPrinted = 0;
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void onInterrupt(int)
{
    interruptedFlag.store(true, std::memory_order_relaxed);
}

void eraseProgressLine()
{
    if (lineWidth > 0)
        std::fprintf(stderr, "\r%*s\r", lineWidth, "");
    lineWidth = 0;
}

} // namespace

void catchInterrupt()
{
    // The first Ctrl+C asks for a stop; the command then ends with what it
    // finished. A second one ends the process at once. Writes that the
    // signal comes in the middle of go on (SA_RESTART): a write cut off by
    // it would leave half a line in the output.
    struct sigaction action = {};
    action.sa_handler = onInterrupt;
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
}

bool interrupted()
{
    return interruptedFlag.load(std::memory_order_relaxed);
}

bool printLine(const QByteArray &line)
{
    if (interrupted())
        return false;
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    ++linesPrinted;
    return true;
}

int interruptedPrinting()
{
    printError(QStringLiteral("interrupted after %1 lines of output").arg(linesPrinted));
    return ExitInterrupted;
}

archive::Progress commandProgress(const char *what)
{
    catchInterrupt();
    archive::Progress progress;
    progress.stop = &interruptedFlag;
    // A count that rewrites itself is for a person at a terminal; a log or
    // a pipe gets none of it. It goes when the work is done.
    if (isatty(STDERR_FILENO)) {
        progress.report = [what, throttle = archive::ProgressThrottle()](int done,
                                                                          int total) mutable {
            if (!throttle.due(done, total))
                return;
            const int width = std::fprintf(stderr, "\r%s: %d of %d hours", what, done, total) - 1;
            lineWidth = std::max(lineWidth, width);
            if (done >= total)
                eraseProgressLine();
            std::fflush(stderr);
        };
    }
    return progress;
}

void endProgressLine()
{
    eraseProgressLine();
}
