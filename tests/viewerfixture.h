#ifndef VIEWERFIXTURE_H
#define VIEWERFIXTURE_H

#include "archrecord.h"

#include <QDateTime>
#include <QList>
#include <QString>

// Archive fixtures for the window and plot tests, written through our own
// encoder (archivefixture.h writes them into hour files).
namespace viewerfixture {

// A record with 4 analogue inputs and counters, 2 discrete inputs,
// 2 analogue outputs, 1 Modbus and 2 math channels; the other elements are
// absent. Analogue input k is k * 10 + i % 7, counter k is 1000 * k + i.
ArchRecord demoRecord(qint32 time, int i);

// One demo record every stepSecs seconds from `from` up to `to`.
QVector<ArchRecord> demoSeries(const QDateTime &from, const QDateTime &to, int stepSecs);

} // namespace viewerfixture

#endif // VIEWERFIXTURE_H
