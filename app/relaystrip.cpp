#include "relaystrip.h"

#include <QFontMetricsF>
#include <QPainter>

#include <qcustomplot.h>

#include <cmath>

RelayStrip::RelayStrip(QCustomPlot *plot_, const plot::Cursors &cursors_, QWidget *parent)
    : QWidget(parent), plot(plot_), cursors(cursors_)
{
    setObjectName(QStringLiteral("relayStrip"));
    setAccessibleDescription(QStringLiteral("Реле на оси времени графика"));
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    QFont laneFont(QStringLiteral("Open Sans"));
    laneFont.setPixelSize(kLaneHeight - 3);
    setFont(laneFont);
    // A replot follows every pan, zoom and new layout of the axis rect.
    connect(plot, &QCustomPlot::afterReplot, this, [this] { update(); });
    hide();
}

void RelayStrip::setLanes(const QVector<StripLane> &lanes)
{
    shown = lanes;
    QStringList names;
    for (const StripLane &lane : lanes)
        names << lane.name;
    setAccessibleName(names.join(QStringLiteral(", ")));
    setFixedHeight(sizeHint().height());
    setVisible(!lanes.isEmpty());
    updateGeometry();
    update();
}

QSize RelayStrip::sizeHint() const
{
    return QSize(100, shown.isEmpty() ? 0 : int(shown.size()) * kLaneHeight + 2);
}

void RelayStrip::paintEvent(QPaintEvent *)
{
    if (!plot || shown.isEmpty())
        return;
    QPainter painter(this);
    // The strip and the plot share the grid's column: the axis rect's x is
    // the lanes' x.
    const QRect axisRect = plot->axisRect()->rect();
    const int left = mapFromGlobal(plot->mapToGlobal(axisRect.topLeft())).x();
    const QCPRange range = plot->xAxis->range();
    paintLanes(painter, QRectF(rect()), left, left + axisRect.width(), range.lower, range.upper,
               shown, cursors, font());
}

void RelayStrip::paintLanes(QPainter &painter, const QRectF &area, qreal laneLeft, qreal laneRight,
                            double lower, double upper, const QVector<StripLane> &lanes,
                            const plot::Cursors &cursors, const QFont &font)
{
    if (lanes.isEmpty() || !(laneRight > laneLeft))
        return;
    painter.save();
    const qreal laneHeight = area.height() / lanes.size();
    const QColor ink(30, 30, 30);
    const QColor on = laneColour();
    QColor both = on;
    both.setAlpha(170);
    const qreal hairline = std::max<qreal>(1.0, laneHeight / 14.0);
    // One column a device pixel: what the screen can show, and on paper as
    // fine as a line is drawn.
    const int columns = std::max(1, int(std::ceil(laneRight - laneLeft)));
    const qreal columnWidth = (laneRight - laneLeft) / columns;
    painter.setFont(font);
    const QFontMetricsF metrics(font, painter.device());
    const qreal nameWidth = std::max<qreal>(0, laneLeft - area.left() - hairline * 4);
    for (int i = 0; i < lanes.size(); ++i) {
        const qreal top = area.top() + i * laneHeight;
        const QRectF row(laneLeft, top + laneHeight * 0.15, laneRight - laneLeft, laneHeight * 0.7);
        painter.setPen(ink);
        painter.drawText(QRectF(area.left(), top, nameWidth, laneHeight),
                         Qt::AlignRight | Qt::AlignVCenter,
                         metrics.elidedText(lanes.at(i).name, Qt::ElideRight, nameWidth));
        const QVector<plot::LaneColumn> shown =
            plot::laneColumns(lanes.at(i).lane, lower, upper, columns);
        for (const plot::LaneSpan &span : plot::laneSpans(shown)) {
            const qreal x0 = laneLeft + span.first * columnWidth;
            const qreal x1 = laneLeft + (span.last + 1) * columnWidth;
            // Off is the base line alone; on fills the lane; a column that
            // holds both is filled lighter over the base line.
            if (span.shown != plot::LaneColumn::Off)
                painter.fillRect(QRectF(x0, row.top(), x1 - x0, row.height()),
                                 span.shown == plot::LaneColumn::On ? on : both);
            painter.fillRect(QRectF(x0, row.bottom() - hairline, x1 - x0, hairline), on);
        }
    }
    // The cursors through every lane, as through the plot.
    painter.setPen(QPen(ink, hairline, Qt::DashLine));
    for (const plot::Cursor *cursor : {&cursors.a, &cursors.b}) {
        if (!cursor->shown || cursor->key < lower || cursor->key > upper)
            continue;
        const qreal x = laneLeft + (cursor->key - lower) / (upper - lower) * (laneRight - laneLeft);
        painter.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
    }
    painter.restore();
}
