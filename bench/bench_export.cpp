// Export and repair of a day of hour files, each beside its floors:
//  - the load floor: the same hour files read through QDataStream and only
//    decompressed, nothing decoded or kept;
//  - the format floor: the same numbers formatted as the CSV writes them,
//    into memory, with no file, no dates and no encoding;
//  - for the repair, the compression of the re-encoded payloads as well.
// One record per second with every channel, as a recorder at full size writes.

#include "archexport.h"
#include "archformat.h"
#include "archrepair.h"
#include "simulatedrecorder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>

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
        QList<ArchRecord> records;
        for (int s = 0; s < kRecordsPerHour; ++s)
            records.append(recorder.recordAt(qint32(first + 3600 * h + s)));
        if (!writeHourFile(hourPath(dir, h), records, layout))
            return false;
    }
    return true;
}

// Best of `runs` wall-clock times in seconds; `prepare` runs untimed before each.
double bestOf(
    int runs, const std::function<void()> &body, const std::function<void()> &prepare = [] {})
{
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        prepare();
        QElapsedTimer timer;
        timer.start();
        body();
        best = std::min(best, timer.nsecsElapsed() / 1e9);
    }
    return best;
}

qint64 loadFloor(const QString &dir)
{
    qint64 bytes = 0;
    for (int h = 0; h < kHours; ++h) {
        HourFileReader reader;
        if (!reader.open(hourPath(dir, h)))
            continue;
        while (!reader.atEnd())
            bytes += uncompressPayload(reader.next().data).size();
    }
    return bytes;
}

qint64 formatFloor(const QList<ArchRecord> &records)
{
    const QLocale locale = exportLocale();
    qint64 chars = 0;
    QString line;
    auto put = [&](const float *values, int count) {
        for (int i = 0; i < count; ++i) {
            line += QLatin1Char(';');
            line += formatValue(locale, values[i]);
        }
    };
    for (const ArchRecord &rec : records) {
        line.clear();
        put(rec.aIn, rec.aInCount);
        put(rec.counter, rec.counterCount);
        put(rec.dIn, rec.dInCount);
        put(rec.aOut, rec.aOutCount);
        for (int k = 0; k < rec.relayCount; ++k) {
            line += QLatin1Char(';');
            line += QString::number((rec.relays[k / 8] >> (k % 8)) & 1, 10);
        }
        put(rec.modbus, rec.modbusCount);
        put(rec.math, rec.mathCount);
        chars += line.size();
    }
    return chars;
}

qint64 dirSize(const QString &dir, const QString &pattern)
{
    qint64 bytes = 0;
    for (const QFileInfo &info : QDir(dir).entryInfoList(QStringList{pattern}, QDir::Files))
        bytes += info.size();
    return bytes;
}

void row(const char *what, double secs, double floorSecs, const char *extra = "")
{
    if (floorSecs > 0)
        std::printf("  %-44s %8.3f s   x%5.2f of its floor%s\n", what, secs, secs / floorSecs,
                    extra);
    else
        std::printf("  %-44s %8.3f s%s\n", what, secs, extra);
}

} // namespace

