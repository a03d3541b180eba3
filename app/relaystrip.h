#ifndef RELAYSTRIP_H
#define RELAYSTRIP_H

#include "plotcursor.h"
#include "relaylanes.h"

#include <QColor>
#include <QPointer>
#include <QRectF>
#include <QString>
#include <QVector>
#include <QWidget>

class QCustomPlot;
class QFont;
class QPainter;

// One lane of the strip: the relay's name and its runs.
struct StripLane
{
    QString name;
    plot::RelayLane lane;
};

// The relays under the plot, one lane each, on the plot's time axis: it
// follows the plot's pan and zoom and the width of its axis rect, so that a
// switching stands under the curve's point of the same second. A lane is
// filled where the relay is on, a base line where it is off, both where a
// pixel column holds both, and nothing over a gap. The cursors run through
// the lanes as through the plot. Without a lane the strip takes no room.
class RelayStrip : public QWidget
{
    Q_OBJECT

public:
    // Pixels of one lane on the screen: eight lanes still leave the plot
    // most of the smallest window.
    static constexpr int kLaneHeight = 14;
    static QColor laneColour() { return QColor(60, 110, 170); }

    RelayStrip(QCustomPlot *plot, const plot::Cursors &cursors, QWidget *parent = nullptr);

    void setLanes(const QVector<StripLane> &lanes);
    const QVector<StripLane> &lanes() const { return shown; }

    // Draws `lanes` into `area`: names right-aligned left of `laneLeft`, the
    // lanes from `laneLeft` to `laneRight` for the time range [lower,
    // upper]; the cursors at their keys where they are placed.
    static void paintLanes(QPainter &painter, const QRectF &area, qreal laneLeft, qreal laneRight,
                           double lower, double upper, const QVector<StripLane> &lanes,
                           const plot::Cursors &cursors, const QFont &font);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QPointer<QCustomPlot> plot;
    const plot::Cursors &cursors;
    QVector<StripLane> shown;
};

#endif // RELAYSTRIP_H
