// Plot speed: the window's updateData (series per selector, graphs, value
// axis fit) plus the replot, for 7 days of one record per second with four
// channels selected, beside its floor: copying the same keys and values into
// plain arrays.
//
//   QT_QPA_PLATFORM=offscreen bench_plot

#include "benchsupport.h"
#include "mainwindow.h"

#include "archformat.h"
#include "plotseries.h"
#include "simulatedrecorder.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <vector>

#include <qcustomplot.h>

class PlotBench
{
public:
    static void run();
};

void PlotBench::run()
{
    // The window reads "./archive" and the images from the working
    // directory; an empty one keeps the start-up load short.
    QTemporaryDir workDir;
    QDir::setCurrent(workDir.path());

    const int seconds = 7 * 24 * 3600;
    const QDateTime end = QDateTime::currentDateTime();
    const QDateTime begin = end.addSecs(-seconds);
    const SimulatedRecorder recorder(ChannelSet::full());
    const qint32 first = qint32(quint32(archive::archiveEpoch().secsTo(begin)));
    QVector<ArchRecord> records;
    records.reserve(seconds);
    for (int i = 0; i < seconds; ++i)
        records.append(recorder.recordAt(first + i));

    MainWindow window;
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        std::fprintf(stderr, "the window was not exposed; replot figures may be off\n");
    while (window.runningOperation != MainWindow::Operation::None)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);

    // AIn1, Freq1, AOut1, Math1.
    const int indexes[4] = {1, 25, 61, 91};
    for (int i = 0; i < 4; ++i) {
        QSignalBlocker block(window.selectors.at(i));
        window.selectors.at(i)->setCurrentIndex(indexes[i]);
    }
    window.loadedRecords = records;
    window.periodBegin = begin;
    window.periodEnd = end;

    const double update = bench::bestOf(3, [&] { window.updateData(); });

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

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    PlotBench::run();
    return 0;
}
