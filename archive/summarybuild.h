#ifndef SUMMARYBUILD_H
#define SUMMARYBUILD_H

#include "progress.h"

#include <QString>
#include <QStringList>

namespace archive {

struct SummaryBuildOptions
{
    int threads = 1; // hour files summarised at once
    // Runs the work on threads of its own at the lowest CPU and I/O
    // priority the system has (on Linux, nice 19 and the idle I/O class),
    // so that a load, an export or a repair going on beside it takes its
    // time as if it were not there. The calling thread only waits, reports
    // progress and passes on a stop.
    bool lowPriority = false;
    QString cacheRoot; // empty: SummaryStore::defaultRoot()
};

struct SummaryBuildResult
{
    QString problem;        // the store cannot be written: nothing was done
    int hours = 0;          // hour files in the archive directory
    int done = 0;           // of them, looked at
    int valid = 0;          // whose entry was valid
    int built = 0;          // summarised from the file
    int toppedUp = 0;       // whose entry went on from where it was
    int finalized = 0;      // whose entry of a growing file was closed, the file being finished
    QStringList failures;   // hour files that could not be read
    QStringList cacheNotes; // entries found damaged, entries that could not be written
    bool stopped = false;   // by the caller, or by a write that failed
};

// Whether a name is one of an hour file without ".dat": "yyyy_MM_dd-hh" of
// a date that exists. Told from the text alone, without the local zone.
bool isHourName(const QString &name);

// The hour files of an archive directory (anything named "yyyy_MM_dd-hh.dat"),
// newest first, as names without ".dat".
QStringList archiveHourNames(const QString &dirPath);

// Brings the cache of an archive up to date, newest hour first: entries
// that are valid are left, those of growing files topped up, the rest made
// from the hour files. Progress counts the hour files; a stop ends the
// build after the hours being summarised. A write that fails ends it too:
// the next ones would fail alike.
SummaryBuildResult buildSummaryCache(const QString &dirPath, const SummaryBuildOptions &options,
                                     const Progress &progress = Progress());

// What the cache of an archive holds, for the companion.
struct SummaryCacheInfo
{
    QString place;        // the store's directory
    QString problem;      // why there is none
    int entries = 0;      // entry files in it
    qint64 bytes = 0;     // their size, the store's own file included
    int hours = 0;        // hour files in the archive
    qint64 hourBytes = 0; // their size
    int covered = 0;      // hour files with a valid entry
    int open = 0;         // of those, entries of files that may still grow
    int stale = 0;        // entries whose hour file changed or is gone
    int damaged = 0;      // entries that are damaged or of another version
    QString first;        // the first and last hour covered ("yyyy_MM_dd-hh")
    QString last;
};
SummaryCacheInfo summaryCacheInfo(const QString &dirPath, const QString &cacheRoot = QString());

} // namespace archive

#endif // SUMMARYBUILD_H
