#include "plotbench.h"

#include "mainwindowprobe.h"

#include "archformat.h"
#include "simulatedrecorder.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QTest>

#include <cstdio>

constexpr int PlotBench::kIndexes[4];

PlotBench::Week PlotBench::week()
{
    Week week;
    week.end = QDateTime::currentDateTime();
    week.begin = week.end.addSecs(-kSeconds);
    const SimulatedRecorder recorder(ChannelSet::full());
    const qint32 first = qint32(quint32(archive::archiveEpoch().secsTo(week.begin)));
    QVector<ArchRecord> records;
    records.reserve(kSeconds);
    for (int i = 0; i < kSeconds; ++i)
        records.append(recorder.recordAt(first + i));
    week.records = records;
    return week;
}

void PlotBench::prepare(MainWindow &window, const Week &week)
{
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        std::fprintf(stderr, "the window was not exposed; drawing figures may be off\n");
    MainWindow::Probe probe(window);
    while (probe.running() != MainWindow::Operation::None)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);

    probe.chooseChannels(QVector<int>(std::begin(kIndexes), std::end(kIndexes)));
    probe.setPeriod(week.begin, week.end);
    probe.finishLoad(week.records);
}

// Each plot benchmark is one PlotBench::run.
int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    PlotBench::run();
    return 0;
}
