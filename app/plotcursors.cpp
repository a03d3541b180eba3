#include "plotcursors.h"

#include "cursorreadout.h"
#include "plotcursor.h"

#include <QGridLayout>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyleHints>
#include <QTouchEvent>
#include <QWheelEvent>

#include <cmath>

namespace {

// Two taps further apart than this are two taps, not a double tap.
constexpr double kDoubleTapPixels = 40.0;
// QCustomPlot's own notion of a click: a press that moved at most this far.
constexpr int kMouseClickPixels = 3;
// Zooming stops at a second across and at about three centuries.
constexpr double kMinTimeSpan = 1.0;
constexpr double kMaxTimeSpan = 1e10;

double distance(const QPointF &a, const QPointF &b)
{
    return std::hypot(a.x() - b.x(), a.y() - b.y());
}

// Event positions in the receiving widget, under the names each Qt gives
// them (Qt 6 renamed them and made touch points QEventPoint).
QPointF positionOf(const QMouseEvent *event)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    return event->position();
#else
    return event->localPos();
#endif
}

QPointF positionOf(const QWheelEvent *event)
{
#if QT_VERSION >= QT_VERSION_CHECK(5, 14, 0)
    return event->position();
#else
    return event->posF();
#endif
}

QPointF positionOf(const QTouchEvent::TouchPoint &point)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    return point.position();
#else
    return point.pos();
#endif
}

bool released(const QTouchEvent::TouchPoint &point)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    return point.state() == QEventPoint::Released;
#else
    return point.state() == Qt::TouchPointReleased;
#endif
}

const QList<QTouchEvent::TouchPoint> &pointsOf(const QTouchEvent *event)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    return event->points();
#else
    return event->touchPoints();
#endif
}

} // namespace

PlotCursors::PlotCursors(QCustomPlot *plot_, const QList<QColor> &colours_, QObject *parent)
    : QObject(parent), plot(plot_), colours(colours_)
{
    setObjectName(QStringLiteral("plotCursors"));
    // Buffered on its own, the layer is redrawn alone while a cursor moves
    // and the graphs' buffer is only put on the screen again.
    plot->addLayer(QStringLiteral("cursors"), plot->layer(QStringLiteral("legend")),
                   QCustomPlot::limAbove);
    layer = plot->layer(QStringLiteral("cursors"));
    layer->setMode(QCPLayer::lmBuffered);
    const QString names[2] = {QStringLiteral("A"), QStringLiteral("B")};
    for (int c = 0; c < 2; ++c) {
        CursorLine &cursor = cursors[c];
        cursor.line = new QCPItemStraightLine(plot);
        cursor.line->setLayer(layer);
        QPen pen(QColor(20, 20, 20), 2, c == A ? Qt::SolidLine : Qt::DashLine);
        cursor.line->setPen(pen);
        cursor.line->setSelectable(false);
        for (QCPItemPosition *end : {cursor.line->point1, cursor.line->point2})
            end->setTypeY(QCPItemPosition::ptAxisRectRatio);
        cursor.label = new QCPItemText(plot);
        cursor.label->setLayer(layer);
        cursor.label->setText(names[c]);
        cursor.label->setSelectable(false);
        cursor.label->position->setTypeY(QCPItemPosition::ptAxisRectRatio);
        cursor.label->setPositionAlignment(Qt::AlignTop | Qt::AlignHCenter);
        cursor.label->setPadding(QMargins(6, 2, 6, 2));
        cursor.label->setBrush(QBrush(Qt::white));
        cursor.label->setPen(QPen(pen.color(), 1));
        cursor.line->setVisible(false);
        cursor.label->setVisible(false);
    }

    readoutWidget = new CursorReadout;
    connect(readoutWidget->cursorBButton(), SIGNAL(toggled(bool)), this,
            SLOT(onCursorBToggled(bool)));
    // A week's statistics take a few milliseconds of a frame's sixteen.
    statsTimer.setSingleShot(true);
    statsTimer.setInterval(80);
    connect(&statsTimer, SIGNAL(timeout()), this, SLOT(updateStatistics()));
    connect(plot->xAxis, SIGNAL(rangeChanged(QCPRange)), this, SLOT(scheduleStatistics()));

    plot->setAttribute(Qt::WA_AcceptTouchEvents);
    plot->installEventFilter(this);
}

