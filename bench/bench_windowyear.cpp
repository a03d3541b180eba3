// The window over a year of hour files as a recorder writes them (every
// channel, noisy values; a record every 10 s by default, see bench_year),
// four curves on an axis rect 1600 pixels wide, the summary cache warm:
//   first picture  from the moment the 360-day period is asked for to the
//                  replot that draws the cache's picture of it, against
//                  150 ms; floor: stat every hour file of the period, read
//                  4 KiB of each of its cache entries, and one replot of
//                  the plot as it stands;
//   exact series   from the same moment to the replot of the loaded
//                  means, for comparison (no target: it is the load);
//   a week zoomed  from the moment the view rests on a week of the year to
//                  the replot of its records (the window waits 500 ms
//                  first), against a plain load of the week's records.
// With --shots DIR it writes the window as it looks at each of them into
// DIR (preview.png, exact.png, week.png).
//
//   QT_QPA_PLATFORM=offscreen bench_windowyear [DIR] [--apart SECONDS] [--shots DIR]

#include "benchsupport.h"
#include "mainwindowprobe.h"
#include "plotbench.h"

#include "archformat.h"
#include "archload.h"
#include "summarybuild.h"
#include "summarystore.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>

#include <qcustomplot.h>

#include <cstdio>

namespace {

constexpr int kPlotWidth = 1600;

// Runs the event loop until `done` holds; the seconds it took.
template <typename Done> double waitFor(const QElapsedTimer &since, Done done, int limitMs = 600000)
{
    while (!done() && since.elapsed() < limitMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return since.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QStringList args = app.arguments().mid(1);
    const auto option = [&](const char *name, const QString &fallback) {
        const int at = args.indexOf(QLatin1String(name));
        if (at < 0)
            return fallback;
        const QString value = args.value(at + 1);
        args.erase(args.begin() + at, args.begin() + std::min(at + 2, int(args.size())));
        return value;
    };
    const int apart = std::max(1, option("--apart", QStringLiteral("10")).toInt());
    const QString shots = option("--shots", QString());
    QTemporaryDir tmp;
    const QString base = args.value(0, tmp.path()) + QLatin1Char('/');
    const QString year = base + QStringLiteral("year-%1s/").arg(apart);
    const QString root = base + QStringLiteral("cache-window");
    const QDateTime end = archive::truncateToHour(QDateTime::currentDateTime().addDays(-1));
    std::fprintf(stderr, "writing 360 days of a record every %d s into %s\n", apart,
                 qPrintable(year));
    bench::writeFullArchive(year, end, 360 * 24, 1, apart);
    archive::SummaryBuildOptions options;
    options.threads = QThread::idealThreadCount();
    options.cacheRoot = root;
    const archive::SummaryBuildResult built = archive::buildSummaryCache(year, options);
    const QString store = archive::SummaryStore::directoryFor(year, root);
    const QStringList files = bench::hourFiles(year);

    MainWindow window(QDir::cleanPath(year));
    MainWindow::Probe probe(window);
    window.resize(kPlotWidth + 400, 900);
    window.show();
    QElapsedTimer opened;
    opened.start();
    waitFor(opened, [&] { return probe.idle(); });
    auto *plot = window.findChild<QCustomPlot *>();
    window.resize(window.width() + kPlotWidth - plot->axisRect()->width(), 900);
    QCoreApplication::processEvents();
    probe.chooseChannels(
        QVector<int>(std::begin(PlotBench::kIndexes), std::end(PlotBench::kIndexes)));
    window.useSummaryCache(root);
    // The window's own build finds every entry valid.
    waitFor(opened, [&] {
        return !window.findChild<QWidget *>(QStringLiteral("backgroundLabel"))->isVisible();
    });
    int replots = 0;
    QObject::connect(plot, &QCustomPlot::afterReplot, [&] { ++replots; });

    std::printf("%d cores; 360 days of a record every %d s, %d hour files, cache built: %d\n",
                QThread::idealThreadCount(), apart, built.hours, built.built + built.valid);
    const QDateTime begin = end.addSecs(-qint64(archive::kMaxLoadPeriodSecs));
    double preview = 1e300;
    double exact = 1e300;
    double floor = 1e300;
    for (int run = 0; run < 3; ++run) {
        probe.setPeriod(begin, end);
        QElapsedTimer asked;
        asked.start();
        window.findChild<QPushButton *>(QStringLiteral("refreshButton"))->click();
        const int before = replots;
        const double drawn =
            waitFor(asked, [&] { return probe.model().showsPreview() && replots > before; });
        if (probe.model().showsPreview()) {
            preview = std::min(preview, drawn);
            if (!shots.isEmpty() && run == 0)
                window.grab().save(shots + QStringLiteral("/preview.png"));
        }
        exact = std::min(exact, waitFor(asked, [&] { return probe.idle(); }));
        if (!shots.isEmpty() && run == 0)
            window.grab().save(shots + QStringLiteral("/exact.png"));
        floor = std::min(floor, bench::bestOf(1, [&] {
                             bench::previewFloor(files, store);
                             plot->replot();
                         }));
    }
    std::printf("first picture of 360 days  %7.1f ms   floor %7.1f ms   (target 150 ms)\n",
                preview * 1e3, floor * 1e3);
    std::printf("exact series of 360 days   %7.2f s    (the load, for comparison)\n", exact);

    // A week in the middle of the year, left there.
    const QDateTime weekBegin = begin.addDays(180);
    const QDateTime weekEnd = weekBegin.addDays(7);
    QElapsedTimer rested;
    rested.start();
    plot->xAxis->setRange(plot::timeKey(weekBegin), plot::timeKey(weekEnd));
    plot->replot();
    const double week = waitFor(rested, [&] { return !probe.model().detail.isEmpty(); });
    QCoreApplication::processEvents();
    if (!shots.isEmpty())
        window.grab().save(shots + QStringLiteral("/week.png"));
    const Period part = probe.model().detail.period;
    int plain = 0;
    const double load = bench::bestOf(1, [&] {
        plain = archive::loadPeriod(year, part.begin, part.end, int(part.secs()), 1,
                                    archive::Envelope::Left)
                    .records.size();
    });
    std::printf("records of a week zoomed   %7.2f s    a plain load of them on 1 thread %7.2f s "
                "(the window rests 0.5 s first)   %d records, %d by the plain load\n",
                week, load, probe.model().detail.records.size(), plain);
    return 0;
}
