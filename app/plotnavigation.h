#ifndef PLOTNAVIGATION_H
#define PLOTNAVIGATION_H

#include <QHash>
#include <QPointF>

#include <qcustomplot.h>

// Moving the plot's view: panning and zooming the time axis, dragging and
// zooming a value axis, and going back to the view after the last rebuild.
// A drag or a pinch works from the ranges it started with, so that the
// view follows the finger and no step adds rounding to the next.
class PlotNavigation
{
public:
    // Zooming stops at a second across and at about three centuries.
    static constexpr double kMinTimeSpan = 1.0;
    static constexpr double kMaxTimeSpan = 1e10;

    explicit PlotNavigation(QCustomPlot *plot) : plot(plot) {}

    // The plot has been rebuilt for the period [lower, upper] (plot time
    // keys); the value axes hold their fitted ranges: that is the home view.
    void setHome(double lower, double upper);
    // Back to the home view.
    void resetView();

    // The time under a plot pixel column.
    double keyAtPixel(double x) const { return plot->xAxis->pixelToCoord(x); }
    // The shown value axis at a plot pixel, or none.
    QCPAxis *valueAxisAt(const QPointF &pos) const;

    // A pan from pixel column fromX of the range at its start to toX.
    void startPan();
    void pan(double fromX, double toX);
    // Two fingers at p1 and p2 zoom the time axis about their centre: the
    // time first under it stays under it.
    void startPinch(const QPointF &p1, const QPointF &p2);
    void pinch(const QPointF &p1, const QPointF &p2);
    // A drag along the value axis at pos moves that axis alone.
    bool startAxisDrag(const QPointF &pos);
    void dragAxis(double fromY, double toY);
    // The wheel over a value axis zooms that axis about the pointer;
    // anywhere else it zooms the time axis, so that no notch can take the
    // curves off the plot.
    void wheel(const QPointF &pos, double steps);

private:
    QCustomPlot *plot;
    double homeLower = 0.0;
    double homeUpper = -1.0;
    // Every value axis' range after the last rebuild.
    QHash<QCPAxis *, QCPRange> homeValues;
    // What a gesture started with.
    QCPRange pressRange;
    QCPAxis *draggedAxis = nullptr;
    QCPRange pressValues;
    double pinchDistance = 1.0;
    double pinchKey = 0.0;
};

#endif // PLOTNAVIGATION_H
