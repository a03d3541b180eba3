#ifndef FOLLOWSTART_H
#define FOLLOWSTART_H

#include <QDateTime>
#include <QString>

namespace archive {

// Where following takes up an archive: the hour file followed first, the
// bytes of it already taken (the end of its last whole entry taken), and the
// last record taken, against which the records handed on must not go back.
struct FollowStart
{
    QString dirPath;  // the archive directory, ending in "/"
    QString fileName; // "yyyy_MM_dd-hh.dat"
    qint64 offset = 0;
    int entries = 0;      // entries of the file before `offset`
    bool hasLast = false; // a record was taken: lastTime and atLastTime hold
    qint32 lastTime = 0;
    int atLastTime = 0; // how many of the records taken last have lastTime
    QString error;      // why the file could not be read to find the offset
};

// The present: the end of the whole entries of the newest hour file from a
// day before `nowMs` to the hour of it, so that only records written from now
// on are handed on. Without such a file, the hour of `nowMs` from its
// start: whatever appears there is new.
FollowStart followStartAtPresent(const QString &dirPath, qint64 nowMs);

// Where a load of [begin, end) left off in `lastFile`, the newest hour file
// of its walk (LoadResult::files' last, a path or a name; empty if the walk
// found none, and then the hour of `end` from its start). `anyTaken` says
// whether the load took a record. The entries the load took, or passed
// over as earlier than the period, lie before the offset: those before the
// first one at or after `end`, or, when nothing was taken, those before
// `begin`. What the recorder appended after the load lies beyond it.
//
// A load whose period holds no record but that took the first one after
// its end (the walk holds no first record against the end) is taken for
// one that ends before that record, which is then handed on again.
FollowStart followStartAfterLoad(const QString &dirPath, const QString &lastFile,
                                 const QDateTime &begin, const QDateTime &end, bool anyTaken);

} // namespace archive

#endif // FOLLOWSTART_H
