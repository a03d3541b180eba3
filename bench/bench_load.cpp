// Loading speed and memory: the viewer's load of 24 hours, 7 days (record by
// record) and 8 days (interval means) of one record per second with every
// channel, each beside its floor: reading the same hour files through a data
// stream and only decompressing them.
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
            bytes += qUncompress(data).size();
        }
    }
    return bytes;
}

void measure(const char *label, const QString &dir, const QDateTime &end, int periodSecs)
{
    const QDateTime begin = end.addSecs(-periodSecs);
    int records = 0;
    qint64 entries = 0;
    const double load = bench::bestOf(3, [&] {
        records = archive::loadPeriod(dir, begin, end, periodSecs).records.size();
    });
    const double floor = bench::bestOf(3, [&] { entries = floorPass(dir, begin, end); });
    const double entriesRead = double(periodSecs); // one entry per second
    std::printf("%-26s load %7.3f s  floor %7.3f s  ratio %5.2f  %9.0f entries/s  %8d records kept\n",
                label, load, floor, load / floor, entriesRead / load, records);
    Q_UNUSED(entries);
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

    std::printf("sizeof(ArchRecord) = %d bytes\n", int(sizeof(ArchRecord)));
    measure("24 hours, record by record", dir, end, 86400);
    measure("7 days, record by record", dir, end, 7 * 86400);
    measure("8 days, interval means", dir, end, 8 * 86400);

    // Memory of the 7-day series: the peak resident set during the load,
    // above what the process held before it, against the bare records.
    const qint64 before = bench::residentBytes();
    const bool peakReset = bench::resetPeakResident();
    const archive::LoadResult result =
        archive::loadPeriod(dir, end.addSecs(-7 * 86400), end, 7 * 86400);
    const qint64 peak = bench::peakResidentBytes();
    const double bare = double(result.records.size()) * sizeof(ArchRecord);
    std::printf("7-day series: %d records, bare %.1f MiB, peak resident during the load %.1f MiB "
                "above the %.1f MiB before (%s), ratio %.2f\n",
                result.records.size(), bare / 1048576.0, (peak - before) / 1048576.0,
                before / 1048576.0, peakReset ? "peak reset before the load" : "peak NOT reset",
                (peak - before) / bare);
    return 0;
}