PlotCursors::~PlotCursors()
{
    // Placed in the window, the readout goes with the window's widgets.
    if (readoutWidget && !readoutWidget->parent())
        delete readoutWidget;
}

void PlotCursors::placeReadout(QGridLayout *grid, int row, int column, QWidget *sideColumn)
{
    const int shift = readoutWidget->sizeHint().height() + grid->verticalSpacing();
    plot->setMinimumHeight(std::max(0, plot->minimumHeight() - shift));
    int sideRow, sideColumnIndex, rowSpan, columnSpan;
    grid->getItemPosition(grid->indexOf(sideColumn), &sideRow, &sideColumnIndex, &rowSpan,
                          &columnSpan);
    grid->removeWidget(sideColumn);
    grid->addWidget(sideColumn, sideRow, sideColumnIndex, row - sideRow + 1, columnSpan);
    grid->addWidget(readoutWidget, row, column);
}

void PlotCursors::setCurves(const QList<plot::Series> &series, const QVector<Channel> &channels,
                            double lower, double upper)
{
    curves = series;
    tags.clear();
    for (const Channel &channel : channels)
        tags << channelTag(channel);
    periodLower = lower;
    periodUpper = upper;
    homeValues.clear();
    for (QCPAxis *axis : plot->axisRect()->axes(QCPAxis::atLeft | QCPAxis::atRight))
        homeValues.insert(axis, axis->range());
    for (Cursor c : {B, A}) {
        if (cursors[c].shown && (cursors[c].key < lower || cursors[c].key > upper))
            removeCursor(c);
    }
    updateStatistics();
}

bool PlotCursors::placeCursor(Cursor cursor, double key)
{
    if (!(key >= periodLower && key <= periodUpper))
        return false;
    if (cursor == B && !cursors[A].shown)
        return false;
    moveCursor(cursor, key);
    return true;
}

void PlotCursors::moveCursor(Cursor cursor, double key)
{
    // The recorder logs whole seconds; a cursor between them would show a
    // time whose value belongs to the second before it.
    key = qBound(std::ceil(periodLower), std::floor(key), std::floor(periodUpper));
    CursorLine &c = cursors[cursor];
    c.shown = true;
    c.key = key;
    c.line->point1->setCoords(key, 0.0);
    c.line->point2->setCoords(key, 1.0);
    c.label->position->setCoords(key, 0.0);
    if (cursor == B && !readoutWidget->cursorBButton()->isChecked()) {
        QSignalBlocker block(readoutWidget->cursorBButton());
        readoutWidget->cursorBButton()->setChecked(true);
    }
    redrawCursors();
}

void PlotCursors::removeCursor(Cursor cursor)
{
    if (cursor == A && cursors[B].shown)
        removeCursor(B);
    cursors[cursor].shown = false;
    if (cursor == B) {
        QSignalBlocker block(readoutWidget->cursorBButton());
        readoutWidget->cursorBButton()->setChecked(false);
    }
    redrawCursors();
}

void PlotCursors::redrawCursors()
{
    for (const CursorLine &c : cursors) {
        c.line->setVisible(c.shown);
        c.label->setVisible(c.shown);
    }
    layer->replot();
    // Both cursors placed: the statistics are of the stretch between them.
    updateStatistics();
}

void PlotCursors::computeStatistics() const
{
    QCPRange range = plot->xAxis->range();
    if (cursors[A].shown && cursors[B].shown)
        range = QCPRange(std::min(cursors[A].key, cursors[B].key),
                         std::max(cursors[A].key, cursors[B].key));
    stats.resize(curves.size());
    bool ofSamples = false;
    for (int i = 0; i < curves.size(); ++i) {
        stats[i] = plot::rangeStats(curves.at(i), range.lower, range.upper);
        ofSamples = ofSamples || !curves.at(i).lows.isEmpty();
    }
    statsOfSamples = ofSamples;
    statsPending = false;
}

void PlotCursors::updateStatistics()
{
    statsTimer.stop();
    computeStatistics();
    readoutWidget->setStatisticsHeadings(statsOfSamples, cursors[A].shown && cursors[B].shown);
    refreshReadout();
}

void PlotCursors::scheduleStatistics()
{
    // Between two cursors the statistics do not depend on the range shown.
    if (cursors[A].shown && cursors[B].shown)
        return;
    statsPending = true;
    if (!statsTimer.isActive())
        statsTimer.start();
}

