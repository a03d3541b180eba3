#ifndef LANEREADOUT_H
#define LANEREADOUT_H

#include "plotcursor.h"
#include "relaystrip.h"

#include <QStringList>
#include <QVector>
#include <QWidget>

class QGridLayout;
class QLabel;
class QPushButton;
class QScrollArea;

// What the readout says of one lane: its state at the cursors, and its time
// on and switchings in the range of the statistics.
struct LaneReading
{
    QString name;
    QString atA, atB; // empty for a cursor not placed
    QString onTime, onShare, switchings;

    // The lane's texts for the cursors and the range [lower, upper].
    static LaneReading of(const StripLane &lane, const plot::Cursors &cursors, double lower,
                          double upper);
};

// The lanes' rows under the curves' readout: "РЕЛЕ", which chooses the
// lanes, over a row per lane with the relay's state at A and B, its time on
// and share of the time with records, and its switchings, of the visible
// range or between A and B as for the curves. A few rows are in sight and
// the rest scroll, by finger too, so that eight lanes leave the plot its
// room. Labels are named by the texts they show.
class LaneReadout : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kVisibleRows = 2;

    explicit LaneReadout(QWidget *parent = nullptr);

    QPushButton *chooseButton() const { return choose; }

    void showReadings(const QVector<LaneReading> &lanes, bool hasA, bool hasB, bool betweenCursors);
    // The headings of the time-on, share and switchings columns.
    static QStringList headings(bool betweenCursors);

private:
    enum Column { Name, AtA, AtB, OnTime, OnShare, Switchings, Columns };

    QLabel *cell(int row, int column);

    QPushButton *choose;
    QGridLayout *top;
    QLabel *header[Columns];
    QScrollArea *scroll;
    QWidget *rowsWidget;
    QGridLayout *rows;
    QVector<QVector<QLabel *>> cells;
};

#endif // LANEREADOUT_H
