// Plot building of the main window: the plot's fixed configuration and the
// redrawing of the four selectors' channels from the last loaded records.

#include "mainwindow.h"

#include "archformat.h"
#include "archload.h"
#include "bandgraph.h"
#include "channelnames.h"
#include "channels.h"
#include "decimation.h"
#include "marksstrip.h"
#include "plotcursors.h"
#include "plotgaps.h"
#include "plotseries.h"
#include "ui_mainwindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>

#include <qcustomplot.h>

#include <algorithm>
#include <cmath>

QString MainWindow::averagingText()
{
    return QStringLiteral("средние за %1 с").arg(archive::kAverageIntervalSecs);
}

void MainWindow::configurePlot()
{
    QCustomPlot *customPlot = ui->customPlot;
    customPlot->clearGraphs();
    customPlot->setAntialiasedElements(QCP::aeAll);
    // The value axes' numbers are written as every other number of the
    // window: "27 832,8", not "27832.8".
    customPlot->setLocale(archive::russianLocale());
    QSharedPointer<QCPAxisTickerDateTime> ticker(new QCPAxisTickerDateTime);
    ticker->setDateTimeFormat(QStringLiteral("hh:mm:ss\ndd.MM.yy"));
    customPlot->xAxis->setTicker(ticker);
    const QFont tickFont(QStringLiteral("Open Sans"), 12, -1, false);
    customPlot->xAxis->setTickLabelFont(tickFont);
    customPlot->yAxis->setTickLabelFont(tickFont);
    customPlot->setBackground(QBrush(screenBackground()));
    const QPen gridPen(QBrush(Qt::black), 0, Qt::DotLine, Qt::SquareCap, Qt::BevelJoin);
    customPlot->xAxis->grid()->setPen(gridPen);
    customPlot->yAxis->grid()->setPen(gridPen);
    customPlot->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom | QCP::iSelectPlottables);
    // A week of seconds is drawn as one zigzag polyline per graph; stroking
    // it 2 pixels wide with antialiasing takes the painter about a tenth of
    // a second per graph, segment by segment it takes a millisecond, and the
    // joins it leaves out do not show at this width.
    customPlot->setPlottingHint(QCP::phFastPolylines, true);

    // The wheel zooms the time axis alone (PlotCursors takes it); a drag
    // in the plot moves the time axis and the value axes of the curves.
    customPlot->axisRect()->setRangeZoom(Qt::Horizontal);
    for (int i = 0; i < archive::kCurveCount; ++i) {
        QCPAxis *axis =
            customPlot->axisRect()->addAxis(i < 2 ? QCPAxis::atLeft : QCPAxis::atRight);
        axis->setTickLabelFont(tickFont);
        axis->grid()->setPen(gridPen);
        axis->grid()->setVisible(false);
        axis->setVisible(false);
        curveAxes.append(axis);
    }

    // Each frame draws the graphs from their series decimated for what it
    // shows: once laid out, the axis rect has the width of this frame, and
    // a pan or zoom that set the range several times since the last frame
    // costs one decimation.
    connect(customPlot, &QCustomPlot::afterLayout, this, [this] { redecimate(); });
}

