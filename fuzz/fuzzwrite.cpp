#include "fuzzbodies.h"

#include "archexport.h"
#include "archformat.h"
#include "archrepair.h"
#include "cp1251.h"

#include <QFile>

#include <algorithm>

namespace fuzzing {

namespace {

QList<archive::StoredEntry> entriesOf(const QString &path)
{
    QList<archive::StoredEntry> entries;
    archive::HourFileReader reader;
    if (reader.open(path)) {
        while (!reader.atEnd())
            entries.append(reader.next());
    }
    return entries;
}

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool isCurrent(const QByteArray &payload)
{
    return payload.size() == archive::currentLayoutLength(payload);
}

} // namespace

QString exportHourFile(const QByteArray &input)
{
    const QString source = writeFuzzedHourFile(input);
    const QString target = scratchDir() + QStringLiteral("export.csv");
    const int stored = entriesOf(source).size();
    const int entries = std::min(stored, archive::kMaxRecordsPerHourFile);
    const archive::ExportHour hour = archive::exportHourFile(source, target);
    if (hour.outcome != archive::ExportHour::Written)
        return QStringLiteral("the export of a readable hour file failed: %1")
            .arg(archive::noteText(hour.failure()));
    // Damaged: entries past the cap, an oversized or a cut entry, or whole
    // entries that do not decode.
    const StoredShape shape = storedShape(input);
    const QList<archive::StoredEntry> read = entriesOf(source).mid(0, entries);
    const bool undecodable = std::any_of(read.cbegin(), read.cend(), [](const auto &entry) {
        return archive::uncompressPayload(entry.data).isEmpty();
    });
    const bool damaged = stored > entries || shape.oversized || shape.cutAt >= 0 || undecodable;
    if (hour.rows != entries || hour.damaged() != damaged)
        return QStringLiteral("the export does not give one row per entry, up to the cap");
    const QString text = archive::fromWindows1251(contentOf(target));
    QStringList lines = text.split(QLatin1Char('\n'));
    if (lines.size() != entries + 2 || !lines.last().isEmpty())
        return QStringLiteral("the CSV does not hold a header and one line per entry");
    lines.removeLast();
    // Every row has a field under each column of the header, whose every
    // label ends with a separator: each value stays under its own column.
    const int columns = lines.takeFirst().count(QLatin1Char(';'));
    for (const QString &line : qAsConst(lines)) {
        if (line.count(QLatin1Char(';')) != columns - 1)
            return QStringLiteral("a CSV row does not line up with the header");
    }
    return QString();
}

QString repairHourFile(const QByteArray &input)
{
    const QString path = writeFuzzedHourFile(input);
    const QList<archive::StoredEntry> before = entriesOf(path);
    const archive::RepairFile repair = archive::repairHourFile(path);
    const QByteArray after = contentOf(path);
    if (repair.failed())
        return QStringLiteral("the repair of a writable file failed: %1")
            .arg(archive::repairNote(repair));
    if (repair.outcome != archive::RepairFile::Rewritten)
        return after == input ? QString() : QStringLiteral("a file left alone was changed");

    // Every record is still there, with its time, now in the current layout
    // and with the values it had in whichever layout it was read.
    const QList<archive::StoredEntry> now = entriesOf(path);
    if (now.size() != before.size() || repair.records != before.size())
        return QStringLiteral("the repair lost or added records");
    // Only whole entries are written; a cut one is named, not kept.
    if ((storedShape(input).cutAt >= 0) != (repair.cut != archive::Cut::None))
        return QStringLiteral("the repair does not name the cut it left out");
    for (int i = 0; i < now.size(); ++i) {
        if (now.at(i).time != before.at(i).time)
            return QStringLiteral("the repair changed a record's time");
        const QByteArray oldPayload = archive::uncompressPayload(before.at(i).data);
        const QByteArray newPayload = archive::uncompressPayload(now.at(i).data);
        if (!isCurrent(newPayload))
            return QStringLiteral("a repaired record is not in the current layout");
        const archive::Layout oldLayout =
            isCurrent(oldPayload) ? archive::Layout::Current : archive::Layout::Earlier;
        if (!archive::sameRecord(archive::decodePayload(newPayload, 0),
                                 archive::decodePayload(oldPayload, 0, oldLayout)))
            return QStringLiteral("a repaired record does not hold the values it had");
    }
    // A repaired file needs no second repair.
    const archive::RepairFile again = archive::repairHourFile(path);
    if (again.outcome != archive::RepairFile::Current || contentOf(path) != after)
        return QStringLiteral("a repaired file is repaired again");
    return QString();
}

} // namespace fuzzing
