// The summary cache over a year of hour files as a recorder writes them
// (every channel, noisy values): its build against reading and inflating
// the same files, its size against the archive's, the preview of the
// 360-day period (four channels at 1600 columns) from a cache in memory
// and from one on disk only, and a load with the build running beside it
// at low priority against the load alone.
//
//   bench_year [DIR] [--apart SECONDS] [--preview]
//
// A year at one record a second is 16 GB; by default the year is written
// at one record every 10 s (1.6 GB), which leaves the cache as large as
// at one a second (its bins do not depend on the rate) and the files a
// tenth: its size is therefore also measured on a week at one record a
// second, which is what a recorder writes. --apart 1 writes the year at
// full rate. Hour files already in DIR are kept for the next run.
//
// Floors, measured in the same run, in turns with the figure:
//   read+inflate   read each hour file whole and inflate every entry with
//                  libdeflate: on all cores (C) for the build on all cores,
//                  on one (B) for the build on one thread. The build does
//                  that and more: it sums up every record and writes an
//                  entry of some 65 KiB per hour file, which costs about the
//                  same whether the hour holds 3600 records or 360;
//   preview        stat each hour file of the period and read the first
//                  4 KiB of each of its cache entries: what telling that
//                  the entries are valid and reading their hourly bins
//                  takes at least.

#include "benchsupport.h"

#include "archformat.h"
#include "archload.h"
#include "summarybuild.h"
#include "summaryquery.h"
#include "summarystore.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

qint64 bytesOf(const QString &dir, const QString &pattern)
{
    qint64 bytes = 0;
    for (const QFileInfo &file : QDir(dir).entryInfoList({pattern}, QDir::Files))
        bytes += file.size();
    return bytes;
}

