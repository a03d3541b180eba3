// Loading speed and memory on an archive as a recorder writes it (one record
// a second, every channel, noisy values that deflate cannot shrink): the
// viewer's load of 24 hours and 7 days (record by record) and of 8 and 30
// days (interval means), the first 7-day load of a fresh process, and the
// start-up repair of 30 days of files that need none; and the peak memory of
// a fresh process's record-by-record load against its series, for 7 days and
// for a day of ten records a second, the most a recorder writes; and what
// the envelope of interval means costs a 360-day load, against the same
// load without it, in time and in memory a series record. Each figure
// is printed beside its floors, measured in turn with it in the same run:
//
//   floor B  read each hour file of the period in one go and inflate every
//            entry with libdeflate, on one core;
//   floor C  the same, the hour files shared out over every core;
//   repair   list the directory and read the first 4 KiB of each hour file.
//
//   bench_load [ARCHIVE_DIR]
//
// Without a folder the archive is written into a temporary one; with one, the
// missing hour files are written there and kept for the next run.

#include "benchsupport.h"

#include "archformat.h"
#include "archload.h"
#include "archrepair.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// The hour files of the period. Walked here rather than by the library, so
// that this program also builds against earlier versions of it, for figures
// of the code it replaces.
QStringList existingFiles(const QString &dir, const QDateTime &begin, const QDateTime &end)
{
    QStringList files;
    for (QDateTime hour = archive::truncateToHour(begin); hour <= end; hour = hour.addSecs(3600)) {
        const QString name = dir + archive::hourFileName(hour);
        if (QFileInfo::exists(name) && !files.contains(name))
            files.append(name);
    }
    return files;
}

// Runs the pieces of work in turn, `runs` times, keeping each one's best.
std::vector<bench::Timing> alternate(int runs, const std::vector<std::function<void()>> &work)
{
    std::vector<bench::Timing> timings(work.size());
    bench::Timing nothing;
    for (int r = 0; r < runs; ++r) {
        for (size_t i = 0; i < work.size(); ++i)
            bench::compare(
                1, work[i], timings[i], [] {}, nothing);
    }
    return timings;
}

double measureLoad(const char *label, const QString &dir, const QDateTime &end, int periodSecs,
                   int runs)
{
    const QDateTime begin = end.addSecs(-periodSecs);
    const QStringList files = existingFiles(dir, begin, end);
    const int cores = QThread::idealThreadCount();
    int records = 0;
    const std::vector<bench::Timing> t = alternate(
        runs, {[&] { records = archive::loadPeriod(dir, begin, end, periodSecs).records.size(); },
               [&] { bench::readAndInflate(files, 1); }, [&] { bench::readAndInflate(files, cores); }});
    std::printf("%-24s load %7.3f s   floor B %7.3f s   floor C %7.3f s   load/B %5.2f   "
                "load/C %5.2f (target 1.30)   %d files, %d records\n",
                label, t[0].wall, t[1].wall, t[2].wall, t[0].wall / t[1].wall,
                t[0].wall / t[2].wall, files.size(), records);
    return t[0].wall;
}

// A load of interval means with its envelope against the same load without.
void measureEnvelope(const QString &dir, const QDateTime &end, int periodSecs, int runs)
{
    const QDateTime begin = end.addSecs(-periodSecs);
    archive::LoadResult kept;
    const std::vector<bench::Timing> t = alternate(
        runs, {[&] { kept = archive::loadPeriod(dir, begin, end, periodSecs); },
               [&] {
                   archive::loadPeriod(dir, begin, end, periodSecs, 0, archive::Envelope::Left);
               }});
    const int records = kept.records.size();
    std::printf("%d days, envelope         %7.3f s   without %7.3f s   with/without %5.2f (target "
                "1.10)   envelope %.0f bytes a record (target %d)   %d records\n",
                periodSecs / 86400, t[0].wall, t[1].wall, t[0].wall / t[1].wall,
                double(kept.envelope.storedBytes()) / std::max(records, 1),
                int(2 * kPlotChannelCount * sizeof(float)), records);
}

// One 7-day load in this process, which has loaded nothing before: prints
// its wall time for the parent.
int childLoad(const QString &dir, qint64 endSecs)
{
    const QDateTime end = QDateTime::fromSecsSinceEpoch(endSecs);
    QElapsedTimer timer;
    timer.start();
    const archive::LoadResult result =
        archive::loadPeriod(dir, end.addSecs(-7 * 86400), end, 7 * 86400);
    std::printf("%.6f %d\n", timer.nsecsElapsed() / 1e9, result.records.size());
    return 0;
}

// One load of `secs` up to `endSecs` in this process, which has loaded
// nothing before: prints the series' bytes, the peak resident set during the
// load above what the process held before it, the records and the bytes of
// the envelope of interval means.
int childPeak(const QString &dir, qint64 endSecs, int secs)
{
    const QDateTime end = QDateTime::fromSecsSinceEpoch(endSecs);
    const qint64 before = bench::residentBytes();
    bench::resetPeakResident();
    const archive::LoadResult result = archive::loadPeriod(dir, end.addSecs(-secs), end, secs);
    const qint64 peak = bench::peakResidentBytes();
    std::printf("%lld %lld %d %lld\n", qint64(result.records.size()) * qint64(sizeof(ArchRecord)),
                peak - before, result.records.size(), qint64(result.envelope.storedBytes()));
    return 0;
}

