#include "cursoritems.h"

#include <qcustomplot.h>

#include <cmath>

CursorItems::CursorItems(QCustomPlot *plot_) : plot(plot_)
{
    plot->addLayer(QStringLiteral("cursors"), plot->layer(QStringLiteral("legend")),
                   QCustomPlot::limAbove);
    layer = plot->layer(QStringLiteral("cursors"));
    layer->setMode(QCPLayer::lmBuffered);
    const QString names[2] = {QStringLiteral("A"), QStringLiteral("B")};
    for (int c = 0; c < 2; ++c) {
        QCPItemStraightLine *line = new QCPItemStraightLine(plot);
        line->setLayer(layer);
        QPen pen(QColor(20, 20, 20), 2, c == 0 ? Qt::SolidLine : Qt::DashLine);
        line->setPen(pen);
        line->setSelectable(false);
        for (QCPItemPosition *end : {line->point1, line->point2})
            end->setTypeY(QCPItemPosition::ptAxisRectRatio);
        QCPItemText *label = new QCPItemText(plot);
        label->setLayer(layer);
        label->setText(names[c]);
        label->setSelectable(false);
        label->position->setTypeY(QCPItemPosition::ptAxisRectRatio);
        label->setPositionAlignment(Qt::AlignTop | Qt::AlignHCenter);
        label->setPadding(QMargins(6, 2, 6, 2));
        label->setBrush(QBrush(Qt::white));
        label->setPen(QPen(pen.color(), 1));
        line->setVisible(false);
        label->setVisible(false);
        lines[c] = line;
        labels[c] = label;
    }
}

void CursorItems::show(const plot::Cursors &cursors)
{
    const plot::Cursor *each[2] = {&cursors.a, &cursors.b};
    for (int c = 0; c < 2; ++c) {
        const plot::Cursor &cursor = *each[c];
        if (cursor.shown) {
            lines[c]->point1->setCoords(cursor.key, 0.0);
            lines[c]->point2->setCoords(cursor.key, 1.0);
            labels[c]->position->setCoords(cursor.key, 0.0);
        }
        lines[c]->setVisible(cursor.shown);
        labels[c]->setVisible(cursor.shown);
    }
    layer->replot();
}

int CursorItems::cursorNear(const plot::Cursors &cursors, double x, int grabPixels) const
{
    const plot::Cursor *each[2] = {&cursors.a, &cursors.b};
    int nearest = -1;
    double best = grabPixels;
    for (int c = 0; c < 2; ++c) {
        if (!each[c]->shown)
            continue;
        const double d = std::fabs(plot->xAxis->coordToPixel(each[c]->key) - x);
        if (d <= best) {
            best = d;
            nearest = c;
        }
    }
    return nearest;
}

int CursorItems::labelNear(const plot::Cursors &cursors, const QPointF &pos, int grabPixels) const
{
    const plot::Cursor *each[2] = {&cursors.a, &cursors.b};
    int nearest = -1;
    double best = grabPixels;
    for (int c = 0; c < 2; ++c) {
        if (!each[c]->shown)
            continue;
        // 0 inside the label's filled box, else the distance to it.
        const double d = labels[c]->selectTest(pos, false);
        if (d >= 0 && d <= best) {
            best = d;
            nearest = c;
        }
    }
    return nearest;
}
