#include "recordline.h"

#include "archformat.h"
#include "channeltable.h"

#include <QString>

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
    for (const archive::ChannelGroup &group : archive::kChannelGroups) {
        line += ';';
        line += QByteArray::number(archive::channelCount(rec, group));
    }
    for (const archive::ChannelGroup &group : archive::kChannelGroups) {
        if (!group.values) {
            // The relays as the bytes they are packed in.
            for (quint8 byte : rec.relays) {
                line += ';';
                line += QByteArray::number(byte);
            }
            continue;
        }
        const float *values = group.values(rec);
        for (int i = 0; i < group.capacity; ++i) {
            line += ';';
            line += floatText(values[i]);
        }
    }
    line += '\n';
    return line;
}