void MainWindow::updateData()
{
    // While an operation runs (a selector changed meanwhile) the busy
    // indication stays: it belongs to that operation.
    if (queue->running() == Operation::None) {
        busyMovie.stop();
        ui->periodButton->setEnabled(true);
        ui->loadArchive->hide();
    }

    const ShownLoad &loaded = model.shown;
    const archive::RecordSeries records = loaded.records;
    // While a period loads the cache's picture of it stands in for the
    // load; an averaged load shows the records of a part zoomed into.
    const bool preview = model.showsPreview();
    const bool detail = !preview && loaded.averaged && !model.detail.isEmpty();
    const quint64 origin = preview ? model.preview.serial : detail ? model.detail.serial : 0;
    selectorSeries.clear();
    seriesCache.resize(selectors.size());
    // A counter box that is not on the screen is unticked.
    if (!isVisible())
        model.dropCounters();
    for (int i = 0; i < selectors.size(); ++i) {
        const CurveChoice &choice = model.curves.at(i);
        const QDateTime epoch = archive::archiveEpoch();
        QCheckBox *counterBox = counterBoxes.at(i);
        // Only an analogue input has a counter.
        counterBox->setVisible(choice.hasCounter());
        counterBox->setChecked(choice.counter);
        const Channel channel = choice.channel();
        // A week of records is 300 MB; taking a channel out of it is most of
        // what a redraw costs, so a channel is taken out once per load.
        SeriesCache &cached = seriesCache[i];
        if (cached.channel != channel || cached.records.constData() != records.constData() ||
            cached.records.size() != records.size() || cached.averaged != loaded.averaged ||
            cached.envelopeSize != loaded.envelope.size() || cached.origin != origin) {
            plot::Series series;
            plot::Series drawn;
            if (preview) {
                series = model.preview.curve(i, channel);
                drawn = plot::withBreaks(series);
            } else {
                series = plot::channelSeries(records, epoch, channel.first, channel.second,
                                             &loaded.envelope);
                series.gapOver =
                    plot::gapThreshold(series.keys, loaded.averaged ? plot::kMeansGapFloorSecs : 0);
                drawn = plot::withBreaks(series);
                if (detail) {
                    // Record by record where they were loaded, the means around.
                    plot::Series exact = plot::channelSeries(model.detail.records, epoch,
                                                             channel.first, channel.second);
                    exact.gapOver = plot::gapThreshold(exact.keys);
                    const double begin = plot::timeKey(model.detail.period.begin);
                    const double end = plot::timeKey(model.detail.period.end);
                    drawn = plot::spliced(drawn, plot::withBreaks(exact), begin, end);
                    series = plot::spliced(series, exact, begin, end);
                }
            }
            cached = SeriesCache();
            cached.channel = channel;
            cached.records = records;
            cached.averaged = loaded.averaged;
            cached.envelopeSize = loaded.envelope.size();
            cached.origin = origin;
            cached.drawn = drawn;
            cached.series = series;
        }
        selectorSeries.append(cached.series);
    }
    updateGraph();
}

