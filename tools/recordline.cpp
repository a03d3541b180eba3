#include "recordline.h"

#include "archformat.h"

#include <QString>

namespace {

template <int N> void appendFloats(QByteArray &line, const float (&values)[N])
{
    for (float value : values) {
        line += ';';
        line += floatText(value);
    }
}

} // namespace

QByteArray floatText(float value)
{
    return QString::number(double(value), 'g', 9).toLatin1();
}

QByteArray recordStamp(const ArchRecord &rec, const QDateTime &epoch)
{
    QByteArray stamp = QByteArray::number(quint32(rec.time));
    stamp += ';';
    stamp += archive::recordDateTime(epoch, rec.time)
                 .toString(QString::fromLatin1(archive::kDateTimeFormat))
                 .toLatin1();
    return stamp;
}

QByteArray recordLine(const ArchRecord &rec, const QDateTime &epoch)
{
    QByteArray line = recordStamp(rec, epoch);
    for (quint8 count : {rec.aInCount, rec.counterCount, rec.dInCount, rec.aOutCount,
                         rec.relayCount, rec.modbusCount, rec.mathCount}) {
        line += ';';
        line += QByteArray::number(count);
    }
    appendFloats(line, rec.aIn);
    appendFloats(line, rec.counter);
    appendFloats(line, rec.dIn);
    appendFloats(line, rec.aOut);
    for (quint8 byte : rec.relays) {
        line += ';';
        line += QByteArray::number(byte);
    }
    appendFloats(line, rec.modbus);
    appendFloats(line, rec.math);
    line += '\n';
    return line;
}
