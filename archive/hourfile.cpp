#include "hourfile.h"

#include "hourfilereader.h"

#include <QStringList>

namespace archive {

void writeEntry(QDataStream &out, qint32 time, const QByteArray &payload)
{
    out << time << compressPayload(payload);
}

QString damageNote(const QString &path, Damage damage)
{
    if (damage == Damage::OversizedEntry)
        return QStringLiteral("damaged: %1 holds an entry longer than any record; the rest are skipped")
            .arg(path);
    return QStringLiteral("damaged: %1 holds more than %2 entries; the rest are skipped")
        .arg(path)
        .arg(kMaxRecordsPerHourFile);
}

QString partlyReadNote(const QString &path, int undecoded, bool cutShort)
{
    QStringList why;
    if (undecoded > 0)
        why << QStringLiteral("%1 %2 not decode").arg(undecoded).arg(
                   undecoded == 1 ? QStringLiteral("entry does") : QStringLiteral("entries do"));
    if (cutShort)
        why << QStringLiteral("it is cut short");
    return QStringLiteral("%1: %2").arg(path, why.join(QStringLiteral("; ")));
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

bool commitFully(QSaveFile &file)
{
    // QSaveFile::commit() writes the buffered tail while closing and renames
    // the new file over the old one even when that last write fails: on a
    // full disk the operator's file would be replaced by a truncated one.
    // Writing the tail out first makes the failure visible.
    if (!file.flush()) {
        file.cancelWriting();
        file.commit(); // now only discards the new file
        return false;
    }
    return file.commit();
}

} // namespace archive
