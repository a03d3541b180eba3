#include "plotgestures.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QStyleHints>
#include <QTouchEvent>
#include <QWheelEvent>

#include <qcustomplot.h>

#include <cmath>

namespace {

// Two taps further apart than this are two taps, not a double tap.
constexpr double kDoubleTapPixels = 40.0;
// QCustomPlot's own notion of a click: a press that moved at most this far.
constexpr int kMouseClickPixels = 3;

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

PlotGestures::PlotGestures(QCustomPlot *plot_, Target &target_, QObject *parent)
    : QObject(parent), plot(plot_), target(target_)
{
    plot->setAttribute(Qt::WA_AcceptTouchEvents);
    plot->installEventFilter(this);
}

bool PlotGestures::eventFilter(QObject *watched, QEvent *event)
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

void PlotGestures::tap(const QPointF &pos, bool placing)
{
    lastTapTime.start();
    lastTapPos = pos;
    target.tap(pos, placing);
}

void PlotGestures::doubleTap()
{
    lastTapTime.invalidate();
    target.doubleTap();
}

bool PlotGestures::wheelEvent(QWheelEvent *event)
{
    target.wheel(positionOf(event), event->angleDelta().y() / 120.0);
    event->accept();
    return true;
}

// Mouse: presses off the cursors go on to the plot, which pans and zooms
// as it always did; only a click that did not move places a cursor.
bool PlotGestures::mouseEvent(QMouseEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        if (event->button() != Qt::LeftButton)
            return false;
        pressPos = positionOf(event);
        if (target.startAxisDrag(pressPos)) {
            // A double click here leaves the cursors as they are now.
            target.markCursors();
            gesture = Gesture::DragAxis;
            return true;
        }
        draggedCursor = target.cursorNear(pressPos.x(), kMouseGrabPixels);
        gesture = draggedCursor >= 0 ? Gesture::DragCursor : Gesture::Tap;
        return gesture == Gesture::DragCursor;
    case QEvent::MouseMove:
        if (gesture == Gesture::DragCursor) {
            target.dragCursor(draggedCursor, positionOf(event).x());
            return true;
        }
        if (gesture == Gesture::DragAxis) {
            target.dragAxis(pressPos.y(), positionOf(event).y());
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
        const bool taken = ended == Gesture::DragCursor || ended == Gesture::DragAxis;
        if (ignoreRelease) {
            ignoreRelease = false;
            return taken;
        }
        if (ended == Gesture::Tap)
            tap(positionOf(event), true);
        // A click on a cursor that did not drag it is a tap on it.
        if (ended == Gesture::DragCursor &&
            (positionOf(event) - pressPos).manhattanLength() <= kMouseClickPixels)
            tap(positionOf(event), false);
        return taken;
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

bool PlotGestures::touchEvent(QTouchEvent *event)
{
    event->accept();
    QList<QTouchEvent::TouchPoint> down;
    for (const QTouchEvent::TouchPoint &point : pointsOf(event)) {
        if (!released(point))
            down << point;
    }

    if (event->type() == QEvent::TouchCancel) {
        if (gesture == Gesture::DragCursor || gesture == Gesture::Pinch)
            target.restoreCursors();
        gesture = Gesture::None;
        return true;
    }

    if (event->type() == QEvent::TouchBegin) {
        target.startTouch();
        gesture = Gesture::None;
    }

    if (down.size() >= 2) {
        const QPointF p1 = positionOf(down.at(0));
        const QPointF p2 = positionOf(down.at(1));
        if (gesture != Gesture::Pinch) {
            // A second finger makes it a pinch from the start: a cursor the
            // first finger had begun to move goes back, and the range is
            // the one the pinch found.
            if (gesture == Gesture::DragCursor)
                target.restoreCursors();
            gesture = Gesture::Pinch;
            target.startPinch(p1, p2);
        }
        target.pinch(p1, p2);
        return true;
    }

    // A finger that has not moved yet may still be a tap, even on a cursor:
    // the second tap of a double tap lands on the cursor the first placed.
    if (event->type() == QEvent::TouchBegin && down.size() == 1) {
        pressPos = positionOf(down.first());
        draggedCursor = target.cursorNear(pressPos.x(), kTouchGrabPixels);
        onAxis = target.startAxisDrag(pressPos);
        gesture = Gesture::Tap;
        return true;
    }

    if (event->type() == QEvent::TouchUpdate && down.size() == 1) {
        const QPointF pos = positionOf(down.first());
        if (gesture == Gesture::Tap &&
            distance(pos, pressPos) > QGuiApplication::styleHints()->startDragDistance())
            gesture = onAxis               ? Gesture::DragAxis
                      : draggedCursor >= 0 ? Gesture::DragCursor
                                           : Gesture::Pan;
        if (gesture == Gesture::DragAxis)
            target.dragAxis(pressPos.y(), pos.y());
        else if (gesture == Gesture::DragCursor)
            target.dragCursor(draggedCursor, pos.x());
        else if (gesture == Gesture::Pan)
            target.pan(pressPos.x(), pos.x());
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
