#ifndef QLOCALECSV_H
#define QLOCALECSV_H

#include "archexport.h"

#include <QByteArray>
#include <QVector>

// The export as it was written before its byte-level formatter: every value
// through QLocale, the text built as a QString and encoded to windows-1251,
// each hour file read twice through a data stream and inflated by zlib. It
// is the reference the CSV bytes must match, and the benchmark's "today's
// code".
namespace qlocalecsv {

// One value, windows-1251.
QByteArray value(float value);
// The CSV of a list of records, header included, windows-1251.
QByteArray csv(const QVector<ArchRecord> &records);
// One hour file into a CSV file, as exportHourFile did.
archive::ExportHour exportHourFile(const QString &sourcePath, const QString &targetPath);

} // namespace qlocalecsv

#endif // QLOCALECSV_H
