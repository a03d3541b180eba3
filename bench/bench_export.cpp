// Export and repair of a day of hour files, each beside its floors.
// The export's floor writes the export's very bytes the plainest fast way
// (exportfloor.h): on one thread, and on every core by hour file, which is
// what the export is held to; the export's former QLocale path runs in the
// same turns for comparison. The repair's floors:
//  - the load floor: the same hour files read with the hour-file reader and
//    only inflated, nothing decoded or kept;
//  - the write floor: the bytes the operation writes, through QSaveFile;
//  - the compression of the re-encoded payloads.
// Work and floors run in turns, so that all meet the same load on a shared
// machine. One record per second with every channel, as a full recorder writes.

#include "archexport.h"
#include "archformat.h"
#include "archrepair.h"
#include "benchsupport.h"
#include "csvformat.h"
#include "exportfloor.h"
#include "qlocalecsv.h"
#include "simulatedrecorder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <thread>

using namespace archive;

namespace {

constexpr int kHours = 24;
constexpr int kRecordsPerHour = 3600;
const QDateTime kFirstHour(QDate(2024, 3, 5), QTime(0, 0));

QString hourPath(const QString &dir, int h)
{
    return dir + hourFileName(kFirstHour.addSecs(3600 * h));
}

bool writeDay(const QString &dir, Layout layout)
{
    const SimulatedRecorder recorder(ChannelSet::full());
    const qint64 first = archiveEpoch().secsTo(kFirstHour);
    for (int h = 0; h < kHours; ++h) {
        QVector<ArchRecord> records;
        for (int s = 0; s < kRecordsPerHour; ++s)
            records.append(recorder.recordAt(qint32(first + 3600 * h + s)));
        if (!writeHourFile(hourPath(dir, h), records, layout))
            return false;
    }
    return true;
}

qint64 loadFloor(const QString &dir)
{
    qint64 bytes = 0;
    for (int h = 0; h < kHours; ++h) {
        HourFileReader reader;
        if (!reader.open(hourPath(dir, h)))
            continue;
        while (!reader.atEnd()) {
            const EntryView entry = reader.next();
            const char *payload = nullptr;
            bytes += inflatePayload(entry.data, entry.size, payload);
        }
    }
    return bytes;
}

qint64 dirSize(const QString &dir, const QString &pattern)
{
    qint64 bytes = 0;
    for (const QFileInfo &info : QDir(dir).entryInfoList(QStringList{pattern}, QDir::Files))
        bytes += info.size();
    return bytes;
}

QList<QByteArray> contentsOf(const QString &dir, const QString &pattern)
{
    QList<QByteArray> contents;
    for (const QFileInfo &info : QDir(dir).entryInfoList(QStringList{pattern}, QDir::Files)) {
        QFile file(info.filePath());
        if (file.open(QIODevice::ReadOnly))
            contents.append(file.readAll());
    }
    return contents;
}

void writeFloor(const QString &dir, const QList<QByteArray> &contents)
{
    for (int i = 0; i < contents.size(); ++i) {
        QSaveFile file(dir + QString::number(i));
        if (!file.open(QIODevice::WriteOnly) || file.write(contents.at(i)) < 0 || !file.commit())
            std::fprintf(stderr, "write floor: cannot write\n");
    }
}

void part(const char *what, double secs)
{
    std::printf("    %-50s %8.3f s\n", what, secs);
}

void result(const char *what, const bench::Timing &work, const bench::Timing &floor)
{
    std::printf("  %-52s %8.3f s wall, %8.3f s cpu\n", "floors together", floor.wall, floor.cpu);
    std::printf("  %-52s %8.3f s wall, %8.3f s cpu   ratio %.2f wall, %.2f cpu\n", what, work.wall,
                work.cpu, work.wall / floor.wall, work.cpu / floor.cpu);
}

} // namespace

