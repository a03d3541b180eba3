// The view beyond and into the loaded period: the time around the period
// from the summary cache when the view reaches beyond it, the records of a
// part of an averaged period when the view rests zoomed into it, and
// "ПЕРИОД = ЭКРАН", which makes the view the period.

#include "mainwindow.h"

#include "archformat.h"
#include "archload.h"
#include "backgroundjob.h"
#include "cursorreadout.h"
#include "livefollow.h"
#include "plotcursors.h"
#include "plotgaps.h"
#include "ui_mainwindow.h"

#include <QPushButton>
#include <QTimer>

#include <qcustomplot.h>

#include <algorithm>
#include <cmath>

namespace {

// How long the view rests before the time around it is asked of the cache,
// and before the records of a part zoomed into are loaded.
constexpr int kAroundDelayMs = 150;
constexpr int kDetailDelayMs = 500;

// A period of whole seconds that holds the time keys [lower, upper].
Period periodOfKeys(double lower, double upper)
{
    return {QDateTime::fromMSecsSinceEpoch(qint64(std::floor(lower)) * 1000),
            QDateTime::fromMSecsSinceEpoch(qint64(std::ceil(upper)) * 1000)};
}

bool covers(const Period &outer, const Period &inner)
{
    return outer.begin.isValid() && outer.begin <= inner.begin && inner.end <= outer.end;
}

} // namespace

void MainWindow::setupZoom()
{
    aroundJob.reset(new BackgroundJob<SummaryView>(this, [this](const SummaryView &view) {
        model.around = view;
        model.around.serial = model.nextSerial();
        showAround();
        ui->customPlot->replot();
    }));
    detailJob.reset(new BackgroundJob<DetailRecords>(this, [this](const DetailRecords &detail) {
        detailLoading = false;
        showBackgroundWork();
        if (detail.isEmpty() || !model.shown.averaged)
            return;
        model.detail = detail;
        model.detail.serial = model.nextSerial();
        // The view stays where the operator left it.
        keepViewRange = true;
        updateData();
        keepViewRange = false;
    }));

    aroundTimer = new QTimer(this);
    aroundTimer->setSingleShot(true);
    aroundTimer->setInterval(kAroundDelayMs);
    connect(aroundTimer, &QTimer::timeout, this, [this] { askAround(); });
    detailTimer = new QTimer(this);
    detailTimer->setSingleShot(true);
    detailTimer->setInterval(kDetailDelayMs);
    connect(detailTimer, &QTimer::timeout, this, [this] { askDetail(); });
    connect(ui->customPlot->xAxis, QOverload<const QCPRange &>::of(&QCPAxis::rangeChanged), this,
            [this] {
                aroundTimer->start();
                detailTimer->start();
                updateViewPeriodButton();
            });
    connect(cursors->readout()->viewPeriodButton(), &QPushButton::clicked, this,
            [this] { setPeriodToView(); });
    updateViewPeriodButton();
}

void MainWindow::askAround()
{
    const QCPRange range = ui->customPlot->xAxis->range();
    const double lower = plot::timeKey(model.shown.period.begin);
    const double upper = plot::timeKey(model.shown.period.end);
    const double column = range.size() / std::max(1, ui->customPlot->axisRect()->width());
    const bool beyond = range.lower < lower - column || range.upper > upper + column;
    if (summaryRoot.isEmpty() || !beyond || model.shown.path.isEmpty() ||
        model.loading.isLoadable()) {
        aroundJob->stop();
        if (!model.around.isEmpty() && !beyond) {
            // Back inside the period: the time around it is out of sight.
            model.around = SummaryView();
            showAround();
            ui->customPlot->replot();
        }
        return;
    }
    // The time on either side of the period in view, each no more than a
    // load would show and none of it after now, at the view's resolution.
    const Period shown = model.shown.period;
    const Period view = periodOfKeys(range.lower, range.upper);
    const qint64 most = archive::kMaxLoadPeriodSecs;
    const Period before{std::max(view.begin, shown.begin.addSecs(-most)), shown.begin};
    const Period after{shown.end,
                       std::min({view.end, shown.end.addSecs(most), QDateTime::currentDateTime()})};
    if (model.around.period == view && model.around.channels == model.channels())
        return;
    const QString dir = model.shown.path;
    const QString root = summaryRoot;
    const QVector<Channel> channels = model.channels();
    const quint32 binSecs =
        archive::previewBinSecs(view.secs(), std::max(1, ui->customPlot->axisRect()->width()));
    aroundJob->start([=](const std::atomic<bool> &stop) {
        SummaryView around;
        around.period = view;
        around.channels = channels;
        around.curves.resize(channels.size());
        for (const Period &side : {before, after}) {
            if (!side.isLoadable())
                continue;
            const SummaryView part = cachedView(dir, root, side, channels, binSecs, stop);
            for (int i = 0; i < part.curves.size(); ++i) {
                plot::Series &curve = around.curves[i];
                const plot::Series &more = part.curves.at(i);
                curve.keys << more.keys;
                curve.values << more.values;
                curve.lows << more.lows;
                curve.highs << more.highs;
                curve.gapOver = more.gapOver;
            }
        }
        return around;
    });
}