// Drops the files' pages from the page cache, so that the next read comes
// from the disk.
void dropFromMemory(const QString &dir)
{
    for (const QFileInfo &file : QDir(dir).entryInfoList(QDir::Files)) {
        const int fd = ::open(QFile::encodeName(file.filePath()).constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        ::fdatasync(fd);
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
    }
}

archive::SummaryRequest previewRequest(const QDateTime &end, const QString &root)
{
    archive::SummaryRequest request;
    request.end = end;
    request.begin = end.addSecs(-archive::kMaxLoadPeriodSecs);
    request.binSecs = archive::previewBinSecs(archive::kMaxLoadPeriodSecs, 1600);
    // AIn1, Freq1, AOut1, Math1
    request.channels = {0, 24, 60, 90};
    request.readFiles = false;
    request.cacheRoot = root;
    return request;
}

int previewPoints(const archive::SummaryResult &result)
{
    int points = 0;
    for (int c = 0; c < result.channels.size(); ++c)
        points += archive::previewSeries(result, c).keys.size();
    return points;
}

// One build into an empty cache; the time of the build alone.
double freshBuild(const QString &dir, const QString &root, int threads, bool low = false)
{
    QDir(root).removeRecursively();
    archive::SummaryBuildOptions options;
    options.threads = threads;
    options.lowPriority = low;
    options.cacheRoot = root;
    QElapsedTimer timer;
    timer.start();
    const archive::SummaryBuildResult r = archive::buildSummaryCache(dir, options);
    const double secs = timer.nsecsElapsed() / 1e9;
    if (r.built != r.hours || !r.failures.isEmpty())
        std::printf("  the build made %d of %d hours (%s)\n", r.built, r.hours,
                    qPrintable(r.failures.value(0, r.problem)));
    return secs;
}

// The builds and their floors in turns, best of `runs` each.
void measureBuild(const char *what, const QString &dir, const QString &root, int runs)
{
    const QStringList files = bench::hourFiles(dir);
    const int cores = QThread::idealThreadCount();
    double build[2] = {1e300, 1e300}, floor[2] = {1e300, 1e300};
    for (int r = 0; r < runs; ++r) {
        build[0] = std::min(build[0], freshBuild(dir, root, cores));
        floor[0] =
            std::min(floor[0], bench::bestOf(1, [&] { bench::readAndInflate(files, cores); }));
        build[1] = std::min(build[1], freshBuild(dir, root, 1));
        floor[1] = std::min(floor[1], bench::bestOf(1, [&] { bench::readAndInflate(files, 1); }));
    }
    std::printf("%-26s build on %d cores %7.3f s   floor C %7.3f s   build/C %6.2f\n", what, cores,
                build[0], floor[0], build[0] / floor[0]);
    std::printf("%-26s build on 1 thread %7.3f s   floor B %7.3f s   build/B %6.2f   %d files, "
                "%.2f ms an hour file on 1 thread\n",
                "", build[1], floor[1], build[1] / floor[1], files.size(),
                1e3 * build[1] / std::max(1, int(files.size())));
}

void measureSize(const char *what, const QString &dir, const QString &root)
{
    freshBuild(dir, root, QThread::idealThreadCount());
    const QString store = archive::SummaryStore::directoryFor(dir, root);
    const qint64 cache = bytesOf(store, QStringLiteral("*"));
    const qint64 files = bytesOf(dir, QStringLiteral("*.dat"));
    std::printf(
        "%-26s cache %9.1f MiB   archive %9.1f MiB   cache/archive %5.2f %% (target 5 %%)   "
        "%.1f KiB an hour\n",
        what, cache / 1048576.0, files / 1048576.0, 100.0 * cache / files,
        cache / 1024.0 / std::max(1, int(bench::hourFiles(dir).size())));
}

void measurePreview(const QString &dir, const QString &root, const QDateTime &end, int runs)
{
    const QString store = archive::SummaryStore::directoryFor(dir, root);
    const QStringList files = bench::hourFiles(dir);
    const archive::SummaryRequest request = previewRequest(end, root);
    int points = 0, fromCache = 0;
    auto preview = [&] {
        const archive::SummaryResult result = archive::querySummary(dir, request);
        points = previewPoints(result);
        fromCache = result.fromCache.size();
    };
    // Warm: the entries in the page cache.
    preview();
    const std::vector<bench::Timing> warm =
        bench::alternate(runs, {preview, [&] { bench::previewFloor(files, store); }});
    std::printf("360-day preview, warm      %7.1f ms   floor %7.1f ms   (target 150 ms)   %u s "
                "bins, 4 channels, %d points, %d hours from the cache\n",
                warm[0].wall * 1e3, warm[1].wall * 1e3, request.binSecs, points, fromCache);
    // Cold: the entries dropped from the page cache before each run (the
    // hour files' inodes stay in memory; only the entries' pages go).
    bench::Timing cold, coldFloor;
    for (int r = 0; r < runs; ++r) {
        dropFromMemory(store);
        cold.wall = std::min(cold.wall, bench::bestOf(1, preview));
        dropFromMemory(store);
        coldFloor.wall =
            std::min(coldFloor.wall, bench::bestOf(1, [&] { bench::previewFloor(files, store); }));
    }
    std::printf("360-day preview, on disk   %7.1f ms   floor %7.1f ms   (target 150 ms)   entries "
                "dropped from the page cache (posix_fadvise DONTNEED)\n",
                cold.wall * 1e3, coldFloor.wall * 1e3);
}

// A 7-day load alone, and with a build at low priority running beside it.
void measureBeside(const QString &week, const QString &year, const QString &root,
                   const QDateTime &end, int runs)
{
    const QDateTime begin = end.addSecs(-7 * 86400);
    auto load = [&] { archive::loadPeriod(week, begin, end, 7 * 86400); };
    load();
    const double alone = bench::bestOf(runs, load);
    std::atomic<bool> stop{false};
    std::atomic<int> builds{0};
    std::thread background([&] {
        archive::Progress progress;
        progress.stop = &stop;
        archive::SummaryBuildOptions options;
        options.threads = 1;
        options.lowPriority = true;
        options.cacheRoot = root;
        while (!stop) {
            QDir(root).removeRecursively();
            archive::buildSummaryCache(year, options, progress);
            ++builds;
        }
    });
    QThread::msleep(300);
    const double beside = bench::bestOf(runs, load);
    stop = true;
    background.join();
    std::printf("7-day load beside a build  %7.3f s   alone %7.3f s   beside/alone %5.2f (target "
                "1.10)   the build at nice 19 and idle I/O on 1 thread\n",
                beside, alone, beside / alone);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // each figure as it comes, into a file too
    QStringList args = app.arguments().mid(1);
    int apart = 10;
    const int option = args.indexOf(QStringLiteral("--apart"));
    if (option >= 0) {
        apart = std::max(1, args.value(option + 1).toInt());
        args.erase(args.begin() + option, args.begin() + std::min(option + 2, int(args.size())));
    }
    const bool previewOnly = args.removeAll(QStringLiteral("--preview")) > 0;
    QTemporaryDir tmp;
    const QString base = args.value(0, tmp.path()) + QLatin1Char('/');
    const QString year = base + QStringLiteral("year-%1s/").arg(apart);
    const QString week = base + QStringLiteral("week-1s/");
    const QString root = base + QStringLiteral("cache");

    const QDateTime end = archive::truncateToHour(QDateTime::currentDateTime().addDays(-1));
    std::fprintf(stderr, "writing 360 days of a record every %d s into %s\n", apart,
                 qPrintable(year));
    bench::writeFullArchive(year, end, 360 * 24, 1, apart);
    std::fprintf(stderr, "writing 7 days of a record a second into %s\n", qPrintable(week));
    bench::writeFullArchive(week, end, 7 * 24);
    std::printf("%d cores; the year: 360 days, a record every %d s, every channel\n",
                QThread::idealThreadCount(), apart);
    if (previewOnly) {
        // Only the preview, from the cache an earlier run left.
        measurePreview(year, root, end, 5);
        return 0;
    }

    measureSize("7 days, 1 a second", week, root);
    measureSize(qPrintable(QStringLiteral("360 days, 1 every %1 s").arg(apart)), year, root);
    measureBuild("7 days, 1 a second", week, root, 3);
    measureBuild(qPrintable(QStringLiteral("360 days, 1 every %1 s").arg(apart)), year, root, 2);
    freshBuild(year, root, QThread::idealThreadCount());
    measurePreview(year, root, end, 5);
    measureBeside(week, year, root + QStringLiteral("-beside"), end, 3);
    QDir(root + QStringLiteral("-beside")).removeRecursively();
    return 0;
}
