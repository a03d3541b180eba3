// The window following a recorder that appends one full record a second
// (every channel, noisy values) to the current hour of a temporary archive,
// with СЛЕДИТЬ on, four curves drawn on an axis rect 1600 pixels wide and
// the last hour as the period:
//
//  - the processor time of the whole process over SECONDS seconds, as a
//    share of one core;
//  - the latency from a record's write (the write call returned) to the
//    end of the redraw that put its point on the curves;
//  - the memory after an hour of following written faster than real time
//    (a minute of records a look, their times advancing as the recorder's
//    would): what the window holds for the series against what a fresh load
//    of the same period holds, and what the process grew by.
//
// Beside each its floor, measured in the same run: the appended entry read
// and inflated the fastest way we know (a stat, a pread, libdeflate) and the
// four curves' points in the visible range drawn as polylines into an image
// of the axis rect's size, at the same moments; and the fresh load.
//
//   QT_QPA_PLATFORM=offscreen bench_windowfollow [SECONDS]   (default 60)

#include "followsupport.h"
#include "plotbench.h"

#include "mainwindowprobe.h"

#include "archload.h"
#include "benchsupport.h"
#include "livefollow.h"
#include "simulatedrecorder.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <qcustomplot.h>

#include <algorithm>
#include <cstdio>
#include <ctime>

using namespace bench;

