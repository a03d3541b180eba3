#ifndef PLOTGESTURES_H
#define PLOTGESTURES_H

#include <QElapsedTimer>
#include <QObject>
#include <QPointF>

class QCustomPlot;
class QMouseEvent;
class QTouchEvent;
class QWheelEvent;

// Turns the plot's mouse, touch and wheel events into what the operator
// means, and hands that to its target:
//
// a tap or click that is not a drag is a tap; a drag starting on a cursor
// moves it, any other drag pans the time axis (a mouse drag is left to the
// plot, which pans by itself); two fingers pinch; a drag over a value axis
// moves that axis; a double tap or click is a double tap, and the wheel is
// the wheel. Touch events are all taken, so that none comes back as mouse
// events that would pan or place a cursor a second time.
class PlotGestures : public QObject
{
    Q_OBJECT

public:
    // A finger is wider than it looks on the screen, a mouse pointer is not.
    static constexpr int kTouchGrabPixels = 20;
    static constexpr int kMouseGrabPixels = 8;

    // What the gestures ask and what they mean. Cursor numbers are 0 for A
    // and 1 for B.
    class Target
    {
    public:
        virtual ~Target() = default;
        // The cursor within grabPixels of pixel column x, or -1.
        virtual int cursorNear(double x, int grabPixels) const = 0;
        // A drag starts at pos: true if it is on a shown value axis, which
        // the drag then moves.
        virtual bool startAxisDrag(const QPointF &pos) = 0;
        virtual void dragAxis(double fromY, double toY) = 0;
        virtual void dragCursor(int cursor, double x) = 0;
        // A touch began: what it may have to put back, and the range a pan
        // starts from.
        virtual void startTouch() = 0;
        // The touch is cancelled, or a second finger came while the first
        // moved a cursor: the cursors go back to where the touch found them.
        virtual void restoreCursors() = 0;
        virtual void pan(double fromX, double toX) = 0;
        virtual void startPinch(const QPointF &p1, const QPointF &p2) = 0;
        virtual void pinch(const QPointF &p1, const QPointF &p2) = 0;
        // A tap at pos; `placing` is false for one on a cursor line, which
        // only counts towards a double tap.
        virtual void tap(const QPointF &pos, bool placing) = 0;
        virtual void doubleTap() = 0;
        // A double tap from here on leaves the cursors as they are now.
        virtual void markCursors() = 0;
        virtual void wheel(const QPointF &pos, double steps) = 0;
    };

    PlotGestures(QCustomPlot *plot, Target &target, QObject *parent = nullptr);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    enum class Gesture { None, Tap, DragCursor, Pan, Pinch, DragAxis };

    bool mouseEvent(QMouseEvent *event);
    bool touchEvent(QTouchEvent *event);
    bool wheelEvent(QWheelEvent *event);
    void tap(const QPointF &pos, bool placing);
    void doubleTap();

    QCustomPlot *plot;
    Target &target;
    Gesture gesture = Gesture::None;
    QPointF pressPos;
    int draggedCursor = -1;
    bool onAxis = false;
    bool ignoreRelease = false;
    // The last tap, for telling a double tap.
    QElapsedTimer lastTapTime;
    QPointF lastTapPos;
};

#endif // PLOTGESTURES_H
