#ifndef ARCHIVEFIXTURE_H
#define ARCHIVEFIXTURE_H

#include "archformat.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
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
ProcessRun runProgram(const QString &program, const QStringList &args);

} // namespace fixture

#endif // ARCHIVEFIXTURE_H
