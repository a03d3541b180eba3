#include "hourfile.h"

#include "hourfilereader.h"

#include <QSaveFile>

namespace archive {

void writeEntry(QDataStream &out, qint32 time, const QByteArray &payload)
{
    out << time << compressPayload(payload);
}

bool writeHourFile(const QString &path, const QVector<ArchRecord> &records, Layout layout)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QDataStream out(&file);
    for (const ArchRecord &rec : records)
        writeEntry(out, rec.time, encodePayload(rec, layout));
    if (out.status() != QDataStream::Ok) {
        file.cancelWriting();
        return false;
    }
    return commitFully(file);
}

} // namespace archive
