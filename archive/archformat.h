#ifndef ARCHFORMAT_H
#define ARCHFORMAT_H

#include "archrecord.h"
#include "entrycodec.h"
#include "hourdecoder.h"
#include "hourfile.h"
#include "hourfilereader.h"
#include "payload.h"

#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>
#include <QString>

namespace archive {

// Hour-file name format and extension, and the format of record date-times.
extern const char *const kHourFormat;     // "yyyy_MM_dd-hh"
extern const char *const kHourFileSuffix; // ".dat"
extern const char *const kDateTimeFormat; // "yyyy/MM/dd hh:mm:ss"
// The format in which the viewer shows a date-time to the operator.
extern const char *const kShownDateTimeFormat; // "dd.MM.yyyy hh:mm:ss"

// The locale of every number and date the programs show or write: Russian,
// Russian Federation. The export writes its bytes without it (csvformat.h).
QLocale russianLocale();

// An hour file's name, whatever the case of its extension, as the pattern
// of kHourFormat: it captures the year, the month, the day and the hour. It
// says nothing of whether they make a real date and hour.
const QRegularExpression &hourFileNamePattern();

// 2000-01-01 00:00:00 local time.
QDateTime archiveEpoch();
// The epoch plus `time` seconds, the field taken as unsigned.
QDateTime recordDateTime(const QDateTime &epoch, qint32 time);
// "yyyy_MM_dd-hh.dat" for the hour that holds `hour`.
QString hourFileName(const QDateTime &hour);
// The date-time truncated to its hour, by formatting with the hour-file format
// and parsing the text back. Where the parsed hour does not exist in the local
// zone, the date-time is moved back to the start of its hour instead, so that
// the result is valid whenever the argument is.
QDateTime truncateToHour(const QDateTime &dt);

// Field by field and bit for bit (NaNs included), leaving out the
// structure's padding bytes, which are no part of a record.
bool sameRecord(const ArchRecord &a, const ArchRecord &b);

// An empty record: time 0, counts 0, every float 0.0, relays 0.
ArchRecord zeroRecord();
// A record with counts 0 and every element absent.
ArchRecord absentRecord(qint32 time);

} // namespace archive

#endif // ARCHFORMAT_H