int main()
{
    QTemporaryDir work;
    if (!work.isValid())
        return 1;
    const QString current = work.path() + QStringLiteral("/current/");
    const QString earlierMaster = work.path() + QStringLiteral("/earlier-master/");
    const QString csvDir = work.path() + QStringLiteral("/csv/");
    const QString scratch = work.path() + QStringLiteral("/scratch/");
    constexpr int kRuns = 3;
    // The export is quick and its wall time, mostly the disk's, varies from run
    // to run on a shared machine: more turns for a steadier best.
    constexpr int kExportRuns = 5;
    QStringList earlierCopies;
    for (int i = 0; i < kRuns + 1; ++i)
        earlierCopies.append(work.path() + QStringLiteral("/earlier-%1/").arg(i));
    for (const QString &d : QStringList{current, earlierMaster, csvDir, scratch} + earlierCopies)
        QDir().mkpath(d);

    std::printf("Writing %d hour files of %d records with every channel...\n", kHours,
                kRecordsPerHour);
    if (!writeDay(current, Layout::Current) || !writeDay(earlierMaster, Layout::Earlier)) {
        std::fprintf(stderr, "cannot write the hour files\n");
        return 1;
    }
    // Each repair run gets files of its own in the earlier layout, dated an
    // hour back: the repair leaves files that are being recorded alone.
    const QDateTime recorded = QDateTime::currentDateTime().addSecs(-3600);
    for (const QString &copy : earlierCopies) {
        for (int h = 0; h < kHours; ++h) {
            QFile::copy(hourPath(earlierMaster, h), hourPath(copy, h));
            QFile file(hourPath(copy, h));
            if (!file.open(QIODevice::ReadWrite) ||
                !file.setFileTime(recorded, QFileDevice::FileModificationTime)) {
                std::fprintf(stderr, "cannot date the hour files\n");
                return 1;
            }
        }
    }
    const int records = kHours * kRecordsPerHour;
    std::printf("  current layout %.1f MB, earlier layout %.1f MB, %d records\n\n",
                dirSize(current, QStringLiteral("*.dat")) / 1e6,
                dirSize(earlierMaster, QStringLiteral("*.dat")) / 1e6, records);

    // Untimed: the decoded records, one export for the CSV bytes, one repair
    // for the repaired bytes.
    QVector<ArchRecord> decoded;
    for (int h = 0; h < kHours; ++h)
        readHourFile(hourPath(current, h), decoded);
    qint64 values = 0;
    for (const ArchRecord &rec : decoded)
        values += rec.aInCount + rec.counterCount + rec.dInCount + rec.aOutCount + rec.relayCount +
                  rec.modbusCount + rec.mathCount;
    ExportRequest request;
    request.sourceDir = current;
    request.targetDir = csvDir;
    request.begin = kFirstHour;
    request.end = kFirstHour.addSecs(3600 * (kHours - 1));
    ExportResult exported = exportPeriod(request);
    const QList<QByteArray> csvContents = contentsOf(csvDir, QStringLiteral("*.csv"));
    const qint64 csvBytes = dirSize(csvDir, QStringLiteral("*.csv"));
    RepairResult repaired = repairArchive(earlierCopies.last());
    const QList<QByteArray> repairedContents =
        contentsOf(earlierCopies.last(), QStringLiteral("*.dat"));
    QList<QByteArray> payloads;
    for (const ArchRecord &rec : decoded)
        payloads.append(encodePayload(rec));

    // Export.
    const int threads = std::max(1, int(std::thread::hardware_concurrency()));
    QStringList sources, floorTargets, todaysTargets;
    for (int h = 0; h < kHours; ++h) {
        sources.append(hourPath(current, h));
        floorTargets.append(scratch + QStringLiteral("floor-%1.csv").arg(h));
        todaysTargets.append(scratch + QStringLiteral("today-%1.csv").arg(h));
    }
    const QByteArray header = csvContents.first().left(csvContents.first().indexOf('\n') + 1);
    qint64 floorBytes = 0;
    const std::vector<bench::Timing> exportTimings = bench::alternate(
        kExportRuns,
        {[&] { exported = exportPeriod(request); },
         [&] { floorBytes = exportfloor::run(sources, floorTargets, header, threads); },
         [&] { exportfloor::run(sources, floorTargets, header, 1); },
         [&] {
             for (int h = 0; h < kHours; ++h) {
                 QFile::remove(todaysTargets.at(h));
                 qlocalecsv::exportHourFile(sources.at(h), todaysTargets.at(h));
             }
         }});
    bool sameBytes = floorBytes == csvBytes;
    for (int h = 0; h < kHours && sameBytes; ++h) {
        const QString name = hourFileName(kFirstHour.addSecs(3600 * h));
        QFile exportedCsv(csvDir +
                          QString(name).replace(QStringLiteral(".dat"), QStringLiteral(".csv")));
        QFile floorCsv(floorTargets.at(h)), todaysCsv(todaysTargets.at(h));
        sameBytes = exportedCsv.open(QIODevice::ReadOnly) && floorCsv.open(QIODevice::ReadOnly) &&
                    todaysCsv.open(QIODevice::ReadOnly);
        const QByteArray bytes = sameBytes ? exportedCsv.readAll() : QByteArray();
        sameBytes = sameBytes && floorCsv.readAll() == bytes && todaysCsv.readAll() == bytes;
    }
    const bench::Timing &exportTiming = exportTimings[0], &floorAll = exportTimings[1],
                        &floorOne = exportTimings[2], &todays = exportTimings[3];
    std::printf("CSV export of %d hours: %d CSV files, %.1f MB of CSV, %.2f M values, %d threads\n",
                kHours, exported.written, csvBytes / 1e6, values / 1e6, threads);
    auto line = [&](const char *what, const bench::Timing &t) {
        std::printf("  %-56s %7.3f s wall, %7.3f s cpu   ratio %.2f wall\n", what, t.wall, t.cpu,
                    t.wall / floorAll.wall);
    };
    line("floor, one thread (read, libdeflate, integers, fdatasync)", floorOne);
    line("floor, every core by hour file", floorAll);
    line("export (target: ratio at most 1.5)", exportTiming);
    line("today's code (QLocale, QString text, one thread)", todays);
    const double formatting = bench::bestOf(kRuns, [&] {
        char text[kCsvValueMax];
        qint64 n = 0;
        auto put = [&](const float *values, int count) {
            for (int i = 0; i < count; ++i)
                n += formatCsvValue(values[i], text);
        };
        for (const ArchRecord &rec : decoded) {
            put(rec.aIn, rec.aInCount);
            put(rec.counter, rec.counterCount);
            put(rec.dIn, rec.dInCount);
            put(rec.aOut, rec.aOutCount);
            put(rec.modbus, rec.modbusCount);
            put(rec.math, rec.mathCount);
        }
        if (n == 0)
            std::fprintf(stderr, "nothing formatted\n");
    });
    std::printf("  %-56s %7.3f s wall\n", "the values alone formatted into memory, one thread",
                formatting);
    std::printf("  export %.2f times as fast as today's code; floor, export and today's code "
                "wrote %s bytes\n",
                todays.wall / exportTiming.wall, sameBytes ? "the same" : "DIFFERENT");
    std::printf("  throughput: %.1f MB of CSV per s (floor: %.1f), %.0f records per s\n\n",
                csvBytes / 1e6 / exportTiming.wall, csvBytes / 1e6 / floorAll.wall,
                records / exportTiming.wall);

    // Repair: every file in the earlier layout.
    double earlierLoad = 1e300, compress = 1e300, repairWrite = 1e300;
    bench::Timing repairTiming, repairFloor;
    int run = 0;
    bench::compare(
        kRuns, [&] { repaired = repairArchive(earlierCopies.at(run++)); }, repairTiming,
        [&] {
            QElapsedTimer t;
            t.start();
            loadFloor(earlierMaster);
            earlierLoad = std::min(earlierLoad, t.nsecsElapsed() / 1e9);
            t.restart();
            qint64 n = 0;
            for (const QByteArray &p : payloads)
                n += compressPayload(p).size();
            compress = std::min(compress, t.nsecsElapsed() / 1e9);
            t.restart();
            writeFloor(scratch, repairedContents);
            repairWrite = std::min(repairWrite, t.nsecsElapsed() / 1e9);
            if (n == 0)
                std::fprintf(stderr, "nothing compressed\n");
        },
        repairFloor);
    std::printf("Repair of %d hour files in the earlier layout: %d rewritten, %d failed, %.1f MB "
                "written\n",
                kHours, repaired.rewritten(), repaired.failures(),
                dirSize(earlierCopies.first(), QStringLiteral("*.dat")) / 1e6);
    part("load floor (read and decompress)", earlierLoad);
    part("compress floor (the re-encoded payloads)", compress);
    part("write floor (the repaired bytes through QSaveFile)", repairWrite);
    result("repair", repairTiming, repairFloor);
    std::printf("  throughput: %.0f records per s\n", records / repairTiming.wall);
    QElapsedTimer again;
    again.start();
    repaired = repairArchive(earlierCopies.first());
    std::printf("  %-52s %8.3f s (%d rewritten)\n", "repair of the same files, now current",
                again.nsecsElapsed() / 1e9, repaired.rewritten());
    return exported.failures() == 0 && repaired.failures() == 0 && sameBytes ? 0 : 1;
}
