// Plot speed: the window's updateData (series per selector, graphs, value
// axis fit) plus the replot, for 7 days of one record per second with four
// channels selected, beside its floor: copying the same keys and values into
// plain arrays.
//
//   QT_QPA_PLATFORM=offscreen bench_plot

#include "benchsupport.h"
#include "mainwindowprobe.h"
#include "plotbench.h"

#include "archformat.h"
#include "plotseries.h"

#include <QDir>
#include <QTemporaryDir>

#include <cstdio>
#include <vector>

#include <qcustomplot.h>

void PlotBench::run()
{
    // The window reads "./archive" and the images from the working
    // directory; an empty one keeps the start-up load short.
    QTemporaryDir workDir;
    QDir::setCurrent(workDir.path());

    const Week week = PlotBench::week();
    const archive::RecordSeries &records = week.records;
    const int *indexes = kIndexes;
    MainWindow window;
    prepare(window, week);

    MainWindow::Probe probe(window);
    const double update = bench::bestOf(3, [&] { probe.redraw(); });

    const QDateTime epoch = archive::archiveEpoch();
    const double series = bench::bestOf(3, [&] {
        for (int i = 0; i < 4; ++i) {
            const QPair<ChannelKind, int> channel = channelFromIndex(indexes[i]);
            plot::channelSeries(records, epoch, channel.first, channel.second);
        }
    });
    QCustomPlot *customPlot = window.findChild<QCustomPlot *>(QStringLiteral("customPlot"));
    const double replot = bench::bestOf(3, [&] { customPlot->replot(); });

    double checksum = 0;
    const double floor = bench::bestOf(3, [&] {
        const qint64 epochMs = epoch.toMSecsSinceEpoch();
        for (int i = 0; i < 4; ++i) {
            const QPair<ChannelKind, int> channel = channelFromIndex(indexes[i]);
            std::vector<double> keys(size_t(records.size()));
            std::vector<double> values(size_t(records.size()));
            for (int r = 0; r < records.size(); ++r) {
                const ArchRecord &rec = records.at(r);
                keys[size_t(r)] = (epochMs + qint64(quint32(rec.time)) * 1000) / 1000.0;
                values[size_t(r)] = plot::channelValue(rec, channel.first, channel.second);
            }
            checksum += keys.back() + values.back();
        }
    });

    std::printf("records %d (7 days, one per second), 4 channels, %d graphs of %d points\n",
                records.size(), customPlot->graphCount(),
                customPlot->graphCount() ? customPlot->graph(0)->data()->size() : 0);
    std::printf("updateData + replot  %7.3f s\n", update);
    std::printf("  of which series    %7.3f s, replot alone %7.3f s\n", series, replot);
    std::printf("floor (plain arrays) %7.3f s\n", floor);
    std::printf("ratio                %7.1f\n", update / floor);
    if (checksum == 0)
        std::printf("(checksum 0)\n");
}
