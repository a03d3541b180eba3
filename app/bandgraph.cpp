#include "bandgraph.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

BandGraph::BandGraph(QCPAxis *keyAxis, QCPAxis *valueAxis) : QCPGraph(keyAxis, valueAxis) {}

void BandGraph::draw(QCPPainter *painter)
{
    QCPGraph *lowEdge = channelFillGraph();
    QCPAxis *keys = keyAxis();
    QCPAxis *values = valueAxis();
    if (!lowEdge || !keys || !values || keys->orientation() != Qt::Horizontal ||
        keys->range().size() <= 0 || brush().style() == Qt::NoBrush)
        return;
    const QRect area = keys->axisRect()->rect();
    const int columns = area.width();
    if (columns <= 0 || area.height() <= 0)
        return;

    // The pixel rows each column spans, as doubles; empty while top > bottom.
    const double infinity = std::numeric_limits<double>::infinity();
    std::vector<double> top(size_t(columns), infinity);
    std::vector<double> bottom(size_t(columns), -infinity);
    const auto extend = [&](int c, double y1, double y2) {
        top[size_t(c)] = std::min(top[size_t(c)], std::min(y1, y2));
        bottom[size_t(c)] = std::max(bottom[size_t(c)], std::max(y1, y2));
    };

    // From the point before the range to the one after it; the low edge's
    // points are those of the same keys.
    const QSharedPointer<QCPGraphDataContainer> highs = data();
    const QSharedPointer<QCPGraphDataContainer> lows = lowEdge->data();
    const QCPRange range = keys->range();
    const int count = std::min(highs->size(), lows->size());
    const int first = int(highs->findBegin(range.lower) - highs->constBegin());
    const int last = std::min(count, int(highs->findEnd(range.upper) - highs->constBegin()));
    const double left = area.left();
    bool previous = false;
    double px = 0, pLow = 0, pHigh = 0;
    for (int i = first; i < last; ++i) {
        const QCPGraphData &high = *(highs->constBegin() + i);
        const double lowValue = (lows->constBegin() + i)->value;
        if (std::isnan(high.value) || std::isnan(lowValue)) {
            previous = false;
            continue;
        }
        // Columns relative to the area's left edge; a column's centre is
        // half a pixel right of its left edge.
        const double x = keys->coordToPixel(high.key) - left;
        const double yLow = values->coordToPixel(lowValue);
        const double yHigh = values->coordToPixel(high.value);
        const double column = std::floor(x);
        if (column >= 0 && column < columns)
            extend(int(column), yLow, yHigh);
        if (previous && x > px) {
            // The band between the two points at each column centre between them.
            const int from = int(std::max(0.0, std::ceil(px - 0.5)));
            const int to = int(std::min(columns - 1.0, std::floor(x - 0.5)));
            for (int c = from; c <= to; ++c) {
                const double t = (c + 0.5 - px) / (x - px);
                extend(c, pLow + t * (yLow - pLow), pHigh + t * (yHigh - pHigh));
            }
        }
        previous = true;
        px = x;
        pLow = yLow;
        pHigh = yHigh;
    }

    // Each filled column spans the rows of its top and its bottom pixel;
    // a run of columns spanning the same rows is one rectangle.
    QVector<QRect> rects;
    const double above = area.top() - 1.0;
    const double below = area.bottom() + 1.0;
    int runStart = 0, runTop = 0, runBottom = -1;
    const auto endRun = [&](int c) {
        if (runBottom >= runTop)
            rects.append(
                QRect(area.left() + runStart, runTop, c - runStart, runBottom - runTop + 1));
    };
    for (int c = 0; c < columns; ++c) {
        int rowTop = 0, rowBottom = -1;
        if (top[size_t(c)] <= bottom[size_t(c)] && bottom[size_t(c)] >= above &&
            top[size_t(c)] <= below) {
            rowTop = int(std::floor(std::max(above, top[size_t(c)])));
            rowBottom = int(std::floor(std::min(below, bottom[size_t(c)])));
        }
        if (rowTop != runTop || rowBottom != runBottom) {
            endRun(c);
            runStart = c;
            runTop = rowTop;
            runBottom = rowBottom;
        }
    }
    endRun(columns);
    if (rects.isEmpty())
        return;
    painter->setAntialiasing(false);
    painter->setPen(Qt::NoPen);
    painter->setBrush(brush());
    painter->drawRects(rects);
}
