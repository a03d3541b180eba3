#ifndef PLOTCURSORS_H
#define PLOTCURSORS_H

#include "channels.h"
#include "cursoritems.h"
#include "cursorreadout.h"
#include "plotcursor.h"
#include "plotgestures.h"
#include "plotnavigation.h"
#include "plotseries.h"

#include <QColor>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QVector>

class QCPAxis;
class QCustomPlot;

// Reading values off the plot: the two cursors, the readout strip under
// the plot, and what the plot's gestures mean.
//
// A tap or click places cursor A (cursor B while the readout's "Δ" toggle
// is on); a drag on a cursor moves it, any other drag pans the time axis;
// two fingers or the wheel zoom the time axis about their centre; a drag or
// the wheel over a value axis moves or zooms that axis alone; a double tap
// or click goes back to the view after the last rebuild and leaves the
// cursors as the first tap found them. The cursors are the view model's:
// this object moves them and draws them, and the window reads them there.
class PlotCursors : public QObject, private PlotGestures::Target
{
    Q_OBJECT

public:
    enum Cursor { A, B };

    // `cursors` is where the cursors are kept; it outlives this object.
    PlotCursors(QCustomPlot *plot, plot::Cursors &cursors, const QList<QColor> &colours,
                QObject *parent = nullptr);
    ~PlotCursors() override;

    // The readout, for the window to place under the plot.
    CursorReadout *readout() const { return readoutWidget; }

    // The plot has been rebuilt from these series, one per selector, of
    // these channels (KindNone: the selector has no curve), for the loaded
    // period [periodLower, periodUpper] (plot time keys); the value axes
    // hold the ranges fitted to them. A cursor outside the period goes.
    void setCurves(const QList<plot::Series> &series, const QVector<Channel> &channels,
                   double periodLower, double periodUpper);

    // The names the readout gives the selectors' curves, in selector
    // order; an empty one leaves the channel's tag.
    void setCurveNames(const QStringList &names) { curveNames = names; }

    // The value axis each selector's curve is drawn on (null: none), whose
    // ticks set the decimals the readout gives its values.
    void setValueAxes(const QVector<QCPAxis *> &axes);

    bool hasCursor(Cursor cursor) const { return cursorOf(cursor).shown; }
    double cursorTime(Cursor cursor) const { return cursorOf(cursor).key; }
    // Places a cursor at a time inside the loaded period (whole seconds, as
    // the recorder logs them); a time outside it places nothing.
    bool placeCursor(Cursor cursor, double key);
    // Cursor B as the operator left it in an earlier session: wanted, it
    // comes with the first cursor A placed, where the toggle would put it.
    void wantCursorB(bool wanted);
    // Whether B is placed, or comes with the next A as wanted above.
    bool cursorBWanted() const { return cursors.b.shown || bWanted; }
    // Back to the loaded period and the value ranges after the last rebuild.
    void resetView() { navigation.resetView(); }
    // What the readout shows of each curve, in selector order, and the
    // headings of its statistics: the printed page's legend says the same.
    QVector<CurveReading> readings() const;
    QStringList statisticsHeadings() const;

signals:
    // The cursors, the range or the curves changed and the readout has
    // been brought up to them: what reads the same range follows.
    void readingsChanged();

private slots:
    void updateStatistics();
    // The time range moved: the statistics follow a few times a second, not
    // in every frame of a pan or zoom.
    void scheduleStatistics();
    void onCursorBToggled(bool on);

private:
    // The decimals of the values on `axis`; -1 without one.
    static int decimalsOf(QCPAxis *axis);

    bool bWanted = false;
    QVector<QPointer<QCPAxis>> valueAxes;
    const plot::Cursor &cursorOf(Cursor cursor) const
    {
        return cursor == A ? cursors.a : cursors.b;
    }
    plot::Cursor &cursorOf(Cursor cursor) { return cursor == A ? cursors.a : cursors.b; }
    void moveCursor(Cursor cursor, double key);
    void removeCursor(Cursor cursor);
    void setCursorBChecked(bool on);
    void redrawCursors();
    // Brings `stats` up to the range and cursors, if they moved since.
    void computeStatistics() const;

    // What the gestures mean (PlotGestures::Target).
    int cursorNear(double x, int grabPixels) const override;
    bool startAxisDrag(const QPointF &pos) override { return navigation.startAxisDrag(pos); }
    void dragAxis(double fromY, double toY) override { navigation.dragAxis(fromY, toY); }
    void dragCursor(int cursor, double x) override;
    void startTouch() override;
    void restoreCursors() override { restore(beforeGesture); }
    void pan(double fromX, double toX) override { navigation.pan(fromX, toX); }
    void startPinch(const QPointF &p1, const QPointF &p2) override;
    void pinch(const QPointF &p1, const QPointF &p2) override { navigation.pinch(p1, p2); }
    void tap(const QPointF &pos, bool placing) override;
    void doubleTap() override;
    void markCursors() override { beforeLastTap = cursors; }
    void wheel(const QPointF &pos, double steps) override { navigation.wheel(pos, steps); }
    void restore(const plot::Cursors &saved);

    QCustomPlot *plot;
    plot::Cursors &cursors;
    CursorItems items;
    PlotNavigation navigation;
    PlotGestures *gestures;
    QPointer<CursorReadout> readoutWidget;
    QList<QColor> colours;

    QList<plot::Series> curves;
    QStringList tags;
    QStringList curveNames;
    mutable QVector<plot::RangeStats> stats;
    mutable bool statsOfSamples = false; // ... of the samples behind interval means
    mutable bool statsPending = false;   // the range moved since they were taken
    QTimer statsTimer;
    double periodLower = 0.0;
    double periodUpper = -1.0;

    // The cursors when the touch began, and before the last tap, so that a
    // cancelled touch or a double tap leaves them as they were.
    plot::Cursors beforeGesture;
    plot::Cursors beforeLastTap;
};

#endif // PLOTCURSORS_H
