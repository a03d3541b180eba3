#ifndef HOURFILE_H
#define HOURFILE_H

#include "archrecord.h"
#include "hourfilereader.h"
#include "payload.h"

#include <QByteArray>
#include <QDataStream>
#include <QSaveFile>
#include <QString>
#include <QVector>

namespace archive {

// Ten records a second for a whole hour: no recorder writes more. Entries of
// an hour file past this many are not read, and the file counts as damaged,
// so that a file of tiny entries cannot yield records by the million.
constexpr int kMaxRecordsPerHourFile = 36000;

void writeEntry(QDataStream &out, qint32 time, const QByteArray &payload);

// The note that names a damaged hour file and why.
QString damageNote(const QString &path, Damage damage);
// The note for an hour file whose entries were read, but not all whole:
// `undecoded` entries that do not decode, and whether it is cut short.
QString partlyReadNote(const QString &path, int undecoded, bool cutShort);
// Commits a QSaveFile only when everything written has reached the new
// file; otherwise discards it, leaving the old file as it was.
bool commitFully(QSaveFile &file);

// Writes records into an hour file, replacing it atomically.
bool writeHourFile(const QString &path, const QVector<ArchRecord> &records,
                   Layout layout = Layout::Current);


} // namespace archive

#endif // HOURFILE_H
