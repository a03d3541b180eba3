#ifndef PLOTBENCH_H
#define PLOTBENCH_H

#include "archrecord.h"
#include "recordseries.h"

#include <QDateTime>
#include <QVector>

class MainWindow;

// What the plot benchmarks share: a week of one record per second carrying
// every channel, and a shown window with four channels selected and that
// week loaded and drawn, handed to it through the window's probe as a
// finished load would hand it.
class PlotBench
{
public:
    static constexpr int kSeconds = 7 * 24 * 3600;
    // AIn1, Freq1, AOut1, Math1.
    static constexpr int kIndexes[4] = {1, 25, 61, 91};

    struct Week
    {
        QDateTime begin;
        QDateTime end;
        archive::RecordSeries records;
    };
    // The week ending now.
    static Week week();
    // Shows the window, waits for its start-up load to end, then selects
    // the four channels and hands it the week as its last load.
    static void prepare(MainWindow &window, const Week &week);

    // The benchmark itself, one per program; main runs it in a widget
    // application (offscreen when there is no display).
    static void run();
};

#endif // PLOTBENCH_H
