#include "fuzzbodies.h"

#include "archformat.h"
#include "archload.h"
#include "recordline.h"

#include <algorithm>

namespace fuzzing {

namespace {

int entryCount(const QString &path)
{
    archive::HourFileReader reader;
    if (!reader.open(path))
        return -1;
    int n = 0;
    while (!reader.atEnd()) {
        reader.next();
        ++n;
    }
    return n;
}

QString checkSeries(const archive::RecordSeries &records)
{
    for (const ArchRecord &rec : records) {
        const QString fault = checkCounts(rec);
        if (!fault.isEmpty())
            return fault;
    }
    return QString();
}

} // namespace

QString loadHourFile(const QByteArray &input)
{
    const QString path = writeFuzzedHourFile(input);
    const int entries = entryCount(path);
    if (entries < 0)
        return QStringLiteral("the hour file cannot be read back");
    const QString dir = scratchDir();

    // Record by record: at most one record per entry.
    const QDateTime begin = fuzzedHour();
    const QDateTime end = begin.addSecs(3600);
    const archive::LoadResult raw = archive::loadPeriod(dir, begin, end, 3600);
    if (raw.refused || raw.files.size() != 1)
        return QStringLiteral("the load of one hour did not read its file");
    if (raw.records.size() > entries)
        return QStringLiteral("the load yields more records than the file holds");
    QString fault = checkSeries(raw.records);
    if (!fault.isEmpty())
        return fault;
    // A file that ends inside an entry is named as cut there, and that
    // entry yields no record.
    const StoredShape shape = storedShape(input);
    if (shape.cutAt >= 0 && shape.entries <= archive::kMaxRecordsPerHourFile) {
        const bool named = std::any_of(raw.notes.cbegin(), raw.notes.cend(), [&](const auto &note) {
            return note.cut != archive::Cut::None && note.cutAt == shape.cutAt;
        });
        if (!named)
            return QStringLiteral("a file cut short is not named as cut where it is");
    }
    if (shape.entries != entries && shape.entries <= archive::kMaxRecordsPerHourFile)
        return QStringLiteral("the reader does not walk the entries the file holds");

    // Averaged over 8 days: an interval enters the series twice at most once
    // per record that ends it, and once more at the end.
    const int longPeriod = 8 * 86400;
    const archive::LoadResult averaged =
        archive::loadPeriod(dir, end.addSecs(-longPeriod), end, longPeriod);
    if (averaged.refused || averaged.files.size() != 1)
        return QStringLiteral("the averaged load did not read the file");
    if (averaged.records.size() > 2 * entries + 2)
        return QStringLiteral("the averaged load yields more intervals than records");
    // Interval records carry only the counters and relays of their opener.
    for (const ArchRecord &rec : averaged.records) {
        if (rec.aInCount || rec.dInCount || rec.aOutCount || rec.modbusCount || rec.mathCount)
            return QStringLiteral("an interval record carries plot-channel counts");
    }
    return checkSeries(averaged.records);
}

QString dumpHourFile(const QByteArray &input)
{
    const QString path = writeFuzzedHourFile(input);
    const int entries = entryCount(path);
    QVector<ArchRecord> records;
    bool damaged = false;
    if (!archive::readHourFile(path, records, &damaged))
        return QStringLiteral("the hour file cannot be read back");
    if (records.size() != std::min(entries, archive::kMaxRecordsPerHourFile) ||
        damaged != (entries > archive::kMaxRecordsPerHourFile))
        return QStringLiteral("the dump does not hold one record per entry, up to the cap");
    const QDateTime epoch = archive::archiveEpoch();
    for (const ArchRecord &rec : records) {
        const QString fault = checkCounts(rec);
        if (!fault.isEmpty())
            return fault;
        const QByteArray line = recordLine(rec, epoch);
        if (line.count(';') != 136 || !line.endsWith('\n') || line.count('\n') != 1)
            return QStringLiteral("a dump line does not have 137 fields");
    }
    return QString();
}

} // namespace fuzzing
