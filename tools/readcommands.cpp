// The commands that read an archive: dump and series.

#include "commands.h"
#include "recordline.h"

#include "archformat.h"
#include "archload.h"

#include <QFileInfo>

#include <cstdio>
#include <limits>

namespace {

void writeRecord(const ArchRecord &rec, const QDateTime &epoch)
{
    const QByteArray line = recordLine(rec, epoch);
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
}

} // namespace

int dumpCommand(const QStringList &args)
{
    if (args.size() != 1)
        return usageError(QStringLiteral("dump takes one hour file"));
    const QString &path = args.first();
    archive::HourFileReader reader;
    if (!QFileInfo(path).isFile() || !reader.open(path)) {
        printError(QStringLiteral("cannot read %1").arg(path));
        return ExitFailure;
    }
    // Each record goes out as it is decoded: the output, not the memory,
    // grows with the file.
    const QDateTime epoch = archive::archiveEpoch();
    ArchRecord rec;
    int count = 0;
    for (; !reader.atEnd() && count < archive::kMaxRecordsPerHourFile; ++count) {
        const archive::StoredEntry entry = reader.next();
        const QByteArray payload = archive::uncompressPayload(entry.data);
        archive::decodePayload(payload.constData(), payload.size(), entry.time, rec);
        writeRecord(rec, epoch);
    }
    if (!reader.atEnd())
        printError(archive::tooManyRecordsNote(path));
    return ExitOk;
}

int seriesCommand(const QStringList &args)
{
    PeriodArgs period;
    if (const int status = parsePeriodArgs(QStringLiteral("series"), args, period);
        status != ExitOk)
        return status;
    const QString &dir = period.dir;
    const QDateTime &begin = period.begin;
    const QDateTime &end = period.end;

    // The viewer measures its period in whole seconds of an int; a longer one
    // saturates, so that it is refused rather than wrapped into a short one.
    const qint64 secs = begin.secsTo(end);
    const int periodSecs =
        int(qBound<qint64>(std::numeric_limits<int>::min(), secs, std::numeric_limits<int>::max()));
    const QDateTime loadBegin = end.addSecs(-qint64(periodSecs));
    const archive::LoadResult result =
        archive::loadPeriod(dir + QLatin1Char('/'), loadBegin, end, periodSecs);
    if (result.refused) {
        printError(
            QStringLiteral("the period is longer than %1 s").arg(archive::kMaxLoadPeriodSecs));
        return ExitFailure;
    }
    const QDateTime epoch = archive::archiveEpoch();
    for (const ArchRecord &rec : result.records)
        writeRecord(rec, epoch);
    for (const QString &file : result.damaged)
        printError(archive::tooManyRecordsNote(file));
    // A file that may hold records of the period but could not be read
    // makes the series incomplete.
    for (const QString &failure : result.failures)
        printError(failure);
    return result.failures.isEmpty() ? ExitOk : ExitFailure;
}
