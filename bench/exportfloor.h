#ifndef EXPORTFLOOR_H
#define EXPORTFLOOR_H

#include <QByteArray>
#include <QStringList>

// The least work that writes an hour file's CSV: the file read in one go,
// its entries walked with a pointer and inflated with libdeflate, every
// value formatted straight from the payload by the export's integer
// formatter (the fastest we have), dates by calendar arithmetic, the bytes
// written with write() and made durable with fdatasync(). No checks
// beyond what keeps it inside its buffers, no atomic replacement; it writes
// the export's bytes only for records as a recorder writes them (the
// benchmark compares the two).
namespace exportfloor {

// Converts sources[i] into targets[i] on `threads` threads, one hour file
// at a time each. `header` is the CSV's first line, the same for every file
// of the benchmark. Returns the bytes written, or -1 if a file failed.
qint64 run(const QStringList &sources, const QStringList &targets, const QByteArray &header,
           int threads);

} // namespace exportfloor

#endif // EXPORTFLOOR_H
