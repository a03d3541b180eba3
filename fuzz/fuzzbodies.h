#ifndef FUZZBODIES_H
#define FUZZBODIES_H

#include "archrecord.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

// The code paths that read bytes from an operator's disk, each driven by one
// input as the fuzzers feed it. The same functions run under libFuzzer and
// in the ordinary test suite, which feeds them the seeds and every input a
// fuzzer ever found a fault with.
//
// A body returns an empty string when the input was handled soundly, and
// otherwise says which property broke. Memory faults and undefined
// behaviour are left to the sanitizers.
namespace fuzzing {

using Body = QString (*)(const QByteArray &input);

struct Target
{
    const char *name; // the fuzzer's name without "fuzz_", and its corpus folder
    Body body;
};

// One stored entry: the input as compressed data, and the input as an
// uncompressed payload in both layouts.
QString decodeOneEntry(const QByteArray &input);
// The input as an hour file, loaded by the viewer's period load: a period
// inside its hour (record by record) and one of 8 days (averaged).
QString loadHourFile(const QByteArray &input);
// The input as an hour file, read whole and printed as the dump prints it.
QString dumpHourFile(const QByteArray &input);
// The input as an hour file, exported to CSV as the export button does.
QString exportHourFile(const QByteArray &input);
// The input as an hour file, repaired in place (in a temporary directory).
QString repairHourFile(const QByteArray &input);
// The input as a summary cache entry: rejected, or read with every value
// one a summary could hold, and written again as the same bins.
QString readSummaryEntry(const QByteArray &input);
QList<QByteArray> summaryEntrySeeds();

QList<Target> targets();
Body bodyFor(const QString &name);

// Seed inputs for a target, written by our own encoder.
QList<QByteArray> seeds(const QString &name);

// What every decoded record must satisfy: no count above its group.
QString checkCounts(const ArchRecord &rec);

// An hour file's entries as the format lays them out, walked here on their
// own: the whole entries up to kMaxRecordsPerHourFile + 1, whether an entry
// longer than any record ended the walk, and where the entry starts that
// the file's end cuts short (-1 if none is).
struct StoredShape
{
    int entries = 0;
    bool oversized = false;
    qint64 cutAt = -1;
};
StoredShape storedShape(const QByteArray &input);

// A directory for the hour files the bodies write, made once per process.
QString scratchDir();
// The hour a fuzzed hour file stands for; the seeds carry times inside it.
QDateTime fuzzedHour();
// Writes the input as the hour file of fuzzedHour() in scratchDir().
QString writeFuzzedHourFile(const QByteArray &input);

} // namespace fuzzing

#endif // FUZZBODIES_H
