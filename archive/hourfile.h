#ifndef HOURFILE_H
#define HOURFILE_H

#include "archrecord.h"
#include "hourfilereader.h"
#include "payload.h"
#include "savefile.h"

#include <QByteArray>
#include <QDataStream>
#include <QString>
#include <QVector>

namespace archive {

// Ten records a second for a whole hour: no recorder writes more. Entries of
// an hour file past this many are not read, and the file counts as damaged,
// so that a file of tiny entries cannot yield records by the million.
constexpr int kMaxRecordsPerHourFile = 36000;

void writeEntry(QDataStream &out, qint32 time, const QByteArray &payload);

// Writes records into an hour file, replacing it atomically.
bool writeHourFile(const QString &path, const QVector<ArchRecord> &records,
                   Layout layout = Layout::Current);


} // namespace archive

#endif // HOURFILE_H
