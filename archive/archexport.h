#ifndef ARCHEXPORT_H
#define ARCHEXPORT_H

#include "archrecord.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>

namespace archive {

// What became of one visited hour.
struct ExportHour
{
    enum Outcome {
        Written,    // the CSV holds every record of the hour file
        NoSource,   // there is no hour file: the old CSV is only removed
        ReadFailed, // the hour file exists but cannot be opened
        WriteFailed // the CSV could not be written; none is left under its name
    };

    QString sourcePath;
    QString targetPath;
    Outcome outcome = NoSource;
    int rows = 0;
    QString error; // why, for ReadFailed and WriteFailed

    bool failed() const { return outcome == ReadFailed || outcome == WriteFailed; }
};

struct ExportRequest
{
    QString sourceDir; // hour files, with a trailing "/"
    QString targetDir; // CSV files, with a trailing "/"
    QDateTime begin;   // first hour, already truncated to the hour
    QDateTime end;     // last hour, truncated likewise
    // Called after each visited hour, so that a long export can be followed.
    std::function<void(const ExportHour &)> hourDone;
};

struct ExportResult
{
    QList<ExportHour> hours; // in the order visited
    QDateTime next;          // one hour after the last hour visited; begin if none
    int failures() const;
};

// Exports every hour from begin to end, both included, one CSV per hour file.
// The CSV of each visited hour is removed first, whether or not the hour has
// a file. A CSV that cannot be written is reported and the walk goes on.
// Hour files are converted on every core; hourDone is called on the calling
// thread, hour by hour in the order visited.
ExportResult exportPeriod(const ExportRequest &request);

// Converts one hour file into a CSV file in windows-1251. The CSV replaces
// the target atomically, so an interrupted export never leaves half a table.
ExportHour exportHourFile(const QString &sourcePath, const QString &targetPath);

// The CSV bytes of a list of records, header included: what exportHourFile
// writes for an hour file holding these records.
QByteArray csvBytes(const QList<ArchRecord> &records);

} // namespace archive

#endif // ARCHEXPORT_H