QStringList PlotCursors::statisticsHeadings() const
{
    if (statsPending)
        computeStatistics();
    return CursorReadout::statisticsHeadings(statsOfSamples, cursors[A].shown && cursors[B].shown);
}

QVector<CurveReading> PlotCursors::readings() const
{
    if (statsPending)
        computeStatistics();
    QVector<CurveReading> readings(tags.size());
    for (int i = 0; i < tags.size(); ++i) {
        CurveReading &r = readings[i];
        r.tag = tags.at(i);
        r.colour = colours.value(i);
        const plot::Series series = curves.value(i);
        const auto read = [&series](double key, double &value, bool &gap, double &lastKey,
                                    double &low, double &high) {
            const int k = plot::indexAtOrBefore(series.keys, key);
            value = k < 0 ? std::numeric_limits<double>::quiet_NaN() : series.values.at(k);
            lastKey = k < 0 ? 0 : series.keys.at(k);
            gap = plot::inGap(series, key);
            if (k >= 0 && !series.lows.isEmpty()) {
                low = series.lows.at(k);
                high = series.highs.at(k);
            }
        };
        if (cursors[A].shown)
            read(cursors[A].key, r.atA, r.gapA, r.lastKeyA, r.lowA, r.highA);
        if (cursors[B].shown)
            read(cursors[B].key, r.atB, r.gapB, r.lastKeyB, r.lowB, r.highB);
        r.stats = stats.value(i);
    }
    return readings;
}

void PlotCursors::refreshReadout()
{
    readoutWidget->showReadings(cursors[A].shown, cursors[A].key, cursors[B].shown, cursors[B].key,
                                readings());
}

void PlotCursors::onCursorBToggled(bool on)
{
    if (!on) {
        removeCursor(B);
        return;
    }
    if (!cursors[A].shown) {
        QSignalBlocker block(readoutWidget->cursorBButton());
        readoutWidget->cursorBButton()->setChecked(false);
        return;
    }
    // B starts where it can be seen and apart from A: at a quarter of the
    // visible period from the side farther from A.
    const double lower = std::max(plot->xAxis->range().lower, periodLower);
    const double upper = std::min(plot->xAxis->range().upper, periodUpper);
    const double left = lower + (upper - lower) / 4;
    const double right = upper - (upper - lower) / 4;
    const double a = cursors[A].key;
    moveCursor(B, std::fabs(a - left) > std::fabs(a - right) ? left : right);
}

PlotCursors::CursorState PlotCursors::state() const
{
    return {cursors[A].shown, cursors[B].shown, cursors[A].key, cursors[B].key};
}

void PlotCursors::restore(const CursorState &saved)
{
    if (saved.shownA)
        moveCursor(A, saved.keyA);
    else if (cursors[A].shown)
        removeCursor(A);
    if (saved.shownB)
        moveCursor(B, saved.keyB);
    else if (cursors[B].shown)
        removeCursor(B);
}

void PlotCursors::resetView()
{
    if (periodUpper < periodLower)
        return;
    plot->xAxis->setRange(periodLower, periodUpper);
    for (auto it = homeValues.cbegin(); it != homeValues.cend(); ++it)
        it.key()->setRange(it.value());
    plot->replot();
}

double PlotCursors::keyAtPixel(double x) const
{
    return plot->xAxis->pixelToCoord(x);
}

int PlotCursors::cursorNear(double x, int grabPixels) const
{
    int nearest = -1;
    double best = grabPixels;
    for (int c = 0; c < 2; ++c) {
        if (!cursors[c].shown)
            continue;
        const double d = std::fabs(plot->xAxis->coordToPixel(cursors[c].key) - x);
        if (d <= best) {
            best = d;
            nearest = c;
        }
    }
    return nearest;
}

void PlotCursors::tap(const QPointF &pos, bool placing)
{
    beforeLastTap = state();
    lastTapTime.start();
    lastTapPos = pos;
    if (!placing || !plot->axisRect()->rect().contains(pos.toPoint()))
        return;
    const Cursor cursor = readoutWidget->cursorBButton()->isChecked() ? B : A;
    placeCursor(cursor, keyAtPixel(pos.x()));
}

void PlotCursors::doubleTap()
{
    lastTapTime.invalidate();
    restore(beforeLastTap);
    resetView();
}

