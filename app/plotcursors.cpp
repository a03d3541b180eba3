#include "plotcursors.h"

#include <QPushButton>

#include <qcustomplot.h>

#include <cmath>

PlotCursors::PlotCursors(QCustomPlot *plot_, plot::Cursors &cursors_, const QList<QColor> &colours_,
                         QObject *parent)
    : QObject(parent), plot(plot_), cursors(cursors_), items(plot_), navigation(plot_),
      colours(colours_)
{
    setObjectName(QStringLiteral("plotCursors"));
    readoutWidget = new CursorReadout;
    connect(readoutWidget->cursorBButton(), SIGNAL(toggled(bool)), this,
            SLOT(onCursorBToggled(bool)));
    connect(readoutWidget->clearButton(), &QPushButton::clicked, this, [this] { removeCursor(A); });
    // A week's statistics take a few milliseconds of a frame's sixteen.
    statsTimer.setSingleShot(true);
    statsTimer.setInterval(80);
    connect(&statsTimer, SIGNAL(timeout()), this, SLOT(updateStatistics()));
    connect(plot->xAxis, SIGNAL(rangeChanged(QCPRange)), this, SLOT(scheduleStatistics()));
    gestures = new PlotGestures(plot, *this, this);
    items.show(cursors);
}

PlotCursors::~PlotCursors()
{
    // Placed in the window, the readout goes with the window's widgets.
    if (readoutWidget && !readoutWidget->parent())
        delete readoutWidget;
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
    navigation.setHome(lower, upper);
    for (Cursor c : {B, A}) {
        if (cursorOf(c).shown && (cursorOf(c).key < lower || cursorOf(c).key > upper))
            removeCursor(c);
    }
    updateStatistics();
}

bool PlotCursors::placeCursor(Cursor cursor, double key)
{
    if (!(key >= periodLower && key <= periodUpper))
        return false;
    if (cursor == B && !cursors.a.shown)
        return false;
    moveCursor(cursor, key);
    return true;
}

void PlotCursors::moveCursor(Cursor cursor, double key)
{
    // The recorder logs whole seconds; a cursor between them would show a
    // time whose value belongs to the second before it.
    plot::Cursor &c = cursorOf(cursor);
    c.shown = true;
    c.key = qBound(std::ceil(periodLower), std::floor(key), std::floor(periodUpper));
    if (cursor == B)
        setCursorBChecked(true);
    redrawCursors();
    if (cursor == A && bWanted && !cursors.b.shown) {
        bWanted = false;
        setCursorBChecked(true);
        onCursorBToggled(true);
    }
}

void PlotCursors::wantCursorB(bool wanted)
{
    bWanted = wanted && !cursors.b.shown;
}

void PlotCursors::removeCursor(Cursor cursor)
{
    if (cursor == A && cursors.b.shown)
        removeCursor(B);
    cursorOf(cursor).shown = false;
    if (cursor == B)
        setCursorBChecked(false);
    redrawCursors();
}

void PlotCursors::setCursorBChecked(bool on)
{
    QPushButton *button = readoutWidget->cursorBButton();
    if (button->isChecked() == on)
        return;
    QSignalBlocker block(button);
    button->setChecked(on);
}

void PlotCursors::redrawCursors()
{
    items.show(cursors);
    // Both cursors placed: the statistics are of the stretch between them.
    updateStatistics();
}

void PlotCursors::computeStatistics() const
{
    const QCPRange visible = plot->xAxis->range();
    const plot::ValueRange range = plot::statisticsRange(cursors, visible.lower, visible.upper);
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
    readoutWidget->setStatisticsHeadings(statsOfSamples, cursors.both());
    readoutWidget->showReadings(cursors.a.shown, cursors.a.key, cursors.b.shown, cursors.b.key,
                                readings());
    emit readingsChanged();
}

void PlotCursors::scheduleStatistics()
{
    // Between two cursors the statistics do not depend on the range shown.
    if (cursors.both())
        return;
    statsPending = true;
    if (!statsTimer.isActive())
        statsTimer.start();
}

