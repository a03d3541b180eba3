#ifndef VIEWERFIXTURE_H
#define VIEWERFIXTURE_H

#include "archrecord.h"

#include <QDateTime>
#include <QList>
#include <QString>

// Archive fixtures for the window and plot tests, written through our own
// encoder.
namespace viewerfixture {

// Seconds since the archive epoch.
qint32 archiveTime(const QDateTime &at);

// A record with 4 analogue inputs and counters, 2 discrete inputs,
// 2 analogue outputs, 1 Modbus and 2 math channels; the other elements are
// absent. Analogue input k is k * 10 + i % 7, counter k is 1000 * k + i.
ArchRecord demoRecord(qint32 time, int i);

// Writes the records into hour files of dir (no trailing "/"), one file per
// hour, each record in the file of its own hour.
bool writeRecords(const QString &dir, const QVector<ArchRecord> &records);

// One demo record every stepSecs seconds from `from` up to `to`.
QVector<ArchRecord> demoSeries(const QDateTime &from, const QDateTime &to, int stepSecs);

} // namespace viewerfixture

#endif // VIEWERFIXTURE_H
