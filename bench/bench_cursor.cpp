// Cursor speed, for 7 days of one record per second with four channels
// drawn: a cursor move (lookup, cursor layer, readout, and the paint that
// puts the buffers on the screen) against the 16 ms of a frame and against
// its floor, putting the unchanged buffers on the screen; and the range
// statistics of the whole week against the 20 ms target and against their
// floor, one plain sum over the same values.
//
//   QT_QPA_PLATFORM=offscreen bench_cursor

#include "benchsupport.h"
#include "mainwindowprobe.h"
#include "plotbench.h"

#include "archformat.h"
#include "plotcursor.h"
#include "plotcursors.h"

#include <QDir>
#include <QTemporaryDir>

#include <cstdio>

#include <qcustomplot.h>

void PlotBench::run()
{
    // The window reads "./archive" and the images from the working
    // directory; an empty one keeps the start-up load short.
    QTemporaryDir workDir;
    QDir::setCurrent(workDir.path());

    const Week week = PlotBench::week();
    const archive::RecordSeries &records = week.records;
    const QDateTime &begin = week.begin;
    const QDateTime &end = week.end;
    const int seconds = kSeconds;
    const int *indexes = kIndexes;
    MainWindow window;
    window.resize(1024, 768);
    prepare(window, week);
    QCoreApplication::processEvents();

    QCustomPlot *customPlot = window.findChild<QCustomPlot *>(QStringLiteral("customPlot"));
    PlotCursors *cursors = window.findChild<PlotCursors *>();
    int fullReplots = 0;
    QObject::connect(customPlot, &QCustomPlot::beforeReplot, [&] { ++fullReplots; });

    // Moves across the week, as a finger dragging the cursor would.
    const int moves = 400;
    const double lower = plot::timeKey(begin);
    const double step = seconds / double(moves);
    cursors->placeCursor(PlotCursors::A, lower + 1);
    cursors->placeCursor(PlotCursors::B, lower + seconds / 2.0);
    QCoreApplication::processEvents();
    fullReplots = 0;
    const double move = bench::bestOf(3, [&] {
        for (int i = 0; i < moves; ++i) {
            cursors->placeCursor(PlotCursors::A, lower + i * step);
            customPlot->repaint();
        }
    });
    const int replotsDuringMoves = fullReplots;
    const double paintFloor = bench::bestOf(3, [&] {
        for (int i = 0; i < moves; ++i)
            customPlot->repaint();
    });
    const double replot = bench::bestOf(3, [&] { customPlot->replot(); });

    QList<plot::Series> series;
    for (int i = 0; i < 4; ++i) {
        const QPair<ChannelKind, int> channel = channelFromIndex(indexes[i]);
        series << plot::channelSeries(records, archive::archiveEpoch(), channel.first,
                                      channel.second);
    }
    double checksum = 0;
    const double upper = plot::timeKey(end);
    const double stats = bench::bestOf(5, [&] {
        for (const plot::Series &s : qAsConst(series))
            checksum += plot::rangeStats(s, lower, upper).mean;
    });
    const double statsFloor = bench::bestOf(5, [&] {
        for (const plot::Series &s : qAsConst(series)) {
            double sum = 0;
            for (double v : s.values)
                sum += v;
            checksum += sum;
        }
    });

    std::printf("records %d (7 days, one per second), 4 graphs of %d points\n", records.size(),
                series.first().size());
    std::printf("cursor move + readout + paint %7.3f ms per move (target 16 ms), %d full "
                "replots in %d moves\n",
                move / moves * 1e3, replotsDuringMoves, 3 * moves);
    std::printf("floor (paint alone)           %7.3f ms per move\n", paintFloor / moves * 1e3);
    std::printf("  for comparison, a full replot %7.3f ms\n", replot * 1e3);
    std::printf("range statistics, whole week  %7.3f ms for 4 curves (target 20 ms)\n",
                stats * 1e3);
    std::printf("floor (plain sum)             %7.3f ms\n", statsFloor * 1e3);
    std::printf("ratio                         %7.1f\n", stats / statsFloor);
    if (checksum == 0)
        std::printf("(checksum 0)\n");
}
