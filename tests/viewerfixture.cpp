#include "viewerfixture.h"

#include "archformat.h"

#include <QMap>

namespace viewerfixture {

qint32 archiveTime(const QDateTime &at)
{
    return qint32(quint32(archive::archiveEpoch().secsTo(at)));
}

ArchRecord demoRecord(qint32 time, int i)
{
    ArchRecord rec = archive::absentRecord(time);
    rec.aInCount = 4;
    rec.counterCount = 4;
    rec.dInCount = 2;
    rec.aOutCount = 2;
    rec.modbusCount = 1;
    rec.mathCount = 2;
    for (int k = 0; k < 4; ++k) {
        rec.aIn[k] = float(k * 10 + i % 7);
        rec.counter[k] = float(1000 * k + i);
    }
    rec.dIn[0] = 50.0f;
    rec.dIn[1] = float(i % 3);
    rec.aOut[0] = 4.0f;
    rec.aOut[1] = 20.0f;
    rec.modbus[0] = -1.5f;
    rec.math[0] = 0.5f;
    rec.math[1] = float(i);
    return rec;
}

bool writeRecords(const QString &dir, const QVector<ArchRecord> &records)
{
    const QDateTime epoch = archive::archiveEpoch();
    QMap<QString, QVector<ArchRecord>> files;
    for (const ArchRecord &rec : records)
        files[archive::hourFileName(archive::recordDateTime(epoch, rec.time))].append(rec);
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        if (!archive::writeHourFile(dir + QLatin1Char('/') + it.key(), it.value()))
            return false;
    }
    return true;
}

QVector<ArchRecord> demoSeries(const QDateTime &from, const QDateTime &to, int stepSecs)
{
    QVector<ArchRecord> records;
    const qint32 first = archiveTime(from);
    const qint32 last = archiveTime(to);
    int i = 0;
    for (qint64 t = first; t <= last; t += stepSecs)
        records.append(demoRecord(qint32(t), i++));
    return records;
}

} // namespace viewerfixture