void MainWindow::showAround()
{
    QCustomPlot *customPlot = ui->customPlot;
    for (const QPointer<QCPGraph> &graph : qAsConst(aroundGraphs)) {
        if (graph)
            customPlot->removeGraph(graph);
    }
    aroundGraphs.clear();
    if (model.around.isEmpty()) {
        showSummaryMark();
        return;
    }
    const double lower = plot::timeKey(model.shown.period.begin);
    const double upper = plot::timeKey(model.shown.period.end);
    for (const DrawnCurve &curve : qAsConst(drawnCurves)) {
        if (!curve.graph)
            continue;
        const plot::Series series =
            model.around.curve(curve.selector, model.curves.at(curve.selector).channel());
        // Only what lies outside the loaded period: inside it the load is exact.
        plot::Series before;
        plot::Series after;
        before.gapOver = after.gapOver = series.gapOver;
        for (int i = 0; i < series.size(); ++i) {
            plot::Series *part = series.keys.at(i) < lower   ? &before
                                 : series.keys.at(i) > upper ? &after
                                                             : nullptr;
            if (!part)
                continue;
            part->keys << series.keys.at(i);
            part->values << series.values.at(i);
            part->lows << series.lows.value(i);
            part->highs << series.highs.value(i);
        }
        QColor colour = graphColors.at(curve.selector);
        for (const plot::Series &part : {before, after}) {
            if (part.isEmpty())
                continue;
            const plot::Series drawn = plot::withBreaks(part);
            QCPGraph *graph = customPlot->addGraph(customPlot->xAxis, curve.graph->valueAxis());
            graph->setName(QStringLiteral("around #") + QString::number(curve.selector));
            graph->setSelectable(QCP::stNone);
            colour.setAlpha(150);
            graph->setPen(QPen(colour, 1, Qt::DashLine));
            graph->setData(drawn.keys, drawn.values, true);
            colour.setAlpha(40);
            const BandEdges band =
                addBand(curve.graph->valueAxis(), colour,
                        QStringLiteral("around band %1 #") + QString::number(curve.selector));
            band.low->setData(drawn.keys, drawn.lows, true);
            band.high->setData(drawn.keys, drawn.highs, true);
            aroundGraphs << graph << band.low << band.high;
        }
    }
    showSummaryMark();
}

void MainWindow::askDetail()
{
    if (!detailJob || !model.shown.averaged || !queue->idle() || live->isOn() ||
        model.shown.path.isEmpty())
        return;
    const QCPRange range = ui->customPlot->xAxis->range();
    const Period shown = model.shown.period;
    const double lower = std::max(range.lower, plot::timeKey(shown.begin));
    const double upper = std::min(range.upper, plot::timeKey(shown.end));
    if (upper <= lower)
        return;
    Period part = periodOfKeys(lower, upper);
    part.begin = std::max(part.begin, shown.begin);
    part.end = std::min(part.end, shown.end);
    if (ViewModel::averages(part)) {
        // Zoomed out again: a load of the part zoomed into is not needed.
        detailJob->stop();
        detailLoading = false;
        showBackgroundWork();
        return;
    }
    if (covers(model.detail.period, part) || (detailLoading && covers(detailAsked, part)))
        return;
    detailAsked = part;
    detailLoading = true;
    const QString dir = model.shown.path;
    detailJob->start([dir, part](const std::atomic<bool> &stop) {
        archive::Progress progress;
        progress.stop = &stop;
        const archive::LoadResult result = archive::loadPeriod(
            dir, part.begin, part.end, int(part.secs()), 1, archive::Envelope::Left, progress);
        DetailRecords detail;
        // A load cut short by memory is no record-by-record picture.
        if (result.refused || result.truncated || stop.load())
            return detail;
        detail.period = part;
        detail.records = result.records;
        return detail;
    });
    showBackgroundWork();
}

void MainWindow::updateViewPeriodButton()
{
    const QCPRange range = ui->customPlot->xAxis->range();
    const double lower = plot::timeKey(model.periodBegin);
    const double upper = plot::timeKey(model.periodEnd);
    const bool moved = std::abs(range.lower - lower) >= 1 || std::abs(range.upper - upper) >= 1;
    cursors->readout()->viewPeriodButton()->setEnabled(moved && queue &&
                                                       queue->running() == Operation::None);
}

void MainWindow::setPeriodToView()
{
    const QCPRange range = ui->customPlot->xAxis->range();
    Period period = periodOfKeys(range.lower, range.upper);
    // No later than now, and no longer than a load takes.
    const QDateTime now = QDateTime::currentDateTime();
    if (period.end > now)
        period.end = now;
    if (period.secs() > archive::kMaxLoadPeriodSecs)
        period.begin = period.end.addSecs(-qint64(archive::kMaxLoadPeriodSecs));
    if (!period.isLoadable())
        return;
    model.periodBegin = period.begin;
    model.periodEnd = period.end;
    showPeriod();
    startLoad();
}