QStringList PlotCursors::statisticsHeadings() const
{
    if (statsPending)
        computeStatistics();
    return CursorReadout::statisticsHeadings(statsOfSamples, cursors.both());
}

QVector<CurveReading> PlotCursors::readings() const
{
    if (statsPending)
        computeStatistics();
    QVector<CurveReading> readings(tags.size());
    for (int i = 0; i < tags.size(); ++i) {
        CurveReading &r = readings[i];
        r.tag = tags.at(i);
        r.name = curveNames.value(i);
        r.colour = colours.value(i);
        const plot::Series series = curves.value(i);
        if (cursors.a.shown)
            r.atA = plot::readingAt(series, cursors.a.key);
        if (cursors.b.shown)
            r.atB = plot::readingAt(series, cursors.b.key);
        r.stats = stats.value(i);
        r.decimals = decimalsOf(valueAxes.value(i));
    }
    return readings;
}

void PlotCursors::setValueAxes(const QVector<QCPAxis *> &axes)
{
    valueAxes.clear();
    for (QCPAxis *axis : axes)
        valueAxes.append(axis);
}

int PlotCursors::decimalsOf(QCPAxis *axis)
{
    if (!axis)
        return -1;
    // The ticks the axis draws for its range now, also before a replot.
    QVector<double> ticks;
    axis->ticker()->generate(axis->range(), axis->parentPlot()->locale(), QLatin1Char('g'),
                             axis->numberPrecision(), ticks, nullptr, nullptr);
    if (ticks.size() < 2)
        return -1;
    return plot::readoutDecimals(ticks.at(1) - ticks.at(0));
}

void PlotCursors::onCursorBToggled(bool on)
{
    if (!on) {
        bWanted = false;
        removeCursor(B);
        return;
    }
    if (!cursors.a.shown) {
        setCursorBChecked(false);
        return;
    }
    // B starts where it can be seen and apart from A: at a quarter of the
    // visible period from the side farther from A.
    const double lower = std::max(plot->xAxis->range().lower, periodLower);
    const double upper = std::min(plot->xAxis->range().upper, periodUpper);
    const double left = lower + (upper - lower) / 4;
    const double right = upper - (upper - lower) / 4;
    const double a = cursors.a.key;
    moveCursor(B, std::fabs(a - left) > std::fabs(a - right) ? left : right);
}

void PlotCursors::restore(const plot::Cursors &saved)
{
    if (saved.a.shown)
        moveCursor(A, saved.a.key);
    else if (cursors.a.shown)
        removeCursor(A);
    if (saved.b.shown)
        moveCursor(B, saved.b.key);
    else if (cursors.b.shown)
        removeCursor(B);
}

int PlotCursors::cursorNear(double x, int grabPixels) const
{
    return items.cursorNear(cursors, x, grabPixels);
}

void PlotCursors::dragCursor(int cursor, double x)
{
    moveCursor(Cursor(cursor), navigation.keyAtPixel(x));
}

void PlotCursors::startTouch()
{
    beforeGesture = cursors;
    navigation.startPan();
}

void PlotCursors::startPinch(const QPointF &p1, const QPointF &p2)
{
    navigation.startPinch(p1, p2);
}

void PlotCursors::tap(const QPointF &pos, bool placing)
{
    markCursors();
    if (!plot->axisRect()->rect().contains(pos.toPoint()))
        return;
    // A tap on a cursor's label takes the cursor away (A takes B with it);
    // the label hangs from the line, so the press took the cursor to drag.
    const int label = items.labelNear(cursors, pos, PlotGestures::kTouchGrabPixels);
    if (label >= 0) {
        removeCursor(Cursor(label));
        return;
    }
    if (!placing)
        return;
    // While B is placed (its toggle on), a tap moves B.
    const Cursor cursor = cursors.b.shown ? B : A;
    placeCursor(cursor, navigation.keyAtPixel(pos.x()));
}

void PlotCursors::doubleTap()
{
    restore(beforeLastTap);
    resetView();
}
