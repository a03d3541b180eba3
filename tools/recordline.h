#ifndef RECORDLINE_H
#define RECORDLINE_H

#include "archrecord.h"

#include <QByteArray>
#include <QDateTime>

// One record as a line of 137 ";"-separated fields ending in "\n": the time
// as an unsigned decimal, the record's date-time, the seven counts in payload
// order, then every slot of every group at full capacity.
QByteArray recordLine(const ArchRecord &rec, const QDateTime &epoch);
// The first two fields of a record line, without a separator after them:
// the time as an unsigned decimal and the record's date-time.
QByteArray recordStamp(const ArchRecord &rec, const QDateTime &epoch);
// A float as the record lines write it: 9 significant digits, "nan", "inf".
QByteArray floatText(float value);

#endif // RECORDLINE_H