// The peak of a fresh process's load against its series.
void measurePeak(const char *what, const QString &program, const QString &dir, const QDateTime &end,
                 int secs)
{
    QProcess child;
    child.start(program, {QStringLiteral("--peak"), dir, QString::number(end.toSecsSinceEpoch()),
                          QString::number(secs)});
    const QList<QByteArray> f = child.waitForFinished(300000) && child.exitCode() == 0
                                    ? child.readAllStandardOutput().trimmed().split(' ')
                                    : QList<QByteArray>();
    if (f.size() != 4) {
        std::printf("%s: the child load failed\n", what);
        return;
    }
    const double series = f.at(0).toDouble();
    const double peak = f.at(1).toDouble();
    const double envelope = f.at(3).toDouble();
    std::printf("%-36s series %7.1f MiB (%s records)   peak resident %7.1f MiB   peak/series %4.2f "
                "(target 1.30)\n",
                what, series / 1048576.0, f.at(2).constData(), peak / 1048576.0, peak / series);
    // Interval means keep what they were made of beside them: the least a
    // load can hold is both.
    if (envelope > 0)
        std::printf("%-36s   with its envelope of %.1f MiB: peak/(series + envelope) %4.2f\n", "",
                    envelope / 1048576.0, peak / (series + envelope));
}

// Repair's floor: list the directory and read the first 4 KiB of each hour file.
int repairFloor(const QString &dir)
{
    char head[4096];
    int n = 0;
    for (const QString &name : QDir(dir).entryList({QStringLiteral("*.dat")}, QDir::Files)) {
        const int fd = ::open(QFile::encodeName(dir + name).constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        n += ::read(fd, head, sizeof head) > 0 ? 1 : 0;
        ::close(fd);
    }
    return n;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args.at(1) == QLatin1String("--child"))
        return childLoad(args.at(2), args.at(3).toLongLong());
    if (args.size() == 5 && args.at(1) == QLatin1String("--peak"))
        return childPeak(args.at(2), args.at(3).toLongLong(), args.at(4).toInt());

    QTemporaryDir tmp;
    QString dir = args.value(1, tmp.path());
    dir += QLatin1Char('/');

    // The archive ends at a whole hour, far enough back to be complete.
    const QDateTime end = archive::truncateToHour(QDateTime::currentDateTime().addDays(-1));
    std::fprintf(stderr, "writing the archive (30 days, every channel) into %s\n", qPrintable(dir));
    bench::writeFullArchive(dir, end, 30 * 24 + 1);
    std::printf("%d cores\n", QThread::idealThreadCount());

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

    // A day as full as a recorder may write it, ten records a second: each
    // hour file holds ten times what the series' first guess allows for.
    const QString dense = dir + QStringLiteral("ten-a-second/");
    std::fprintf(stderr, "writing a day of ten records a second into %s\n", qPrintable(dense));
    bench::writeFullArchive(dense, end, 24, 10);
    measurePeak("7 days, fresh process", app.applicationFilePath(), dir, end, 7 * 86400);
    measurePeak("1 day of 10 a second, fresh process", app.applicationFilePath(), dense, end, 86400);
    // A year of hour files, for the series of a 360-day load: interval means
    // of every channel, six an hour whatever the rate, so a record a minute
    // makes the same series as one a second, in a 60th of the files' bytes.
    const QString year = dir + QStringLiteral("year-a-minute/");
    std::fprintf(stderr, "writing 360 days of a record a minute into %s\n", qPrintable(year));
    bench::writeFullArchive(year, end, 360 * 24, 1, 60);
    measurePeak("360 days (means), fresh process", app.applicationFilePath(), year, end,
                archive::kMaxLoadPeriodSecs);

    measureLoad("24 hours", dir, end, 86400, 7);
    const double warm = measureLoad("7 days", dir, end, 7 * 86400, 5);
    measureLoad("8 days, interval means", dir, end, 8 * 86400, 5);
    measureLoad("30 days, interval means", dir, end, 30 * 86400, 3);
    // The archive holds 30 of the 360 days: the walk looks for every hour.
    measureEnvelope(dir, end, archive::kMaxLoadPeriodSecs, 5);

    // A fresh process: no heap, no thread, no buffer left by an earlier load.
    double fresh = 1e300;
    for (int i = 0; i < 3; ++i) {
        QProcess child;
        child.start(app.applicationFilePath(),
                    {QStringLiteral("--child"), dir, QString::number(end.toSecsSinceEpoch())});
        if (!child.waitForFinished(120000) || child.exitCode() != 0) {
            std::printf("the child load failed\n");
            break;
        }
        fresh = std::min(fresh, child.readAllStandardOutput().split(' ').value(0).toDouble());
    }
    std::printf(
        "7 days, fresh process     %7.3f s   warm %7.3f s   fresh/warm %5.2f (target 2.00)\n",
        fresh, warm, fresh / warm);

    // The start-up repair over 30 days of files already current.
    int visited = 0;
    const std::vector<bench::Timing> r =
        alternate(5, {[&] { visited = archive::repairArchive(dir).files.size(); },
                      [&] { repairFloor(dir); }});
    std::printf("repair, nothing to do     %7.3f s   floor %7.3f s (first 4 KiB of each file)   "
                "repair/floor %5.2f (target 2.00)   %d files\n",
                r[0].wall, r[1].wall, r[0].wall / r[1].wall, visited);
    return 0;
}