void MainWindow::updateGraph()
{
    if (!isVisible())
        return;

    QCustomPlot *customPlot = ui->customPlot;
    customPlot->clearGraphs();
    drawnCurves.clear();
    const double periodLower = plot::timeKey(model.periodBegin);
    const double periodUpper = plot::timeKey(model.periodEnd);
    // The value axes are fitted to all of each series. Decimated for the
    // period, a graph holds every extreme of its series, and a point on
    // either side of it; a series with more points outside starts out
    // decimated for all of them, and the next frame decimates it for the
    // period alone.
    double lower = periodLower;
    double upper = periodUpper;
    for (int i = 0; i < selectorSeries.size(); ++i) {
        const QVector<double> &keys = selectorSeries.at(i).keys;
        if (keys.size() > 1 && keys.at(1) < periodLower)
            lower = std::min(lower, keys.constFirst());
        if (keys.size() > 1 && keys.at(keys.size() - 2) > periodUpper)
            upper = std::max(upper, keys.constLast());
    }
    const int columns = pageColumns > 0 ? pageColumns : customPlot->axisRect()->width();
    const bool axisPerCurve = model.axisPerCurve;
    for (QCPAxis *axis : qAsConst(curveAxes)) {
        axis->setVisible(false);
        axis->grid()->setVisible(false);
    }
    QPen pen;
    pen.setWidth(2);
    QList<QCPAxis *> valueAxes;
    QVector<QCPAxis *> axisOfCurve(selectorSeries.size(), nullptr);
    for (int i = 0; i < selectorSeries.size(); ++i) {
        const plot::Series &series = selectorSeries.at(i);
        if (series.isEmpty())
            continue;
        QCPAxis *valueAxis = axisPerCurve ? curveAxes.at(i) : customPlot->yAxis;
        axisOfCurve[i] = valueAxis;
        QCPGraph *graph = customPlot->addGraph(customPlot->xAxis, valueAxis);
        // The keys are ascending and unique by construction; a stretch
        // without records is drawn as a break, not bridged by a line.
        SeriesCache *cached = i < seriesCache.size() &&
                                      seriesCache.at(i).series.keys.constData() ==
                                          series.keys.constData()
                                  ? &seriesCache[i]
                                  : nullptr;
        const plot::Series drawn = cached ? cached->drawn : plot::withBreaks(series);
        DrawnCurve curve{graph, nullptr, nullptr, drawn, i};
        const bool sampled = std::any_of(drawn.lows.cbegin(), drawn.lows.cend(),
                                         [](double v) { return !std::isnan(v); });
        if (sampled) {
            // The band of what each mean was made of, behind its curve, in
            // the curve's colour.
            QColor shade = graphColors.at(i);
            shade.setAlpha(64);
            const BandEdges band =
                addBand(valueAxis, shade, QStringLiteral("band %1 #") + QString::number(i));
            curve.low = band.low;
            curve.high = band.high;
        }
        showDecimated(curve, lower, upper, columns);
        drawnCurves.append(curve);
        graph->setName(QStringLiteral("graph #") + QString::number(i));
        pen.setColor(graphColors.at(i));
        graph->setPen(pen);
        // A tap on the curve selects it; a curve is still its selector's
        // colour, on the screen and on paper.
        graph->selectionDecorator()->setPen(pen);
        if (axisPerCurve) {
            // The axis in its curve's colour says which curve it measures.
            const QPen axisPen(graphColors.at(i), 1);
            valueAxis->setBasePen(axisPen);
            valueAxis->setTickPen(axisPen);
            valueAxis->setSubTickPen(axisPen);
            valueAxis->setTickLabelColor(graphColors.at(i));
            valueAxis->setLabelColor(graphColors.at(i));
            const Channel channel = model.curves.at(i).channel();
            const archive::ChannelGroup *group = channelGroup(channel.first);
            valueAxis->setLabel(group ? model.names.names.axisLabel(group->group, channel.second)
                                      : QString());
            valueAxis->setVisible(true);
        }
        if (!valueAxes.contains(valueAxis))
            valueAxes.append(valueAxis);
    }
    // Without a drawn curve the shared axis stays, as before any load.
    customPlot->yAxis->setVisible(!axisPerCurve || valueAxes.isEmpty());
    customPlot->yAxis->grid()->setVisible(!axisPerCurve || valueAxes.isEmpty());
    if (axisPerCurve && !valueAxes.isEmpty())
        valueAxes.first()->grid()->setVisible(true);

    marks->showAveraging(model.shown.averaged && !model.showsPreview());
    // A part loaded record by record is not of means.
    const QString averaged =
        model.detail.isEmpty()
            ? averagingText()
            : averagingText() +
                  QStringLiteral(", участок %1–%2 по записям")
                      .arg(model.detail.period.begin.toString(QStringLiteral("dd.MM hh:mm")),
                           model.detail.period.end.toString(QStringLiteral("dd.MM hh:mm")));
    marks->averagingMark()->setText(averaged);
    marks->averagingMark()->setAccessibleName(averaged);
    decimatedLower = lower;
    decimatedUpper = upper;
    decimatedColumns = columns;
    if (!valueAxes.isEmpty()) {
        // Each value axis is rescaled to its own graphs (NaN points left
        // out); an axis whose graphs have no value keeps its range.
        // The time axis is left as it is: it shows the period, set below.
        for (QCPAxis *axis : qAsConst(valueAxes))
            axis->rescale(false);
        // Widening about the centre is the axis' scale ratio to itself; done
        // here as arithmetic, since the ratio divides by the axis' pixel
        // size, which is 0 before the plot has been laid out.
        for (QCPAxis *axis : qAsConst(valueAxes)) {
            const QCPRange range = axis->range();
            const plot::ValueRange fitted = plot::fitValueRange(range.lower, range.upper);
            axis->setRange(fitted.lower, fitted.upper);
        }
        customPlot->axisRect()->setRangeDragAxes(QList<QCPAxis *>() << customPlot->xAxis,
                                                 valueAxes);
    }
    cursors->setValueAxes(axisOfCurve);
    QStringList names;
    for (const Channel &channel : model.channels()) {
        const archive::ChannelGroup *group = channelGroup(channel.first);
        names << (group ? model.names.names.label(group->group, channel.second).name : QString());
    }
    cursors->setCurveNames(names);
    cursors->setCurves(selectorSeries, model.channels(), periodLower, periodUpper);
    selectorSeries.clear();

    // The time axis shows the chosen period, whatever the data cover; while
    // following, a view the operator moved stays.
    if (!keepViewRange)
        customPlot->xAxis->setRange(periodLower, periodUpper);
    showLanes();
    showAround();
    customPlot->replot();
}

