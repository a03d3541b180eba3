#ifndef BENCHSUPPORT_H
#define BENCHSUPPORT_H

#include <QDateTime>
#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace bench {

// Writes hour files of `perSecond` records a second (every `secondsApart`
// seconds) carrying every channel into dir, for `hours` hours ending with
// the hour before `end`; hour files that are already there are kept, so a
// folder can be reused between runs.
// Returns the number of hour files written.
int writeFullArchive(const QString &dir, const QDateTime &end, int hours, int perSecond = 1,
                     int secondsApart = 1);

// The least a reader of hour files does: read each file of `files` whole
// and inflate every entry with libdeflate, on `threads` threads (floor B
// with one, floor C with one per core). Returns the bytes inflated.
qint64 readAndInflate(const QStringList &files, int threads);

// The hour files of an archive directory, newest first, as paths.
QStringList hourFiles(const QString &dir);

// The least a preview from the summary cache does: stat each of `files`
// and read the first 4 KiB of its entry in the store directory `store`,
// which is what telling that the entries are valid and reading their
// hourly bins takes at least. Returns the entries read.
int previewFloor(const QStringList &files, const QString &store);

// Best wall time of `runs` calls, in seconds.
double bestOf(int runs, const std::function<void()> &work);

struct Timing
{
    double wall = 1e300; // seconds, best of the runs
    double cpu = 1e300;  // processor seconds of the process, best of the runs
};
// Runs each piece of work `runs` times, alternating between them so that
// both see the same load on a shared machine; keeps the best times of each.
void compare(int runs, const std::function<void()> &work, Timing &workTiming,
             const std::function<void()> &floor, Timing &floorTiming);
// The same for any number of pieces of work, taken in turns in the order
// given; returns the best times of each, in that order.
std::vector<Timing> alternate(int runs, const std::vector<std::function<void()>> &work);

// Resident set size and its peak, in bytes (from /proc/self/status).
qint64 residentBytes();
qint64 peakResidentBytes();
// Starts a new peak measurement (Linux: writes 5 to /proc/self/clear_refs).
bool resetPeakResident();

} // namespace bench

#endif // BENCHSUPPORT_H
