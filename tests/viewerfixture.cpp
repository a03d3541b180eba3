#include "viewerfixture.h"

#include "archformat.h"
#include "archivefixture.h"

namespace viewerfixture {

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

QVector<ArchRecord> demoSeries(const QDateTime &from, const QDateTime &to, int stepSecs)
{
    QVector<ArchRecord> records;
    const qint32 first = fixture::archiveTime(from);
    const qint32 last = fixture::archiveTime(to);
    int i = 0;
    for (qint64 t = first; t <= last; t += stepSecs)
        records.append(demoRecord(qint32(t), i++));
    return records;
}

} // namespace viewerfixture
