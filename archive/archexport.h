#ifndef ARCHEXPORT_H
#define ARCHEXPORT_H

#include "archrecord.h"
#include "filenote.h"
#include "hourfile.h"
#include "progress.h"

#include <QDateTime>
#include <QList>
#include <QLocale>
#include <QString>
#include <QStringList>

#include <functional>

namespace archive {

// What became of one visited hour.
struct ExportHour
{
    enum Outcome {
        Written,    // the CSV holds every record of the hour file
        NoSource,   // there is no hour file: the old CSV is only removed
        ReadFailed, // the hour file exists, or may, but cannot be read
        WriteFailed, // the CSV could not be written; none is left under its name
        Stopped     // the export stopped before the hour was done: its CSV is as it was
    };

    QString sourcePath;
    QString targetPath;
    Outcome outcome = NoSource;
    int rows = 0;
    // The hour file: why it could not be read (ReadFailed), or what of it
    // was not whole (a Damaged note); no path where there is nothing to tell.
    FileNote source;
    // The CSV: why it could not be written (WriteFailed).
    FileNote target;

    bool failed() const { return outcome == ReadFailed || outcome == WriteFailed; }
    bool damaged() const { return !source.path.isEmpty() && source.kind == FileNote::Damaged; }
    // The note of the failure, for ReadFailed and WriteFailed.
    const FileNote &failure() const { return outcome == WriteFailed ? target : source; }
};

struct ExportRequest
{
    QString sourceDir; // hour files, with a trailing "/"
    QString targetDir; // CSV files, with a trailing "/"
    QDateTime begin;   // first hour, or any moment in it
    QDateTime end;     // last hour, or any moment in it
    // The length of the period as chosen, before its ends went to their
    // hours: a period longer than a load accepts is refused.
    qint64 periodSecs = 0;
    // Called after each visited hour, so that a long export can be followed.
    std::function<void(const ExportHour &)> hourDone;
    // Threads that convert hour files (0: one per core; 1: the calling
    // thread only); the hours are reported in walk order whatever the number.
    int threads = 0;
    // Counts the hours of the walk. A stop asked for ends the export at the
    // next hour, and the CSV being written when it came is dropped: every CSV
    // is then either complete or as it was before the export.
    Progress progress;
};

// Failures are named up to this many; the count goes on.
constexpr int kMaxNamedExportFailures = 100;

// Counts only, so that a long export's result does not grow with its hours.
struct ExportResult
{
    bool refused = false; // the period is longer than a load accepts: nothing visited
    int visited = 0;      // hours visited
    int written = 0;      // CSV files written
    int missing = 0;      // hours without an hour file
    int failed = 0;       // hours whose hour file or CSV failed
    int damaged = 0;      // hour files whose entries were not all read
    bool outOfMemory = false; // memory ran out: the hours after `visited` were not reported
    bool stopped = false; // the caller stopped it: the hours not visited were left as they were
    QList<FileNote> errors; // why, for the first kMaxNamedExportFailures failures
    QDateTime next;       // the start of the hour after the walk's last; begin if none
    int failures() const { return failed; }
};

// Exports every hour from begin's to end's, both included, one CSV per hour
// file. The CSV of each visited hour is replaced whole by the new one, or
// removed where the hour has no file or the new one fails: no visited hour
// keeps an old table. A CSV that cannot be written, or an hour file that cannot
// be read or whose existence cannot be told, is reported and the walk goes
// on. A period longer than a load accepts is refused before anything is
// touched. Hour files are converted on request.threads threads; hourDone is
// called on the calling thread, hour by hour in the order visited.
ExportResult exportPeriod(const ExportRequest &request);

// Converts one hour file into a CSV file in windows-1251. The CSV replaces
// the target atomically, so an interrupted export never leaves half a table.
ExportHour exportHourFile(const QString &sourcePath, const QString &targetPath);

// The CSV bytes of a list of records, header included: what exportHourFile
// writes for an hour file holding these records.
QByteArray csvBytes(const QVector<ArchRecord> &records);

} // namespace archive

#endif // ARCHEXPORT_H
