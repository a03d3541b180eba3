#ifndef PLOTCURSORS_H
#define PLOTCURSORS_H

#include "channels.h"
#include "cursorreadout.h"
#include "plotcursor.h"
#include "plotseries.h"

#include <QColor>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QTimer>
#include <QVector>

#include <qcustomplot.h>

class QGridLayout;
class QMouseEvent;
class QTouchEvent;
class QWheelEvent;

// Reading values off the plot: two vertical cursors on a layer of their
// own, the readout strip under the plot, and the plot's touch navigation.
//
// A tap or click that is not a drag places cursor A (cursor B while the
// readout's "Δ" toggle is on); a drag starting on a cursor moves it, any
// other drag pans the time axis; two fingers or the wheel zoom the time
// axis about their centre; a drag or the wheel over a value axis moves or
// zooms that axis alone; a double tap or click goes back to the view after
// the last rebuild. Moving a cursor redraws only the cursor layer.
class PlotCursors : public QObject
{
    Q_OBJECT

public:
    enum Cursor { A, B };
    // A finger is wider than it looks on the screen, a mouse pointer is not.
    static constexpr int kTouchGrabPixels = 20;
    static constexpr int kMouseGrabPixels = 8;

    PlotCursors(QCustomPlot *plot, const QList<QColor> &colours, QObject *parent = nullptr);
    ~PlotCursors() override;

    CursorReadout *readout() const { return readoutWidget; }
    // Puts the readout under the plot, in row `row` and column `column` of
    // the window's grid, the side column spanning both rows, and lowers
    // the plot's minimum height by the readout's, so that the window keeps
    // its minimum size.
    void placeReadout(QGridLayout *grid, int row, int column, QWidget *sideColumn);

    // The plot has been rebuilt from these series, one per selector, of
    // these channels (KindNone: the selector has no curve), for the loaded
    // period [periodLower, periodUpper] (plot time keys); the value axis
    // axes hold the ranges fitted to them. A cursor outside the period goes.
    void setCurves(const QList<plot::Series> &series, const QVector<Channel> &channels,
                   double periodLower, double periodUpper);

    bool hasCursor(Cursor cursor) const { return cursors[cursor].shown; }
    double cursorTime(Cursor cursor) const { return cursors[cursor].key; }
    // Places a cursor at a time inside the loaded period (whole seconds, as
    // the recorder logs them); a time outside it places nothing.
    bool placeCursor(Cursor cursor, double key);
    // Back to the loaded period and the value ranges after the last rebuild.
    void resetView();
    // What the readout shows of each curve, in selector order, and the
    // headings of its statistics: the printed page's legend says the same.
    QVector<CurveReading> readings() const;
    QStringList statisticsHeadings() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private slots:
    void updateStatistics();
    // The time range moved: the statistics follow a few times a second, not
    // in every frame of a pan or zoom.
    void scheduleStatistics();
    void onCursorBToggled(bool on);

private:
    struct CursorLine
    {
        bool shown = false;
        double key = 0.0;
        QCPItemStraightLine *line = nullptr;
        QCPItemText *label = nullptr;
    };
    struct CursorState
    {
        bool shownA, shownB;
        double keyA, keyB;
    };
    enum class Gesture { None, Tap, DragCursor, Pan, Pinch, DragAxis };

    bool mouseEvent(QMouseEvent *event);
    bool touchEvent(QTouchEvent *event);
    bool wheelEvent(QWheelEvent *event);
    // The shown value axis at a plot pixel, or none.
    QCPAxis *valueAxisAt(const QPointF &pos) const;
    void dragAxis(double fromY, double toY);
    // A tap at pos; one on a cursor line only counts towards a double tap.
    void tap(const QPointF &pos, bool placing);
    void doubleTap();
    int cursorNear(double x, int grabPixels) const;
    double keyAtPixel(double x) const;
    void moveCursor(Cursor cursor, double key);
    void removeCursor(Cursor cursor);
    void redrawCursors();
    void refreshReadout();
    // Brings `stats` up to the range and cursors, if they moved since.
    void computeStatistics() const;
    CursorState state() const;
    void restore(const CursorState &saved);
    void pan(double fromX, double toX);
    void pinch(const QPointF &p1, const QPointF &p2);

    QCustomPlot *plot;
    QCPLayer *layer;
    QPointer<CursorReadout> readoutWidget;
    QList<QColor> colours;

    QList<plot::Series> curves;
    QStringList tags;
    mutable QVector<plot::RangeStats> stats;
    mutable bool statsOfSamples = false; // ... of the samples behind interval means
    mutable bool statsPending = false;   // the range moved since they were taken
    QTimer statsTimer;
    double periodLower = 0.0;
    double periodUpper = -1.0;
    // Every value axis' range after the last rebuild.
    QHash<QCPAxis *, QCPRange> homeValues;
    CursorLine cursors[2];

    // The gesture under way, mouse or touch, and where it started.
    Gesture gesture = Gesture::None;
    int draggedCursor = -1;
    QCPAxis *draggedAxis = nullptr;
    QCPRange pressValues;
    QPointF pressPos;
    QCPRange pressRange;
    double pinchDistance = 1.0;
    double pinchKey = 0.0;
    CursorState beforeGesture{};
    bool ignoreRelease = false;
    // The last tap, for telling a double tap, and the cursors before it, so
    // that a double tap leaves them as they were.
    QElapsedTimer lastTapTime;
    QPointF lastTapPos;
    CursorState beforeLastTap{};
};

#endif // PLOTCURSORS_H