MainWindow::BandEdges MainWindow::addBand(QCPAxis *valueAxis, const QColor &shade,
                                          const QString &name)
{
    // The upper edge fills down to the lower, a rectangle per pixel column
    // (BandGraph); neither edge is stroked, the lower draws nothing.
    QCustomPlot *customPlot = ui->customPlot;
    QCPGraph *low = customPlot->addGraph(customPlot->xAxis, valueAxis);
    QCPGraph *high = new BandGraph(customPlot->xAxis, valueAxis);
    low->setName(name.arg(QStringLiteral("low")));
    high->setName(name.arg(QStringLiteral("high")));
    for (QCPGraph *edge : {low, high}) {
        edge->setPen(Qt::NoPen);
        edge->setSelectable(QCP::stNone);
        edge->setLayer(customPlot->layer(QStringLiteral("grid")));
    }
    low->setLineStyle(QCPGraph::lsNone);
    high->setBrush(QBrush(shade));
    high->setChannelFillGraph(low);
    return {low, high};
}

void MainWindow::decimateGraphs(int columns)
{
    pageColumns = std::max(0, columns);
    redecimate();
}

void MainWindow::redecimate()
{
    const QCPRange range = ui->customPlot->xAxis->range();
    const int columns = pageColumns > 0 ? pageColumns : ui->customPlot->axisRect()->width();
    if (range.lower == decimatedLower && range.upper == decimatedUpper &&
        columns == decimatedColumns)
        return;
    decimatedLower = range.lower;
    decimatedUpper = range.upper;
    decimatedColumns = columns;
    for (const DrawnCurve &curve : qAsConst(drawnCurves)) {
        if (curve.graph)
            showDecimated(curve, range.lower, range.upper, columns);
    }
}

void MainWindow::showDecimated(const DrawnCurve &curve, double lower, double upper, int columns)
{
    // A selector that did not change keeps its decimation.
    SeriesCache *cached = curve.selector < seriesCache.size() &&
                                  seriesCache.at(curve.selector).drawn.keys.constData() ==
                                      curve.drawn.keys.constData()
                              ? &seriesCache[curve.selector]
                              : nullptr;
    plot::Series shown;
    if (cached && cached->shows(lower, upper, columns)) {
        shown = cached->shown;
    } else {
        // The curve is drawn from the means alone: the band has its own
        // points, and the extremes of its samples kept with the means
        // would only give the plot more points to draw the same line of.
        plot::Series means = curve.drawn;
        means.lows.clear();
        means.highs.clear();
        shown = plot::decimate(means, lower, upper, columns);
        if (cached)
            cached->show(shown, lower, upper, columns);
    }
    curve.graph->setData(shown.keys, shown.values, true);
    if (curve.low && curve.high) {
        const plot::Series outline = plot::bandOutline(curve.drawn, lower, upper, columns);
        curve.low->setData(outline.keys, outline.lows, true);
        curve.high->setData(outline.keys, outline.highs, true);
    }
}

void MainWindow::onCountersClicked()
{
    updateData();
}