void PlotCursors::pan(double fromX, double toX)
{
    const double keysPerPixel = pressRange.size() / std::max(1, plot->axisRect()->width());
    const double shift = (fromX - toX) * keysPerPixel;
    plot->xAxis->setRange(pressRange.lower + shift, pressRange.upper + shift);
    plot->replot(QCustomPlot::rpQueuedReplot);
}

void PlotCursors::pinch(const QPointF &p1, const QPointF &p2)
{
    const double centre = (p1.x() + p2.x()) / 2;
    const double spread = std::max(1.0, distance(p1, p2));
    const double size =
        qBound(kMinTimeSpan, pressRange.size() * pinchDistance / spread, kMaxTimeSpan);
    const double width = std::max(1, plot->axisRect()->width());
    // The time first under the fingers' centre stays under it.
    const double lower = pinchKey - (centre - plot->axisRect()->left()) / width * size;
    plot->xAxis->setRange(lower, lower + size);
    plot->replot(QCustomPlot::rpQueuedReplot);
}

QCPAxis *PlotCursors::valueAxisAt(const QPointF &pos) const
{
    // A hidden axis keeps the place it was last drawn at: only shown ones.
    for (QCPAxis *axis : plot->axisRect()->axes(QCPAxis::atLeft | QCPAxis::atRight)) {
        if (axis->visible() && axis->selectTest(pos, false) >= 0)
            return axis;
    }
    return nullptr;
}

void PlotCursors::dragAxis(double fromY, double toY)
{
    if (!draggedAxis)
        return;
    const double valuesPerPixel = pressValues.size() / std::max(1, plot->axisRect()->height());
    const double shift = (toY - fromY) * valuesPerPixel;
    draggedAxis->setRange(pressValues.lower + shift, pressValues.upper + shift);
    plot->replot(QCustomPlot::rpQueuedReplot);
}

// The wheel over a value axis zooms that axis about the pointer; anywhere
// else it zooms the time axis, so that no notch can take the curves off
// the plot.
bool PlotCursors::wheelEvent(QWheelEvent *event)
{
    const QPointF pos = positionOf(event);
    const double steps = event->angleDelta().y() / 120.0;
    if (QCPAxis *axis = valueAxisAt(pos)) {
        const double factor = std::pow(plot->axisRect()->rangeZoomFactor(Qt::Vertical), steps);
        axis->scaleRange(factor, axis->pixelToCoord(pos.y()));
    } else {
        const double size = plot->xAxis->range().size();
        const double factor =
            qBound(kMinTimeSpan, size * std::pow(plot->axisRect()->rangeZoomFactor(Qt::Horizontal),
                                                 steps),
                   kMaxTimeSpan) /
            size;
        plot->xAxis->scaleRange(factor, plot->xAxis->pixelToCoord(pos.x()));
    }
    plot->replot(QCustomPlot::rpQueuedReplot);
    event->accept();
    return true;
}

bool PlotCursors::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != plot)
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseMove:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
        return mouseEvent(static_cast<QMouseEvent *>(event));
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
        return touchEvent(static_cast<QTouchEvent *>(event));
    case QEvent::Wheel:
        return wheelEvent(static_cast<QWheelEvent *>(event));
    default:
        return false;
    }
}

// Mouse: presses off the cursors go on to the plot, which pans and zooms
// as it always did; only a click that did not move places a cursor.
bool PlotCursors::mouseEvent(QMouseEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        if (event->button() != Qt::LeftButton)
            return false;
        pressPos = positionOf(event);
        draggedAxis = valueAxisAt(pressPos);
        if (draggedAxis) {
            // A double click here leaves the cursors as they are now.
            beforeLastTap = state();
            pressValues = draggedAxis->range();
            gesture = Gesture::DragAxis;
            return true;
        }
        draggedCursor = cursorNear(pressPos.x(), kMouseGrabPixels);
        gesture = draggedCursor >= 0 ? Gesture::DragCursor : Gesture::Tap;
        return gesture == Gesture::DragCursor;
    case QEvent::MouseMove:
        if (gesture == Gesture::DragCursor) {
            moveCursor(Cursor(draggedCursor), keyAtPixel(positionOf(event).x()));
            return true;
        }
        if (gesture == Gesture::DragAxis) {
            dragAxis(pressPos.y(), positionOf(event).y());
            return true;
        }
        if (gesture == Gesture::Tap &&
            (positionOf(event) - pressPos).manhattanLength() > kMouseClickPixels)
            gesture = Gesture::Pan;
        return false;
    case QEvent::MouseButtonRelease: {
        if (event->button() != Qt::LeftButton)
            return false;
        const Gesture ended = gesture;
        gesture = Gesture::None;
        if (ignoreRelease) {
            ignoreRelease = false;
            return ended == Gesture::DragCursor || ended == Gesture::DragAxis;
        }
        if (ended == Gesture::Tap)
            tap(positionOf(event), true);
        return ended == Gesture::DragCursor || ended == Gesture::DragAxis;
    }
    case QEvent::MouseButtonDblClick:
        if (event->button() != Qt::LeftButton)
            return false;
        // The second press of a double click: its release is no click.
        gesture = Gesture::None;
        ignoreRelease = true;
        doubleTap();
        return true;
    default:
        return false;
    }
}

