#ifndef PROGRESS_H
#define PROGRESS_H

#include <QElapsedTimer>

#include <atomic>
#include <functional>

namespace archive {

// How the caller of a long operation (a load, an export, a repair) follows
// it and stops it. The operation counts in hour files, or hours, of its walk.
struct Progress
{
    // Called on the operation's calling thread, in walk order, after each
    // hour with how many are done of how many there are; the last call says
    // done == total unless the operation stopped or failed first.
    std::function<void(int done, int total)> report;
    // Set from any thread to stop the operation at its next hour.
    const std::atomic<bool> *stop = nullptr;

    bool stopRequested() const { return stop != nullptr && stop->load(std::memory_order_relaxed); }
    void tell(int done, int total) const
    {
        if (report)
            report(done, total);
    }
};

// Lets through about ten reports a second, and always the first and the
// last: what a screen or a terminal can follow, however fast the hours go.
class ProgressThrottle
{
public:
    static constexpr int kIntervalMs = 100;

    bool due(int done, int total)
    {
        if (done >= total || !timer.isValid() || timer.elapsed() >= kIntervalMs) {
            timer.start();
            return true;
        }
        return false;
    }

private:
    QElapsedTimer timer;
};

} // namespace archive

#endif // PROGRESS_H
