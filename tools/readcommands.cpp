// The commands that read an archive: dump and series.

#include "commands.h"
#include "recordline.h"

#include "archformat.h"
#include "archload.h"

#include <QFileInfo>

#include <cstdio>
#include <limits>

namespace {

void writeRecords(const QVector<ArchRecord> &records)
{
    const QDateTime epoch = archive::archiveEpoch();
    for (const ArchRecord &rec : records) {
        const QByteArray line = recordLine(rec, epoch);
        std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    }
}

} // namespace

int dumpCommand(const QStringList &args)
{
    if (args.size() != 1)
        return usageError(QStringLiteral("dump takes one hour file"));
    const QString &path = args.first();
    QVector<ArchRecord> records;
    if (!QFileInfo(path).isFile() || !archive::readHourFile(path, records)) {
        printError(QStringLiteral("cannot read %1").arg(path));
        return ExitFailure;
    }
    writeRecords(records);
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
    writeRecords(result.records);
    return ExitOk;
}