// Touch: the plot takes every touch, so none turns into mouse events that
// would pan or place a cursor a second time.
bool PlotCursors::touchEvent(QTouchEvent *event)
{
    event->accept();
    QList<QTouchEvent::TouchPoint> down;
    for (const QTouchEvent::TouchPoint &point : pointsOf(event)) {
        if (!released(point))
            down << point;
    }

    if (event->type() == QEvent::TouchCancel) {
        if (gesture == Gesture::DragCursor || gesture == Gesture::Pinch)
            restore(beforeGesture);
        gesture = Gesture::None;
        return true;
    }

    if (event->type() == QEvent::TouchBegin) {
        beforeGesture = state();
        pressRange = plot->xAxis->range();
        gesture = Gesture::None;
    }

    if (down.size() >= 2) {
        if (gesture != Gesture::Pinch) {
            // A second finger makes it a pinch from the start: a cursor the
            // first finger had begun to move goes back, and the range is
            // the one the pinch found.
            if (gesture == Gesture::DragCursor)
                restore(beforeGesture);
            gesture = Gesture::Pinch;
            pressRange = plot->xAxis->range();
            pinchDistance = std::max(1.0, distance(positionOf(down.at(0)), positionOf(down.at(1))));
            const double centre = (positionOf(down.at(0)).x() + positionOf(down.at(1)).x()) / 2;
            pinchKey = keyAtPixel(centre);
        }
        pinch(positionOf(down.at(0)), positionOf(down.at(1)));
        return true;
    }

    // A finger that has not moved yet may still be a tap, even on a cursor:
    // the second tap of a double tap lands on the cursor the first placed.
    if (event->type() == QEvent::TouchBegin && down.size() == 1) {
        pressPos = positionOf(down.first());
        draggedCursor = cursorNear(pressPos.x(), kTouchGrabPixels);
        draggedAxis = valueAxisAt(pressPos);
        if (draggedAxis)
            pressValues = draggedAxis->range();
        gesture = Gesture::Tap;
        return true;
    }

    if (event->type() == QEvent::TouchUpdate && down.size() == 1) {
        const QPointF pos = positionOf(down.first());
        if (gesture == Gesture::Tap &&
            distance(pos, pressPos) > QGuiApplication::styleHints()->startDragDistance())
            gesture = draggedAxis        ? Gesture::DragAxis
                      : draggedCursor >= 0 ? Gesture::DragCursor
                                           : Gesture::Pan;
        if (gesture == Gesture::DragAxis)
            dragAxis(pressPos.y(), pos.y());
        else if (gesture == Gesture::DragCursor)
            moveCursor(Cursor(draggedCursor), keyAtPixel(pos.x()));
        else if (gesture == Gesture::Pan)
            pan(pressPos.x(), pos.x());
        return true;
    }

    if (event->type() == QEvent::TouchEnd) {
        if (gesture == Gesture::Tap && !pointsOf(event).isEmpty()) {
            const QPointF pos = positionOf(pointsOf(event).first());
            const bool secondTap =
                lastTapTime.isValid() &&
                lastTapTime.elapsed() < QGuiApplication::styleHints()->mouseDoubleClickInterval() &&
                distance(pos, lastTapPos) <= kDoubleTapPixels;
            if (secondTap)
                doubleTap();
            else
                tap(pos, draggedCursor < 0);
        }
        gesture = Gesture::None;
    }
    return true;
}
