#ifndef ARCHIVEFIXTURE_H
#define ARCHIVEFIXTURE_H

#include "archformat.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>

// Helpers that write test archives through our own encoder.
namespace fixture {

// Seconds since the archive epoch of a local date-time.
qint32 archiveTime(const QDateTime &dt);
// A local date-time from "yyyy-MM-dd hh:mm:ss".
QDateTime at(const char *text);

// A record at `time` carrying the given analogue inputs and relay bits
// (relay k is bit k of `relayBits`), nothing else.
ArchRecord record(qint32 time, const QList<float> &aIn = {}, int relayCount = 0,
                  quint64 relayBits = 0);

// Writes one entry of raw stored bytes: the time, then `data` as a byte array.
QByteArray rawEntry(qint32 time, const QByteArray &data);
// Writes the records into the hour file of their hour in `dir` (which ends
// in "/"), appending to a file that is already there.
void appendRecords(const QString &dir, const QVector<ArchRecord> &records,
                   archive::Layout layout = archive::Layout::Current);
// `count` entries of 8 bytes each (a time and an empty array), ten to a
// second from the start of `hour`: what no recorder writes.
QByteArray tinyEntries(const QDateTime &hour, int count);
// Writes the records into hour files of `dir` (which ends in "/"), each
// record in the file of its own hour, each file replaced whole.
bool writeRecords(const QString &dir, const QVector<ArchRecord> &records);
// The hour file of `hour` replaced by `count` records, one a second from
// the hour's start, analogue input 1 holding the record's number.
void writeHour(const QString &dir, const QDateTime &hour, int count = 2);
// `hours` hour files from the hour of `first` on, each with a record every
// `stepSecs` seconds from the hour's start, `perHour` of them, made by
// `make(hour, second, time)`; the first `earlier` files in the earlier
// layout, for the repair to rewrite.
void writeLayoutArchive(const QString &dir, const QDateTime &first, int hours, int perHour,
                        int stepSecs, int earlier,
                        const std::function<ArchRecord(int, int, qint32)> &make);
// Writes bytes into a file, replacing it.
void writeFile(const QString &path, const QByteArray &bytes);
QByteArray readFile(const QString &path);

// Runs `body` on a thread of its own and waits up to 10 s for it. If it is
// still blocked then (opening or reading the FIFO at `fifo`), the FIFO gets
// a writer that closes at once, which lets the body end, and the result is
// false.
bool endsWithoutBlocking(const QString &fifo, const std::function<void()> &body);

// One run of a program: its exit status (-1 if it crashed or hung) and
// what it wrote.
struct ProcessRun
{
    int status = -1;
    QByteArray out;
    QByteArray err;
};
// `env` adds NAME=VALUE settings to this process's environment.
ProcessRun runProgram(const QString &program, const QStringList &args,
                      const QStringList &env = {});

// Runs the rest of a test in another local zone, and restores the old one
// however the test ends.
class ZoneGuard
{
public:
    explicit ZoneGuard(const QByteArray &zone);
    ~ZoneGuard();
    ZoneGuard(const ZoneGuard &) = delete;
    ZoneGuard &operator=(const ZoneGuard &) = delete;

private:
    const QByteArray old;
};

// The local hour names of every minute from begin to end, each once, in the
// order they first appear: what an hour walk must name, found the slow way.
QStringList hourNamesByMinute(const QDateTime &begin, const QDateTime &end);

// Adds the columns zone, begin and end ("yyyy-MM-dd hh:mm:ss" in that
// zone) and one row per kind of clock change: of half or a quarter of an
// hour, off the whole hour, an hour of 15 minutes, an hour that comes back,
// and the common changes of a whole hour.
void addClockChangeRows();

// Sets a file's modification time `secs` seconds into the past, as a
// recorder leaves an hour it has finished.
void backdate(const QString &path, int secs = 3600);

// Whether the tests may switch to an unprivileged user (they run as root).
bool canRunAsNobody();
// Runs `body` in a child process as the user nobody and returns its exit
// status (-1 if it did not exit normally, -2 if the switch failed).
int runAsNobody(const std::function<int()> &body);
// Runs `body` in a child process once `prepare` has succeeded there, and
// returns its exit status: -1 if it did not exit normally, -2 if `prepare`
// failed.
int runInChild(const std::function<bool()> &prepare, const std::function<int()> &body);
// Runs a program as the user nobody.
ProcessRun runProgramAsNobody(const QString &program, const QStringList &args);

// The CSV files of a directory (every file but its hour files), by name.
QMap<QString, QByteArray> csvFiles(const QString &dir);
// The CSV of each hour file of `dir` (which ends in "/"), by name, as
// exportHourFile writes it.
QMap<QString, QByteArray> wholeCsvFiles(const QString &dir);
// Checks that each CSV of `dir` is complete (as in `complete`) or still
// the placeholder "old" it was, with nothing else beside them: any other
// fails the test. Returns how many are complete.
int checkCsvFiles(const QString &dir, const QMap<QString, QByteArray> &complete);

} // namespace fixture

#endif // ARCHIVEFIXTURE_H
