// Loading speed and memory: the viewer's load of 24 hours, 7 days (record by
// record) and 8 days (interval means) of one record per second with every
// channel, each beside its floor: reading the same hour files through a data
// stream and only decompressing them (with the same decompressor the load uses).
//
//   bench_load [ARCHIVE_DIR]
//
// Without a folder the archive is written into a temporary one; with one, the
// missing hour files are written there and kept for the next run.

#include "benchsupport.h"

#include "archformat.h"
#include "archload.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

namespace {

// What every load has to do at least: read each hour file of the period
// through a data stream and decompress every entry.
qint64 floorPass(const QString &dir, const QDateTime &begin, const QDateTime &end)
{
    qint64 bytes = 0;
    for (QDateTime hour = archive::truncateToHour(begin); hour <= end; hour = hour.addSecs(3600)) {
        QFile file(dir + archive::hourFileName(hour));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        QDataStream in(&file);
        while (!in.atEnd()) {
            qint32 time;
            QByteArray data;
            in >> time >> data;
            bytes += archive::uncompressPayload(data).size();
        }
    }
    return bytes;
}

void measure(const char *label, const QString &dir, const QDateTime &end, int periodSecs)
{
    const QDateTime begin = end.addSecs(-periodSecs);
    int records = 0;
    bench::Timing load, floor;
    bench::compare(
        5, [&] { records = archive::loadPeriod(dir, begin, end, periodSecs).records.size(); }, load,
        [&] { floorPass(dir, begin, end); }, floor);
    std::printf("%-27s load %6.3f s (cpu %6.3f)  floor %6.3f s (cpu %6.3f)  ratio %4.2f (cpu %4.2f)"
                "  %8.0f entries/s  %6d records\n",
                label, load.wall, load.cpu, floor.wall, floor.cpu, load.wall / floor.wall,
                load.cpu / floor.cpu, periodSecs / load.wall, records);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir tmp;
    QString dir = app.arguments().value(1, tmp.path());
    dir += QLatin1Char('/');

    // The archive ends at a whole hour, far enough back to be complete.
    const QDateTime end = archive::truncateToHour(QDateTime::currentDateTime().addDays(-1));
    std::fprintf(stderr, "writing the archive (8 days, every channel) into %s\n", qPrintable(dir));
    bench::writeFullArchive(dir, end, 8 * 24 + 1);

    // Memory first, while the process holds little: the peak resident set
    // during the 7-day load, above what the process held before it, against
    // the bare records.
    {
        const qint64 before = bench::residentBytes();
        const bool peakReset = bench::resetPeakResident();
        const archive::LoadResult result =
            archive::loadPeriod(dir, end.addSecs(-7 * 86400), end, 7 * 86400);
        const qint64 peak = bench::peakResidentBytes();
        const double bare = double(result.records.size()) * sizeof(ArchRecord);
        std::printf("7-day series: %d records of %d bytes, bare %.1f MiB; peak resident during "
                    "the load %.1f MiB above the %.1f MiB before%s; ratio %.2f\n",
                    result.records.size(), int(sizeof(ArchRecord)), bare / 1048576.0,
                    (peak - before) / 1048576.0, before / 1048576.0,
                    peakReset ? "" : " (peak could not be reset)", (peak - before) / bare);
    }

    measure("24 hours, record by record", dir, end, 86400);
    measure("7 days, record by record", dir, end, 7 * 86400);
    measure("8 days, interval means", dir, end, 8 * 86400);
    return 0;
}
