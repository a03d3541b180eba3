#ifndef CURSORREADOUT_H
#define CURSORREADOUT_H

#include "channeltable.h"
#include "plotcursor.h"

#include <QColor>
#include <QVector>
#include <QWidget>

class QGridLayout;
class QLabel;
class QPushButton;

// What the readout shows of one selector's curve; an empty tag is a
// selector without a curve.
struct CurveReading
{
    QString tag;
    QString name; // the operator's name of the channel; empty: the tag is shown
    QColor colour;
    plot::PointReading atA; // at cursor A, when it is placed
    plot::PointReading atB;
    plot::RangeStats stats;
    // Decimals of every value of the curve (plot::readoutDecimals of its
    // value axis); negative: as many as the recorder's float needs.
    int decimals = -1;
};

// The strip under the plot that reads the curves off: the cursor times and
// their distance, and per curve (in its selector's colour) the values at
// the cursors, their difference and the statistics of the visible range.
// Plain labels, so that screen readers and UI automation read the same
// texts the operator sees: a label's accessible name is the text it shows,
// and its accessible description says what that text is.
class CursorReadout : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kCurves = archive::kCurveCount;

    explicit CursorReadout(QWidget *parent = nullptr);

    // The toggle that adds cursor B.
    QPushButton *cursorBButton() const { return bButton; }
    // "СБРОС": takes cursors A and B away.
    QPushButton *clearButton() const { return clear; }
    // "СЛЕДИТЬ": the period keeps up with the recorder; and the steps of
    // the period back and forward by its length.
    QPushButton *followButton() const { return follow; }
    QPushButton *backButton() const { return back; }
    QPushButton *forwardButton() const { return forward; }
    // The toggle between one value axis for all curves (off) and one value
    // axis per curve, in its colour and fitted to it alone (on).
    QPushButton *axesButton() const { return axesToggle; }
    // "ПЕРИОД = ЭКРАН": the visible range becomes the period.
    QPushButton *viewPeriodButton() const { return viewPeriod; }

    // hasA/hasB say which cursors are shown; times are plot time keys.
    void showReadings(bool hasA, double timeA, bool hasB, double timeB,
                      const QVector<CurveReading> &curves);
    // What the statistics are of: the extremes of the samples behind
    // interval means, and the stretch between the cursors instead of the
    // visible range.
    void setStatisticsHeadings(bool ofSamples, bool betweenCursors);

    // The texts the readout gives a curve, also on the printed page.
    struct Texts
    {
        QString atA, atB, delta, minimum, mean, maximum;
    };
    static Texts texts(const CurveReading &reading);
    // The headings of the minimum, mean and maximum columns.
    static QStringList statisticsHeadings(bool ofSamples, bool betweenCursors);

private:
    enum Column { Tag, AtA, AtB, Delta, Minimum, Mean, Maximum, Columns };

    QLabel *addLabel(const QString &objectName, const QString &role);

    QGridLayout *table;
    QPushButton *bButton;
    QPushButton *clear;
    QPushButton *viewPeriod;
    QPushButton *axesToggle;
    QPushButton *follow;
    QPushButton *back;
    QPushButton *forward;
    QLabel *timeA;
    QLabel *timeB;
    QLabel *span;
    QLabel *header[Columns];
    QLabel *cells[kCurves][Columns];
};

#endif // CURSORREADOUT_H