int main()
{
    QTemporaryDir work;
    if (!work.isValid())
        return 1;
    const QString current = work.path() + QStringLiteral("/current/");
    const QString earlierMaster = work.path() + QStringLiteral("/earlier-master/");
    const QString earlier = work.path() + QStringLiteral("/earlier/");
    const QString csvDir = work.path() + QStringLiteral("/csv/");
    for (const QString &d : {current, earlierMaster, earlier, csvDir})
        QDir().mkpath(d);

    std::printf("Writing %d hour files of %d records with every channel...\n", kHours,
                kRecordsPerHour);
    if (!writeDay(current, Layout::Current) || !writeDay(earlierMaster, Layout::Earlier)) {
        std::fprintf(stderr, "cannot write the hour files\n");
        return 1;
    }
    const int records = kHours * kRecordsPerHour;
    std::printf("  current layout: %.1f MB, earlier layout: %.1f MB, %d records\n\n",
                dirSize(current, QStringLiteral("*.dat")) / 1e6,
                dirSize(earlierMaster, QStringLiteral("*.dat")) / 1e6, records);

    // Untimed: the decoded records that the format floor formats.
    QList<ArchRecord> decoded;
    for (int h = 0; h < kHours; ++h)
        readHourFile(hourPath(current, h), decoded);

    // Export.
    qint64 payloadBytes = 0, formattedChars = 0;
    const double load = bestOf(3, [&] { payloadBytes = loadFloor(current); });
    const double format = bestOf(3, [&] { formattedChars = formatFloor(decoded); });
    ExportResult exported;
    ExportRequest request;
    request.sourceDir = current;
    request.targetDir = csvDir;
    request.begin = kFirstHour;
    request.end = kFirstHour.addSecs(3600 * (kHours - 1));
    const double exportSecs = bestOf(3, [&] { exported = exportPeriod(request); });
    const qint64 csvBytes = dirSize(csvDir, QStringLiteral("*.csv"));
    int written = 0;
    for (const ExportHour &h : exported.hours)
        written += h.outcome == ExportHour::Written ? 1 : 0;

    qint64 values = 0;
    for (const ArchRecord &rec : decoded)
        values += rec.aInCount + rec.counterCount + rec.dInCount + rec.aOutCount + rec.relayCount +
                  rec.modbusCount + rec.mathCount;
    // The write floor: the same CSV bytes written through QSaveFile, whose
    // commit flushes them to disk before the rename.
    QList<QByteArray> csvContents;
    for (const QFileInfo &info :
         QDir(csvDir).entryInfoList(QStringList{QStringLiteral("*.csv")}, QDir::Files)) {
        QFile file(info.filePath());
        if (file.open(QIODevice::ReadOnly))
            csvContents.append(file.readAll());
    }
    const QString writeDir = work.path() + QStringLiteral("/write/");
    QDir().mkpath(writeDir);
    const double write = bestOf(3, [&] {
        for (int i = 0; i < csvContents.size(); ++i) {
            QSaveFile file(writeDir + QString::number(i) + QStringLiteral(".csv"));
            if (!file.open(QIODevice::WriteOnly) || file.write(csvContents.at(i)) < 0 ||
                !file.commit())
                std::printf("write floor: cannot write\n");
        }
    });

    std::printf("CSV export of 24 hours (%d CSV files, %.1f MB of CSV, %.2f M values, "
                "%.1f M characters formatted by the floor):\n",
                written, csvBytes / 1e6, values / 1e6, formattedChars / 1e6);
    row("load floor (read and decompress)", load, 0);
    row("format floor (QLocale 'f' 6, into memory)", format, 0);
    row("write floor (the CSV bytes through QSaveFile)", write, 0);
    const double floors = load + format + write;
    row("load + format + write floors", floors, 0);
    char extra[128];
    std::snprintf(extra, sizeof extra, ", %.1f MB of CSV per s (floors: %.1f)",
                  csvBytes / 1e6 / exportSecs, csvBytes / 1e6 / floors);
    row("export", exportSecs, floors, extra);
    std::printf("  records per second: export %.0f, load floor %.0f\n\n", records / exportSecs,
                records / load);

    // Repair: every file in the earlier layout, each run on fresh copies.
    auto freshCopies = [&] {
        for (int h = 0; h < kHours; ++h) {
            QFile::remove(hourPath(earlier, h));
            QFile::copy(hourPath(earlierMaster, h), hourPath(earlier, h));
        }
    };
    const double earlierLoad = bestOf(3, [&] { loadFloor(earlierMaster); });
    // The repair has to compress every re-encoded payload: that is its
    // second floor.
    QList<QByteArray> payloads;
    for (const ArchRecord &rec : decoded)
        payloads.append(encodePayload(rec));
    const double compress = bestOf(3, [&] {
        qint64 n = 0;
        for (const QByteArray &p : payloads)
            n += qCompress(p).size();
        if (n == 0)
            std::printf("?");
    });
    RepairResult repaired;
    const double repairSecs = bestOf(
        3, [&] { repaired = repairArchive(earlier); }, freshCopies);
    std::printf("Repair of 24 hour files in the earlier layout (%d rewritten, %d failed):\n",
                repaired.rewritten(), repaired.failures());
    row("load floor (read and decompress)", earlierLoad, 0);
    row("compress floor (qCompress of the payloads)", compress, 0);
    row("load floor + compress floor", earlierLoad + compress, 0);
    std::snprintf(extra, sizeof extra, ", %.0f records per s", records / repairSecs);
    row("repair", repairSecs, earlierLoad + compress, extra);
    const double checkSecs = bestOf(3, [&] { repaired = repairArchive(earlier); });
    std::snprintf(extra, sizeof extra, " (%d rewritten)", repaired.rewritten());
    row("repair of the same files, now current", checkSecs, 0, extra);
    return written == kHours && repaired.failures() == 0 ? 0 : 1;
}