namespace {

constexpr int kPlotWidth = 1600;

double processCpuSeconds()
{
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + ts.tv_nsec / 1e9;
}

// The least drawing a step needs: each curve's points of the visible range,
// as the plot holds them, stroked into an image of the axis rect segment by
// segment, the fastest way to stroke a wide zigzag.
void drawFloor(QCustomPlot *plot, QImage &image)
{
    image.fill(Qt::white);
    QPainter painter(&image);
    const QCPRange range = plot->xAxis->range();
    for (int g = 0; g < plot->graphCount(); ++g) {
        QCPGraph *graph = plot->graph(g);
        const QCPRange values = graph->valueAxis()->range();
        QVector<QLineF> segments;
        segments.reserve(graph->data()->size());
        QPointF last;
        for (auto it = graph->data()->constBegin(); it != graph->data()->constEnd(); ++it) {
            const QPointF point((it->key - range.lower) / range.size() * image.width(),
                                (values.upper - it->value) / values.size() * image.height());
            if (it != graph->data()->constBegin())
                segments << QLineF(last, point);
            last = point;
        }
        painter.setPen(QPen(graph->pen().color(), 2));
        painter.drawLines(segments);
    }
}

MainWindow *openWindow(const QString &dir)
{
    auto *window = new MainWindow(QDir::cleanPath(dir));
    MainWindow::Probe probe(*window);
    window->resize(kPlotWidth + 400, 900);
    window->show();
    while (!probe.idle() || probe.loadedRecords().isEmpty())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    auto *plot = window->findChild<QCustomPlot *>();
    window->resize(window->width() + kPlotWidth - plot->axisRect()->width(), 900);
    QCoreApplication::processEvents();
    probe.chooseChannels(
        QVector<int>(std::begin(PlotBench::kIndexes), std::end(PlotBench::kIndexes)));
    probe.redraw();
    window->findChild<QPushButton *>(QStringLiteral("followButton"))->click();
    if (!probe.live()->isOn())
        std::fprintf(stderr, "following did not start\n");
    return window;
}

void benchRealTime(const QString &dir, int seconds)
{
    MainWindow *window = openWindow(dir);
    MainWindow::Probe probe(*window);
    auto *plot = window->findChild<QCustomPlot *>();
    LiveRecorder recorder(dir);
    FloorTail floor(dir);
    std::vector<int> floorSeqs;
    QImage image(plot->axisRect()->size(), QImage::Format_RGB32);
    std::vector<double> latencies;
    double floorCpu = 0;
    // Each step's newest record, when its redraw has ended.
    QObject::connect(probe.live(), &LiveFollow::stepped, window, [&] {
        const archive::RecordSeries &records = probe.loadedRecords();
        if (records.isEmpty())
            return;
        const int seq = int(records.last().counter[kSeqCounter]);
        if (seq >= 0 && seq < recorder.written())
            latencies.push_back(
                std::chrono::duration<double>(Clock::now() - recorder.when(seq)).count());
        // The floor at the same moment, its time kept apart.
        const double cpu0 = processCpuSeconds();
        floor.poll(floorSeqs);
        drawFloor(plot, image);
        floorCpu += processCpuSeconds() - cpu0;
    });
    recorder.start();
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    const double cpu0 = processCpuSeconds();
    loop.exec();
    const double cpu = processCpuSeconds() - cpu0 - floorCpu;
    recorder.stop();
    std::sort(latencies.begin(), latencies.end());
    const auto at = [&latencies](double q) {
        return latencies.empty() ? 0.0 : latencies[size_t(q * double(latencies.size() - 1))];
    };
    std::printf("following in real time, %d s, %d records written, %d steps shown\n", seconds,
                recorder.written(), int(latencies.size()));
    std::printf("  CPU      the process %6.2f %% of a core   floor %6.3f %%   (target <= 10 %%)\n",
                100.0 * cpu / seconds, 100.0 * floorCpu / seconds);
    std::printf("  latency  median %6.1f ms, worst %6.1f ms from the write to the redrawn curve "
                "(target <= 1000 ms, <= 200 ms with the watch)\n",
                1000 * at(0.5), 1000 * at(1.0));
    delete window;
}

void benchMemory(const QString &dir)
{
    MainWindow *window = openWindow(dir);
    MainWindow::Probe probe(*window);
    const SimulatedRecorder recorder(ChannelSet::full());
    const QDateTime epoch = archive::archiveEpoch();
    const qint64 rss0 = residentBytes();
    qint64 nowMs = QDateTime::currentMSecsSinceEpoch();
    qint64 rssAtHalf = 0;
    // An hour, a minute of records a look.
    for (int minute = 0; minute < 60; ++minute) {
        for (int s = 0; s < 60; ++s) {
            nowMs += 1000;
            const QDateTime at = QDateTime::fromMSecsSinceEpoch(nowMs);
            const ArchRecord rec = recorder.recordAt(qint32(epoch.secsTo(at)));
            appendEntry(dir + archive::hourFileName(at), entryBytes(rec));
        }
        probe.live()->look(nowMs + 500);
        QCoreApplication::processEvents();
        if (minute == 29)
            rssAtHalf = residentBytes();
    }
    const qint64 held = probe.live()->heldBytes();
    const qint64 seriesHeld = probe.live()->seriesBytes();
    const int followed = probe.loadedRecords().size();
    const Period period = probe.model().shown.period;
    const qint64 rss = residentBytes();
    delete window;
    const archive::LoadResult fresh =
        archive::loadPeriod(dir, period.begin, period.end, int(period.secs()));
    const qint64 freshBytes = qint64(fresh.records.size()) * qint64(sizeof(ArchRecord));
    std::printf("an hour of following written faster than real time (%d records shown)\n",
                followed);
    std::printf("  memory   the window's series %lld KiB   floor: a fresh load of the same period, "
                "%d records, %lld KiB   ratio %.3f (target <= 1.05)\n",
                seriesHeld / 1024, fresh.records.size(), freshBytes / 1024,
                freshBytes > 0 ? double(seriesHeld) / double(freshBytes) : 0.0);
    std::printf("           with the follower's buffers %lld KiB, ratio %.3f\n", held / 1024,
                freshBytes > 0 ? double(held) / double(freshBytes) : 0.0);
    std::printf("  the process grew by %lld KiB in the hour, %lld KiB of it in the second half\n",
                (rss - rss0) / 1024, (rss - rssAtHalf) / 1024);
}

} // namespace

void PlotBench::run()
{
    const QStringList args = QCoreApplication::arguments().mid(1);
    const int seconds = args.isEmpty() ? 60 : std::max(2, args.first().toInt());
    QTemporaryDir tmp;
    const QString dir = tmp.filePath(QStringLiteral("archive")) + QLatin1Char('/');
    QDir().mkpath(dir);
    // The hour before this one, whole, as the recorder wrote it.
    writeFullArchive(dir, QDateTime::currentDateTime(), 1);
    std::printf("one full record a second (every channel, noisy values) into the current hour; "
                "4 curves, %d px\n",
                kPlotWidth);
    benchRealTime(dir, seconds);
    benchMemory(dir);
}
