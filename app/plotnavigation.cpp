#include "plotnavigation.h"

#include <cmath>

namespace {

double distance(const QPointF &a, const QPointF &b)
{
    return std::hypot(a.x() - b.x(), a.y() - b.y());
}

} // namespace

void PlotNavigation::setHome(double lower, double upper)
{
    homeLower = lower;
    homeUpper = upper;
    homeValues.clear();
    for (QCPAxis *axis : plot->axisRect()->axes(QCPAxis::atLeft | QCPAxis::atRight))
        homeValues.insert(axis, axis->range());
}

void PlotNavigation::resetView()
{
    if (homeUpper < homeLower)
        return;
    plot->xAxis->setRange(homeLower, homeUpper);
    for (auto it = homeValues.cbegin(); it != homeValues.cend(); ++it)
        it.key()->setRange(it.value());
    plot->replot();
}

QCPAxis *PlotNavigation::valueAxisAt(const QPointF &pos) const
{
    // A hidden axis keeps the place it was last drawn at: only shown ones.
    for (QCPAxis *axis : plot->axisRect()->axes(QCPAxis::atLeft | QCPAxis::atRight)) {
        if (axis->visible() && axis->selectTest(pos, false) >= 0)
            return axis;
    }
    return nullptr;
}

void PlotNavigation::startPan()
{
    pressRange = plot->xAxis->range();
}

void PlotNavigation::pan(double fromX, double toX)
{
    const double keysPerPixel = pressRange.size() / std::max(1, plot->axisRect()->width());
    const double shift = (fromX - toX) * keysPerPixel;
    plot->xAxis->setRange(pressRange.lower + shift, pressRange.upper + shift);
    plot->replot(QCustomPlot::rpQueuedReplot);
}

void PlotNavigation::startPinch(const QPointF &p1, const QPointF &p2)
{
    pressRange = plot->xAxis->range();
    pinchDistance = std::max(1.0, distance(p1, p2));
    pinchKey = keyAtPixel((p1.x() + p2.x()) / 2);
}

void PlotNavigation::pinch(const QPointF &p1, const QPointF &p2)
{
    const double centre = (p1.x() + p2.x()) / 2;
    const double spread = std::max(1.0, distance(p1, p2));
    const double size =
        qBound(kMinTimeSpan, pressRange.size() * pinchDistance / spread, kMaxTimeSpan);
    const double width = std::max(1, plot->axisRect()->width());
    const double lower = pinchKey - (centre - plot->axisRect()->left()) / width * size;
    plot->xAxis->setRange(lower, lower + size);
    plot->replot(QCustomPlot::rpQueuedReplot);
}

bool PlotNavigation::startAxisDrag(const QPointF &pos)
{
    draggedAxis = valueAxisAt(pos);
    if (draggedAxis)
        pressValues = draggedAxis->range();
    return draggedAxis != nullptr;
}

void PlotNavigation::dragAxis(double fromY, double toY)
{
    if (!draggedAxis)
        return;
    const double valuesPerPixel = pressValues.size() / std::max(1, plot->axisRect()->height());
    const double shift = (toY - fromY) * valuesPerPixel;
    draggedAxis->setRange(pressValues.lower + shift, pressValues.upper + shift);
    plot->replot(QCustomPlot::rpQueuedReplot);
}

void PlotNavigation::wheel(const QPointF &pos, double steps)
{
    if (QCPAxis *axis = valueAxisAt(pos)) {
        const double factor = std::pow(plot->axisRect()->rangeZoomFactor(Qt::Vertical), steps);
        axis->scaleRange(factor, axis->pixelToCoord(pos.y()));
    } else {
        const double size = plot->xAxis->range().size();
        const double factor =
            qBound(kMinTimeSpan,
                   size * std::pow(plot->axisRect()->rangeZoomFactor(Qt::Horizontal), steps),
                   kMaxTimeSpan) /
            size;
        plot->xAxis->scaleRange(factor, plot->xAxis->pixelToCoord(pos.x()));
    }
    plot->replot(QCustomPlot::rpQueuedReplot);
}
